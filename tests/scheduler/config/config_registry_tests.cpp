// The Configuration key through the real registry: LoadConfiguration, the 260-byte
// limit as the registry reports sizes, values present without data, and the
// read-with-default helpers.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "common/scramble.h"
#include "common/config/configuration_key.h"
#include "scheduler/config/configuration.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

using namespace config_values;

class ConfigRegistry : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ResetProductRegistry();
        ASSERT_EQ(CreateUserKey(kConfigurationKeyPath, &key_), ERROR_SUCCESS);
    }
    void TearDown() override
    {
        key_.Close();
        test::ResetProductRegistry();
    }
    void WriteComplete()
    {
        using test::Number;
        using test::Text;
        ASSERT_TRUE(test::WriteConfigurationRows({Number(kMailSystem, 0), Text(kSender, "me@example.net"),
                                                  Text(kDestination, "pager@example.net"), Number(kUsesDialup, 0),
                                                  Text(kDialupName, "Office"), Text(kTimeout, "abc")}));
    }
    RegistryKey key_;
};

TEST_F(ConfigRegistry, MissingKeyIsNotConfigured)
{
    key_.Close();
    test::ResetProductRegistry();
    SchedulerSettings settings;
    EXPECT_FALSE(LoadConfiguration(&settings));
    EXPECT_EQ(ReadConfigNumber(kRetryCount, 1), 1u);
    EXPECT_EQ(ReadConfigText(kBrowserName, "IEXPLORE.EXE"), "IEXPLORE.EXE");
    EXPECT_FALSE(ConfigValueHasData(kDontSend));
}

TEST_F(ConfigRegistry, LoadsFromTheRegistry)
{
    WriteComplete();
    key_.WriteDword(kRetryTime, 20);
    SchedulerSettings settings;
    ASSERT_TRUE(LoadConfiguration(&settings));
    EXPECT_TRUE(settings.dialUp);
    EXPECT_EQ(settings.dialupName, "Office");
    EXPECT_EQ(settings.hangUpMinutes, 0u);
    EXPECT_EQ(settings.retryCount, 1u);
    EXPECT_EQ(settings.retryMinutes, 20u);
    EXPECT_EQ(settings.mailLibrary, "");
}

// The limit counts stored bytes: 259 characters and the NUL fit, 260 characters do not,
// and neither does a value written without its NUL that is 261 bytes long.
TEST_F(ConfigRegistry, TextsOver260BytesReadAsMissing)
{
    struct Case {
        const char *label;
        std::string data;   // stored as is (REG_SZ), include the NUL yourself
        bool readable;
    } cases[] = {
        {"259 characters and NUL", std::string(259, 's') + '\0', true},
        {"260 characters and NUL", std::string(260, 's') + '\0', false},
        {"259 characters, no NUL", std::string(259, 's'), true},
        {"261 characters, no NUL", std::string(261, 's'), false},
    };
    for (const Case &c : cases) {
        WriteComplete();
        RegSetValueExA(key_.Get(), kSender, 0, REG_SZ, reinterpret_cast<const BYTE *>(c.data.data()),
                       static_cast<DWORD>(c.data.size()));
        SchedulerSettings settings;
        EXPECT_EQ(LoadConfiguration(&settings), c.readable) << c.label;
        char buffer[kTextBufferSize];
        EXPECT_EQ(ReadConfigText(kSender, buffer), c.readable) << c.label;
        EXPECT_EQ(ReadConfigText(kSender, "default") == "default", !c.readable) << c.label;
    }
}

TEST_F(ConfigRegistry, SwitchesNeedData)
{
    WriteComplete();
    RegSetValueExA(key_.Get(), kDontSend, 0, REG_BINARY, nullptr, 0);   // present, no data
    key_.WriteString(kDontDial, "");                                     // the NUL is data
    key_.WriteString(kLogging, "quillon.log");
    SchedulerSettings settings;
    ASSERT_TRUE(LoadConfiguration(&settings));
    EXPECT_FALSE(settings.dontSend);
    EXPECT_TRUE(settings.dontDial);
    EXPECT_TRUE(settings.logging);
    EXPECT_EQ(settings.logFile, "quillon.log");
    EXPECT_FALSE(ConfigValueHasData(kDontSend));
    EXPECT_TRUE(ConfigValueHasData(kDontDial));

    key_.DeleteValue(kLogging);
    ASSERT_TRUE(LoadConfiguration(&settings));
    EXPECT_FALSE(settings.logging);
}

