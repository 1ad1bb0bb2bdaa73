#include "scheduler/engine/task_engine.h"

#include <set>

#include "scheduler/engine/log_lines.h"

namespace quillon {

TaskEngine::TaskEngine(const SchedulerSettings &settings, ShellState &shell, const EngineServices &services)
    : settings_(settings),
      shell_(shell),
      services_(services),
      dispatcher_(settings, *services.clock, *services.log, *services.queue, *services.libraries),
      connection_(settings, *services.log, *services.dialer, *services.schedule, dispatcher_)
{
}

void TaskEngine::Log(const std::string &text)
{
    if (settings_.logging)
        services_.log->Append(text, true);
}

DateTime TaskEngine::CurrentMinute() { return TruncateToMinute(services_.clock->Now()); }

void TaskEngine::MinuteTick()
{
    // While the schedule list is open its own copy of the list is being edited; a reload
    // forced under it would be lost, so the change is consumed without forcing.
    bool forceReload = shell_.taskListChanged;
    shell_.taskListChanged = false;
    if (shell_.scheduleViewCount != 0)
        forceReload = false;

    DateTime tickMinute = CurrentMinute();
    if (shell_.tickBusy) {
        Log(BusyTickLine(tickMinute));
        return;
    }
    shell_.tickBusy = true;
    Log(TickStartLine(tickMinute));

    Ticks examine = 0;
    if (DateTimeToTicks(tickMinute, &examine)) {
        Ticks reference = examine;
        for (;;) {
            DateTime minute = {};
            TicksToDateTime(examine, &minute);
            Pass(minute, forceReload);
            forceReload = false;
            connection_.HangUpDecision(minute);

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
    // A task handed out again within the same pass (its retry fell due at once) is not
    // run twice: the pass would otherwise go round for as long as its retries last.
    std::set<ScheduledTask *> ran;
    for (;;) {
        ScheduledTask *task = nullptr;
        if (!services_.schedule->GetTaskForTime(minute, &task, forceReload) || ran.count(task) != 0)
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
            ran.insert(task);
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

        if (mailDue)
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
