// The engine's narrow seams to the world outside it. The portable engine (minute tick,
// connection keeper, dispatcher) sees only these; the Windows side implements them with
// the clock, the log file, CreateProcess, WinInet, the registry and LoadLibrary, and tests
// put doubles in their place. No implementation may throw: every failure is a result.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/datetime.h"
#include "common/task_properties.h"  // the ids the engine asks a task for
#include "scheduler/engine/queue_pass.h"

namespace quillon {

// Exit codes of task processes: only kTaskExitSuccess counts as success; a process that
// overruns its time-out is terminated with kTaskExitTerminated.
constexpr uint32_t kTaskExitSuccess = 0xFFFFFFFFu;
constexpr uint32_t kTaskExitTerminated = 0xDEADDEADu;

// Local time, full precision.
class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime Now() = 0;
};

// The log file. Append writes `text` and, when endOfLine is true, CR LF, in one opening
// of the file; failures are dropped. Callers call it only while logging is on.
class EngineLog {
public:
    virtual ~EngineLog() = default;
    virtual void Append(const std::string &text, bool endOfLine) = 0;
};

// One task record handed out by the schedule. Borrowed: valid until the schedule
// reloads its list; the engine never keeps it beyond the pass that got it.
class ScheduledTask {
public:
    virtual ~ScheduledTask() = default;
    // False for an identifier of the wrong kind or one the record does not have; a
    // string the record holds as null reads as empty.
    virtual bool GetString(uint32_t id, std::string *value) = 0;
    virtual bool GetBoolean(uint32_t id, bool *value) = 0;
    virtual bool GetDword(uint32_t id, uint32_t *value) = 0;
    virtual void SetLastRun(const DateTime &time) = 0;
};

// The schedule component as the engine calls it.
class ScheduleSource {
public:
    virtual ~ScheduleSource() = default;
    // True when a task is due at `minute`; *task is then the borrowed record. Any other
    // answer of the component (failure, "no tasks at all") is false.
    virtual bool GetTaskForTime(const DateTime &minute, ScheduledTask **task, bool forceReload) = 0;
    // Reports the outcome of a task: unqueue true takes it out of the retry queue, false
    // queues it (or keeps it queued) for `retryTime`, at most maxRetries times.
    virtual void RequeueTask(const DateTime &retryTime, ScheduledTask *task, uint32_t maxRetries,
                             bool unqueue) = 0;
};

struct ProcessOutcome {
    bool started = false;
    bool timedOut = false;   // overran its time-out and was terminated
    uint32_t exitCode = 0;
};

// Starts a task's command line and waits for it at most timeoutMs; a process still
// running then is terminated with kTaskExitTerminated.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    virtual ProcessOutcome Run(const std::string &commandLine, uint32_t timeoutMs) = 0;
};

// Dialling and the reachability probe.
class Dialer {
public:
    virtual ~Dialer() = default;
    // Dials the named connection entry unattended; 0 means connected. *handle receives
    // the connection handle for HangUp (pointer-sized on 64-bit Windows).
    virtual uint32_t Dial(const std::string &entryName, uint64_t *handle) = 0;
    virtual void HangUp(uint64_t handle) = 0;
    // True when the browser's start page can be opened (nothing of it is read).
    virtual bool ProbeStartPage() = 0;
};

// The outgoing message queue (the Mail key): MailQueueStore of queue/queue_store.h.

// One loaded mail library: the three functions of the mail-library contract. Results
// are 0 or more for success and negative for failure. Destroying it unloads the library.
class MailTransport {
public:
    virtual ~MailTransport() = default;
    virtual int32_t Logon(const char *profile, const char *password, uint32_t *session, int logging,
                          const char *logFile) = 0;
    virtual int32_t Send(uint32_t session, const char *sender, const char *destination, const char *subject,
                         const char *body) = 0;
    virtual void Logoff(uint32_t session) = 0;
};

class MailLibraryLoader {
public:
    virtual ~MailLibraryLoader() = default;
    // Loads the library by file name (the system's usual search). Null when it cannot be
    // loaded or lacks one of QLLogon, QLSendMessage and QLLogoff.
    virtual std::unique_ptr<MailTransport> Load(const std::string &fileName) = 0;
};

} // namespace quillon
