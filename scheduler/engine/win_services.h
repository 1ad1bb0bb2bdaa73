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
// inherited handles, the scheduler's environment and directory; waits without pumping
// messages.
class Win32ProcessLauncher : public ProcessLauncher {
public:
    ProcessOutcome Run(const std::string &commandLine, uint32_t timeoutMs) override;
};

// Loads a mail library through the mail-library loader (LoadLibraryA, then QLLogon,
// QLSendMessage and QLLogoff by name); the transport unloads it when destroyed.
class DllMailLibraryLoader : public MailLibraryLoader {
public:
    std::unique_ptr<MailTransport> Load(const std::string &fileName) override;
};

} // namespace quillon
