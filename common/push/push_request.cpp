#include "common/push/push_request.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quillon::push {

namespace {

using Json = nlohmann::json;

// Our own limit where the service documents none that a message could reach: ntfy's
// 4,096 bytes are its message limit, Gotify and a webhook of one's own take this too.
constexpr size_t kOwnLimit = 4096;
constexpr size_t kOwnTitleLimit = 250;

const ServiceInfo kServices[] = {
    {Service::kNtfy, "ntfy", 4096, LengthUnit::kBytes, kOwnTitleLimit, ServerUse::kOptional, "https://ntfy.sh", true,
     false, false},
    {Service::kTelegram, "Telegram", 4096, LengthUnit::kUtf16Units, 0, ServerUse::kOptional,
     "https://api.telegram.org", true, true, false},
    {Service::kDiscord, "Discord", 2000, LengthUnit::kCharacters, 0, ServerUse::kNone, "", false, true, true},
    {Service::kSlack, "Slack", 3000, LengthUnit::kCharacters, 0, ServerUse::kNone, "", false, true, true},
    {Service::kGotify, "Gotify", kOwnLimit, LengthUnit::kBytes, kOwnTitleLimit, ServerUse::kRequired, "", false, true,
     false},
    {Service::kPushover, "Pushover", 1024, LengthUnit::kCharacters, 250, ServerUse::kOptional,
     "https://api.pushover.net", true, true, false},
    {Service::kJsonWebhook, "JSON webhook", kOwnLimit, LengthUnit::kBytes, kOwnTitleLimit, ServerUse::kNone, "", false,
     true, true},
};

// One character of a UTF-8 text: its bytes [begin, end) and its code point (an invalid
// byte stands for itself, as one character).
struct Character {
    size_t begin;
    size_t end;
    uint32_t codePoint;
};

std::vector<Character> Characters(const std::string &text)
{
    std::vector<Character> out;
    out.reserve(text.size());
    const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = bytes[i];
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        uint32_t codePoint = lead;
        bool valid = length != 0 && i + length <= text.size();
        if (valid && length > 1) {
            codePoint = lead & (0x7F >> length);
            for (size_t k = 1; k < length; ++k) {
                if ((bytes[i + k] & 0xC0) != 0x80) {
                    valid = false;
                    break;
                }
                codePoint = (codePoint << 6) | (bytes[i + k] & 0x3F);
            }
        }
        if (!valid) {
            length = 1;
            codePoint = lead;
        }
        out.push_back({i, i + length, codePoint});
        i += length;
    }
    return out;
}

size_t UnitCost(const Character &c, LengthUnit unit)
{
    switch (unit) {
    case LengthUnit::kBytes: return c.end - c.begin;
    case LengthUnit::kUtf16Units: return c.codePoint > 0xFFFF ? 2 : 1;
    case LengthUnit::kCharacters: return 1;
    }
    return 1;
}

// What `c` costs in the service's text: Slack turns &, < and > into entities, and the
// entities count.
size_t Cost(const ServiceInfo &service, const Character &c)
{
    if (service.service == Service::kSlack) {
        if (c.codePoint == '&')
            return 5;
        if (c.codePoint == '<' || c.codePoint == '>')
            return 4;
    }
    return UnitCost(c, service.unit);
}

bool IsBreak(uint32_t codePoint) { return codePoint == ' ' || codePoint == '\n' || codePoint == '\r' || codePoint == '\t'; }

// Cuts `text` into pieces of at most `room` each (room > 0).
std::vector<std::string> Cut(const ServiceInfo &service, const std::string &text, const std::vector<Character> &chars,
                             size_t room)
{
    std::vector<std::string> pieces;
    size_t first = 0;
    while (first < chars.size()) {
        size_t used = 0;
        size_t last = first;   // one past the last character that fits
        size_t breakAfter = 0; // one past a break character, 0 when none seen
        while (last < chars.size() && used + Cost(service, chars[last]) <= room) {
            used += Cost(service, chars[last]);
            if (IsBreak(chars[last].codePoint))
                breakAfter = last + 1;
            ++last;
        }
        if (last == first)
            last = first + 1;   // a single character costlier than the room: cannot happen with our limits
        // Prefer a break in the last quarter of the piece, unless the text ends here.
        if (last < chars.size() && breakAfter > first && (breakAfter - first) * 4 >= (last - first) * 3)
            last = breakAfter;
        pieces.push_back(text.substr(chars[first].begin, chars[last - 1].end - chars[first].begin));
        first = last;
    }
    return pieces;
}

