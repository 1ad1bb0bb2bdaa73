// The Windows implementations of the engine's seams: the local clock, the log file
// (AppendLog), task processes (CreateProcess) and the mail libraries (LoadLibrary). The
// message queue in the registry is RegistryMailQueue of queue/message_queue.h, the
// dialler is in wininet_dialer.h, the schedule component in component_schedule.h.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/registry.h"
#include "scheduler/engine/engine_seams.h"
#include "scheduler/config/configuration.h"
#include "queue/message_queue.h"

namespace quillon {

// Opens the log file `path` for appending without sharing (created if missing), writes
// `text` and, when endOfLine is true, CR LF, and closes it. A file that cannot be opened
// drops the text silently. Callers call it only while logging is on.
void AppendLog(const std::string &path, const std::string &text, bool endOfLine);

class LocalClock : public Clock {
public:
    DateTime Now() override;
};

// Appends to the file named by the settings' logFile at each call.
class FileEngineLog : public EngineLog {
public:
    explicit FileEngineLog(const SchedulerSettings &settings) : settings_(settings) {}
    void Append(const std::string &text, bool endOfLine) override;

private:
    const SchedulerSettings &settings_;
};

// CreateProcess with the command line alone (the system takes the program from it),
// inherited handles, the scheduler's environment and directory. The wait dispatches the
// calling thread's messages (pumped_wait.h). Once *exitRequested is set, a process still
// running after the grace time is terminated like one that overran its time-out
// (exit code DEADDEAD, but not reported as timed out): a program left running would
// hold its files against the setup program that is ending the scheduler.
class Win32ProcessLauncher : public ProcessLauncher {
public:
    explicit Win32ProcessLauncher(const bool *exitRequested = nullptr) : exitRequested_(exitRequested) {}
    ProcessOutcome Run(const std::string &commandLine, uint32_t timeoutMs) override;

private:
    const bool *exitRequested_;
};

// Loads a mail library through the mail-library loader (LoadLibraryA, then QLLogon,
// QLSendMessage and QLLogoff by name); the transport unloads it when destroyed. Each
// transport has one thread of its own (CallThread, with COM) that makes QLLogon, every
// QLSendMessage and QLLogoff, while the caller waits dispatching its messages. A call
// abandoned because the scheduler is ending reports kMailNotAttempted (a send: the
// message stays queued as it was) or kMailFailed, and the library then stays loaded.
class DllMailLibraryLoader : public MailLibraryLoader {
public:
    explicit DllMailLibraryLoader(const bool *exitRequested = nullptr) : exitRequested_(exitRequested) {}
    std::unique_ptr<MailTransport> Load(const std::string &fileName) override;

private:
    const bool *exitRequested_;
};

} // namespace quillon
