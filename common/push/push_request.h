// mailpush's service work without a network: the seven push services, how one message
// becomes the HTTPS requests a service documents (split into numbered parts when it is
// longer than the service takes), and how a service's answer is judged. The Windows
// shell (push_session.h) converts the texts to UTF-8, sends the requests and logs.
// Includes no Windows header.
//
// Every text here is UTF-8. Nothing in this file logs; the secret (a token or a webhook
// URL) goes only into the request it belongs to, never into an error text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quillon::push {

// PushService values, in the order the configuration page lists them.
enum class Service : uint32_t {
    kNtfy = 1,
    kTelegram = 2,
    kDiscord = 3,
    kSlack = 4,        // Slack or Mattermost incoming webhook
    kGotify = 5,
    kPushover = 6,
    kJsonWebhook = 7,
};
constexpr uint32_t kFirstService = 1;
constexpr uint32_t kLastService = 7;

// How a service measures the length of one message.
enum class LengthUnit {
    kBytes,         // UTF-8 bytes
    kUtf16Units,    // UTF-16 code units (a character beyond U+FFFF counts twice)
    kCharacters,    // Unicode code points
};

// Which configuration values a service uses.
enum class ServerUse { kNone, kOptional, kRequired };

struct ServiceInfo {
    Service service;
    const char *name;            // as logged and as the Destination prefix: "ntfy", "Telegram", ...
    size_t limit;                // of the message text, in `unit`
    LengthUnit unit;
    size_t titleLimit;           // 0: the service has no title; the subject goes before the text
    ServerUse server;            // PushServer
    const char *defaultServer;   // used when PushServer is empty ("" when there is none)
    bool usesTarget;             // PushTarget
    bool secretRequired;         // false: ntfy's access token may be empty
    bool secretIsUrl;            // the secret is the webhook's URL
};

// The description of PushService `value`; null for a value that names no service.
const ServiceInfo *FindService(uint32_t value);

// The Destination the configuration page fills in from the service and the target:
// "ntfy: alerts", "Telegram: 12345", "Discord" (services without a target: the name).
std::string DestinationText(const ServiceInfo &service, const std::string &target);

struct Url {
    bool secure = true;
    std::string host;
    uint16_t port = 443;
    std::string path = "/";      // path and query, always starting with '/'
};

// Splits an absolute http:// or https:// URL. False with *error for anything else:
// another scheme, no host, a port that is not 1 to 65535, user information, spaces or
// control characters, or a fragment.
bool ParseUrl(const std::string &text, Url *url, std::string *error);

// One request as WinHTTP sends it: always a POST.
struct PushRequest {
    Url url;
    // Extra headers besides Content-Type (Authorization, X-Gotify-Key).
    std::vector<std::pair<std::string, std::string>> headers;
    std::string contentType;
    std::string body;
};

struct ServiceSettings {
    uint32_t service = 0;   // PushService
    std::string server;     // PushServer as stored (empty: the service's default)
    std::string target;     // PushTarget
    std::string secret;     // PushSecret, unprotected
};

// The URL that the service's requests go to, and the key of the chat for the
// one-request-a-second rule (the same chat gives the same key). False with *error
// (which never holds the secret) when the settings cannot make a request: no such
// service, a missing target or secret, or a URL that is not https. An http:// URL is
// accepted only as PushServer of a service that runs on a server of one's own (ntfy,
// Gotify, a local Telegram Bot API server): *plainHttp is then true and the caller
// warns that the text travels in clear.
bool CheckSettings(const ServiceSettings &settings, Url *url, std::string *chatKey, bool *plainHttp,
                   std::string *error);

// The text of one message as the service's parts: a text within the service's limit
// comes back as one part, unchanged; a longer one is cut into parts that each begin
// with "(k/n) ", cut between characters (preferring a space or line break in the last
// quarter of a part), none over the limit. The subject becomes the title where the
// service has one (cut to its title limit); elsewhere it is put before the text on a
// line of its own and is part of what is measured and cut.
struct MessagePart {
    std::string title;   // empty where the service has no title
    std::string text;
};
std::vector<MessagePart> SplitMessage(const ServiceInfo &service, const std::string &subject,
                                      const std::string &body);

// The request of one part. Needs settings that CheckSettings accepted.
PushRequest BuildRequest(const ServiceSettings &settings, const Url &url, const MessagePart &part);

// What a service's answer means for the message.
enum class Verdict {
    kDelivered,   // the service's own success answer
    kRefused,     // a refusal (401, 403, 404, 400, a 2xx without the success body, ...)
    kDeferred,    // 429 or 5xx: the service cannot take it now; try again later
};

struct Judgement {
    Verdict verdict = Verdict::kRefused;
    int status = 0;
    // The service's short error text (printable ASCII, at most kErrorTextLimit bytes),
    // empty when it gave none.
    std::string errorText;
    // Seconds from Retry-After (or the body's retry_after), -1 when none was given.
    long retryAfterSeconds = -1;
};
constexpr size_t kErrorTextLimit = 160;

// Judges an answer: `status` is the HTTP status, `body` what the service sent (it may
// be anything at all), `retryAfter` the Retry-After header's text (empty when absent).
Judgement JudgeAnswer(Service service, int status, const std::string &body, const std::string &retryAfter);

// Measures `text` (UTF-8) in `unit`. Invalid bytes count as one character each.
size_t MeasureText(const std::string &text, LengthUnit unit);

// `text` with every byte that is not printable ASCII replaced by '?' and runs of white
// space as one space, at most `limit` bytes: safe for a log line.
std::string PrintableText(const std::string &text, size_t limit);

} // namespace quillon::push
