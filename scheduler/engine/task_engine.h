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
// What bounds a tick: each task process is waited for at most its time-out (then
// terminated); a task the schedule hands out again within the same pass is not run
// again; the dispatcher never leaves an entry due that it could not move on (see
// mail_dispatch.h), so a pass ends once the schedule has nothing new and no mail is
// due; the hang-up look-ahead asks at most a day of minutes. Dialling (InternetDial) and
// the mail library's calls block for as long as the platform and the library take.
#pragma once

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

    const SchedulerSettings &settings_;
    ShellState &shell_;
    EngineServices services_;
    MailDispatcher dispatcher_;
    ConnectionKeeper connection_;
};

} // namespace quillon