TEST_F(ConfigRegistry, ReadWithDefaultHelpers)
{
    key_.WriteString(kMaxMsgLen, "140 chars");
    key_.WriteDword(kClipSubject, 1);
    key_.WriteString(kTimeout, "");
    key_.WriteDword(kRetryCount, 0);
    // A DWORD-named value stored as 8 bytes is not a 32-bit number.
    unsigned long long wide = 5;
    RegSetValueExA(key_.Get(), kTaskRetryCount, 0, REG_QWORD, reinterpret_cast<const BYTE *>(&wide), sizeof wide);

    EXPECT_EQ(ReadConfigDecimal(kMaxMsgLen, 500), 140);
    EXPECT_EQ(ReadConfigDecimal(kTimeout, 5), 0);
    EXPECT_EQ(ReadConfigDecimal(kDialupName, 5), 5);
    EXPECT_EQ(ReadConfigNumber(kClipSubject, 0), 1u);
    EXPECT_EQ(ReadConfigNumber(kRetryCount, 1), 0u);
    EXPECT_EQ(ReadConfigNumber(kTaskRetryCount, 1), 1u);
    EXPECT_EQ(ReadConfigNumber(kRetryTime, 15), 15u);
}

// Damaged values read the same way in every deliverable: a number of 1 to 3 bytes is
// zero-extended, one of 0 bytes or of more than 4 bytes is missing; a text stored without
// its terminator reads as the same text; its bytes are read whatever the stored type.
TEST_F(ConfigRegistry, DamagedValuesReadByOneRule)
{
    struct NumberCase {
        const char *label;
        std::string bytes;
        bool present;
        uint32_t value;
    } numbers[] = {
        {"0 bytes", "", false, 0},
        {"1 byte", std::string("\x07", 1), true, 7},
        {"2 bytes", std::string("\x34\x12", 2), true, 0x1234},
        {"3 bytes", std::string("\x01\x02\x03", 3), true, 0x030201},
        {"4 bytes", std::string("\x01\x00\x00\x80", 4), true, 0x80000001u},
        {"5 bytes", std::string("\x01\x00\x00\x00\x00", 5), false, 0},
    };
    for (const NumberCase &c : numbers) {
        RegSetValueExA(key_.Get(), kRetryCount, 0, REG_BINARY, reinterpret_cast<const BYTE *>(c.bytes.data()),
                       static_cast<DWORD>(c.bytes.size()));
        EXPECT_EQ(ReadConfigNumber(kRetryCount, 99), c.present ? c.value : 99u) << c.label;
        WriteComplete();
        SchedulerSettings settings;
        settings.retryCount = 99;
        ASSERT_TRUE(LoadConfiguration(&settings)) << c.label;
        EXPECT_EQ(settings.retryCount, c.present ? c.value : 99u) << c.label;
    }
    // A required number of 0 bytes is missing: the configuration is incomplete.
    RegSetValueExA(key_.Get(), kMailSystem, 0, REG_DWORD, nullptr, 0);
    SchedulerSettings settings;
    EXPECT_FALSE(LoadConfiguration(&settings));

    WriteComplete();
    const char unterminated[] = {'m', 'e', '@', 'x'};
    RegSetValueExA(key_.Get(), kSender, 0, REG_BINARY, reinterpret_cast<const BYTE *>(unterminated),
                   sizeof unterminated);
    ASSERT_TRUE(LoadConfiguration(&settings));
    EXPECT_EQ(settings.sender, "me@x");
    EXPECT_EQ(ReadConfigText(kSender, "none"), "me@x");
}

// The scrambled password is read at its stored length, also when a byte scrambles to 0.
TEST_F(ConfigRegistry, PasswordKeepsItsStoredLength)
{
    WriteComplete();
    key_.WriteDword(kMailSystem, 1);
    key_.WriteString(kProfile, "MS Exchange");
    std::string password = "pa";
    password += static_cast<char>(ScrambleKey()[2]);
    password += "ss";
    std::string scrambled = ScrambleText(password);
    ASSERT_EQ(scrambled[2], '\0');
    ASSERT_EQ(key_.WriteString(kPassword, scrambled), ERROR_SUCCESS);

    SchedulerSettings settings;
    ASSERT_TRUE(LoadConfiguration(&settings));
    EXPECT_EQ(settings.scrambledPassword, scrambled);
    ConfigurationKey configuration;
    ASSERT_TRUE(configuration.Open());
    char plain[kTextBufferSize];
    ASSERT_TRUE(configuration.ReadPassword(plain));
    EXPECT_EQ(std::string(plain), password);
}

} // namespace
} // namespace quillon
