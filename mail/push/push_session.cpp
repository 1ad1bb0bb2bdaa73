#include "mail/push/push_session.h"

#include "common/log.h"
#include "common/push/push_secret.h"

namespace quillon {

namespace {

constexpr char kLogPrefix[] = "MAILPUSH ";

std::string ServiceName(const push::ServiceSettings &settings)
{
    const push::ServiceInfo *info = push::FindService(settings.service);
    return info != nullptr ? info->name : "PushService " + std::to_string(settings.service);
}

} // namespace

PushLibrary::PushLibrary(const push::ServiceSettings &settings, bool secretReadable, DWORD messageWaitMs)
    : settings_(settings), secretReadable_(secretReadable), messageWaitMs_(messageWaitMs)
{
}

PushLibrary::~PushLibrary() { ClearSecretText(&settings_.secret); }

void PushLibrary::Log(const std::string &line)
{
    if (logging_)
        AppendLogText(logFile_, kLogPrefix + WithoutSecret(line, settings_.secret) + "\r\n");
}

MailResult PushLibrary::Logon(MailSession *session, int logging, const char *logFile)
{
    logging_ = logging != 0;
    CopyBounded(logFile_, logFile != nullptr ? logFile : "");
    unavailable_ = false;
    const push::ServiceInfo *service = push::FindService(settings_.service);
    std::string line = "Logon: " + ServiceName(settings_);
    if (service != nullptr && service->server != push::ServerUse::kNone)
        line += ", server " + (settings_.server.empty() ? std::string(service->defaultServer) : settings_.server);
    if (service != nullptr && service->usesTarget)
        line += ", target " + settings_.target;
    Log(line);

    push::Url url;
    std::string chatKey, error;
    bool plainHttp = false;
    bool usable = !(service != nullptr && service->secretRequired && !secretReadable_);
    if (!usable)
        error = "PushSecret is missing or cannot be read";
    else
        usable = push::CheckSettings(settings_, &url, &chatKey, &plainHttp, &error);
    if (!usable) {
        Log("Logon failed: " + error);
        return kMailFailed;
    }
    if (plainHttp)
        Log("Warning: the server is reached by http://, the text travels in clear");
    session_ = 1;
    if (session != nullptr)
        *session = session_;
    return kMailOk;
}

MailResult PushLibrary::Send(MailSession session, const char *subject, const char *body)
{
    if (session == 0 || session != session_) {
        Log("Send: no session");
        return kMailFailed;
    }
    if (unavailable_) {
        Log("Not attempted: " + ServiceName(settings_) + " could not take an earlier message of this pass");
        return kMailNotAttempted;
    }
    class Report : public PushPartReport {
    public:
        Report(PushLibrary &library, const std::string &name) : library_(library), name_(name) {}
        void PartDelivered(size_t part, size_t parts, int status) override
        {
            std::string which = parts > 1 ? " part " + std::to_string(part) + "/" + std::to_string(parts) : "";
            library_.Log("Sent" + which + " to " + name_ + ": status " + std::to_string(status));
        }

    private:
        PushLibrary &library_;
        const std::string &name_;
    };
    const std::string name = ServiceName(settings_);
    Report report(*this, name);
    PushOutcome outcome = SendPushMessage(settings_, AnsiToUtf8(subject), AnsiToUtf8(body),
                                          GetTickCount64() + messageWaitMs_, nullptr, &lastRequest_, &report);
    switch (outcome.kind) {
    case PushOutcome::Kind::kDelivered: return kMailOk;
    case PushOutcome::Kind::kDeferred:
        unavailable_ = true;
        Log(outcome.text + "; the message is left for a later pass");
        return kMailNotAttempted;
    default:
        Log(outcome.text);
        return kMailFailed;
    }
}

MailResult PushLibrary::Logoff(MailSession session)
{
    if (session == 0 || session != session_)
        return kMailFailed;
    session_ = 0;
    return kMailOk;
}

} // namespace quillon
