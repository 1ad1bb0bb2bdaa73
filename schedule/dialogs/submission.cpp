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

// The first name from `submitted` on that no task key holds yet: the name handed out
// before the user decides must not be that of a task stored within the same second.
std::string FreeTaskKeyName(const DateTime &submitted)
{
    std::string name = TimestampKeyName(submitted);
    RegistryKey tasks;
    if (OpenUserKey(kTasksKeyPath, &tasks) != ERROR_SUCCESS)
        return name;
    for (int step = 0; step < 1000; ++step) {
        RegistryKey existing;
        if (existing.Open(tasks.Get(), name.c_str()) != ERROR_SUCCESS)
            return name;
        std::string next;
        if (!NextTimestampKeyName(name, &next))
            return name;
        name = next;
    }
    return name;
}

// Writes the task under a new key, whole: a process killed meanwhile leaves no half task
// in front of the scheduler's load. False on any registry failure (nothing stored).
bool StoreNewTask(const DateTime &submitted, TaskRecord *task)
{
    std::string name;
    if (!StoreNewTaskKey(submitted, *task, &name) || !SetTaskKeyName(task, name.c_str()))
        return false;
    // Done: the listed copy must not delete a digest the page sender writes later.
    task->ForgetTextDigest = 0;
    return true;
}

} // namespace

HRESULT RunSubmission(HWND owner, const DialogEnvironment &env, const SubmissionRequest &request,
                      RememberedSchedule *remembered, TaskList *list, char *keyName)
{
    try {
        TaskRecord task{};
        // The key is created only once the user confirms, from the name handed out now
        // (or the next free one, should another task take it meanwhile).
        const std::string proposedName = FreeTaskKeyName(LocalNow());
        DateTime submitted{};
        if (!ParseTimestampKeyName(proposedName, &submitted))
            submitted = LocalNow();
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
            // Queued to every top-level window without waiting for any: a hung window,
            // or a scheduler inside a long minute tick, must not freeze the caller (the
            // browser's thread for the add-in). The scheduler takes the notice when its
            // tick returns to the message loop, so the next tick reloads its list; a
            // bounded send would instead drop it for a busy scheduler.
            SendNotifyMessageA(HWND_BROADCAST, changed, 0, 0);
        }
        if (remembered != nullptr)
            RememberSchedule(task, remembered);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace quillon
