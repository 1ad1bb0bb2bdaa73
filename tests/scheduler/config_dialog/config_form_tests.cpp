// The configuration form's rules without a window: which forms may be confirmed, and
// the writes (names, kinds, order) that confirming makes.
#include <gtest/gtest.h>

#include "common/scramble.h"
#include "scheduler/config_dialog/config_form.h"

namespace quillon {
namespace {

ConfigForm ValidSmtpForm()
{
    ConfigForm form;
    form.mail = MailChoice::Smtp;
    form.smtpServer = "smtp.example.test";
    form.sender = "me@example.test";
    form.destination = "pager@example.test";
    form.maxMsgLen = "500";
    form.dialUp = false;
    return form;
}

TEST(ConfigForm, AcceptanceFollowsTheRequiredFields)
{
    struct Row {
        const char *label;
        void (*change)(ConfigForm &);
        bool accepted;
    };
    const Row rows[] = {
        {"valid SMTP form", [](ConfigForm &) {}, true},
        {"no option selected needs the SMTP server", [](ConfigForm &f) { f.mail = MailChoice::None; }, true},
        {"no option, no server", [](ConfigForm &f) { f.mail = MailChoice::None; f.smtpServer.clear(); }, false},
        {"MAPI needs a profile", [](ConfigForm &f) { f.mail = MailChoice::Mapi; }, false},
        {"MAPI with profile, no server", [](ConfigForm &f) { f.mail = MailChoice::Mapi; f.profile = "P"; f.smtpServer.clear(); }, true},
        {"length 0", [](ConfigForm &f) { f.maxMsgLen = "0"; }, false},
        {"length 1000", [](ConfigForm &f) { f.maxMsgLen = "1000"; }, true},
        {"length 0009", [](ConfigForm &f) { f.maxMsgLen = "0009"; }, false},
        {"length not a number", [](ConfigForm &f) { f.maxMsgLen = "abc"; }, false},
        {"dial-up without entry", [](ConfigForm &f) { f.dialUp = true; f.hangUpMinutes = "5"; }, false},
        {"dial-up without minutes", [](ConfigForm &f) { f.dialUp = true; f.dialupName = "Line"; }, false},
        {"dial-up complete", [](ConfigForm &f) { f.dialUp = true; f.dialupName = "Line"; f.hangUpMinutes = "5"; }, true},
        {"no sender", [](ConfigForm &f) { f.sender.clear(); }, false},
        {"no destination", [](ConfigForm &f) { f.destination.clear(); }, false},
        {"port 587", [](ConfigForm &f) { f.smtpPort = "587"; }, true},
        {"port 65536", [](ConfigForm &f) { f.smtpPort = "65536"; }, false},
        {"port 000587", [](ConfigForm &f) { f.smtpPort = "000587"; }, false},
        {"sign-in without TLS", [](ConfigForm &f) { f.smtpLogin = "me"; }, false},
        {"sign-in with STARTTLS", [](ConfigForm &f) { f.smtpLogin = "me"; f.smtpSecurity = 1; }, true},
        {"sign-in with TLS", [](ConfigForm &f) { f.smtpLogin = "me"; f.smtpSecurity = 2; }, true},
        {"MAPI ignores the outgoing server", [](ConfigForm &f) { f.mail = MailChoice::Mapi; f.profile = "P"; f.smtpLogin = "me"; f.smtpPort = "99999"; }, true},
    };
    for (const Row &row : rows) {
        ConfigForm form = ValidSmtpForm();
        row.change(form);
        EXPECT_EQ(ConfigFormAcceptable(form), row.accepted) << row.label;
    }
}

TEST(ConfigForm, WritesFollowTheMappingOrder)
{
    ConfigForm form = ValidSmtpForm();
    form.password = "pw";
    form.logging = true;
    form.retryCount = "3";
    std::vector<ConfigWrite> writes = ConfigFormWrites(form);
    const char *order[] = {"MailSystem", "MailLibrary", "SMTPServer", "Profile", "Password", "Sender", "Destination",
                           "MaxMsgLen", "UsesDialup", "DialupName", "Timeout", "POP3Authentication", "POP3Server",
                           "POP3Login", "Logging", "ClipSubject", "RetryCount", "RetryTime", "TaskRetryCount",
                           "TaskRetryTime", "SMTPPort", "SMTPSecurity", "SMTPLogin"};
    ASSERT_EQ(writes.size(), std::size(order));
    for (size_t i = 0; i < writes.size(); ++i)
        EXPECT_EQ(writes[i].name, order[i]) << "position " << i;
    EXPECT_EQ(writes[0].number, 0u);
    EXPECT_EQ(writes[1].text, "mailwire.dll");
    EXPECT_EQ(writes[4].text, ScrambleText("pw"));
    EXPECT_EQ(writes[8].number, 1u) << "always connected is UsesDialup 1";
    EXPECT_EQ(writes[14].text, "quillon.log");
    EXPECT_EQ(writes[16].number, 3u);
    EXPECT_EQ(writes[17].number, 0u) << "an empty retry field";
}

TEST(ConfigForm, ClearedLogBoxDeletesLoggingAndNoOptionMeansExtendedMapi)
{
    ConfigForm form = ValidSmtpForm();
    form.mail = MailChoice::None;
    form.logging = false;
    form.logFile = "kept.log";
    std::vector<ConfigWrite> writes = ConfigFormWrites(form);
    EXPECT_EQ(writes[0].number, 1u);
    EXPECT_EQ(writes[1].text, "mailrich.dll");
    EXPECT_EQ(writes[14].kind, ConfigWrite::Kind::Delete);
}

TEST(ConfigForm, OutgoingServerValuesAreWrittenLastAndDeletedWhenCleared)
{
    ConfigForm form = ValidSmtpForm();
    std::vector<ConfigWrite> writes = ConfigFormWrites(form);
    ASSERT_EQ(writes.size(), 23u);
    for (size_t i = 20; i < 23; ++i)
        EXPECT_EQ(writes[i].kind, ConfigWrite::Kind::Delete) << writes[i].name;

    form.smtpPort = "0465";
    form.smtpSecurity = 2;
    form.smtpLogin = "pager-user";
    writes = ConfigFormWrites(form);
    ASSERT_EQ(writes.size(), 23u);
    EXPECT_EQ(writes[20].kind, ConfigWrite::Kind::Dword);
    EXPECT_EQ(writes[20].number, 465u);
    EXPECT_EQ(writes[21].kind, ConfigWrite::Kind::Dword);
    EXPECT_EQ(writes[21].number, 2u);
    EXPECT_EQ(writes[22].kind, ConfigWrite::Kind::Text);
    EXPECT_EQ(writes[22].text, "pager-user");

    form.smtpPort = "0";
    EXPECT_EQ(ConfigFormWrites(form)[20].kind, ConfigWrite::Kind::Delete) << "port 0 is the standard port";
}

TEST(ConfigForm, RetryFieldsAreNeverNegative)
{
    EXPECT_EQ(RetryFieldValue(""), 0u);
    EXPECT_EQ(RetryFieldValue("-3"), 0u);
    EXPECT_EQ(RetryFieldValue("12x"), 12u);
}

ConfigForm ValidPushForm()
{
    ConfigForm form;
    form.mail = MailChoice::Push;
    form.pushService = 1;   // ntfy
    form.pushTarget = "alerts";
    form.maxMsgLen = "4096";
    return form;
}

TEST(ConfigForm, PushAcceptanceFollowsTheServiceNotTheMailFields)
{
    struct Row {
        const char *label;
        void (*change)(ConfigForm &);
        bool accepted;
    };
    const Row rows[] = {
        {"ntfy with a topic, no server, sender or destination", [](ConfigForm &) {}, true},
        {"no service chosen", [](ConfigForm &f) { f.pushService = 0; }, false},
        {"ntfy without topic", [](ConfigForm &f) { f.pushTarget.clear(); }, false},
        {"length above the service's limit", [](ConfigForm &f) { f.maxMsgLen = "4097"; }, false},
        {"Discord's limit is 2000", [](ConfigForm &f) { f.pushService = 3; f.pushSecret = "https://discord.com/api/webhooks/1/x"; f.maxMsgLen = "2001"; }, false},
        {"Discord within its limit", [](ConfigForm &f) { f.pushService = 3; f.pushSecret = "https://discord.com/api/webhooks/1/x"; f.maxMsgLen = "2000"; }, true},
        {"Discord without webhook URL", [](ConfigForm &f) { f.pushService = 3; f.maxMsgLen = "2000"; }, false},
        {"webhook over http", [](ConfigForm &f) { f.pushService = 7; f.pushSecret = "http://hooks.example/x"; }, false},
        {"self-hosted ntfy over http", [](ConfigForm &f) { f.pushServer = "http://ntfy.lan"; }, true},
        {"length 0", [](ConfigForm &f) { f.maxMsgLen = "0"; }, false},
        {"dial-up without entry", [](ConfigForm &f) { f.dialUp = true; f.hangUpMinutes = "5"; }, false},
    };
    for (const Row &row : rows) {
        ConfigForm form = ValidPushForm();
        row.change(form);
        EXPECT_EQ(ConfigFormAcceptable(form), row.accepted) << row.label;
    }
    EXPECT_EQ(PushMessageLimit(6), 1024u);
    EXPECT_EQ(PushMessageLimit(0), 0u);
}

TEST(ConfigForm, PushWritesItsLibraryDestinationSenderAndValuesLast)
{
    ConfigForm form = ValidPushForm();
    form.pushSecret = "tk_token";
    form.destination = "typed by hand";
    std::vector<ConfigWrite> writes = ConfigFormWrites(form);
    ASSERT_EQ(writes.size(), 27u);
    EXPECT_EQ(writes[0].number, 2u);
    EXPECT_EQ(writes[1].text, "mailpush.dll");
    EXPECT_EQ(writes[5].name, "Sender");
    EXPECT_EQ(writes[5].text, "Quillon");
    EXPECT_EQ(writes[6].text, "ntfy: alerts");
    const char *names[] = {"PushService", "PushServer", "PushTarget", "PushSecret"};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(writes[23 + i].name, names[i]);
    EXPECT_EQ(writes[23].number, 1u);
    EXPECT_EQ(writes[25].text, "alerts");
    EXPECT_EQ(writes[26].kind, ConfigWrite::Kind::Secret);
    EXPECT_EQ(writes[26].text, "tk_token");

    form.sender = "Page watch";
    EXPECT_EQ(ConfigFormWrites(form)[5].text, "Page watch");
    // Another mail option leaves the stored push values alone.
    EXPECT_EQ(ConfigFormWrites(ValidSmtpForm()).size(), 23u);
}

} // namespace
} // namespace quillon
