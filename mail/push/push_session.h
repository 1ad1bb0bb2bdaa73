// mailpush's library-wide state behind QLLogon, QLSendMessage and QLLogoff (the sending
// itself is common/push/push_send.h, shared with the configuration dialog's Send Test).
// mailpush_dll.cpp holds one PushLibrary per loaded DLL; tests may build their own with
// a short deadline.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "common/text.h"
#include "common/push/push_send.h"
#include "mail/mail_contract.h"

namespace quillon {

class PushLibrary {
public:
    explicit PushLibrary(const push::ServiceSettings &settings, bool secretReadable,
                         DWORD messageWaitMs = kDefaultPushMessageWaitMs);
    ~PushLibrary();
    PushLibrary(const PushLibrary &) = delete;
    PushLibrary &operator=(const PushLibrary &) = delete;

    // The contract (mail/mail_contract.h). Logon checks the settings (no request is
    // made) and fails with a log line when they cannot make one. Send posts the message
    // as the service's parts: kMailOk when the service took every part; kMailFailed on
    // a refusal (401, 403, 404, 400, a refused certificate, ...); kMailNotAttempted when
    // the service cannot take it now (429, 5xx, no answer within the deadline, no
    // connection), after which every later Send of the session is not attempted either.
    // sender and destination are not used (the dispatcher logs them).
    MailResult Logon(MailSession *session, int logging, const char *logFile);
    MailResult Send(MailSession session, const char *subject, const char *body);
    MailResult Logoff(MailSession session);

private:
    void Log(const std::string &line);

    push::ServiceSettings settings_;
    bool secretReadable_;
    DWORD messageWaitMs_;
    bool logging_ = false;
    char logFile_[kTextBufferSize] = "";
    MailSession session_ = 0;
    bool unavailable_ = false;   // a message of this session was deferred
    std::map<std::string, ULONGLONG> lastRequest_;
};

} // namespace quillon
