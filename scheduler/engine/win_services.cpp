#include "scheduler/engine/win_services.h"

#include "common/handles.h"
#include "common/log.h"
#include "common/names.h"
#include "common/win_datetime.h"
#include "mail/loader/mail_library.h"

namespace quillon {

void AppendLog(const std::string &path, const std::string &text, bool endOfLine)
{
    AppendLogText(path.c_str(), endOfLine ? text + "\r\n" : text);
}

DateTime LocalClock::Now() { return LocalNow(); }

void FileEngineLog::Append(const std::string &text, bool endOfLine) { AppendLog(settings_.logFile, text, endOfLine); }

ProcessOutcome Win32ProcessLauncher::Run(const std::string &commandLine, uint32_t timeoutMs)
{
    ProcessOutcome outcome;
    // CreateProcessA may write into the command line, so it gets its own buffer.
    std::string buffer = commandLine;
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &buffer[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return outcome;
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    outcome.started = true;

    if (WaitForSingleObject(process.Get(), timeoutMs) == WAIT_TIMEOUT) {
        TerminateProcess(process.Get(), kTaskExitTerminated);
        outcome.timedOut = true;
        // Termination is asynchronous; give it a moment so the exit code is the
        // termination code rather than "still active". Either counts as failure.
        WaitForSingleObject(process.Get(), 5000);
    }
    DWORD exitCode = 0;
    if (GetExitCodeProcess(process.Get(), &exitCode))
        outcome.exitCode = exitCode;
    return outcome;
}

// --- DllMailLibraryLoader ------------------------------------------------------

namespace {

class DllMailTransport : public MailTransport {
public:
    explicit DllMailTransport(std::unique_ptr<MailLibrary> library) : library_(std::move(library)) {}

    int32_t Logon(const char *profile, const char *password, uint32_t *session, int logging,
                  const char *logFile) override
    {
        return library_->Logon(profile, password, session, logging, logFile);
    }

    int32_t Send(uint32_t session, const char *sender, const char *destination, const char *subject,
                 const char *body) override
    {
        return library_->Send(session, sender, destination, subject, body);
    }

    void Logoff(uint32_t session) override { library_->Logoff(session); }

private:
    std::unique_ptr<MailLibrary> library_;
};

} // namespace

std::unique_ptr<MailTransport> DllMailLibraryLoader::Load(const std::string &fileName)
{
    auto library = std::make_unique<MailLibrary>();
    if (library->Load(fileName.c_str()) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<DllMailTransport>(std::move(library));
}

} // namespace quillon
