// The retry queue of failed tasks, as evaluation and RequeueTask see it.
//
// API
//   RetryQueue               interface; RegistryRetryQueue (schedule/registry_retry_queue.h)
//                            keeps it under HKCU\...\FailedTasks, tests use an in-memory double.
//     FindDueEntry           key name of the first entry (in queue order) whose retry time is
//                            at or before the computer's current local time.
//     RemoveEntry            drops an entry; false only when a present entry could not be removed.
//     Requeue                RequeueTask: record a failure or, with unqueue, a success.
//   DecideRequeue            the counting rule every implementation shares.
//
// This header includes no Windows header.
#pragma once

#include <cstdint>
#include <string>

#include "common/datetime.h"

namespace quillon {

// Outcome of Requeue. kDone stands for S_OK (queued, unqueued, or nothing could be done
// because the queue key cannot be opened); kRetriesUsedUp stands for E_FAIL (the failure
// took the count above the allowed retries and the entry has been removed).
enum class RequeueResult { kDone, kRetriesUsedUp };

class RetryQueue {
public:
    virtual ~RetryQueue() = default;

    // True with *keyName set when an entry is due now; false when none is.
    virtual bool FindDueEntry(std::string *keyName) = 0;
    // Removes the entry named keyName (any case as stored). A missing entry is success.
    virtual bool RemoveEntry(const std::string &keyName) = 0;
    // Records a failure of the task keyName with retries due from retryTime, or with
    // unqueue set removes it. An empty key name changes nothing and gives kDone.
    virtual RequeueResult Requeue(const std::string &keyName, const DateTime &retryTime,
                                  uint32_t maxRetries, bool unqueue) = 0;
};

// The counting rule of a recorded failure. hasStoredCount/storedCount: the entry's
// current `TaskRetryCount`, if it has one. Returns true with *newCount set when the
// failure is to be queued (the first failure always is, with count 1, even when
// maxRetries is 0); false when the retries are used up and the entry must go.
bool DecideRequeue(bool hasStoredCount, uint32_t storedCount, uint32_t maxRetries, uint32_t *newCount);

} // namespace quillon
