#include "schedule/task_store.h"

#include <cstring>
#include <vector>

#include "common/names.h"
#include "common/text.h"
#include "common/timestamp.h"
#include "common/timestamp_key.h"

namespace quillon {

namespace {

namespace tv = task_values;

// Longest string value a task key may hold before it counts as unreadable. Far above
// anything the dialogs write, far below what could exhaust memory over thousands of keys.
constexpr DWORD kMaxTaskStringBytes = 64 * 1024;

// Give up looking for a free key name after this many seconds past the submission.
constexpr int kMaxKeyNameSteps = 3600;

// A number is read into 4 bytes whatever its stored type; a shorter value is
// zero-extended. A value of more than 4 bytes, or of none, holds no number and counts as
// missing.
bool ReadFlag(const RegistryKey &key, const char *name, uint32_t *value)
{
    unsigned char data[4] = {};
    DWORD size = sizeof data;
    if (RegQueryValueExA(key.Get(), name, nullptr, nullptr, data, &size) != ERROR_SUCCESS || size == 0)
        return false;
    *value = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
             static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    return true;
}

// Texts are read into a buffer of the size the registry reports. Most fit a 260-byte
// buffer, which saves the size query: every registry call is a server round trip, and a
// reload of thousands of keys is made of little else.
bool ReadText(const RegistryKey &key, const char *name, std::string *value)
{
    char data[kTextBufferSize];
    DWORD size = sizeof data;
    LONG rc = RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE *>(data), &size);
    if (rc == ERROR_SUCCESS) {
        value->assign(data, strnlen(data, size));
        return true;
    }
    if (rc != ERROR_MORE_DATA)
        return false;
    // The refused read reported the size: one more read, not a size query and a read.
    if (size > kMaxTaskStringBytes)
        return false;
    std::vector<char> longer(static_cast<size_t>(size) + 1, '\0');
    DWORD got = size;
    rc = RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE *>(longer.data()), &got);
    if (rc == ERROR_SUCCESS) {
        value->assign(longer.data(), strnlen(longer.data(), got));
        return true;
    }
    // Grown meanwhile (another writer): the general reader retries.
    return rc == ERROR_MORE_DATA && key.ReadString(name, value, kMaxTaskStringBytes) == ERROR_SUCCESS;
}

bool ReadDate(const RegistryKey &key, const char *name, DateTime *value)
{
    return key.ReadBinary(name, value, sizeof *value) == ERROR_SUCCESS;
}

// A task key is never built in place: its values are written into a staging key under
// Tasks first and the complete key is then renamed to its task name (common/
// timestamp_key.h). A writer killed half-way (the scheduler, the browser holding the
// add-in, the reminder) so leaves at most a staging key, never a task key without its
// mandatory values, which would end every later load at its position and hide the tasks
// after it. Staging names fit the load's 16-byte name buffer.

// Reads one task key in the fixed order; false at the first mandatory value missing.
bool ReadTaskValues(const RegistryKey &key, TaskRecord *task)
{
    bool ok = ReadFlag(key, tv::kNeedsInternet, &task->NeedsInternet) &&
              ReadText(key, tv::kDisplayName, &task->DisplayName) &&
              ReadText(key, tv::kAppName, &task->AppName) &&
              ReadText(key, tv::kCommandLine, &task->CommandLine) &&
              ReadFlag(key, tv::kHasDates, &task->HasDates) &&
              ReadFlag(key, tv::kHasTimes, &task->HasTimes) &&
              ReadFlag(key, tv::kNotWeekend, &task->NotWeekend) &&
              ReadFlag(key, tv::kDisabled, &task->Disabled) &&
              ReadDate(key, tv::kStartDate, &task->StartDate) &&
              ReadDate(key, tv::kEndDate, &task->EndDate) &&
              ReadDate(key, tv::kLastRun, &task->LastRun) &&
              ReadFlag(key, tv::kTaskType, &task->TaskType) &&
              ReadFlag(key, tv::kValue, &task->Value) &&
              ReadFlag(key, tv::kValue2, &task->Value2) &&
              ReadFlag(key, tv::kDaysOfWeek, &task->DaysOfWeek) &&
              ReadFlag(key, tv::kMonthsOfYear, &task->MonthsOfYear);
    if (!ok)
        return false;
    if (!ReadFlag(key, tv::kTimeout, &task->Timeout))
        task->Timeout = kDefaultTaskTimeoutMs;
    if (!ReadFlag(key, tv::kLogging, &task->Logging))
        task->Logging = 0;
    if (!ReadFlag(key, tv::kSendIfChanged, &task->SendIfChanged))
        task->SendIfChanged = 0;
    return true;
}

