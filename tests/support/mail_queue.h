// The product's queue of outgoing messages (HKCU\...\Tasqeduler\Mail) as the tests read it:
// a view over the queue's own record reader (ReadWholeQueue, queue/message_queue.h).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/datetime.h"

namespace quillon::test {

struct QueuedMessage {
    std::string name;          // the message's key name, its time stamp
    bool opened = false;       // false: the key could not be opened and nothing else was read
    DWORD retryCount = 0xBAD;  // 0xBAD when the value is missing
    DateTime retryTime{};
    bool hasRetryTime = false;
    std::string subject;
    std::string body;
};

// Every queued message in key-name order (which is time order); none without a Mail key.
std::vector<QueuedMessage> ReadQueuedMessages();

} // namespace quillon::test
