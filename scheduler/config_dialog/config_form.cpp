#include "scheduler/config_dialog/config_form.h"

#include "common/names.h"
#include "common/scramble.h"
#include "common/text.h"
#include "common/push/push_request.h"

namespace quillon {

namespace {

constexpr char kSmtpLibrary[] = "mailwire.dll";
constexpr char kExtendedMapiLibrary[] = "mailrich.dll";
constexpr char kPushLibrary[] = "mailpush.dll";
constexpr char kDefaultLogFile[] = "quillon.log";

ConfigWrite Write(ConfigWrite::Kind kind, const char *name)
{
    ConfigWrite write;
    write.kind = kind;
    write.name = name;
    return write;
}

ConfigWrite Dword(const char *name, uint32_t value)
{
    ConfigWrite write = Write(ConfigWrite::Kind::Dword, name);
    write.number = value;
    return write;
}

ConfigWrite Text(const char *name, const std::string &value)
{
    ConfigWrite write = Write(ConfigWrite::Kind::Text, name);
    write.text = value;
    return write;
}

} // namespace

long LeadingThreeDigitsValue(const std::string &text)
{
    return DecimalTextValue(text.substr(0, 3).c_str());
}

uint32_t RetryFieldValue(const std::string &text)
{
    long value = DecimalTextValue(text.c_str());
    return value < 0 ? 0u : static_cast<uint32_t>(value);
}

uint32_t SmtpPortValue(const std::string &text)
{
    // More than five digits is out of range whatever they say.
    if (text.size() > 5)
        return 100000;
    return RetryFieldValue(text);
}

std::string PushDestination(const ConfigForm &form)
{
    const push::ServiceInfo *service = push::FindService(form.pushService);
    return service != nullptr ? push::DestinationText(*service, form.pushTarget) : std::string();
}

uint32_t PushMessageLimit(uint32_t service)
{
    const push::ServiceInfo *info = push::FindService(service);
    return info != nullptr ? static_cast<uint32_t>(info->limit) : 0;
}

bool PushValuesUsable(const ConfigForm &form, bool *plainHttp)
{
    push::ServiceSettings settings;
    settings.service = form.pushService;
    settings.server = form.pushServer;
    settings.target = form.pushTarget;
    settings.secret = form.pushSecret;
    push::Url url;
    std::string chatKey, error;
    *plainHttp = false;
    return push::CheckSettings(settings, &url, &chatKey, plainHttp, &error);
}

bool ConfigFormAcceptable(const ConfigForm &form)
{
    if (form.mail == MailChoice::Push) {
        bool plainHttp = false;
        if (!PushValuesUsable(form, &plainHttp))
            return false;
        if (LeadingThreeDigitsValue(form.maxMsgLen) == 0 ||
            RetryFieldValue(form.maxMsgLen) > PushMessageLimit(form.pushService))
            return false;
        return !(form.dialUp && (form.dialupName.empty() || LeadingThreeDigitsValue(form.hangUpMinutes) == 0));
    }
    if (form.mail == MailChoice::Mapi ? form.profile.empty() : form.smtpServer.empty())
        return false;
    if (form.sender.empty() || form.destination.empty())
        return false;
    if (LeadingThreeDigitsValue(form.maxMsgLen) == 0)
        return false;
    if (form.dialUp && (form.dialupName.empty() || LeadingThreeDigitsValue(form.hangUpMinutes) == 0))
        return false;
    if (form.mail != MailChoice::Mapi) {
        if (SmtpPortValue(form.smtpPort) > 65535 || form.smtpSecurity > 2)
            return false;
        if (!form.smtpLogin.empty() && form.smtpSecurity == 0)
            return false;
    }
    return true;
}

std::vector<ConfigWrite> ConfigFormWrites(const ConfigForm &form)
{
    using namespace config_values;
    const bool smtp = form.mail == MailChoice::Smtp;
    const bool push = form.mail == MailChoice::Push;
    std::vector<ConfigWrite> writes;
    writes.push_back(Dword(kMailSystem, smtp ? kMailSystemSmtp : push ? kMailSystemPush : kMailSystemMapi));
    writes.push_back(Text(kMailLibrary, smtp ? kSmtpLibrary : push ? kPushLibrary : kExtendedMapiLibrary));
    writes.push_back(Text(kSMTPServer, form.smtpServer));
    writes.push_back(Text(kProfile, form.profile));
    writes.push_back(Text(kPassword, ScrambleText(form.password)));
    writes.push_back(Text(kSender, push && form.sender.empty() ? std::string(kPushDefaultSender) : form.sender));
    writes.push_back(Text(kDestination, push ? PushDestination(form) : form.destination));
    writes.push_back(Text(kMaxMsgLen, form.maxMsgLen));
    writes.push_back(Dword(kUsesDialup, form.dialUp ? 0 : 1));
    writes.push_back(Text(kDialupName, form.dialupName));
    writes.push_back(Text(kTimeout, form.hangUpMinutes));
    writes.push_back(Dword(kPOP3Authentication, form.pop3 ? 1 : 0));
    writes.push_back(Text(kPOP3Server, form.pop3Server));
    writes.push_back(Text(kPOP3Login, form.pop3Login));
    if (form.logging)
        writes.push_back(Text(kLogging, form.logFile.empty() ? std::string(kDefaultLogFile) : form.logFile));
    else
        writes.push_back(Write(ConfigWrite::Kind::Delete, kLogging));
    writes.push_back(Dword(kClipSubject, form.noPageTitle ? 1 : 0));
    writes.push_back(Dword(kRetryCount, RetryFieldValue(form.retryCount)));
    writes.push_back(Dword(kRetryTime, RetryFieldValue(form.retryTime)));
    writes.push_back(Dword(kTaskRetryCount, RetryFieldValue(form.taskRetryCount)));
    writes.push_back(Dword(kTaskRetryTime, RetryFieldValue(form.taskRetryTime)));
    // The outgoing-server values exist only while they say something: a configuration
    // without them is plain SMTP, exactly as before they existed.
    uint32_t port = SmtpPortValue(form.smtpPort);
    writes.push_back(port != 0 ? Dword(kSMTPPort, port) : Write(ConfigWrite::Kind::Delete, kSMTPPort));
    writes.push_back(form.smtpSecurity != 0 ? Dword(kSMTPSecurity, form.smtpSecurity)
                                            : Write(ConfigWrite::Kind::Delete, kSMTPSecurity));
    writes.push_back(!form.smtpLogin.empty() ? Text(kSMTPLogin, form.smtpLogin)
                                             : Write(ConfigWrite::Kind::Delete, kSMTPLogin));
    if (push) {
        writes.push_back(Dword(kPushService, form.pushService));
        writes.push_back(Text(kPushServer, form.pushServer));
        writes.push_back(Text(kPushTarget, form.pushTarget));
        ConfigWrite secret = Write(ConfigWrite::Kind::Secret, kPushSecret);
        secret.text = form.pushSecret;
        writes.push_back(secret);
    }
    return writes;
}

} // namespace quillon
