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
                           "TaskRetryTime"};
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

TEST(ConfigForm, RetryFieldsAreNeverNegative)
{
    EXPECT_EQ(RetryFieldValue(""), 0u);
    EXPECT_EQ(RetryFieldValue("-3"), 0u);
    EXPECT_EQ(RetryFieldValue("12x"), 12u);
}

} // namespace
} // namespace quillon
