// LoadConfigurationFrom over an in-memory value source: required and optional values,
// the inverted UsesDialup, decimal Timeout, and texts over 260 bytes reading as missing.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/names.h"
#include "scheduler/config/configuration.h"
#include "tests/support/config_rows.h"

namespace quillon {
namespace {

using namespace config_values;

// Values as the registry would hold them: a text (stored with its NUL) or a number.
struct FakeValue {
    bool isText = true;
    std::string text;
    uint32_t number = 0;
};

class FakeSource : public ConfigurationSource {
public:
    std::map<std::string, FakeValue> values;

    void Text(const char *name, const std::string &text) { values[name] = FakeValue{true, text, 0}; }
    void Number(const char *name, uint32_t number) { values[name] = FakeValue{false, "", number}; }
    void Remove(const char *name) { values.erase(name); }

    bool ReadText(const char *name, char *buffer) const override
    {
        buffer[0] = '\0';
        auto it = values.find(name);
        if (it == values.end() || !it->second.isText || it->second.text.size() + 1 > kTextBufferSize)
            return false;
        std::memcpy(buffer, it->second.text.c_str(), it->second.text.size() + 1);
        return true;
    }
    bool ReadNumber(const char *name, uint32_t *value) const override
    {
        auto it = values.find(name);
        if (it == values.end() || it->second.isText)
            return false;
        *value = it->second.number;
        return true;
    }
    bool HasData(const char *name) const override
    {
        // Texts are stored with their NUL, so even an empty text has data.
        return values.count(name) != 0;
    }
};

// The rows the Windows tests write into the key, held as the registry would hold them.
// Raw rows of the text type keep their bytes up to the first NUL (what the reader sees);
// raw rows of other types are not modelled here and are left out.
FakeSource SourceOf(const std::vector<test::ConfigRow> &rows)
{
    FakeSource source;
    for (const test::ConfigRow &row : rows) {
        switch (row.kind) {
        case test::ConfigRow::Kind::kText:
            source.Text(row.name.c_str(), row.bytes);
            break;
        case test::ConfigRow::Kind::kNumber:
            source.Number(row.name.c_str(), row.number);
            break;
        case test::ConfigRow::Kind::kRaw:
            if (row.type == test::kStoredText)
                source.Text(row.name.c_str(), row.bytes.substr(0, row.bytes.find('\0')));
            break;
        case test::ConfigRow::Kind::kAbsent:
            source.Remove(row.name.c_str());
            break;
        }
    }
    return source;
}

// A complete SMTP configuration as the dialog writes it (no retry values, no MAPI ones).
FakeSource CompleteSmtpConfiguration()
{
    return SourceOf(test::CompleteSmtpConfiguration("mail.example.net"));
}

TEST(LoadConfiguration, CompleteSmtpConfigurationLoadsWithRetryDefaults)
{
    FakeSource source = CompleteSmtpConfiguration();
    SchedulerSettings settings;
    ASSERT_TRUE(LoadConfigurationFrom(source, &settings));
    EXPECT_EQ(settings.sender, "scheduler@example.test");
    EXPECT_EQ(settings.destination, "pager@example.test");
    EXPECT_EQ(settings.mailLibrary, "mailwire.dll");
    EXPECT_FALSE(settings.dialUp);
    EXPECT_EQ(settings.hangUpMinutes, 5u);
    EXPECT_FALSE(settings.logging);
    EXPECT_EQ(settings.retryCount, 1u);
    EXPECT_EQ(settings.retryMinutes, 15u);
    EXPECT_EQ(settings.taskRetryCount, 1u);
    EXPECT_EQ(settings.taskRetryMinutes, 15u);
}

// Each row removes or changes values of the complete SMTP configuration.
struct CompletenessCase {
    const char *label;
    void (*edit)(FakeSource &);
    bool complete;
};

const CompletenessCase kCompletenessCases[] = {
    {"complete as written", [](FakeSource &) {}, true},
    {"no DialupName", [](FakeSource &s) { s.Remove(kDialupName); }, false},
    {"no UsesDialup", [](FakeSource &s) { s.Remove(kUsesDialup); }, false},
    {"UsesDialup stored as text", [](FakeSource &s) { s.Text(kUsesDialup, "1"); }, false},
    {"no Timeout", [](FakeSource &s) { s.Remove(kTimeout); }, false},
    {"no MailSystem", [](FakeSource &s) { s.Remove(kMailSystem); }, false},
    {"no Sender", [](FakeSource &s) { s.Remove(kSender); }, false},
    {"no Destination", [](FakeSource &s) { s.Remove(kDestination); }, false},
    {"Sender of 260 bytes", [](FakeSource &s) { s.Text(kSender, std::string(260, 'a')); }, false},
    {"Sender of 259 bytes", [](FakeSource &s) { s.Text(kSender, std::string(259, 'a')); }, true},
    {"DialupName of 300 bytes", [](FakeSource &s) { s.Text(kDialupName, std::string(300, 'd')); }, false},
    {"no MailLibrary (optional)", [](FakeSource &s) { s.Remove(kMailLibrary); }, true},
    {"no SMTPServer (not the scheduler's)", [](FakeSource &s) { s.Remove(kSMTPServer); }, true},
    {"MailSystem 0 ignores missing Profile and Password", [](FakeSource &s) { s.Remove(kProfile); }, true},
    {"MailSystem 1 without Profile", [](FakeSource &s) { s.Number(kMailSystem, 1); s.Text(kPassword, "x"); }, false},
    {"MailSystem 1 without Password", [](FakeSource &s) { s.Number(kMailSystem, 1); s.Text(kProfile, "P"); }, false},
    {"MailSystem 1 with both", [](FakeSource &s) { s.Number(kMailSystem, 1); s.Text(kProfile, "P"); s.Text(kPassword, "x"); }, true},
    {"MailSystem 1, Password too long", [](FakeSource &s) { s.Number(kMailSystem, 1); s.Text(kProfile, "P"); s.Text(kPassword, std::string(261, 'x')); }, false},
    {"MailSystem 2 needs no Profile and Password", [](FakeSource &s) { s.Number(kMailSystem, 2); s.Remove(kProfile); s.Remove(kPassword); }, true},
    {"MailSystem 2 without Sender", [](FakeSource &s) { s.Number(kMailSystem, 2); s.Remove(kSender); }, true},
    {"MailSystem 2 without Destination", [](FakeSource &s) { s.Number(kMailSystem, 2); s.Remove(kDestination); }, false},
    {"MailSystem 3 is not push: Profile needed", [](FakeSource &s) { s.Number(kMailSystem, 3); s.Remove(kProfile); }, false},
    {"no key values at all", [](FakeSource &s) { s.values.clear(); }, false},
};

TEST(LoadConfiguration, PushConfigurationSenderIsTheProductNameWhenEmpty)
{
    for (bool present : {false, true}) {
        FakeSource source = CompleteSmtpConfiguration();
        source.Number(kMailSystem, 2);
        if (present)
            source.Text(kSender, "");
        else
            source.Remove(kSender);
        SchedulerSettings settings;
        settings.sender = "old@example.net";
        ASSERT_TRUE(LoadConfigurationFrom(source, &settings));
        EXPECT_EQ(settings.sender, "Quillon") << present;
    }
    FakeSource named = CompleteSmtpConfiguration();
    named.Number(kMailSystem, 2);
    named.Text(kSender, "Page watch");
    SchedulerSettings settings;
    ASSERT_TRUE(LoadConfigurationFrom(named, &settings));
    EXPECT_EQ(settings.sender, "Page watch");
}

TEST(LoadConfiguration, RequiredValuesDecideCompleteness)
{
    for (const CompletenessCase &c : kCompletenessCases) {
        FakeSource source = CompleteSmtpConfiguration();
        c.edit(source);
        SchedulerSettings settings;
        EXPECT_EQ(LoadConfigurationFrom(source, &settings), c.complete) << c.label;
    }
}

// Single values and what they become in the settings.
struct FieldCase {
    const char *label;
    void (*edit)(FakeSource &);
    void (*check)(const SchedulerSettings &, const char *label);
};

const FieldCase kFieldCases[] = {
    {"UsesDialup 0 switches dialling on", [](FakeSource &s) { s.Number(kUsesDialup, 0); },
     [](const SchedulerSettings &st, const char *l) { EXPECT_TRUE(st.dialUp) << l; }},
    {"UsesDialup 1 means always connected", [](FakeSource &s) { s.Number(kUsesDialup, 1); },
     [](const SchedulerSettings &st, const char *l) { EXPECT_FALSE(st.dialUp) << l; }},
    {"UsesDialup 7 is not 0", [](FakeSource &s) { s.Number(kUsesDialup, 7); },
     [](const SchedulerSettings &st, const char *l) { EXPECT_FALSE(st.dialUp) << l; }},
    {"Timeout abc gives 0", [](FakeSource &s) { s.Text(kTimeout, "abc"); },
     [](const SchedulerSettings &st, const char *l) { EXPECT_EQ(st.hangUpMinutes, 0u) << l; }},
    {"Timeout 12abc gives 12", [](FakeSource &s) { s.Text(kTimeout, "12abc"); },
     [](const SchedulerSettings &st, const char *l) { EXPECT_EQ(st.hangUpMinutes, 12u) << l; }},
    {"Timeout -5 gives 0", [](FakeSource &s) { s.Text(kTimeout, "-5"); },
     [](const SchedulerSettings &st, const char *l) { EXPECT_EQ(st.hangUpMinutes, 0u) << l; }},
    {"Timeout beyond 32 bits is clamped", [](FakeSource &s) { s.Text(kTimeout, "99999999999999999999"); },
     [](const SchedulerSettings &st, const char *l) { EXPECT_EQ(st.hangUpMinutes, 2147483647u) << l; }},
    {"Logging with a name switches logging on", [](FakeSource &s) { s.Text(kLogging, "C:\\q.log"); },
     [](const SchedulerSettings &st, const char *l) { EXPECT_TRUE(st.logging) << l; EXPECT_EQ(st.logFile, "C:\\q.log") << l; }},
    {"Logging over 260 bytes reads as missing", [](FakeSource &s) { s.Text(kLogging, std::string(270, 'L')); },
     [](const SchedulerSettings &st, const char *l) { EXPECT_FALSE(st.logging) << l; EXPECT_EQ(st.logFile, "") << l; }},
    {"DontDial present", [](FakeSource &s) { s.Number(kDontDial, 0); },
     [](const SchedulerSettings &st, const char *l) { EXPECT_TRUE(st.dontDial) << l; EXPECT_FALSE(st.dontSend) << l; }},
    {"DontSend present", [](FakeSource &s) { s.Text(kDontSend, "yes"); },
     [](const SchedulerSettings &st, const char *l) { EXPECT_TRUE(st.dontSend) << l; EXPECT_FALSE(st.dontDial) << l; }},
    {"retry values read", [](FakeSource &s) { s.Number(kRetryCount, 3); s.Number(kRetryTime, 7); s.Number(kTaskRetryCount, 0); s.Number(kTaskRetryTime, 60); },
     [](const SchedulerSettings &st, const char *l) {
         EXPECT_EQ(st.retryCount, 3u) << l; EXPECT_EQ(st.retryMinutes, 7u) << l;
         EXPECT_EQ(st.taskRetryCount, 0u) << l; EXPECT_EQ(st.taskRetryMinutes, 60u) << l; }},
    {"MailSystem 1 keeps the scrambled password as stored", [](FakeSource &s) { s.Number(kMailSystem, 1); s.Text(kProfile, "Outlook"); s.Text(kPassword, "\x13\x27zz"); },
     [](const SchedulerSettings &st, const char *l) { EXPECT_EQ(st.profile, "Outlook") << l; EXPECT_EQ(st.scrambledPassword, "\x13\x27zz") << l; }},
};

TEST(LoadConfiguration, ValuesBecomeSettings)
{
    for (const FieldCase &c : kFieldCases) {
        FakeSource source = CompleteSmtpConfiguration();
        c.edit(source);
        SchedulerSettings settings;
        ASSERT_TRUE(LoadConfigurationFrom(source, &settings)) << c.label;
        c.check(settings, c.label);
    }
}

TEST(LoadConfiguration, SecondLoadKeepsOptionalValuesAndDropsSwitches)
{
    FakeSource first = CompleteSmtpConfiguration();
    first.Number(kRetryCount, 4);
    first.Number(kTaskRetryTime, 30);
    first.Text(kLogging, "quillon.log");
    first.Text(kDontSend, "1");
    SchedulerSettings settings;
    ASSERT_TRUE(LoadConfigurationFrom(first, &settings));

    // The dialog cleared "Create Log File"; retry values and library gone by hand.
    FakeSource second = CompleteSmtpConfiguration();
    second.Remove(kMailLibrary);
    ASSERT_TRUE(LoadConfigurationFrom(second, &settings));
    EXPECT_FALSE(settings.logging);
    EXPECT_EQ(settings.logFile, "");
    EXPECT_FALSE(settings.dontSend);
    EXPECT_EQ(settings.retryCount, 4u);
    EXPECT_EQ(settings.taskRetryMinutes, 30u);
    EXPECT_EQ(settings.mailLibrary, "mailwire.dll");
}

TEST(LoadConfiguration, FailureKeepsWhatWasReadBefore)
{
    SchedulerSettings settings;
    settings.sender = "old@example.net";
    settings.destination = "old-pager@example.net";
    FakeSource source = CompleteSmtpConfiguration();
    source.Text(kDialupName, "Office");
    source.Text(kTimeout, "9");
    source.Remove(kMailSystem);
    source.Text(kDestination, std::string(400, 'x'));
    EXPECT_FALSE(LoadConfigurationFrom(source, &settings));
    EXPECT_EQ(settings.dialupName, "Office");
    EXPECT_EQ(settings.hangUpMinutes, 9u);
    // Stopped at MailSystem: the addresses are the old ones.
    EXPECT_EQ(settings.sender, "old@example.net");
    EXPECT_EQ(settings.destination, "old-pager@example.net");

    // A too-long required text does not blank the previous value either.
    source.Number(kMailSystem, 0);
    EXPECT_FALSE(LoadConfigurationFrom(source, &settings));
    EXPECT_EQ(settings.destination, "old-pager@example.net");
}

} // namespace
} // namespace quillon
