#include "scheduler/engine/win_services.h"

#include "common/handles.h"
#include "common/log.h"
#include "common/names.h"
#include "common/win_datetime.h"

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
    return queue_.DeleteSubkey(name.c_str()) == ERROR_SUCCESS;
}

// --- DllMailLibraryLoader ------------------------------------------------------

namespace {

// The mail-library contract's exports.
using QLLogonFunction = LONG(WINAPI *)(LPSTR profile, LPSTR password, ULONG *session, int logging, LPSTR logFile);
using QLSendMessageFunction = LONG(WINAPI *)(ULONG session, LPSTR sender, LPSTR destination, LPSTR subject,
                                             LPSTR body);
using QLLogoffFunction = LONG(WINAPI *)(ULONG session);

class DllMailTransport : public MailTransport {
public:
    DllMailTransport(UniqueModule module, QLLogonFunction logon, QLSendMessageFunction send, QLLogoffFunction logoff)
        : module_(std::move(module)), logon_(logon), send_(send), logoff_(logoff)
    {
    }

    int32_t Logon(const char *profile, const char *password, uint32_t *session, int logging,
                  const char *logFile) override
    {
        ULONG handle = *session;
        // The contract takes non-const texts but never changes them.
        LONG result = logon_(const_cast<LPSTR>(profile), const_cast<LPSTR>(password), &handle, logging,
                             const_cast<LPSTR>(logFile));
        *session = handle;
        return result;
    }

    int32_t Send(uint32_t session, const char *sender, const char *destination, const char *subject,
                 const char *body) override
    {
        return send_(session, const_cast<LPSTR>(sender), const_cast<LPSTR>(destination), const_cast<LPSTR>(subject),
                     const_cast<LPSTR>(body));
    }

    void Logoff(uint32_t session) override { logoff_(session); }

private:
    UniqueModule module_;
    QLLogonFunction logon_;
    QLSendMessageFunction send_;
    QLLogoffFunction logoff_;
};

} // namespace

std::unique_ptr<MailTransport> DllMailLibraryLoader::Load(const std::string &fileName)
{
    UniqueModule module(LoadLibraryA(fileName.c_str()));
    if (!module)
        return nullptr;
    auto logon = module.Resolve<QLLogonFunction>("QLLogon");
    auto send = module.Resolve<QLSendMessageFunction>("QLSendMessage");
    auto logoff = module.Resolve<QLLogoffFunction>("QLLogoff");
    if (logon == nullptr || send == nullptr || logoff == nullptr)
        return nullptr;
    return std::make_unique<DllMailTransport>(std::move(module), logon, send, logoff);
}

} // namespace quillon
