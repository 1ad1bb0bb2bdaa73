#include "schedule/registry_retry_queue.h"

#include "common/names.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/win_datetime.h"

namespace quillon {

namespace fv = failed_task_values;

bool RegistryRetryQueue::FindDueEntry(std::string *keyName)
{
    Ticks now = 0;
    if (!DateTimeToTicks(LocalNow(), &now))
        return false;
    RegistryKey queueKey;
    if (OpenUserKey(kFailedTasksKeyPath, &queueKey) != ERROR_SUCCESS)
        return false;
    for (DWORD index = 0;; ++index) {
        char name[kTextBufferSize] = {};
        LONG rc = queueKey.EnumSubkeyName(index, name, sizeof name);
        if (rc == ERROR_NO_MORE_ITEMS)
            return false;
        if (rc == ERROR_MORE_DATA)
            continue;   // longer than any task key name: no task can match it
        if (rc != ERROR_SUCCESS)
            return false;
        RegistryKey entry;
        if (entry.Open(queueKey.Get(), name) != ERROR_SUCCESS)
            continue;
        DateTime retryTime{};
        Ticks due = 0;
        if (entry.ReadBinary(fv::kTaskRetryTime, &retryTime, sizeof retryTime) != ERROR_SUCCESS ||
            !DateTimeToTicks(retryTime, &due))
            continue;
        if (due <= now) {
            *keyName = name;
            return true;
        }
    }
}

bool RegistryRetryQueue::RemoveEntry(const std::string &keyName)
{
    if (keyName.empty())
        return false;
    RegistryKey queueKey;
    LONG rc = OpenUserKey(kFailedTasksKeyPath, &queueKey);
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (rc != ERROR_SUCCESS)
        return false;
    rc = queueKey.DeleteSubkeyTree(keyName.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

RequeueResult RegistryRetryQueue::Requeue(const std::string &keyName, const DateTime &retryTime,
                                          uint32_t maxRetries, bool unqueue)
{
    RegistryKey queueKey;
    if (CreateUserKey(kFailedTasksKeyPath, &queueKey) != ERROR_SUCCESS)
        return RequeueResult::kDone;
    // An empty name would address FailedTasks itself.
    if (keyName.empty())
        return RequeueResult::kDone;
    if (unqueue) {
        queueKey.DeleteSubkeyTree(keyName.c_str());
        return RequeueResult::kDone;
    }
    RegistryKey entry;
    if (entry.Create(queueKey.Get(), keyName.c_str()) != ERROR_SUCCESS)
        return RequeueResult::kDone;
    DWORD stored = 0;
    bool hasCount = entry.ReadDword(fv::kTaskRetryCount, &stored) == ERROR_SUCCESS;
    uint32_t count = 0;
    if (!DecideRequeue(hasCount, stored, maxRetries, &count)) {
        entry.Close();
        queueKey.DeleteSubkeyTree(keyName.c_str());
        return RequeueResult::kRetriesUsedUp;
    }
    entry.WriteDword(fv::kTaskRetryCount, count);
    entry.WriteBinary(fv::kTaskRetryTime, &retryTime, sizeof retryTime);
    return RequeueResult::kDone;
}

} // namespace quillon
