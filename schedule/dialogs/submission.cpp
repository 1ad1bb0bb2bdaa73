// SubmitApplication's flow, and the owned task list.
#include <windows.h>

#include "common/names.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "schedule/dialogs/schedule_dialogs.h"
#include "schedule/task_store.h"

namespace quillon {

bool OwnedTaskList::Reload()
{
    std::vector<TaskRecord> loaded;
    bool ok = LoadTaskList(&loaded);
    tasks_.clear();
    for (TaskRecord &task : loaded)
        tasks_.push_back(std::make_unique<TaskRecord>(std::move(task)));
    return ok;
}

bool OwnedTaskList::Save()
{
    std::vector<TaskRecord *> records;
    for (auto &task : tasks_)
        records.push_back(task.get());
    return SaveTaskList(records);
}

namespace {

void ApplyRememberedSchedule(const RememberedSchedule &schedule, TaskRecord *task)
{
    task->HasDates = schedule.HasDates;
    task->HasTimes = schedule.HasTimes;
    task->StartDate = schedule.StartDate;
    task->EndDate = schedule.EndDate;
    task->TaskType = schedule.TaskType;
    task->DaysOfWeek = schedule.DaysOfWeek;
    task->MonthsOfYear = schedule.MonthsOfYear;
    task->Value = schedule.Value;
    task->Value2 = schedule.Value2;
}

void RememberSchedule(const TaskRecord &task, RememberedSchedule *schedule)
{
    schedule->present = true;
    schedule->HasDates = task.HasDates;
    schedule->HasTimes = task.HasTimes;
    schedule->StartDate = task.StartDate;
    schedule->EndDate = task.EndDate;
    schedule->TaskType = task.TaskType;
    schedule->DaysOfWeek = task.DaysOfWeek;
    schedule->MonthsOfYear = task.MonthsOfYear;
    schedule->Value = task.Value;
    schedule->Value2 = task.Value2;
}

// The caller's buffer holds at least 15 bytes: the 14-character name and its NUL.
constexpr size_t kKeyNameOutputSize = 15;

void CopyKeyName(char *keyName, const char *name)
{
    if (keyName != nullptr)
        CopyBounded(keyName, kKeyNameOutputSize, name);
}

// Writes the task under a new key. False on any registry failure (the key may then
// exist partly written; it is removed again so no half task is left for the scheduler).
bool StoreNewTask(const DateTime &submitted, TaskRecord *task)
{
    RegistryKey key;
    std::string name;
    if (!CreateTaskKey(submitted, &key, &name) || !SetTaskKeyName(task, name.c_str()))
        return false;
    if (!WriteTask(key, *task)) {
        key.Close();
        RegistryKey tasks;
        if (OpenUserKey(kTasksKeyPath, &tasks) == ERROR_SUCCESS)
            tasks.DeleteSubkey(name.c_str());
        return false;
    }
    return true;
}

} // namespace

HRESULT RunSubmission(HWND owner, const DialogEnvironment &env, const SubmissionRequest &request,
                      RememberedSchedule *remembered, TaskList *list, char *keyName)
{
    try {
        TaskRecord task{};
        const DateTime submitted = LocalNow();
        const std::string proposedName = TimestampKeyName(submitted);
        SetTaskKeyName(&task, proposedName.c_str());
        CopyKeyName(keyName, task.KeyName);

        task.DisplayName = request.description != nullptr ? request.description : "";
        task.AppName = request.app != nullptr ? request.app : "";
        task.CommandLine = request.commandLine != nullptr ? request.commandLine : "";
        task.DaysOfWeek = 0xFFFFFFFF;
        task.MonthsOfYear = 0xFFFFFFFF;
        task.NeedsInternet = static_cast<uint32_t>(request.needsInternet);
        task.Timeout = static_cast<uint32_t>(request.timeoutMs);
        if (remembered != nullptr && remembered->present)
            ApplyRememberedSchedule(*remembered, &task);

        if (RunTaskEditorDialog(owner, env, &task) != S_OK)
            return E_ABORT;

        if (StoreNewTask(submitted, &task)) {
            CopyKeyName(keyName, task.KeyName);
            if (list != nullptr)
                list->Append(task);
            UINT changed = env.taskChangedMessage != 0 ? env.taskChangedMessage : RegisterWindowMessageA(kMsgAppTaskChanged);
            // Synchronous, so the scheduler has taken note before the caller writes its values.
            SendMessageA(HWND_BROADCAST, changed, 0, 0);
        }
        if (remembered != nullptr)
            RememberSchedule(task, remembered);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace quillon
