// Sending one message to a push service with its parts, the chat interval and one
// deadline, shared by mailpush.dll (the scheduler's deliveries) and the configuration
// dialog's Send Test; and the push values read from Configuration.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "common/push/https_post.h"
#include "common/push/push_request.h"

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

// Gets a line per delivered part of a message.
class PushPartReport {
public:
    virtual ~PushPartReport() = default;
    virtual void PartDelivered(size_t part, size_t parts, int status) = 0;
};

// Sends subject and body (UTF-8) as the service's parts: waits for the chat's interval
// before each request (times of earlier requests in *lastRequest, keyed by chat),
// stops at the first part that is not delivered. `report` may be null. The deadline (a
// GetTickCount64 value) covers everything; `cancel` may be null.
PushOutcome SendPushMessage(const push::ServiceSettings &settings, const std::string &subjectUtf8,
                            const std::string &bodyUtf8, ULONGLONG deadline, HANDLE cancel,
                            std::map<std::string, ULONGLONG> *lastRequest, PushPartReport *report);

// ANSI (the system code page) to UTF-8.
std::string AnsiToUtf8(const char *text);

// `line` with every occurrence of `secret` replaced, for anything shown or logged:
// should a server echo a token or a webhook's address back, it still goes no further.
std::string WithoutSecret(std::string line, const std::string &secret);

// Send Test: one notification with `settings` as the page holds them, subject and body
// in the ANSI code page. Blocks its thread until the answer, `waitMs` or `cancel`.
PushOutcome SendTestNotification(const push::ServiceSettings &settings, const std::string &subject,
                                 const std::string &body, DWORD waitMs, HANDLE cancel);

} // namespace quillon
