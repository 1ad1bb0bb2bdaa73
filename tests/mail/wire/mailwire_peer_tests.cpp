// mailwire.dll delivering to a real SMTP server (aiosmtpd on 127.0.0.40:25, started and
// stopped around this test by CTest fixtures), checked by what the server received.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "mail/loader/mail_library.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

// The sink writes one JSON line per message; texts are JSON-escaped there.
std::string WaitForLines(const std::string &path, size_t lines, DWORD timeoutMs)
{
    std::string content;
    for (DWORD waited = 0; waited <= timeoutMs; waited += 100) {
        content = test::ReadWholeFile(path);
        size_t count = 0;
        for (char c : content)
            count += c == '\n';
        if (count >= lines)
            break;
        Sleep(100);
    }
    return content;
}

TEST(MailwirePeer, RealServerReceivesEveryMessageOfASession)
{
    const char *out = std::getenv("QUILLON_SMTP_SINK_OUT");
    ASSERT_NE(out, nullptr);
    const std::string sinkFile = test::WindowsPathOf(out);

    test::ResetProductRegistry();
    {
        RegistryKey key;
        ASSERT_EQ(CreateUserKey(kConfigurationKeyPath, &key), ERROR_SUCCESS);
        key.WriteString(config_values::kSMTPServer, "127.0.0.40");
    }
    MailLibrary library;
    ASSERT_EQ(library.Load((test::BinDir() + "\\mailwire.dll").c_str()), static_cast<DWORD>(ERROR_SUCCESS));
    MailSession session = 0;
    ASSERT_EQ(library.Logon("", "", &session, 0, ""), kMailOk);
    EXPECT_EQ(library.Send(session, "me@example.net", "pager@example.net", "Headlines", "First page\r\nline two"),
              kMailOk);
    EXPECT_EQ(library.Send(session, "me@example.net", "pager@example.net", "", "Second page"), kMailOk);
    library.Logoff(session);
    library.Unload();
    test::ResetProductRegistry();

    std::string received = WaitForLines(sinkFile, 2, 5000);
    size_t first = received.find('\n');
    ASSERT_NE(first, std::string::npos) << received;
    std::string one = received.substr(0, first);
    std::string two = received.substr(first + 1);
    for (const std::string *message : {&one, &two}) {
        EXPECT_NE(message->find("\"mail_from\": \"me@example.net\""), std::string::npos) << *message;
        EXPECT_NE(message->find("\"rcpt_tos\": [\"pager@example.net\"]"), std::string::npos) << *message;
        EXPECT_NE(message->find("\"data\": \"DATE: "), std::string::npos) << *message;
    }
    EXPECT_NE(one.find("\\r\\nFROM: me@example.net\\r\\nTO: pager@example.net\\r\\nSUBJECT: Headlines\\r\\n"
                       "First page\\r\\nline two\\r\\n\""),
              std::string::npos)
        << one;
    EXPECT_NE(two.find("\\r\\nSUBJECT: \\r\\nSecond page\\r\\n\""), std::string::npos) << two;
}

} // namespace
} // namespace quillon
