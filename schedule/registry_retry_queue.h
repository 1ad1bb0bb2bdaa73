// The retry queue in the registry: HKCU\Software\Kestrova\Tasqeduler\FailedTasks, one
// subkey per failed task named with its task key name, holding `TaskRetryCount`
// (REG_DWORD) and `TaskRetryTime` (16-byte REG_BINARY local time).
//
// API: the RetryQueue interface (schedule/retry_queue.h).
//   FindDueEntry  compares TaskRetryTime with GetLocalTime (not the time being evaluated);
//                 subkeys that cannot be opened, or lack a readable valid TaskRetryTime,
//                 are skipped.
//   Requeue       RequeueTask. A FailedTasks key that cannot be created makes it a no-op
//                 with kDone; write results are not checked.
// Holds no open key between calls.
#pragma once

#include "schedule/retry_queue.h"

namespace quillon {

class RegistryRetryQueue : public RetryQueue {
public:
    bool FindDueEntry(std::string *keyName) override;
    bool RemoveEntry(const std::string &keyName) override;
    RequeueResult Requeue(const std::string &keyName, const DateTime &retryTime,
                          uint32_t maxRetries, bool unqueue) override;
};

} // namespace quillon
