#include "scheduler/engine/task_engine.h"

#include "common/text.h"
#include "scheduler/engine/log_lines.h"

namespace quillon {

TaskEngine::TaskEngine(const SchedulerSettings &settings, ShellState &shell, const EngineServices &services)
    : settings_(settings),
      shell_(shell),
      services_(services),
      dispatcher_(settings, *services.clock, *services.log, *services.queue, *services.libraries,
                  &shell.exitRequested),
      connection_(settings, *services.log, *services.dialer, *services.schedule, dispatcher_)
{
}

void TaskEngine::Log(const std::string &text)
{
    if (settings_.logging)
        services_.log->Append(text, true);
}

DateTime TaskEngine::CurrentMinute() { return TruncateToMinute(services_.clock->Now()); }

std::string TaskEngine::TaskIdentity(ScheduledTask &task)
{
    std::string key;
    if (task.GetString(kTaskPropKeyName, &key) && !key.empty())
        return "key " + key;
    return FormatText("record %p", static_cast<void *>(&task));
}

void TaskEngine::MinuteTick()
{
    DateTime tickMinute = CurrentMinute();
    if (shell_.tickBusy) {
        // The change notice stays for the tick after the running one: a long tick sees
        // nested ticks every minute now that its waits dispatch messages, and a notice
        // consumed by one of them would never reach the schedule.
        Log(BusyTickLine(tickMinute));
        return;
    }

    // While the schedule list is open its own copy of the list is being edited; a reload
    // forced under it would be lost, so the change is consumed without forcing.
    bool forceReload = shell_.taskListChanged;
    shell_.taskListChanged = false;
    if (shell_.scheduleViewCount != 0)
        forceReload = false;
    shell_.tickBusy = true;
    Log(TickStartLine(tickMinute));
    ranThisTick_.clear();
    dispatcher_.BeginTick();

    Ticks examine = 0;
    if (DateTimeToTicks(tickMinute, &examine)) {
        Ticks reference = examine;
        for (;;) {
            DateTime minute = {};
            TicksToDateTime(examine, &minute);
            Pass(minute, forceReload);
            forceReload = false;
            connection_.HangUpDecision(minute);
            if (shell_.exitRequested)
                break;

            Ticks end = 0;
            if (!DateTimeToTicks(CurrentMinute(), &end))
                break;
            examine = reference + kTicksPerMinute;
            reference = end;
            if (examine > end)
                break;
        }
    }
    shell_.tickBusy = false;
}

void TaskEngine::Pass(const DateTime &minute, bool forceReload)
{
    bool mailDue = false;
    // A task handed out again within the tick (its retry fell due at once, or it falls
    // due again in a later minute while the tick still works) is not run twice: the
    // tick would otherwise go round for as long as its retries last, or for ever when
    // each run takes longer than the task's period.
    for (;;) {
        if (shell_.exitRequested)
            return;
        ScheduledTask *task = nullptr;
        if (!services_.schedule->GetTaskForTime(minute, &task, forceReload) || task == nullptr ||
            ranThisTick_.count(TaskIdentity(*task)) != 0)
            task = nullptr;
        forceReload = false;
        if (task == nullptr) {
            mailDue = dispatcher_.IsMailDue();
            if (!mailDue)
                return;
        }

        bool needsInternet = mailDue;
        if (task != nullptr) {
            if (settings_.logging) {
                std::string key;
                task->GetString(kTaskPropKeyName, &key);
                Log(TaskDueLine(key, minute));
            }
            bool flag = false;
            needsInternet = task->GetBoolean(kTaskPropNeedsInternet, &flag) && flag;
        }

        connection_.EnsureConnection(needsInternet);

        if (task != nullptr) {
            ranThisTick_.insert(TaskIdentity(*task));
            bool succeeded = false;
            if (!(settings_.dialUp && needsInternet && !connection_.Connected()))
                succeeded = RunTaskProcess(*task);
            DateTime ended = services_.clock->Now();
            Ticks endedTicks = 0;
            DateTime retryTime = ended;
            if (DateTimeToTicks(ended, &endedTicks))
                TicksToDateTime(endedTicks + static_cast<Ticks>(settings_.taskRetryMinutes) * kTicksPerMinute,
                                &retryTime);
            services_.schedule->RequeueTask(retryTime, task, settings_.taskRetryCount, succeeded);
            task->SetLastRun(ended);
            Log(succeeded ? kTaskSucceededLine : kTaskFailedLine);
        }

        if (mailDue && !shell_.exitRequested)
            dispatcher_.DispatchMail();
    }
}

bool TaskEngine::RunTaskProcess(ScheduledTask &task)
{
    std::string program, arguments;
    uint32_t timeoutMs = 0;
    task.GetString(kTaskPropAppName, &program);
    task.GetString(kTaskPropCommandLine, &arguments);
    task.GetDword(kTaskPropTimeout, &timeoutMs);

    // The blank stays also when the arguments are empty.
    std::string commandLine = program + " " + arguments;
    ProcessOutcome outcome = services_.launcher->Run(commandLine, timeoutMs);
    if (!outcome.started) {
        Log(CreateProcessFailedLine(commandLine));
        return false;
    }
    if (outcome.timedOut)
        Log(kProcessTimedOutLine);
    return outcome.exitCode == kTaskExitSuccess;
}

} // namespace quillon
