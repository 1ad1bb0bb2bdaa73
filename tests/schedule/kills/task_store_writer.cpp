// A process that saves the schedule list over and over, for the tests that kill it in the
// middle of a save. Each round stores one new task the way a submission does, then loads
// the list, changes every task, marks the oldest added tasks deleted, adds one task whose
// key does not exist yet, and saves. Tasks named "seed" are rewritten but never deleted.
//
//   task_store_writer <event name> [rounds]
// The named event is set after the first round, so the caller knows saves are under way.
// Without a round count the writer runs until it is killed.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "schedule/task_store.h"

using namespace quillon;

namespace {

TaskRecord NewTask(const char *displayName, uint32_t round)
{
    TaskRecord task{};
    task.DisplayName = displayName;
    task.AppName = "quillon.exe";
    task.CommandLine = "writer";
    task.TaskType = 3;
    task.Value = round % 7 + 1;
    task.Value2 = round % 1440;
    task.DaysOfWeek = kAllDaysOfWeekMask;
    task.MonthsOfYear = kAllMonthsOfYearMask;
    task.Timeout = kDefaultTaskTimeoutMs;
    return task;
}

// Names far in the future, one second apart per round: never a seed name, never reused.
DateTime RoundTime(uint32_t round, uint32_t which)
{
    DateTime t{};
    t.wYear = 2090;
    t.wMonth = 1;
    t.wDay = 1 + (round / 20000) % 28;
    uint32_t seconds = (round % 20000) * 2 + which;
    t.wHour = static_cast<uint16_t>(seconds / 3600);
    t.wMinute = static_cast<uint16_t>(seconds / 60 % 60);
    t.wSecond = static_cast<uint16_t>(seconds % 60);
    return t;
}

void OneRound(uint32_t round)
{
    std::string name;
    StoreNewTaskKey(RoundTime(round, 0), NewTask("added", round), &name);

    std::vector<TaskRecord> tasks;
    LoadTaskList(&tasks);
    size_t added = 0;
    for (const TaskRecord &t : tasks)
        added += t.DisplayName != "seed" ? 1 : 0;
    std::vector<TaskRecord *> list;
    for (TaskRecord &t : tasks) {
        t.Value2 = round % 1440;
        t.LastRun = LocalNow();
        if (t.DisplayName != "seed" && added > 6) {
            t.Deleted = 1;
            --added;
        }
        list.push_back(&t);
    }
    TaskRecord missing = NewTask("saved", round);
    SetTaskKeyName(&missing, TimestampKeyName(RoundTime(round, 1)).c_str());
    list.push_back(&missing);
    SaveTaskList(list);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    const long rounds = argc > 2 ? atol(argv[2]) : -1;
    // Each run starts its round numbers where the registry's time of day suggests, so
    // successive runs keep adding new names.
    uint32_t round = GetTickCount() % 100000;
    for (long done = 0; rounds < 0 || done < rounds; ++done) {
        OneRound(round++);
        if (done == 0 && ready != nullptr)
            SetEvent(ready);
    }
    return 0;
}
