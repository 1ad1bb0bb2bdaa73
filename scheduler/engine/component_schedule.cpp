#include "scheduler/engine/component_schedule.h"

#include "common/win_datetime.h"
#include "tasqui_h.h"

namespace quillon {

void ComponentSchedule::TaskView::Reset(IUnknown *record)
{
    record_ = record;
    data_ = nullptr;
    IAppTaskData *data = nullptr;
    if (record != nullptr && SUCCEEDED(record->QueryInterface(IID_IAppTaskData, reinterpret_cast<void **>(&data))) &&
        data != nullptr) {
        // The component's list keeps the record alive; the view borrows it like the
        // record pointer itself and gives back the reference QueryInterface added.
        data_ = data;
        data->Release();
    }
}

bool ComponentSchedule::TaskView::GetString(uint32_t id, std::string *value)
{
    if (data_ == nullptr)
        return false;
    LPSTR text = nullptr;
    if (data_->GetStringProperty(id, &text) != S_OK)
        return false;
    value->assign(text != nullptr ? text : "");
    return true;
}

bool ComponentSchedule::TaskView::GetBoolean(uint32_t id, bool *value)
{
    LONG flag = 0;
    if (data_ == nullptr || data_->GetBooleanProperty(id, &flag) != S_OK)
        return false;
    *value = flag != 0;
    return true;
}

bool ComponentSchedule::TaskView::GetDword(uint32_t id, uint32_t *value)
{
    ULONG number = 0;
    if (data_ == nullptr || data_->GetDwordProperty(id, &number) != S_OK)
        return false;
    *value = number;
    return true;
}

void ComponentSchedule::TaskView::SetLastRun(const DateTime &time)
{
    if (data_ == nullptr)
        return;
    SYSTEMTIME st = ToSystemTime(time);
    data_->SetLastRun(&st);
}

bool ComponentSchedule::GetTaskForTime(const DateTime &minute, ScheduledTask **task, bool forceReload)
{
    *task = nullptr;
    if (component_ == nullptr)
        return false;
    if (forceReload)
        views_.clear();
    // The component writes seconds into the time it is given; it gets a copy.
    SYSTEMTIME st = ToSystemTime(minute);
    IUnknown *record = nullptr;
    if (component_->GetTaskForTime(&st, &record, forceReload ? 1 : 0) != S_OK || record == nullptr)
        return false;
    std::unique_ptr<TaskView> &view = views_[record];
    if (!view)
        view = std::make_unique<TaskView>();
    view->Reset(record);
    *task = view.get();
    return true;
}

void ComponentSchedule::RequeueTask(const DateTime &retryTime, ScheduledTask *task, uint32_t maxRetries, bool unqueue)
{
    if (component_ == nullptr || task == nullptr)
        return;
    SYSTEMTIME st = ToSystemTime(retryTime);
    component_->RequeueTask(&st, static_cast<TaskView *>(task)->Record(), maxRetries, unqueue ? 1 : 0);
}

} // namespace quillon
