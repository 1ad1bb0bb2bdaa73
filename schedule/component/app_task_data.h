// AppTaskData: one task record behind IAppTaskData.
//
// The task list of a TasqeduleUI object holds one reference to each of its tasks and
// reaches the record directly (Record()); clients see only IAppTaskData. A directly
// created AppTaskData (CoCreateInstance) is an empty task that belongs to no list.
//
// Property getters: the top four bits of an identifier give its kind (0x8 boolean,
// 0x4 string, 0x2 date, 0x1 DWORD). An identifier without the getter's class bit, or not
// defined, gives E_INVALIDARG and leaves *value untouched. Strings are returned as the
// object's own text (never a copy, never null): the caller does not free it, and it stays
// valid while the object lives.
#pragma once

#include <windows.h>

#include "schedule/component/component_module.h"
#include "schedule/task_record.h"
#include "tasqui_h.h"

namespace quillon::tasqui {

class AppTaskData final : public ComponentObject<IAppTaskData> {
public:
    // A task for a list: not aggregated, with one reference held by the caller.
    static AppTaskData *CreateForList(TaskRecord record);

    TaskRecord &Record() { return record_; }

    HRESULT STDMETHODCALLTYPE GetBooleanProperty(ULONG id, LONG *value) override;
    HRESULT STDMETHODCALLTYPE GetStringProperty(ULONG id, LPSTR *value) override;
    HRESULT STDMETHODCALLTYPE GetDateProperty(ULONG id, SYSTEMTIME *value) override;
    HRESULT STDMETHODCALLTYPE GetDwordProperty(ULONG id, ULONG *value) override;
    // Records the run in memory and in the task's key. E_FAIL when the key cannot be
    // opened, which includes a task whose key was deleted meanwhile: no key is created.
    HRESULT STDMETHODCALLTYPE SetLastRun(SYSTEMTIME *lastRun) override;

private:
    explicit AppTaskData(IUnknown *outer);

    TaskRecord record_{};

    friend HRESULT CreateAppTaskData(IUnknown *outer, REFIID riid, void **object);
};

// Class-factory creation of an empty task (see class_factory.h).
HRESULT CreateAppTaskData(IUnknown *outer, REFIID riid, void **object);

} // namespace quillon::tasqui
