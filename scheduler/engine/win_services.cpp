#include "scheduler/engine/win_services.h"

#include "common/handles.h"
#include "common/log.h"
#include "common/names.h"
#include "common/win_datetime.h"
#include "mail/loader/mail_library.h"
#include "scheduler/engine/pumped_wait.h"

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

    WaitEnd end = WaitDispatchingMessages(process.Get(), timeoutMs, exitRequested_);
    if (end != WaitEnd::kSignalled) {
        TerminateProcess(process.Get(), kTaskExitTerminated);
        outcome.timedOut = end == WaitEnd::kTimedOut;
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

// The calls' texts are copied into the call, and its results kept in a shared box: an
// abandoned call goes on after the caller has returned.
struct CallResult {
    MailResult result = kMailFailed;
    MailSession session = 0;
};

class DllMailTransport : public MailTransport {
public:
    DllMailTransport(std::unique_ptr<MailLibrary> library, const bool *exitRequested)
        : library_(std::move(library)), calls_(exitRequested, true)
    {
    }

    ~DllMailTransport() override
    {
        // A call still inside the library: its code must stay loaded.
        if (calls_.Abandoned())
            library_.release();
    }

    int32_t Logon(const char *profile, const char *password, uint32_t *session, int logging,
                  const char *logFile) override
    {
        auto box = std::make_shared<CallResult>();
        MailLibrary *library = library_.get();
        std::string profileCopy = profile, logFileCopy = logFile;
        auto secret = std::make_shared<std::string>(password);
        bool ran = Run([=]() {
            box->result = library->Logon(profileCopy.c_str(), secret->c_str(), &box->session, logging,
                                         logFileCopy.c_str());
        });
        if (ran && !secret->empty())
            SecureZeroMemory(&(*secret)[0], secret->size());
        if (!ran)
            return kMailFailed;
        if (box->result >= 0)
            *session = box->session;
        return box->result;
    }

    int32_t Send(uint32_t session, const char *sender, const char *destination, const char *subject,
                 const char *body) override
    {
        auto box = std::make_shared<CallResult>();
        MailLibrary *library = library_.get();
        std::string from = sender, to = destination, title = subject, text = body;
        if (!Run([=]() {
                box->result = library->Send(session, from.c_str(), to.c_str(), title.c_str(), text.c_str());
            }))
            return kMailNotAttempted;   // the message stays queued as it was
        return box->result;
    }

    void Logoff(uint32_t session) override
    {
        MailLibrary *library = library_.get();
        Run([=]() { library->Logoff(session); });
    }

private:
    // On the transport's thread; on the caller's own thread only when that thread could
    // not be started (then the window waits, as it always did).
    bool Run(const std::function<void()> &call)
    {
        if (!calls_.Started()) {
            call();
            return true;
        }
        return calls_.Run(call);
    }

    std::unique_ptr<MailLibrary> library_;
    CallThread calls_;   // ended before the library is unloaded
};

} // namespace

std::unique_ptr<MailTransport> DllMailLibraryLoader::Load(const std::string &fileName)
{
    auto library = std::make_unique<MailLibrary>();
    if (library->Load(fileName.c_str()) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<DllMailTransport>(std::move(library), exitRequested_);
}

} // namespace quillon
