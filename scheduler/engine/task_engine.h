// The scheduler's engine: MinuteTick, run on every timer message of the shell's main
// window. Each tick asks the schedule for the tasks due at the current minute, runs each
// as a process within its time-out, reports the outcome (retry queue, LastRun), delivers
// queued messages, keeps the Internet connection, and logs.
//
// Everything runs on the caller's thread. A tick that arrives while another is still
// running (a modal loop inside the tick dispatched the timer message) only logs
// "(busy)". A tick examines one minute normally; when a pass ends a minute or more after
// it started, passes follow for the minutes after, as MinuteTick describes.
//
// What bounds a tick is what it has to do, not how long it took: within one tick each
// task runs at most once (a task the schedule hands out again, in the same pass or in a
// pass over a later minute, is passed over) and each queued message is tried at most
// once (mail_dispatch.h), so the passes over the minutes that went by while the tick
// worked run only what fell due in them and has not run yet. Each task process is
// waited for at most its time-out (then terminated); a message the mail library did not
// attempt holds the queue off until the next tick; the hang-up look-ahead asks at most a
// day of minutes. A tick whose passes are quick examines one minute, as before.
//
// The seams may keep the caller's window messages flowing while they wait (the
// scheduler's do); a timer message dispatched then only logs "(busy)". When the shell
// sets exitRequested, the tick ends after the current task or message.
#pragma once

#include <set>
#include <string>

#include "scheduler/engine/connection.h"
#include "scheduler/engine/engine_seams.h"
#include "scheduler/config/configuration.h"
#include "scheduler/engine/mail_dispatch.h"

namespace quillon {

// State the shell shares with the engine (alive for the process's life).
struct ShellState {
    // Non-zero while the schedule list dialog is open (the shell counts around EditTasks).
    unsigned scheduleViewCount = 0;
    // Set when "quillon:msg:apptaskchanged" arrives; the next tick consumes it.
    bool taskListChanged = false;
    // True while MinuteTick works through its passes.
    bool tickBusy = false;
    // Set by the shell when the scheduler is being ended: the running tick starts no
    // further task or message.
    bool exitRequested = false;
};

struct EngineServices {
    Clock *clock;
    EngineLog *log;
    ScheduleSource *schedule;
    ProcessLauncher *launcher;
    Dialer *dialer;
    MailQueueStore *queue;
    MailLibraryLoader *libraries;
};

class TaskEngine {
public:
    // Every service and the settings must outlive the engine. The settings may change
    // between ticks (after the configuration dialog); the engine reads them at each use.
    TaskEngine(const SchedulerSettings &settings, ShellState &shell, const EngineServices &services);

    void MinuteTick();

    // Runs the task's program ("<AppName> <CommandLine>") and waits at most its time-out.
    // True only when the process ended with exit code -1.
    bool RunTaskProcess(ScheduledTask &task);

    ConnectionKeeper &Connection() { return connection_; }
    MailDispatcher &Dispatcher() { return dispatcher_; }

private:
    void Pass(const DateTime &minute, bool forceReload);
    void Log(const std::string &text);
    DateTime CurrentMinute();
    // The task's key (its pointer when the key cannot be read): what "ran in this tick"
    // remembers.
    static std::string TaskIdentity(ScheduledTask &task);

    const SchedulerSettings &settings_;
    ShellState &shell_;
    EngineServices services_;
    MailDispatcher dispatcher_;
    ConnectionKeeper connection_;
    std::set<std::string> ranThisTick_;
};

} // namespace quillon
