// The Windows implementations of the engine's seams: the local clock, the log file
// (AppendLog), task processes (CreateProcess), the message queue in the registry and the
// mail libraries (LoadLibrary). The dialler is in wininet_dialer.h, the schedule
// component in component_schedule.h.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/registry.h"
#include "scheduler/engine/engine_seams.h"
#include "scheduler/engine/engine_settings.h"

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
    explicit FileEngineLog(const EngineSettings &settings) : settings_(settings) {}
    void Append(const std::string &text, bool endOfLine) override;

private:
    const EngineSettings &settings_;
};

// CreateProcess with the command line alone (the system takes the program from it),
// inherited handles, the scheduler's environment and directory; waits without pumping
// messages.
class Win32ProcessLauncher : public ProcessLauncher {
public:
    ProcessOutcome Run(const std::string &commandLine, uint32_t timeoutMs) override;
};

// HKCU\Software\Kestrova\Tasqeduler\Mail. Counts its registry operations for the
// benchmark.
class RegistryMailQueue : public MailQueueStore {
public:
    bool Open() override;
    void Close() override;
    bool EntryAt(uint32_t index, std::string *name) override;
    bool OpenEntry(const std::string &name) override;
    void CloseEntry() override;
    bool ReadRetryTime(DateTime *time) override;
    bool ReadSubject(std::string *text) override;
    bool ReadBody(std::string *text) override;
    bool ReadRetryCount(uint32_t *count) override;
    bool WriteRetry(uint32_t count, const DateTime &retryTime) override;
    bool DeleteEntry(const std::string &name) override;

    // Registry calls made so far (opens, closes, reads, writes, enumerations, deletions).
    unsigned long long Operations() const { return operations_; }

private:
    bool ReadText(const char *value, std::string *text);

    RegistryKey queue_;
    RegistryKey entry_;
    unsigned long long operations_ = 0;
};

// Loads a mail library through the mail-library loader (LoadLibraryA, then QLLogon,
// QLSendMessage and QLLogoff by name); the transport unloads it when destroyed.
class DllMailLibraryLoader : public MailLibraryLoader {
public:
    std::unique_ptr<MailTransport> Load(const std::string &fileName) override;
};

} // namespace quillon