bool ReadTaskKey(const RegistryKey &tasksKey, const char *keyName, TaskRecord *task)
{
    RegistryKey key;
    if (key.Open(tasksKey.Get(), keyName) != ERROR_SUCCESS)
        return false;
    TaskRecord record{};
    if (!SetTaskKeyName(&record, keyName) || !ReadTaskValues(key, &record))
        return false;
    *task = std::move(record);
    return true;
}

// The 17 schedule values in their fixed order.
bool WriteScheduleValues(const RegistryKey &key, const TaskRecord &task)
{
    return key.WriteDword(tv::kNeedsInternet, task.NeedsInternet) == ERROR_SUCCESS &&
           key.WriteString(tv::kDisplayName, task.DisplayName) == ERROR_SUCCESS &&
           key.WriteString(tv::kAppName, task.AppName) == ERROR_SUCCESS &&
           key.WriteString(tv::kCommandLine, task.CommandLine) == ERROR_SUCCESS &&
           key.WriteDword(tv::kHasDates, task.HasDates) == ERROR_SUCCESS &&
           key.WriteDword(tv::kHasTimes, task.HasTimes) == ERROR_SUCCESS &&
           key.WriteDword(tv::kNotWeekend, task.NotWeekend) == ERROR_SUCCESS &&
           key.WriteDword(tv::kDisabled, task.Disabled) == ERROR_SUCCESS &&
           key.WriteBinary(tv::kStartDate, &task.StartDate, sizeof task.StartDate) == ERROR_SUCCESS &&
           key.WriteBinary(tv::kEndDate, &task.EndDate, sizeof task.EndDate) == ERROR_SUCCESS &&
           key.WriteBinary(tv::kLastRun, &task.LastRun, sizeof task.LastRun) == ERROR_SUCCESS &&
           key.WriteDword(tv::kTaskType, task.TaskType) == ERROR_SUCCESS &&
           key.WriteDword(tv::kValue, task.Value) == ERROR_SUCCESS &&
           key.WriteDword(tv::kValue2, task.Value2) == ERROR_SUCCESS &&
           key.WriteDword(tv::kDaysOfWeek, task.DaysOfWeek) == ERROR_SUCCESS &&
           key.WriteDword(tv::kMonthsOfYear, task.MonthsOfYear) == ERROR_SUCCESS &&
           key.WriteDword(tv::kTimeout, task.Timeout) == ERROR_SUCCESS;
}

// Stores a changed SendIfChanged and drops the digest kept under the old setting. Absent
// digest is fine; any other failure to delete it is a failed write, since a stale digest
// could hold back the next change.
bool WriteChangeWatch(const RegistryKey &key, const TaskRecord &task)
{
    if (task.ForgetTextDigest == 0)
        return true;
    if (key.WriteDword(tv::kSendIfChanged, task.SendIfChanged) != ERROR_SUCCESS)
        return false;
    LONG rc = key.DeleteValue(tv::kLastTextDigest);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool WriteTaskValues(const RegistryKey &key, const TaskRecord &task)
{
    // Values are set one by one into the existing key, never by recreating it: whatever
    // else the key holds (Selection, ChopMessage, LastTextDigest, values of later
    // versions) stays as it is. Each value is replaced in one registry operation, so a
    // complete key stays complete whenever the writer is stopped.
    return WriteScheduleValues(key, task) && WriteChangeWatch(key, task);
}

// Writes `task` into a new staging key under `tasksKey`; *stagingName names it. False
// (and no staging key left) when it cannot be created or written.
bool StageTask(const RegistryKey &tasksKey, const TaskRecord &task, std::string *stagingName)
{
    std::string name = NewStagingKeyName();
    tasksKey.DeleteSubkeyTree(name.c_str());   // left by an ended process of the same id
    RegistryKey staging;
    if (staging.Create(tasksKey.Get(), name.c_str()) != ERROR_SUCCESS)
        return false;
    if (!WriteTaskValues(staging, task)) {
        staging.Close();
        tasksKey.DeleteSubkeyTree(name.c_str());
        return false;
    }
    *stagingName = name;
    return true;
}

} // namespace

