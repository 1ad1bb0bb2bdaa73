#include "schedule/component/app_task_data.h"

#include <new>

#include "common/task_properties.h"
#include "common/win_datetime.h"
#include "schedule/task_store.h"

namespace quillon::tasqui {

AppTaskData::AppTaskData(IUnknown *outer) : ComponentObject<IAppTaskData>(outer, IID_IAppTaskData) {}

AppTaskData *AppTaskData::CreateForList(TaskRecord record)
{
    AppTaskData *task = new (std::nothrow) AppTaskData(nullptr);
    if (task == nullptr)
        return nullptr;
    task->record_ = std::move(record);
    task->InnerUnknown()->AddRef();
    return task;
}

HRESULT STDMETHODCALLTYPE AppTaskData::GetBooleanProperty(ULONG id, LONG *value)
{
    if ((id & kTaskPropBooleanClass) == 0 || value == nullptr)
        return value == nullptr ? E_POINTER : E_INVALIDARG;
    const uint32_t *field = nullptr;
    switch (id) {
    case kTaskPropDeleted: field = &record_.Deleted; break;
    case kTaskPropNeedsInternet: field = &record_.NeedsInternet; break;
    case kTaskPropHasDates: field = &record_.HasDates; break;
    case kTaskPropHasTimes: field = &record_.HasTimes; break;
    case kTaskPropNotWeekend: field = &record_.NotWeekend; break;
    case kTaskPropDisabled: field = &record_.Disabled; break;
    default: return E_INVALIDARG;
    }
    *value = static_cast<LONG>(*field);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AppTaskData::GetStringProperty(ULONG id, LPSTR *value)
{
    if ((id & kTaskPropStringClass) == 0 || value == nullptr)
        return value == nullptr ? E_POINTER : E_INVALIDARG;
    switch (id) {
    case kTaskPropKeyName: *value = record_.KeyName; break;
    case kTaskPropDisplayName: *value = &record_.DisplayName[0]; break;
    case kTaskPropAppName: *value = &record_.AppName[0]; break;
    case kTaskPropCommandLine: *value = &record_.CommandLine[0]; break;
    default: return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AppTaskData::GetDateProperty(ULONG id, SYSTEMTIME *value)
{
    if ((id & kTaskPropDateClass) == 0 || value == nullptr)
        return value == nullptr ? E_POINTER : E_INVALIDARG;
    switch (id) {
    case kTaskPropStartDate: *value = ToSystemTime(record_.StartDate); break;
    case kTaskPropEndDate: *value = ToSystemTime(record_.EndDate); break;
    case kTaskPropLastRun: *value = ToSystemTime(record_.LastRun); break;
    default: return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AppTaskData::GetDwordProperty(ULONG id, ULONG *value)
{
    if ((id & kTaskPropDwordClass) == 0 || value == nullptr)
        return value == nullptr ? E_POINTER : E_INVALIDARG;
    const uint32_t *field = nullptr;
    switch (id) {
    case kTaskPropTaskType: field = &record_.TaskType; break;
    case kTaskPropValue: field = &record_.Value; break;
    case kTaskPropValue2: field = &record_.Value2; break;
    case kTaskPropDaysOfWeek: field = &record_.DaysOfWeek; break;
    case kTaskPropMonthsOfYear: field = &record_.MonthsOfYear; break;
    case kTaskPropTimeout: field = &record_.Timeout; break;
    default: return E_INVALIDARG;
    }
    *value = *field;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AppTaskData::SetLastRun(SYSTEMTIME *lastRun)
{
    if (lastRun == nullptr)
        return E_POINTER;
    try {
        return WriteLastRun(&record_, FromSystemTime(*lastRun)) ? S_OK : E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT CreateAppTaskData(IUnknown *outer, REFIID riid, void **object)
{
    AppTaskData *task = new (std::nothrow) AppTaskData(outer);
    if (task == nullptr)
        return E_OUTOFMEMORY;
    return HandOut(task, riid, object);
}

} // namespace quillon::tasqui
