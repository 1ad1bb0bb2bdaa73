// The work of mailrich.dll, the Extended MAPI mail library: log on to a MAPI profile,
// put each message into the default store's Outbox, address it through the address
// book, submit it and ask the outbound transport to send at once, log off.
//
// Sessions live in a handle table (session_table.h): the contract's 32-bit handle is an
// index into it, never the session pointer itself. One object serves the whole loaded
// library; calls come one at a time (no locking).
#pragma once

#include <windows.h>
#include <mapix.h>

#include <string>

#include "common/text.h"
#include "mail/mail_contract.h"
#include "mail/rich/mapi_utilities.h"
#include "mail/rich/session_table.h"

namespace quillon {

// Sessions one loaded library can hold at once. The scheduler opens one per dispatch
// pass and closes it again; the rest is headroom.
constexpr size_t kRichSessionCapacity = 8;

class RichLibrary {
public:
    explicit RichLibrary(const MapiUtilities &utilities) : utilities_(utilities) {}
    RichLibrary(const RichLibrary &) = delete;
    RichLibrary &operator=(const RichLibrary &) = delete;

    // The three contract calls (mail/mail_contract.h). Results are 0 or a negative MAPI
    // result; E_FAIL where no MAPI call failed (no default store, missing column, unknown
    // session handle).
    MailResult Logon(const char *profile, const char *password, MailSession *session, int logging,
                     const char *logFile);
    // The sender is not used: the message gets no sender property, MAPI fills it in.
    MailResult Send(MailSession session, const char *sender, const char *destination, const char *subject,
                    const char *body);
    MailResult Logoff(MailSession session);

private:
    struct SessionEntry {
        IMAPISession *session = nullptr;
        bool initialized = false;   // MAPIInitialize succeeded for this session
    };

    void Log(const std::string &line) const;
    MailResult Failed(const char *format, HRESULT result) const;
    void FlushOutboundQueue(IMAPISession *session);

    MapiUtilities utilities_;
    int logging_ = 0;
    char logFile_[kTextBufferSize] = {};
    SessionTable<SessionEntry, kRichSessionCapacity> sessions_;
};

} // namespace quillon