bool LoadTaskList(std::vector<TaskRecord> *tasks)
{
    tasks->clear();
    RegistryKey tasksKey;
    if (OpenUserKey(kTasksKeyPath, &tasksKey) != ERROR_SUCCESS)
        return false;
    for (DWORD index = 0;; ++index) {
        char name[kTaskKeyNameSize] = {};
        LONG rc = tasksKey.EnumSubkeyName(index, name, sizeof name);
        if (rc == ERROR_NO_MORE_ITEMS)
            return true;
        if (rc != ERROR_SUCCESS)
            return false;   // a name longer than 15 characters, or the key went away
        if (IsStagingKeyName(name))
            continue;   // a task being written, or one whose writer was killed
        TaskRecord task{};
        if (!ReadTaskKey(tasksKey, name, &task))
            return false;
        tasks->push_back(std::move(task));
    }
}

bool LoadTask(const char *keyName, TaskRecord *task)
{
    if (keyName == nullptr || keyName[0] == '\0')
        return false;
    RegistryKey tasksKey;
    if (OpenUserKey(kTasksKeyPath, &tasksKey) != ERROR_SUCCESS)
        return false;
    return ReadTaskKey(tasksKey, keyName, task);
}

bool WriteTask(const RegistryKey &key, const TaskRecord &task)
{
    return WriteTaskValues(key, task);
}

bool SaveTaskList(const TaskRecord *const *tasks, size_t count)
{
    if (count == 0)
        return true;
    RegistryKey tasksKey;
    if (OpenUserKey(kTasksKeyPath, &tasksKey) != ERROR_SUCCESS)
        return false;
    RemoveAbandonedStagingKeys(tasksKey);
    for (size_t i = 0; i < count; ++i) {
        const TaskRecord &task = *tasks[i];
        // An empty name would address the Tasks key itself.
        if (task.KeyName[0] == '\0') {
            if (task.Deleted != 0)
                continue;
            return false;
        }
        if (task.Deleted != 0) {
            tasksKey.DeleteSubkeyTree(task.KeyName);
            continue;
        }
        // An existing key is rewritten in place (it stays complete, and keeps the values
        // others own); a missing one is built aside and moved into place whole.
        RegistryKey key;
        LONG rc = key.Open(tasksKey.Get(), task.KeyName);
        if (rc == ERROR_SUCCESS) {
            if (!WriteTask(key, task))
                return false;
            continue;
        }
        if (rc != ERROR_FILE_NOT_FOUND)
            return false;
        std::string staging;
        if (!StageTask(tasksKey, task, &staging))
            return false;
        if (RenameSubkey(tasksKey, staging, task.KeyName) != ERROR_SUCCESS) {
            tasksKey.DeleteSubkeyTree(staging.c_str());
            // Another writer created the key meanwhile: write into it as into any other.
            if (key.Open(tasksKey.Get(), task.KeyName) != ERROR_SUCCESS || !WriteTask(key, task))
                return false;
        }
    }
    return true;
}

bool WriteLastRun(TaskRecord *task, const DateTime &lastRun)
{
    task->LastRun = lastRun;
    if (task->KeyName[0] == '\0')
        return false;
    RegistryKey tasksKey;
    if (OpenUserKey(kTasksKeyPath, &tasksKey) != ERROR_SUCCESS)
        return false;
    // Opened, never created: a key holding LastRun alone would lack every mandatory value
    // and end each later load at its position.
    RegistryKey key;
    if (key.Open(tasksKey.Get(), task->KeyName) != ERROR_SUCCESS)
        return false;
    key.WriteBinary(task_values::kLastRun, &task->LastRun, sizeof task->LastRun);
    return true;
}

bool StoreNewTaskKey(const DateTime &submitted, const TaskRecord &task, std::string *keyName)
{
    RegistryKey tasksKey;
    if (CreateUserKey(kTasksKeyPath, &tasksKey) != ERROR_SUCCESS)
        return false;
    // The values do not depend on the name: written once, whatever name is tried.
    bool written = false;
    auto write = [&](const RegistryKey &staging, const std::string &) {
        if (!written)
            written = WriteTaskValues(staging, task);
        return written;
    };
    return StoreKeyAtNextFreeSecond(tasksKey, TimestampKeyName(submitted), kMaxKeyNameSteps, kTaskKeyNameSize - 1,
                                    write, keyName);
}

bool CreateTaskKey(const DateTime &submitted, RegistryKey *key, std::string *keyName)
{
    RegistryKey tasksKey;
    if (CreateUserKey(kTasksKeyPath, &tasksKey) != ERROR_SUCCESS)
        return false;
    return CreateKeyAtNextFreeSecond(tasksKey.Get(), TimestampKeyName(submitted), kMaxKeyNameSteps,
                                     kTaskKeyNameSize - 1, key, keyName);
}

} // namespace quillon
