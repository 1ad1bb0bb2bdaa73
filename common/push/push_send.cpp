#include "common/push/push_send.h"

#include <algorithm>

#include "common/names.h"
#include "common/push/push_secret.h"
#include "common/config/configuration_key.h"

namespace quillon {

namespace {

std::string StatusText(int status, const std::string &errorText)
{
    std::string text = "status " + std::to_string(status);
    if (!errorText.empty())
        text += " (" + errorText + ")";
    return text;
}

PushOutcome Outcome(PushOutcome::Kind kind, const std::string &text) { return PushOutcome{kind, text}; }

// Waits until `key`'s chat may take the next request; false when cancelled or when the
// deadline comes first.
bool WaitForChat(std::map<std::string, ULONGLONG> *lastRequest, const std::string &key, ULONGLONG deadline,
                 HANDLE cancel)
{
    auto it = lastRequest->find(key);
    if (it == lastRequest->end())
        return true;
    ULONGLONG due = it->second + kChatIntervalMs;
    ULONGLONG now = GetTickCount64();
    if (now >= due)
        return true;
    if (due >= deadline)
        return false;
    DWORD pause = static_cast<DWORD>(due - now);
    if (cancel != nullptr)
        return WaitForSingleObject(cancel, pause) == WAIT_TIMEOUT;
    Sleep(pause);
    return true;
}

} // namespace

std::string WithoutSecret(std::string line, const std::string &secret)
{
    if (secret.size() < 4)
        return line;   // too short to find without hiding ordinary words
    for (size_t at = line.find(secret); at != std::string::npos; at = line.find(secret, at))
        line.replace(at, secret.size(), "(secret)");
    return line;
}

void LoadPushSettings(push::ServiceSettings *settings, bool *secretReadable)
{
    using namespace config_values;
    ConfigurationKey key;
    key.Open();
    settings->service = key.NumberOr(kPushService, 0);
    settings->server = key.TextOr(kPushServer, "");
    settings->target = key.TextOr(kPushTarget, "");
    *secretReadable = ReadPushSecret(&settings->secret);
}

std::string AnsiToUtf8(const char *text)
{
    if (text == nullptr || *text == '\0')
        return std::string();
    int wideLength = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wideLength <= 0)
        return std::string();
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], wideLength);
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::string();
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], length, nullptr, nullptr);
    out.resize(static_cast<size_t>(length) - 1);   // the terminating zero
    return out;
}

PushOutcome SendPushMessage(const push::ServiceSettings &settings, const std::string &subjectUtf8,
                            const std::string &bodyUtf8, ULONGLONG deadline, HANDLE cancel,
                            std::map<std::string, ULONGLONG> *lastRequest, PushPartReport *report)
{
    push::Url url;
    std::string chatKey, error;
    bool plainHttp = false;
    if (!push::CheckSettings(settings, &url, &chatKey, &plainHttp, &error))
        return Outcome(PushOutcome::Kind::kUnusable, error);
    const push::ServiceInfo &service = *push::FindService(settings.service);
    const std::string name = service.name;
    std::vector<push::MessagePart> parts = push::SplitMessage(service, subjectUtf8, bodyUtf8);
    for (size_t k = 0; k < parts.size(); ++k) {
        if (!WaitForChat(lastRequest, chatKey, deadline, cancel)) {
            if (cancel != nullptr && WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0)
                return Outcome(PushOutcome::Kind::kCancelled, "Cancelled");
            return Outcome(PushOutcome::Kind::kDeferred, "No time left for part " + std::to_string(k + 1) + "/" +
                                                             std::to_string(parts.size()) + " to " + name);
        }
        push::PushRequest request = push::BuildRequest(settings, url, parts[k]);
        HttpsAnswer answer = PostRequest(request, deadline, cancel);
        (*lastRequest)[chatKey] = GetTickCount64();
        ClearSecretText(&request.body);
        for (auto &header : request.headers)
            ClearSecretText(&header.second);
        ClearSecretText(&request.url.path);

        const std::string error = " (error " + std::to_string(answer.error) + ")";
        switch (answer.outcome) {
        case HttpsAnswer::Outcome::kAnswered: break;
        case HttpsAnswer::Outcome::kCancelled: return Outcome(PushOutcome::Kind::kCancelled, "Cancelled");
        case HttpsAnswer::Outcome::kTimedOut:
            return Outcome(PushOutcome::Kind::kDeferred, "No answer from " + name + " in time" + error);
        case HttpsAnswer::Outcome::kNoConnection:
            return Outcome(PushOutcome::Kind::kDeferred, "Cannot reach " + name + error);
        case HttpsAnswer::Outcome::kCertificateRefused: {
            char flags[16];
            FormatBounded(flags, "0x%08lx", static_cast<unsigned long>(answer.certificateFlags));
            return Outcome(PushOutcome::Kind::kRefused,
                           "The certificate of " + name + "'s server was refused" + error + ", flags " + flags);
        }
        case HttpsAnswer::Outcome::kFailed:
            return Outcome(PushOutcome::Kind::kRefused, "The request to " + name + " failed" + error);
        }

        push::Judgement judgement =
            push::JudgeAnswer(service.service, answer.status, answer.body, answer.retryAfter);
        const std::string status = StatusText(judgement.status, judgement.errorText);
        if (judgement.verdict == push::Verdict::kRefused)
            return Outcome(PushOutcome::Kind::kRefused, name + " refused the message: " + status);
        if (judgement.verdict == push::Verdict::kDeferred) {
            std::string text = name + " cannot take the message now: " + status;
            if (judgement.retryAfterSeconds >= 0)
                text += ", Retry-After " + std::to_string(judgement.retryAfterSeconds) + " s";
            else if (!answer.retryAfter.empty())
                text += ", Retry-After " + push::PrintableText(answer.retryAfter, 40);
            return Outcome(PushOutcome::Kind::kDeferred, text);
        }
        if (report != nullptr)
            report->PartDelivered(k + 1, parts.size(), judgement.status);
    }
    return Outcome(PushOutcome::Kind::kDelivered,
                   name + " took the message" + (parts.size() > 1 ? " in " + std::to_string(parts.size()) + " parts" : ""));
}

PushOutcome SendTestNotification(const push::ServiceSettings &settings, const std::string &subject,
                                 const std::string &body, DWORD waitMs, HANDLE cancel)
{
    try {
        std::map<std::string, ULONGLONG> lastRequest;
        PushOutcome outcome = SendPushMessage(settings, AnsiToUtf8(subject.c_str()), AnsiToUtf8(body.c_str()),
                                              GetTickCount64() + waitMs, cancel, &lastRequest, nullptr);
        outcome.text = WithoutSecret(outcome.text, settings.secret);
        return outcome;
    } catch (...) {
        return Outcome(PushOutcome::Kind::kUnusable, "Out of memory");
    }
}

} // namespace quillon
