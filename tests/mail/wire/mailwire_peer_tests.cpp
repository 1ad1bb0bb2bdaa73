// mailwire.dll delivering to a real SMTP server (aiosmtpd on 127.0.0.40:25, started and
// stopped around this test by CTest fixtures), checked by what the server received.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "mail/loader/mail_library.h"
#include "scheduler/engine/mail_dispatch.h"
#include "scheduler/engine/win_services.h"
#include "queue/message_queue.h"
#include "common/win_datetime.h"
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

std::string SinkFile()
{
    const char *out = std::getenv("QUILLON_SMTP_SINK_OUT");
    return out != nullptr ? test::WindowsPathOf(out) : std::string();
}

size_t LineCount(const std::string &text)
{
    size_t count = 0;
    for (char c : text)
        count += c == '\n';
    return count;
}

TEST(MailwirePeer, RealServerReceivesEveryMessageOfASession)
{
    const std::string sinkFile = SinkFile();
    ASSERT_FALSE(sinkFile.empty());
    const size_t before = test::ReadWholeFile(sinkFile).size();

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

    std::string received = WaitForLines(sinkFile, LineCount(test::ReadWholeFile(sinkFile).substr(0, before)) + 2, 5000)
                               .substr(before);
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
                       "Message-ID: <"),
              std::string::npos)
        << one;
    EXPECT_NE(one.find("quoted-printable\\r\\n\\r\\nFirst page\\r\\nline two\\r\\n\""), std::string::npos) << one;
    EXPECT_NE(two.find("\\r\\nSUBJECT: \\r\\nMessage-ID: <"), std::string::npos) << two;
    EXPECT_NE(two.find("quoted-printable\\r\\n\\r\\nSecond page\\r\\n\""), std::string::npos) << two;
}

// Messages queued by other processes (as the page sender queues them) are delivered by
// the scheduler's dispatcher through mailwire to the real server and leave the queue.
TEST(MailwirePeer, QueuedByOneProcessDeliveredByAnother)
{
    const std::string sinkFile = SinkFile();
    ASSERT_FALSE(sinkFile.empty());
    const std::string before = test::ReadWholeFile(sinkFile);

    test::ResetProductRegistry();
    const std::string tool = test::BuildDir() + "\\tests\\queue_message_tool.exe";
    for (const char *args : {" \"Queued title\" \"queued one\"", " \"\" \"queued two\""}) {
        test::ProcessResult run = test::RunProcess("\"" + tool + "\"" + args, 20000);
        ASSERT_TRUE(run.started && !run.timedOut);
        ASSERT_EQ(run.exitCode, 0u) << args;
    }
    ASSERT_EQ(ReadWholeQueue().size(), 2u);
    {
        RegistryKey key;
        ASSERT_EQ(CreateUserKey(kConfigurationKeyPath, &key), ERROR_SUCCESS);
        key.WriteString(config_values::kSMTPServer, "127.0.0.40");
    }
    // The scheduler's own dispatcher, as tasqed runs it: the registry queue, the mail
    // library loaded by file name, the local clock.
    SchedulerSettings settings;
    settings.mailLibrary = test::BinDir() + "\\mailwire.dll";
    settings.sender = "me@example.net";
    settings.destination = "pager@example.net";
    LocalClock clock;
    FileEngineLog log(settings);
    RegistryMailQueue queue;
    DllMailLibraryLoader libraries;
    MailDispatcher dispatcher(settings, clock, log, queue, libraries);
    // The writers named their messages after their own seconds; dispatch a little later.
    Sleep(1100);
    ASSERT_TRUE(dispatcher.IsMailDue());
    dispatcher.DispatchMail();
    EXPECT_FALSE(dispatcher.IsMailDue());
    EXPECT_TRUE(ReadWholeQueue().empty());
    test::ResetProductRegistry();

    std::string received = WaitForLines(sinkFile, LineCount(before) + 2, 5000).substr(before.size());
    EXPECT_EQ(LineCount(received), 2u) << received;
    EXPECT_NE(received.find("SUBJECT: Queued title\\r\\nMessage-ID: <"), std::string::npos) << received;
    EXPECT_NE(received.find("SUBJECT: \\r\\nMessage-ID: <"), std::string::npos) << received;
    EXPECT_NE(received.find("quoted-printable\\r\\n\\r\\nqueued one\\r\\n\""), std::string::npos) << received;
    EXPECT_NE(received.find("quoted-printable\\r\\n\\r\\nqueued two\\r\\n\""), std::string::npos) << received;
}

} // namespace
} // namespace quillon