std::string Marker(size_t k, size_t n) { return "(" + std::to_string(k) + "/" + std::to_string(n) + ") "; }

std::string CutToCharacters(const std::string &text, size_t limit)
{
    std::vector<Character> chars = Characters(text);
    if (chars.size() <= limit)
        return text;
    return text.substr(0, chars[limit].begin);
}

std::string SlackEscaped(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::string FormEncoded(const std::string &text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

// JSON text; bytes that are not UTF-8 become U+FFFD instead of an exception.
std::string Dump(const Json &json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string WithoutTrailingSlash(std::string text)
{
    while (!text.empty() && text.back() == '/')
        text.pop_back();
    return text;
}

// The path of `url` with `tail` added after its own path.
Url WithPath(Url url, const std::string &tail)
{
    std::string base = url.path;
    size_t query = base.find('?');
    if (query != std::string::npos)
        base.erase(query);
    url.path = WithoutTrailingSlash(base) + tail;
    return url;
}

bool ReadString(const Json &object, const char *name, std::string *out)
{
    if (!object.is_object())
        return false;
    auto it = object.find(name);
    if (it == object.end() || !it->is_string())
        return false;
    *out = it->get<std::string>();
    return true;
}

long SecondsOf(const Json &value)
{
    if (value.is_number_integer()) {
        long long n = value.get<long long>();
        return n < 0 ? -1 : static_cast<long>(std::min<long long>(n, 86400 * 7));
    }
    if (value.is_number_float()) {
        double d = value.get<double>();
        if (!(d >= 0) || d > 86400.0 * 7)
            return -1;
        return static_cast<long>(std::ceil(d));
    }
    return -1;
}

long RetryAfterHeaderSeconds(const std::string &header)
{
    size_t i = 0;
    while (i < header.size() && (header[i] == ' ' || header[i] == '\t'))
        ++i;
    if (i == header.size() || header[i] < '0' || header[i] > '9')
        return -1;   // an HTTP date, or nothing usable
    long value = 0;
    for (; i < header.size() && header[i] >= '0' && header[i] <= '9'; ++i) {
        value = value * 10 + (header[i] - '0');
        if (value > 86400L * 7)
            return 86400L * 7;
    }
    return value;
}

std::string ErrorTextOf(Service service, const std::string &body, const Json &json)
{
    std::string text;
    switch (service) {
    case Service::kNtfy: ReadString(json, "error", &text); break;
    case Service::kTelegram: ReadString(json, "description", &text); break;
    case Service::kDiscord: ReadString(json, "message", &text); break;
    case Service::kGotify:
        if (!ReadString(json, "errorDescription", &text))
            ReadString(json, "error", &text);
        break;
    case Service::kPushover:
        if (json.is_object() && json.contains("errors") && json["errors"].is_array()) {
            for (const Json &entry : json["errors"]) {
                if (!entry.is_string())
                    continue;
                if (!text.empty())
                    text += "; ";
                text += entry.get<std::string>();
            }
        }
        break;
    case Service::kJsonWebhook:
        if (!ReadString(json, "error", &text))
            ReadString(json, "message", &text);
        break;
    case Service::kSlack: break;
    }
    if (text.empty() && !json.is_object() && !json.is_array())
        text = body;   // plain text (Slack always; others when they are not JSON)
    return PrintableText(text, kErrorTextLimit);
}

} // namespace

const ServiceInfo *FindService(uint32_t value)
{
    for (const ServiceInfo &info : kServices) {
        if (static_cast<uint32_t>(info.service) == value)
            return &info;
    }
    return nullptr;
}

std::string DestinationText(const ServiceInfo &service, const std::string &target)
{
    if (!service.usesTarget || target.empty())
        return service.name;
    return std::string(service.name) + ": " + target;
}

bool ParseUrl(const std::string &text, Url *url, std::string *error)
{
    Url out;
    size_t rest;
    if (text.compare(0, 8, "https://") == 0) {
        out.secure = true;
        out.port = 443;
        rest = 8;
    } else if (text.compare(0, 7, "http://") == 0) {
        out.secure = false;
        out.port = 80;
        rest = 7;
    } else {
        *error = "not an http:// or https:// URL";
        return false;
    }
    for (unsigned char c : text) {
        if (c <= ' ' || c == 0x7F) {
            *error = "the URL holds spaces or control characters";
            return false;
        }
    }
    if (text.find('#') != std::string::npos) {
        *error = "the URL holds a fragment";
        return false;
    }
    size_t pathStart = text.find_first_of("/?", rest);
    std::string authority = text.substr(rest, pathStart == std::string::npos ? std::string::npos : pathStart - rest);
    if (authority.find('@') != std::string::npos) {
        *error = "the URL holds user information";
        return false;
    }
    std::string host = authority;
    std::string port;
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        if (close == std::string::npos) {
            *error = "the URL's host is not closed by ]";
            return false;
        }
        host = authority.substr(0, close + 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') {
                *error = "the URL's host is followed by something that is not a port";
                return false;
            }
            port = authority.substr(close + 2);
            if (port.empty())
                port = "x";   // "host:" with no digits: refused below
        }
    } else if (size_t colon = authority.rfind(':'); colon != std::string::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
        if (port.empty())
            port = "x";   // "host:" with no digits: refused below
    }
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos || std::stol(port) < 1 ||
            std::stol(port) > 65535) {
            *error = "the URL's port is not 1 to 65535";
            return false;
        }
        out.port = static_cast<uint16_t>(std::stol(port));
    }
    if (host.empty()) {
        *error = "the URL names no host";
        return false;
    }
    out.host = host;
    if (pathStart == std::string::npos)
        out.path = "/";
    else if (text[pathStart] == '?')
        out.path = "/" + text.substr(pathStart);
    else
        out.path = text.substr(pathStart);
    *url = out;
    return true;
}

