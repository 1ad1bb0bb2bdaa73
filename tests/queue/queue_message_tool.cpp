// queue_message_tool SUBJECT BODY [YEAR MONTH DAY HOUR MINUTE SECOND]
// Queues one message as the page sender does, at the given local time or now, from a
// process of its own. Exit code 0 when it was queued, 1 when not, 2 for bad arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "common/win_datetime.h"
#include "queue/message_queue.h"

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 9) {
        std::fprintf(stderr, "usage: queue_message_tool SUBJECT BODY [YEAR MONTH DAY HOUR MINUTE SECOND]\n");
        return 2;
    }
    quillon::DateTime when = quillon::LocalNow();
    if (argc == 9) {
        quillon::DateTime given = {};
        given.wYear = static_cast<uint16_t>(std::atoi(argv[3]));
        given.wMonth = static_cast<uint16_t>(std::atoi(argv[4]));
        given.wDay = static_cast<uint16_t>(std::atoi(argv[5]));
        given.wHour = static_cast<uint16_t>(std::atoi(argv[6]));
        given.wMinute = static_cast<uint16_t>(std::atoi(argv[7]));
        given.wSecond = static_cast<uint16_t>(std::atoi(argv[8]));
        quillon::Ticks ticks;
        if (!quillon::DateTimeToTicks(given, &ticks) || !quillon::TicksToDateTime(ticks, &when))
            return 2;
    }
    return quillon::QueueMessage(when, argv[1], argv[2]) ? 0 : 1;
}
