// mailpush's Windows side: the settings read at load, the library-wide state behind
// QLLogon, QLSendMessage and QLLogoff, and the one-notification send behind the
// configuration dialog's Send Test. mailpush_dll.cpp holds one PushLibrary per loaded
// DLL; tests may build their own with a short deadline.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "common/text.h"
#include "mail/mail_contract.h"
#include "mail/push/https_post.h"
#include "mail/push/push_request.h"

namespace quillon {

// How long one message may take, all of its parts and the pauses between them
// included: the figure of the SMTP library's message deadline.
constexpr DWORD kDefaultPushMessageWaitMs = 120000;
// At most one request a second to one chat (the services' own rule for bots and hooks).
constexpr DWORD kChatIntervalMs = 1000;

// PushService, PushServer, PushTarget and PushSecret (unprotected) from Configuration.
// Missing values read as 0 or empty; *secretReadable says whether PushSecret was
// present and could be unprotected.
void LoadPushSettings(push::ServiceSettings *settings, bool *secretReadable);

// How a message (or Send Test's notification) ended.
struct PushOutcome {
    enum class Kind { kDelivered, kRefused, kDeferred, kCancelled, kUnusable };
    Kind kind = Kind::kUnusable;
    // One line for the log or the user: what the service answered or why nothing was
    // sent. Never holds the secret.
    std::string text;
};

// Sends subject and body (UTF-8) as the service's parts: waits for the chat's interval
// before each request (times of earlier requests in *lastRequest, keyed by chat),
// stops at the first part that is not delivered. `report`, when given, gets a line per
// delivered part. The deadline covers everything; `cancel` may be null.
class PushPartReport {
public:
    virtual ~PushPartReport() = default;
    virtual void PartDelivered(size_t part, size_t parts, int status) = 0;
};
PushOutcome SendPushMessage(const push::ServiceSettings &settings, const std::string &subjectUtf8,
                            const std::string &bodyUtf8, ULONGLONG deadline, HANDLE cancel,
                            std::map<std::string, ULONGLONG> *lastRequest, PushPartReport *report);

// ANSI (the system code page) to UTF-8.
std::string AnsiToUtf8(const char *text);

// Send Test: one notification with `settings` as the page holds them, subject and body
// in the ANSI code page. Blocks its thread until the answer, `waitMs` or `cancel`.
PushOutcome SendTestNotification(const push::ServiceSettings &settings, const std::string &subject,
                                 const std::string &body, DWORD waitMs, HANDLE cancel);

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
