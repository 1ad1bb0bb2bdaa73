// The schedule component (ITasqeduleUI of tasqui.dll) as the engine's ScheduleSource.
#pragma once

#include <windows.h>

#include <map>
#include <memory>

#include "scheduler/engine/engine_seams.h"

struct ITasqeduleUI;
struct IAppTaskData;

namespace quillon {

class ComponentSchedule : public ScheduleSource {
public:
    // Borrows `component` (the shell holds the reference for its whole life); null means
    // the component could not be created, and then no task is ever due.
    explicit ComponentSchedule(ITasqeduleUI *component) : component_(component) {}
    ComponentSchedule(const ComponentSchedule &) = delete;
    ComponentSchedule &operator=(const ComponentSchedule &) = delete;

    bool GetTaskForTime(const DateTime &minute, ScheduledTask **task, bool forceReload) override;
    void RequeueTask(const DateTime &retryTime, ScheduledTask *task, uint32_t maxRetries, bool unqueue) override;

    // One view per task record. The record is borrowed from the component's list (no
    // reference is taken), so the view lives only as long as the record may.
    class TaskView : public ScheduledTask {
    public:
        // Points the view at the record just handed out (the same address may hold a
        // new record after a reload).
        void Reset(IUnknown *record);
        bool GetString(uint32_t id, std::string *value) override;
        bool GetBoolean(uint32_t id, bool *value) override;
        bool GetDword(uint32_t id, uint32_t *value) override;
        void SetLastRun(const DateTime &time) override;
        IUnknown *Record() const { return record_; }

    private:
        IUnknown *record_ = nullptr;
        IAppTaskData *data_ = nullptr;   // borrowed like the record
    };

private:
    ITasqeduleUI *component_;
    // Views of the records handed out since the last forced reload, by record address.
    std::map<IUnknown *, std::unique_ptr<TaskView>> views_;
};

} // namespace quillon
