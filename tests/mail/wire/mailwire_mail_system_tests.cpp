// Pages queued by the real page sender (quillon.exe, with the text library's double
// handing it the page texts) and delivered by the scheduler's dispatcher through
// mailwire.dll to a real mail system: Postfix and Dovecot on 127.0.0.190
// (mail_system.py, started around this test by CTest fixtures), in all three ways of
// sending: port 25 after a POP3 log-in, 587 with STARTTLS and sign-in, 465 with TLS and
// sign-in. Every queued text is written to QUILLON_MAIL_SYSTEM_EXPECTED as it stood in
// the queue; mail_system_check.py then reads every message back over POP3, parses it as
// a mail program would and compares.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "common/scramble.h"
#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "mail/loader/mail_library.h"
#include "mail/wire/wire_stamp.h"
#include "scheduler/config/configuration.h"
#include "scheduler/engine/mail_dispatch.h"
#include "scheduler/engine/win_services.h"
#include "queue/message_queue.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

constexpr char kHost[] = "127.0.0.190";
constexpr char kUser[] = "pager";
constexpr char kPassword[] = "Pa55 w0rd!";

struct Page {
    const char *label;
    std::string heading;   // the double's escapes: \n line feed, \t tab, \\ backslash
    std::string body;
};

std::string Repeated(const std::string &piece, size_t times)
{
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

std::vector<Page> Pages()
{
    std::string thousands;
    for (int i = 1; i <= 60; ++i)
        thousands += "Paragraph " + std::to_string(i) + ": the ferry timetable for the winter, caf\xe9s open, " +
                     "fares = 5 \x80.\\n" + (i % 10 == 0 ? std::string("\\n") : std::string());
    return {
        {"accented letters", "Caf\xe9 news", "Caf\xe9 cr\xe8me at the caf\xe9 by the quay"},
        {"umlauts, euro and curly apostrophe", "Gr\xfc\xdf" "e aus K\xf6ln",
         "Gr\xfc\xdf" "e! Tickets cost \x80 5 and it\x92s \x93quoted\x94."},
        {"body that looks like a header", "Ferry", "Note: the ferry is cancelled"},
        {"header-like lines", "Reminder", "Reminder: pay the rent\\nUpdate: the landlord called"},
        {"leading dot and a dot line", "Release",
         ".NET 9 is out\\n.\\nThe line above held only a dot.\\n..and this one begins with two"},
        {"one line over 998 characters", "Long line", Repeated("word ", 300) + "end"},
        {"several thousand characters with line ends", "Several thousand", thousands},
        {"line ends and blank lines", "Line ends", "one\\ntwo\\n\\nfour\\n   indented\\ttab"},
        {"non-ASCII subject folded", Repeated("\xdc" "ber die Stra\xdf" "e: Caf\xe9s und \x80-Preise ", 4),
         "Short body."},
        {"equals signs and trailing blanks", "a = b?", "x = 1 \\ny=2\t\\n=3D is not decoded twice"},
    };
}

struct Mode {
    const char *name;           // also the destination's +tag
    DWORD port;                 // 0: the service's
    DWORD security;
    bool pop3First;
    bool signIn;
};

const Mode kModes[] = {
    {"plain", 0, 0, true, false},
    {"starttls", 587, 1, false, true},
    {"tls", 465, 2, false, true},
};

std::string Hex(const std::string &bytes)
{
    std::string out;
    char two[3];
    for (unsigned char c : bytes) {
        std::snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out;
}

void WriteConfiguration(const Mode &mode, const std::string &logFile)
{
    test::ResetProductRegistry();
    RegistryKey key;
    ASSERT_EQ(CreateUserKey(kConfigurationKeyPath, &key), ERROR_SUCCESS);
    key.WriteDword(config_values::kMailSystem, 0);
    key.WriteString(config_values::kSender, "quillon@sender.test");
    key.WriteString(config_values::kDestination, (std::string("pager+") + mode.name + "@pager.test").c_str());
    key.WriteString(config_values::kMaxMsgLen, "100000");
    key.WriteString(config_values::kLogging, logFile.c_str());
    key.WriteString(config_values::kMailLibrary, "mailwire.dll");
    key.WriteString(config_values::kProfile, "");
    key.WriteDword(config_values::kUsesDialup, 0);
    key.WriteString(config_values::kDialupName, "");
    key.WriteString(config_values::kTimeout, "5");
    key.WriteDword(config_values::kRetryCount, 1);
    key.WriteDword(config_values::kRetryTime, 15);
    key.WriteString(config_values::kSMTPServer, kHost);
    if (mode.port != 0)
        key.WriteDword(config_values::kSMTPPort, mode.port);
    key.WriteDword(config_values::kSMTPSecurity, mode.security);
    if (mode.signIn)
        key.WriteString(config_values::kSMTPLogin, kUser);
    if (mode.pop3First) {
        key.WriteDword(config_values::kPOP3Authentication, 1);
        key.WriteString(config_values::kPOP3Server, kHost);
        key.WriteString(config_values::kPOP3Login, kUser);
    }
    std::string scrambled = ScrambleText(kPassword);
    scrambled.push_back('\0');
    RegSetValueExA(key.Get(), config_values::kPassword, 0, REG_SZ, reinterpret_cast<const BYTE *>(scrambled.data()),
                   static_cast<DWORD>(scrambled.size()));
}

class MailSystem : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = test::MakeScratchDir("mail_system");
        ASSERT_TRUE(CopyFileA((test::BinDir() + "\\quillon.exe").c_str(), (dir_ + "\\quillon.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((test::BuildDir() + "\\tests\\webflat_double.dll").c_str(), (dir_ + "\\WEBFLAT.DLL").c_str(),
                              FALSE));
        std::string script;
        std::vector<Page> pages = Pages();
        for (size_t i = 0; i < pages.size(); ++i)
            script += "http://page-" + std::to_string(i) + ".test/\t0\t" + pages[i].heading + "\t" + pages[i].body + "\n";
        ASSERT_TRUE(test::WriteWholeFile(dir_ + "\\script.txt", script));
        SetEnvironmentVariableA("QUILLON_WEBFLAT_SCRIPT", (dir_ + "\\script.txt").c_str());
    }
    static void TearDownTestSuite()
    {
        SetEnvironmentVariableA("QUILLON_WEBFLAT_SCRIPT", nullptr);
        test::ResetProductRegistry();
    }

    static std::string dir_;
};
std::string MailSystem::dir_;

TEST_F(MailSystem, PagesQueuedByThePageSenderAreDeliveredInEveryMode)
{
    const char *expectedPath = std::getenv("QUILLON_MAIL_SYSTEM_EXPECTED");
    ASSERT_NE(expectedPath, nullptr);
    const MessageStamp stamp = StampMessage();
    const wire::TextCharset charset = SystemTextCharset();
    std::string expected;
    const std::vector<Page> pages = Pages();
    for (const Mode &mode : kModes) {
        SCOPED_TRACE(mode.name);
        const std::string logFile = dir_ + "\\" + mode.name + ".log";
        DeleteFileA(logFile.c_str());
        WriteConfiguration(mode, logFile);
        // One task per page, run as the scheduler runs it: "quillon.exe <key>".
        DateTime when = LocalNow();
        when.wYear -= 1;
        for (size_t i = 0; i < pages.size(); ++i) {
            ++when.wSecond;
            if (when.wSecond >= 60) {
                when.wSecond = 0;
                ++when.wMinute;
            }
            const std::string key = TimestampKeyName(when);
            {
                RegistryKey task;
                ASSERT_EQ(CreateUserKey((std::string(kTasksKeyPath) + "\\" + key).c_str(), &task), ERROR_SUCCESS);
                task.WriteString(task_values::kSelection, ("\"http://page-" + std::to_string(i) + ".test/\"").c_str());
                task.WriteDword(task_values::kChopMessage, 1);
            }
            test::ProcessResult run = test::RunProcess("\"" + dir_ + "\\quillon.exe\" " + key, 20000, dir_.c_str());
            ASSERT_TRUE(run.started && !run.timedOut) << pages[i].label;
            ASSERT_EQ(run.exitCode, 0xffffffffu) << pages[i].label << "\n" << test::ReadWholeFile(logFile);
        }
        const std::vector<QueuedMessageRecord> queued = ReadWholeQueue();
        ASSERT_EQ(queued.size(), pages.size());
        for (const QueuedMessageRecord &record : queued)
            expected += std::string(mode.name) + "\t" + charset.mimeName + "\t" + std::to_string(stamp.utcOffsetMinutes) +
                        "\t" + Hex(record.subject) + "\t" + Hex(record.body) + "\n";

        // A message is due once its queue time lies strictly before the dispatch time; the
        // queue writer gives messages of one second the following free seconds, so the
        // last page's time may lie a few seconds ahead.
        Ticks latest = 0;
        for (const QueuedMessageRecord &record : queued) {
            Ticks at = 0;
            if (record.hasRetryTime && DateTimeToTicks(record.retryTime, &at) && at > latest)
                latest = at;
        }
        for (int waited = 0; waited < 150; ++waited) {
            Ticks now = 0;
            DateTimeToTicks(LocalNow(), &now);
            if (now > latest + kTicksPerSecond)
                break;
            Sleep(100);
        }
        SchedulerSettings settings;
        ASSERT_TRUE(LoadConfiguration(&settings));
        settings.mailLibrary = test::BinDir() + "\\mailwire.dll";
        LocalClock clock;
        FileEngineLog log(settings);
        RegistryMailQueue queue;
        DllMailLibraryLoader libraries;
        MailDispatcher dispatcher(settings, clock, log, queue, libraries);
        ASSERT_TRUE(dispatcher.IsMailDue());
        dispatcher.DispatchMail();
        EXPECT_TRUE(ReadWholeQueue().empty()) << test::ReadWholeFile(logFile);
        const std::string mailLog = test::ReadWholeFile(logFile);
        EXPECT_NE(mailLog.find("MAILWIRE Content-Type: text/plain; charset=" + charset.mimeName), std::string::npos)
            << mailLog;
        if (mode.signIn) {
            // One secured connection, one handshake and one sign-in, for the whole pass.
            const size_t handshake = mailLog.find("MAILWIRE TLS established");
            EXPECT_NE(handshake, std::string::npos) << mailLog;
            EXPECT_EQ(mailLog.find("MAILWIRE TLS established", handshake + 1), std::string::npos) << mailLog;
            const size_t signIn = mailLog.find("MAILWIRE Sent credentials");
            EXPECT_EQ(mailLog.find("MAILWIRE Sent credentials", signIn + 1), std::string::npos) << mailLog;
            EXPECT_EQ(mailLog.find(kPassword), std::string::npos) << mailLog;
        } else {
            EXPECT_NE(mailLog.find("MAILWIRE Sent Password"), std::string::npos) << mailLog;
        }
    }
    ASSERT_TRUE(test::WriteWholeFile(test::WindowsPathOf(expectedPath), expected));
}

} // namespace
} // namespace quillon
