// MAILSIMPLE's library-wide state behind QLLogon, QLSendMessage and QLLogoff: one
// Simple MAPI call per contract call, through the functions looked up in MAPI32.DLL.
//
// A Simple MAPI session (LHANDLE) is pointer-sized, wider than the contract's 32-bit
// handle, so the full session stays here: the caller gets a 32-bit stand-in that is
// never turned back into a session. Send and Logoff always use the stored session,
// whatever handle they are given. The library serves one session at a time, from one
// thread, and is not re-entrant.
#pragma once

#include <windows.h>
#include <mapi.h>

#include "common/handles.h"
#include "common/text.h"
#include "mail/mail_contract.h"

namespace quillon {

// The Simple MAPI functions the library calls.
struct SimpleMapiFunctions {
    LPMAPILOGON logon = nullptr;
    LPMAPISENDMAIL sendMail = nullptr;
    LPMAPILOGOFF logoff = nullptr;
};

// Looks up "MAPILogon", "MAPILogoff" and "MAPISendMail" by name in `mapi`. False when
// one is missing; *missing then names the first one that is.
bool ResolveSimpleMapi(const UniqueModule &mapi, SimpleMapiFunctions *functions, const char **missing);

// The records handed to MAPISendMail: everything zero except the subject, the note text
// and one originator (MAPI_ORIG, by name) and one MAPI_TO recipient (by name, left to
// the mail system to resolve). The message points into this object, so build it where
// it stays until the call returns. The texts are the caller's and are only read.
struct SimpleMapiMessage {
    MapiRecipDesc originator;
    MapiRecipDesc recipient;
    MapiMessage message;
};
void BuildSimpleMessage(const char *sender, const char *destination, const char *subject, const char *body,
                        SimpleMapiMessage *records);

// The 32-bit handle given to the caller for a session: its low 32 bits, or 1 when those
// are all zero, so that a caller that tests the handle for 0 still logs off.
MailSession CallerHandleOf(LHANDLE session);

class SimpleMapiSession {
public:
    SimpleMapiSession() = default;
    SimpleMapiSession(const SimpleMapiSession &) = delete;
    SimpleMapiSession &operator=(const SimpleMapiSession &) = delete;

    void Bind(const SimpleMapiFunctions &functions) { functions_ = functions; }

    // The contract (mail/mail_contract.h). No dialog is ever allowed: a profile that
    // needs one, or a recipient the mail system cannot resolve by name, fails. Any
    // nonzero Simple MAPI result gives kMailFailed and, with logging on, a log line
    // carrying that number in hexadecimal. The stored session outlives Logoff.
    MailResult Logon(const char *profile, const char *password, MailSession *session, int logging,
                     const char *logFile);
    MailResult Send(MailSession session, const char *sender, const char *destination, const char *subject,
                    const char *body);
    MailResult Logoff(MailSession session);

private:
    void LogError(const char *step, ULONG result) const;

    SimpleMapiFunctions functions_;
    LHANDLE session_ = 0;      // from the last successful Logon
    bool logging_ = false;
    char logFile_[kTextBufferSize] = "";
};

} // namespace quillon