bool CheckSettings(const ServiceSettings &settings, Url *url, std::string *chatKey, bool *plainHttp,
                   std::string *error)
{
    const ServiceInfo *service = FindService(settings.service);
    *plainHttp = false;
    if (service == nullptr) {
        *error = "PushService " + std::to_string(settings.service) + " names no service";
        return false;
    }
    if (service->usesTarget && settings.target.empty()) {
        *error = "PushTarget is empty";
        return false;
    }
    if (service->secretRequired && settings.secret.empty()) {
        *error = "PushSecret is missing or cannot be read";
        return false;
    }
    std::string urlText;
    if (service->secretIsUrl) {
        urlText = settings.secret;
    } else {
        urlText = settings.server.empty() ? std::string(service->defaultServer) : settings.server;
        if (urlText.empty()) {
            *error = "PushServer is empty";
            return false;
        }
    }
    std::string why;
    Url parsed;
    if (!ParseUrl(urlText, &parsed, &why)) {
        // The webhook URL is the secret: say what is wrong, never what it is.
        *error = service->secretIsUrl ? "the webhook URL cannot be used: " + why
                                      : "PushServer cannot be used: " + why;
        return false;
    }
    if (!parsed.secure) {
        // Plain http only for a server of one's own, typed in by its owner.
        const bool selfHosted = !service->secretIsUrl && !settings.server.empty() &&
                                service->service != Service::kPushover;
        if (!selfHosted) {
            *error = service->secretIsUrl ? "the webhook URL is not https" : "PushServer is not https";
            return false;
        }
        *plainHttp = true;
    }
    *url = parsed;
    // One chat: the service at its address with its target (a webhook is its own chat).
    *chatKey = std::to_string(settings.service) + "|" + urlText + "|" + settings.target;
    return true;
}

std::vector<MessagePart> SplitMessage(const ServiceInfo &service, const std::string &subject,
                                      const std::string &body)
{
    std::string title;
    std::string text = body;
    if (service.titleLimit > 0)
        title = CutToCharacters(subject, service.titleLimit);
    else if (!subject.empty())
        text = subject + "\n" + body;

    std::vector<Character> chars = Characters(text);
    size_t total = 0;
    for (const Character &c : chars)
        total += Cost(service, c);
    if (total <= service.limit)
        return {MessagePart{title, text}};

    // The marker's length depends on the number of parts: cut again until the number
    // of parts no longer grows past what the room allowed for.
    size_t assumed = 2;
    std::vector<std::string> pieces;
    for (int round = 0; round < 8; ++round) {
        size_t markerRoom = Marker(assumed, assumed).size();
        size_t room = service.limit > markerRoom ? service.limit - markerRoom : 1;
        pieces = Cut(service, text, chars, room);
        if (Marker(pieces.size(), pieces.size()).size() <= markerRoom)
            break;
        assumed = pieces.size();
    }
    std::vector<MessagePart> parts;
    for (size_t k = 0; k < pieces.size(); ++k)
        parts.push_back(MessagePart{title, Marker(k + 1, pieces.size()) + pieces[k]});
    return parts;
}

