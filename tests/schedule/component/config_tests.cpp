// The configuration the component reads at load: the log path, the room a message body
// has (MaxMsgLen less the stored size of Sender) and subject clipping, each with the
// chain of conditions under which the next value is read at all.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "schedule/component/component_config.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;

namespace {

TEST(ComponentConfig, ValuesAndTheirDefaults)
{
    namespace c = config_values;
    using Setup = std::function<void(const RegistryKey &)>;
    struct Case {
        const char *label;
        bool createKey;
        Setup setup;
        bool logging;
        std::string logPath;
        long maxMessageLength;
        bool clipSubject;
    } cases[] = {
        {"no Configuration key", false, [](const RegistryKey &) {}, false, "", 500, false},
        {"empty Configuration key", true, [](const RegistryKey &) {}, false, "", 500, false},
        {"MaxMsgLen 160 and a three-letter Sender", true,
         [](const RegistryKey &k) {
             k.WriteString(c::kMaxMsgLen, "160");
             k.WriteString(c::kSender, "abc");
             k.WriteDword(c::kClipSubject, 1);
         },
         false, "", 156, true},
        {"push notification: the whole MaxMsgLen, Sender not needed", true,
         [](const RegistryKey &k) {
             k.WriteDword(c::kMailSystem, 2);
             k.WriteString(c::kMaxMsgLen, "4096");
             k.WriteDword(c::kClipSubject, 1);
         },
         false, "", 4096, true},
        {"push notification with a Sender: nothing is taken off", true,
         [](const RegistryKey &k) {
             k.WriteDword(c::kMailSystem, 2);
             k.WriteString(c::kMaxMsgLen, "2000");
             k.WriteString(c::kSender, "Quillon");
         },
         false, "", 2000, false},
        {"Sender missing: ClipSubject is not read", true,
         [](const RegistryKey &k) {
             k.WriteString(c::kMaxMsgLen, "160");
             k.WriteDword(c::kClipSubject, 1);
         },
         false, "", 160, false},
        {"MaxMsgLen missing: neither Sender nor ClipSubject is read", true,
         [](const RegistryKey &k) {
             k.WriteString(c::kSender, "abc");
             k.WriteDword(c::kClipSubject, 1);
         },
         false, "", 500, false},
        {"MaxMsgLen without digits counts as 0", true,
         [](const RegistryKey &k) {
             k.WriteString(c::kMaxMsgLen, "abc");
             k.WriteString(c::kSender, "");
         },
         false, "", -1, false},
        {"MaxMsgLen leading digits only", true,
         [](const RegistryKey &k) {
             k.WriteString(c::kMaxMsgLen, " 240 chars");
             k.WriteString(c::kSender, "me@example.test");
             k.WriteDword(c::kClipSubject, 0);
         },
         false, "", 240 - 16, false},
        {"Sender longer than the 260-byte buffer counts as unreadable", true,
         [](const RegistryKey &k) {
             k.WriteString(c::kMaxMsgLen, "500");
             k.WriteString(c::kSender, std::string(300, 'x'));
             k.WriteDword(c::kClipSubject, 1);
         },
         false, "", 500, false},
        {"Logging names the log file", true,
         [](const RegistryKey &k) { k.WriteString(c::kLogging, "C:\\quillon.log"); },
         true, "C:\\quillon.log", 500, false},
        {"Logging present but of zero size", true,
         [](const RegistryKey &k) { RegSetValueExA(k.Get(), c::kLogging, 0, REG_SZ, nullptr, 0); },
         false, "", 500, false},
        {"Logging too long for the buffer", true,
         [](const RegistryKey &k) { k.WriteString(c::kLogging, std::string(400, 'L')); },
         false, "", 500, false},
    };
    for (const Case &tc : cases) {
        test::ResetProductRegistry();
        if (tc.createKey) {
            RegistryKey key;
            ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(kConfigurationKeyPath, &key)) << tc.label;
            tc.setup(key);
        }
        ComponentConfig config = ReadComponentConfig();
        EXPECT_EQ(tc.logging, config.logging) << tc.label;
        EXPECT_EQ(tc.logPath, config.logPath) << tc.label;
        EXPECT_EQ(tc.maxMessageLength, config.maxMessageLength) << tc.label;
        EXPECT_EQ(tc.clipSubject, config.clipSubject) << tc.label;
    }
    test::ResetProductRegistry();
}

} // namespace
