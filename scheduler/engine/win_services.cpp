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

// --- RegistryMailQueue ---------------------------------------------------------

bool RegistryMailQueue::Open()
{
    ++operations_;
    return queue_.Open(HKEY_CURRENT_USER, kMailKeyPath) == ERROR_SUCCESS;
}

void RegistryMailQueue::Close()
{
    if (entry_.IsOpen()) {
        ++operations_;
        entry_.Close();
    }
    if (queue_.IsOpen()) {
        ++operations_;
        queue_.Close();
    }
}

bool RegistryMailQueue::EntryAt(uint32_t index, std::string *name)
{
    if (!queue_.IsOpen())
        return false;
    ++operations_;
    return queue_.EnumSubkeyName(index, name) == ERROR_SUCCESS;
}

bool RegistryMailQueue::OpenEntry(const std::string &name)
{
    if (!queue_.IsOpen())
        return false;
    ++operations_;
    return entry_.Open(queue_.Get(), name.c_str()) == ERROR_SUCCESS;
}

void RegistryMailQueue::CloseEntry()
{
    if (entry_.IsOpen()) {
        ++operations_;
        entry_.Close();
    }
}

bool RegistryMailQueue::ReadRetryTime(DateTime *time)
{
    ++operations_;
    return entry_.ReadBinary(mail_values::kRetryTime, time, sizeof *time) == ERROR_SUCCESS;
}

bool RegistryMailQueue::ReadText(const char *value, std::string *text)
{
    // Size first, then the data: ReadString asks for the size and reads the value at
    // its stored length.
    operations_ += 2;
    return entry_.ReadString(value, text) == ERROR_SUCCESS;
}

bool RegistryMailQueue::ReadSubject(std::string *text) { return ReadText(mail_values::kSubject, text); }

bool RegistryMailQueue::ReadBody(std::string *text) { return ReadText(mail_values::kBody, text); }

bool RegistryMailQueue::ReadRetryCount(uint32_t *count)
{
    ++operations_;
    DWORD value = 0;
    if (entry_.ReadDword(mail_values::kRetryCount, &value) != ERROR_SUCCESS)
        return false;
    *count = value;
    return true;
}

bool RegistryMailQueue::WriteRetry(uint32_t count, const DateTime &retryTime)
{
    operations_ += 2;
    bool countWritten = entry_.WriteDword(mail_values::kRetryCount, count) == ERROR_SUCCESS;
    bool timeWritten = entry_.WriteBinary(mail_values::kRetryTime, &retryTime, sizeof retryTime) == ERROR_SUCCESS;
    return countWritten && timeWritten;
}

bool RegistryMailQueue::DeleteEntry(const std::string &name)
{
    if (!queue_.IsOpen())
        return false;
    ++operations_;
    // Whole: a message key that holds a subkey (written by hand) would otherwise stay
    // after it was sent, and go out again at the next start.
    return queue_.DeleteSubkeyTree(name.c_str()) == ERROR_SUCCESS;
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
