// The schedule dialogs of tasqui.dll: the task editor (IDD_TASK_EDITOR), task submission
// with the remembered schedule, the extracted-text preview (IDD_EXTRACTED_TEXT) and the
// schedule list (IDD_SCHEDULE_LIST). They take everything they use as parameters: the resource module, the
// component's settings and its task list, so they hold no state of the component's own.
//
// All functions run on the caller's thread and block it while their modal dialog is
// open. None throws: failures come back as HRESULTs (or, for the preview, as nothing
// shown). Every text, dialog and icon comes from `DialogEnvironment::resources`.
//
// How the component calls this
//   The TasqeduleUI object keeps one RememberedSchedule (starts absent, freed with the
//   object) and exposes its std::list<AppTaskData *> through a small TaskList adapter:
//
//     class ComponentTaskList final : public quillon::TaskList {
//         // Count/At over tasks_ (At(i) = &(*nth)->Record()); Reload() = ReloadTaskList();
//         // Save() = SaveTaskList over the records of tasks_;
//         // Append(r) = tasks_.push_back(AppTaskData::CreateForList(r)).
//     };
//
//     DialogEnvironment env;                 // from Module():
//     env.resources = Module().resources;
//     env.pickerTimeFormat = Module().pickerTimeFormat;
//     env.helpFilePath = Module().helpFilePath;
//     env.componentDirectory = <directory of Module().modulePath>;
//     env.maxMessageLength = Module().config.maxMessageLength;
//     env.clipSubject = Module().config.clipSubject;
//     env.taskChangedMessage = Module().taskChangedMessage;
//
//     SubmitApplication(hWnd, desc, app, cmd, bInternet, dwTimeout, keyName):
//         if (!desc || !app || !cmd) return E_INVALIDARG;   // NULL strings are refused
//         SubmissionRequest req{desc, app, cmd, bInternet, dwTimeout};
//         return RunSubmission(hWnd, env, req, &remembered_, &list, keyName);
//     EditTasks(hWnd):
//         return RunEditTasks(hWnd, env, &list);
//     edit one task (IAppTaskData): RunTaskEditorDialog(hWnd, env, &task->Record()).
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "schedule/task_record.h"

namespace quillon {

// What the dialogs need of the component. Pointers are borrowed for the call.
struct DialogEnvironment {
    HINSTANCE resources = nullptr;           // tasq??.dll
    const char *pickerTimeFormat = "";       // user's time format without seconds; "" = picker default
    const char *helpFilePath = "";           // "quillon.chm" beside the component
    const char *componentDirectory = "";     // where a program named without a path is looked for
    long maxMessageLength = 500;             // MaxMsgLen less the size of Sender
    bool clipSubject = false;                // ClipSubject: drop the heading of extracted text
    UINT taskChangedMessage = 0;             // "quillon:msg:apptaskchanged"; 0 = register it here
};

// The component's task list as the dialogs see it. Records stay owned by the list;
// pointers from At() are valid until the next Reload().
class TaskList {
public:
    virtual size_t Count() const = 0;
    virtual TaskRecord *At(size_t index) = 0;
    // Reloads from the registry, dropping unsaved changes. False when the load failed.
    virtual bool Reload() = 0;
    // Saves the list (deleting marked tasks' keys). False when saving failed partway.
    virtual bool Save() = 0;
    // Adds a task that was just stored under its key.
    virtual void Append(const TaskRecord &task) = 0;

protected:
    ~TaskList() = default;
};

// A TaskList that owns its records, loaded with LoadTaskList and saved with SaveTaskList.
class OwnedTaskList final : public TaskList {
public:
    size_t Count() const override { return tasks_.size(); }
    TaskRecord *At(size_t index) override { return index < tasks_.size() ? tasks_[index].get() : nullptr; }
    bool Reload() override;
    bool Save() override;
    void Append(const TaskRecord &task) override { tasks_.push_back(std::make_unique<TaskRecord>(task)); }

private:
    std::vector<std::unique_ptr<TaskRecord>> tasks_;
};

// The schedule of the last task a TasqeduleUI object submitted and the user confirmed.
struct RememberedSchedule {
    bool present = false;
    uint32_t HasDates = 0;
    uint32_t HasTimes = 0;
    DateTime StartDate{};
    DateTime EndDate{};
    uint32_t TaskType = 0;
    uint32_t DaysOfWeek = 0;
    uint32_t MonthsOfYear = 0;
    uint32_t Value = 0;
    uint32_t Value2 = 0;
};

struct SubmissionRequest {
    const char *description = "";  // DisplayName, also the editor's title
    const char *app = "";          // AppName
    const char *commandLine = "";  // CommandLine
    long needsInternet = 0;
    unsigned long timeoutMs = 0;
};

// The task editor on `task` (edited in memory only; the caller stores it). S_OK when
// closed with OK (the controls were stored into the task), E_ABORT when cancelled (the
// task keeps only what opening changed: type 0 -> 1 and today's date / now's time in
// StartDate/EndDate when it has no range / window). E_FAIL when the dialog could not be
// created. One editor per process: while one is open, another call brings it to the
// front and returns E_ABORT without opening a second.
HRESULT RunTaskEditorDialog(HWND owner, const DialogEnvironment &env, TaskRecord *task);

// SubmitApplication: a new task for the request, preset with *remembered when present,
// edited in the task editor and, on OK, stored under a new key in Tasks, appended to
// `list` and announced with a broadcast of the task-changed message; *remembered then
// holds its schedule. `keyName` (NULL, or at least 15 bytes) receives the key name at
// once, before the user decides (so after a cancel it names a key that does not exist),
// and again after storing, since a name taken meanwhile moves the key to the next free
// second. S_OK when the editor was closed with OK, also when storing failed (that is
// silent, and the task is then neither listed nor announced); E_ABORT on cancel.
HRESULT RunSubmission(HWND owner, const DialogEnvironment &env, const SubmissionRequest &request,
                      RememberedSchedule *remembered, TaskList *list, char *keyName);

// The extracted text of one task's page (IDD_EXTRACTED_TEXT), divided as the page sender
// would queue it. Shows nothing when the task's key, its Selection or WEBFLAT.DLL (in
// the directory of the process's program) is missing; IDS_EXTRACT_ERROR when extraction
// fails.
void RunPreviewDialog(HWND owner, const DialogEnvironment &env, const TaskRecord &task);

// EditTasks: the schedule list. When a top-level window titled IDS_SCHEDULE_LIST_TITLE
// exists it is raised and S_OK returned. Otherwise the list is reloaded and
// IDD_SCHEDULE_LIST shown: OK marks the tasks whose rows were deleted, saves (E_FAIL when
// that fails, the list then not reloaded), reloads and gives S_OK; Cancel reloads and
// gives E_ABORT.
HRESULT RunEditTasks(HWND owner, const DialogEnvironment &env, TaskList *list);

} // namespace quillon
