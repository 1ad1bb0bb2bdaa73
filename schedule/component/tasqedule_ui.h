// TasqeduleUI: the object through which the scheduler, the capture add-in and the
// reminder reach the task store, the schedule evaluation and the retry queue.
//
// It owns a list of AppTaskData objects, in the order the Tasks key enumerates them,
// holding one reference to each. The list is (re)loaded on the first GetTaskForTime, on
// GetTaskForTime with bForceReload, and whenever it is empty at a GetTaskForTime call.
// Task pointers that GetTaskForTime hands out are borrowed from the list: they carry no
// new reference and are valid until the list is next reloaded.
//
// Beyond ITasqeduleUI the vtable carries the four IDispatch operations, served from the
// embedded type library (see tasqedule_ui_dispatch.h); QueryInterface does not offer
// IDispatch.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <vector>

#include "schedule/component/app_task_data.h"
#include "schedule/component/component_module.h"
#include "schedule/component/tasqedule_ui_dispatch.h"
#include "schedule/dialogs/schedule_dialogs.h"

namespace quillon::tasqui {

class TasqeduleUI final : public ComponentObject<ITasqeduleUIDispatchSlots> {
public:
    // A new task for the program, its schedule chosen in the task editor (preset with the
    // schedule of this object's last confirmed submission). keyName (null, or room for at
    // least 15 characters and a NUL) receives the new key's name. S_OK when the editor was
    // closed with OK, E_ABORT when cancelled, E_INVALIDARG for a null description, program
    // or command line.
    HRESULT STDMETHODCALLTYPE SubmitApplication(HWND window, LPSTR description, LPSTR app, LPSTR commandLine,
                                                LONG needsInternet, ULONG timeoutMs, LPSTR keyName) override;
    // The schedule list dialog over this object's task list: S_OK when saved (or when an
    // open list was brought to the front), E_ABORT when cancelled, E_FAIL when saving failed.
    HRESULT STDMETHODCALLTYPE EditTasks(HWND window) override;
    // S_OK with the due task; E_FAIL when nothing is due; 259 (a success code) when there
    // are no tasks at all. *task is always set (null unless S_OK). st's seconds and
    // milliseconds are set to 0. E_POINTER for a null st or task.
    HRESULT STDMETHODCALLTYPE GetTaskForTime(SYSTEMTIME *st, IUnknown **task, LONG forceReload) override;
    // S_OK when queued, unqueued, or the queue key cannot be opened; E_FAIL when the
    // retries are used up (the entry is then gone). task must offer IAppTaskData: only its
    // key name is used. E_POINTER for a null task, or a null st when recording a failure.
    HRESULT STDMETHODCALLTYPE RequeueTask(SYSTEMTIME *st, IUnknown *task, ULONG maxRetries, LONG unqueue) override;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo **typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR *names, UINT count, LCID lcid,
                                            DISPID *ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS *params,
                                     VARIANT *result, EXCEPINFO *exception, UINT *argError) override;

    // ---- For the component's own flows (submission, schedule list), not for clients ----

    // Empties the list and loads every task key. False (E_FAIL) when the Tasks key cannot
    // be opened or a malformed key ended the load; the tasks read before it stay listed.
    // Every task pointer handed out before is invalid afterwards.
    bool ReloadTaskList();
    // The records of the listed tasks in list order; valid until the next reload.
    std::vector<TaskRecord *> TaskRecords();
    // Appends a task (a submission just stored) at the tail of the list. False when no
    // object could be made for it.
    bool AppendTask(TaskRecord record);

private:
    explicit TasqeduleUI(IUnknown *outer);
    ~TasqeduleUI() override;

    void ReleaseTaskList();
    // The type information of ITasqeduleUI from the module's own type library.
    HRESULT LoadTypeInfo();

    // The task list as the dialogs see it.
    class DialogTaskList final : public TaskList {
    public:
        explicit DialogTaskList(TasqeduleUI *owner) : owner_(owner) {}
        size_t Count() const override { return owner_->tasks_.size(); }
        TaskRecord *At(size_t index) override;
        bool Reload() override { return owner_->ReloadTaskList(); }
        bool Save() override;
        void Append(const TaskRecord &task) override { owner_->AppendTask(task); }

    private:
        TasqeduleUI *owner_;
    };

    // In list order; each holds one reference.
    std::vector<AppTaskData *> tasks_;
    DialogTaskList dialogList_{this};
    // The schedule of the last submission the user confirmed, absent at first.
    RememberedSchedule remembered_;
    ITypeInfo *typeInfo_ = nullptr;

    friend HRESULT CreateTasqeduleUI(IUnknown *outer, REFIID riid, void **object);
};

// Class-factory creation (see class_factory.h).
HRESULT CreateTasqeduleUI(IUnknown *outer, REFIID riid, void **object);

} // namespace quillon::tasqui