PushRequest BuildRequest(const ServiceSettings &settings, const Url &url, const MessagePart &part)
{
    PushRequest request;
    request.url = url;
    request.contentType = "application/json";
    Json json;
    switch (static_cast<Service>(settings.service)) {
    case Service::kNtfy:
        // JSON publishing goes to the server's root, the topic inside the body.
        request.url = WithPath(url, "/");
        json["topic"] = settings.target;
        if (!part.title.empty())
            json["title"] = part.title;
        json["message"] = part.text;
        if (!settings.secret.empty())
            request.headers.emplace_back("Authorization", "Bearer " + settings.secret);
        break;
    case Service::kTelegram:
        request.url = WithPath(url, "/bot" + settings.secret + "/sendMessage");
        json["chat_id"] = settings.target;
        json["text"] = part.text;
        break;
    case Service::kDiscord:
        // wait=true: the answer is the stored message, so a 2xx means it was posted.
        request.url.path += request.url.path.find('?') == std::string::npos ? "?wait=true" : "&wait=true";
        json["content"] = part.text;
        json["allowed_mentions"] = {{"parse", Json::array()}};
        break;
    case Service::kSlack:
        json["text"] = SlackEscaped(part.text);
        break;
    case Service::kGotify:
        request.url = WithPath(url, "/message");
        if (!part.title.empty())
            json["title"] = part.title;
        json["message"] = part.text;
        request.headers.emplace_back("X-Gotify-Key", settings.secret);
        break;
    case Service::kPushover: {
        request.url = WithPath(url, "/1/messages.json");
        request.contentType = "application/x-www-form-urlencoded";
        std::string form = "token=" + FormEncoded(settings.secret) + "&user=" + FormEncoded(settings.target);
        if (!part.title.empty())
            form += "&title=" + FormEncoded(part.title);
        form += "&message=" + FormEncoded(part.text);
        request.body = form;
        return request;
    }
    case Service::kJsonWebhook:
        json["title"] = part.title;
        json["message"] = part.text;
        break;
    }
    request.body = Dump(json);
    return request;
}

Judgement JudgeAnswer(Service service, int status, const std::string &body, const std::string &retryAfter)
{
    Judgement judgement;
    judgement.status = status;
    // A body that is not JSON (or too deep to be an answer) parses as "discarded".
    const Json json = Json::parse(body, nullptr, false);

    if (status >= 200 && status <= 299) {
        bool ok = true;
        if (service == Service::kTelegram)
            ok = json.is_object() && json.contains("ok") && json["ok"].is_boolean() && json["ok"].get<bool>();
        else if (service == Service::kSlack)
            ok = PrintableText(body, 16) == "ok";
        if (ok) {
            judgement.verdict = Verdict::kDelivered;
            return judgement;
        }
        judgement.verdict = Verdict::kRefused;
        judgement.errorText = ErrorTextOf(service, body, json);
        return judgement;
    }

    judgement.errorText = ErrorTextOf(service, body, json);
    if (status == 429 || (status >= 500 && status <= 599)) {
        judgement.verdict = Verdict::kDeferred;
        judgement.retryAfterSeconds = RetryAfterHeaderSeconds(retryAfter);
        if (judgement.retryAfterSeconds < 0 && json.is_object()) {
            if (service == Service::kTelegram && json.contains("parameters") && json["parameters"].is_object() &&
                json["parameters"].contains("retry_after"))
                judgement.retryAfterSeconds = SecondsOf(json["parameters"]["retry_after"]);
            else if (service == Service::kDiscord && json.contains("retry_after"))
                judgement.retryAfterSeconds = SecondsOf(json["retry_after"]);
        }
        return judgement;
    }
    judgement.verdict = Verdict::kRefused;
    return judgement;
}

size_t MeasureText(const std::string &text, LengthUnit unit)
{
    size_t total = 0;
    for (const Character &c : Characters(text))
        total += UnitCost(c, unit);
    return total;
}

std::string PrintableText(const std::string &text, size_t limit)
{
    std::string out;
    bool space = false;
    for (unsigned char c : text) {
        if (out.size() >= limit)
            break;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            space = !out.empty();
            continue;
        }
        if (space && out.size() + 1 < limit)
            out.push_back(' ');
        space = false;
        out.push_back(c >= 0x21 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    return out;
}

} // namespace quillon::push
