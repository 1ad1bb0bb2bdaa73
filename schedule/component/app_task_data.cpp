#include "schedule/component/app_task_data.h"

#include <new>

#include "common/win_datetime.h"
#include "schedule/task_store.h"

namespace quillon::tasqui {

namespace {

// Class bits of the property identifiers.
constexpr ULONG kBooleanClass = 0x80000000;
constexpr ULONG kStringClass = 0x40000000;
constexpr ULONG kDateClass = 0x20000000;
constexpr ULONG kDwordClass = 0x10000000;

} // namespace

AppTaskData::AppTaskData(IUnknown *outer) : ComObject<IAppTaskData>(outer, IID_IAppTaskData) {}

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
    if ((id & kBooleanClass) == 0 || value == nullptr)
        return value == nullptr ? E_POINTER : E_INVALIDARG;
    const uint32_t *field = nullptr;
    switch (id) {
    case 0x80000001: field = &record_.Deleted; break;
    case 0x80000002: field = &record_.NeedsInternet; break;
    case 0x80000003: field = &record_.HasDates; break;
    case 0x80000004: field = &record_.HasTimes; break;
    case 0x80000005: field = &record_.NotWeekend; break;
    case 0x80000006: field = &record_.Disabled; break;
    default: return E_INVALIDARG;
    }
    *value = static_cast<LONG>(*field);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AppTaskData::GetStringProperty(ULONG id, LPSTR *value)
{
    if ((id & kStringClass) == 0 || value == nullptr)
        return value == nullptr ? E_POINTER : E_INVALIDARG;
    switch (id) {
    case 0x40000001: *value = record_.KeyName; break;
    case 0x40000002: *value = &record_.DisplayName[0]; break;
    case 0x40000003: *value = &record_.AppName[0]; break;
    case 0x40000004: *value = &record_.CommandLine[0]; break;
    default: return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AppTaskData::GetDateProperty(ULONG id, SYSTEMTIME *value)
{
    if ((id & kDateClass) == 0 || value == nullptr)
        return value == nullptr ? E_POINTER : E_INVALIDARG;
    switch (id) {
    case 0x20000001: *value = ToSystemTime(record_.StartDate); break;
    case 0x20000002: *value = ToSystemTime(record_.EndDate); break;
    case 0x20000003: *value = ToSystemTime(record_.LastRun); break;
    default: return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AppTaskData::GetDwordProperty(ULONG id, ULONG *value)
{
    if ((id & kDwordClass) == 0 || value == nullptr)
        return value == nullptr ? E_POINTER : E_INVALIDARG;
    const uint32_t *field = nullptr;
    switch (id) {
    case 0x10000001: field = &record_.TaskType; break;
    case 0x10000002: field = &record_.Value; break;
    case 0x10000003: field = &record_.Value2; break;
    case 0x10000004: field = &record_.DaysOfWeek; break;
    case 0x10000005: field = &record_.MonthsOfYear; break;
    case 0x10000006: field = &record_.Timeout; break;
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
