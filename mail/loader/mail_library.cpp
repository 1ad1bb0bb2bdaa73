#include "mail/loader/mail_library.h"

#include "common/names.h"

namespace quillon {

DWORD MailLibrary::Load(const char *fileName)
{
    Unload();
    const char *name = fileName != nullptr && fileName[0] != '\0' ? fileName : kDefaultMailLibrary;
    UniqueModule module(LoadLibraryA(name));
    if (!module)
        return GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_DLL_INIT_FAILED;
    logon_ = module.Resolve<QLLogonFunction>(kQLLogonName);
    send_ = module.Resolve<QLSendMessageFunction>(kQLSendMessageName);
    logoff_ = module.Resolve<QLLogoffFunction>(kQLLogoffName);
    if (logon_ == nullptr || send_ == nullptr || logoff_ == nullptr) {
        Unload();
        return ERROR_PROC_NOT_FOUND;
    }
    module_ = std::move(module);
    return ERROR_SUCCESS;
}

void MailLibrary::Unload()
{
    logon_ = nullptr;
    send_ = nullptr;
    logoff_ = nullptr;
    module_.Reset();
}

MailResult MailLibrary::Logon(const char *profile, const char *password, MailSession *session, int logging,
                              const char *logFile) const
{
    if (logon_ == nullptr)
        return kMailFailed;
    return logon_(profile != nullptr ? profile : "", password != nullptr ? password : "", session, logging,
                  logFile != nullptr ? logFile : "");
}

MailResult MailLibrary::Send(MailSession session, const char *sender, const char *destination,
                                    const char *subject, const char *body) const
{
    if (send_ == nullptr)
        return kMailFailed;
    return send_(session, sender != nullptr ? sender : "", destination != nullptr ? destination : "",
                 subject != nullptr ? subject : "", body != nullptr ? body : "");
}

MailResult MailLibrary::Logoff(MailSession session) const
{
    if (logoff_ == nullptr)
        return kMailFailed;
    return logoff_(session);
}

} // namespace quillon
