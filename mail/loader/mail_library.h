// Loads one mail library by file name for one dispatch pass and resolves the three
// contract functions (mail/mail_contract.h). The library is unloaded when the object
// goes away; nothing resolved from it may be used after that.
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "mail/mail_contract.h"

namespace quillon {

class MailLibrary {
public:
    MailLibrary() = default;
    MailLibrary(const MailLibrary &) = delete;
    MailLibrary &operator=(const MailLibrary &) = delete;

    // Loads `fileName` with the system's usual search order (a null or empty name loads
    // MAILSIMPLE.DLL) and resolves QLLogon, QLSendMessage and QLLogoff. Returns
    // ERROR_SUCCESS, the loader's error when the library does not load (a library that
    // refuses its load-time work fails here too), or ERROR_PROC_NOT_FOUND when one of
    // the three functions is missing; on any failure nothing stays loaded.
    DWORD Load(const char *fileName);
    void Unload();
    bool IsLoaded() const { return static_cast<bool>(module_); }

    // The contract calls. Without a loaded library each returns kMailFailed. An
    // exception or fault inside the library is not caught here: the library must not
    // throw (see the contract).
    MailResult Logon(const char *profile, const char *password, MailSession *session, int logging,
                     const char *logFile) const;
    MailResult Send(MailSession session, const char *sender, const char *destination,
                           const char *subject, const char *body) const;
    MailResult Logoff(MailSession session) const;

private:
    UniqueModule module_;
    QLLogonFunction logon_ = nullptr;
    QLSendMessageFunction send_ = nullptr;
    QLLogoffFunction logoff_ = nullptr;
};

} // namespace quillon
