// The scheduler's own engine delivering the queue through MAILSIMPLE.DLL: a
// configuration that names no mail library, messages queued by the page sender's queue
// writer, one MinuteTick of the product engine (run from the installation folder, as
// tasqed is), and the mail-client double behind the system's MAPI32.DLL. Checks that
// the default library is the one loaded, what the mail client received, the log, and
// the queue afterwards.
#include <gtest/gtest.h>

#include <windows.h>
#include <mapi.h>

#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/scramble.h"
#include "common/win_datetime.h"
#include "scheduler/config/configuration.h"
#include "scheduler/engine/product_engine.h"
#include "queue/message_queue.h"
#include "tests/mail/simple/mail_client_double_setup.h"
#include "tests/resources/debug_output_reader.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {
namespace {

// A MAPI configuration as an older setup leaves it: MailSystem 1 with its profile and
// password, and no MailLibrary text, so the scheduler falls back to MAILSIMPLE.DLL.
void WriteConfiguration(const std::string &logFile)
{
    using namespace config_values;
    using namespace quillon::test;
    // CompleteSmtpConfiguration is always connected (UsesDialup 1).
    ASSERT_TRUE(WriteConfigurationRows(
        With(CompleteSmtpConfiguration(""),
             {Absent(kSMTPServer), Absent(kPOP3Authentication), Number(kMailSystem, 1), Text(kMailLibrary, ""),
              Text(kProfile, "Pager profile"), Text(kPassword, ScrambleText("pa55 word")),
              Text(kSender, "scheduler@example.org"), Text(kDestination, "pager@example.org"),
              Text(kLogging, logFile), Number(kRetryCount, 1), Number(kRetryTime, 15), Number(kTaskRetryCount, 1),
              Number(kTaskRetryTime, 15)})));
}

// Queued a minute ago, so due at once.
void QueueDueMessage(const char *subject, const char *body)
{
    Ticks now = 0;
    DateTime when = {};
    ASSERT_TRUE(DateTimeToTicks(LocalNow(), &now));
    ASSERT_TRUE(TicksToDateTime(now - kTicksPerMinute, &when));
    ASSERT_TRUE(QueueMessage(when, subject, body));
}

std::vector<std::string> QueueNames()
{
    std::vector<std::string> names;
    RegistryKey mail;
    std::string name;
    if (mail.Open(HKEY_CURRENT_USER, kMailKeyPath) == ERROR_SUCCESS)
        for (DWORD i = 0; mail.EnumSubkeyName(i, &name) == ERROR_SUCCESS; ++i)
            names.push_back(name);
    return names;
}

class MailSimpleEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductRegistry();
        scratch_ = MakeScratchDir(std::string("mail_simple_e2e_") +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        logFile_ = scratch_ + "\\quillon.log";
        std::string error;
        ASSERT_TRUE(client_.Install(scratch_ + "\\client.journal", error)) << error;
        ASSERT_TRUE(debug_.Start(error)) << error;
        // tasqed runs from the installation folder; the usual search finds the default
        // library there through the current directory.
        ASSERT_TRUE(SetCurrentDirectoryA(BinDir().c_str()));
        WriteConfiguration(logFile_);
    }
    void TearDown() override
    {
        client_.Uninstall();
        ResetProductRegistry();
    }

    // One minute tick of the scheduler's engine, without a schedule component: no task
    // is due, the queue is delivered.
    void MinuteTick()
    {
        SchedulerSettings settings;
        ASSERT_TRUE(LoadConfiguration(&settings));
        ASSERT_TRUE(settings.mailLibrary.empty());
        ShellState shell;
        ProductEngine engine(settings, shell, nullptr, nullptr);
        engine.MinuteTick();
        EXPECT_FALSE(shell.tickBusy);
    }

    std::string scratch_;
    std::string logFile_;
    MailClientDouble client_;
    DebugOutputReader debug_;
};

TEST_F(MailSimpleEndToEnd, TheDefaultLibraryDeliversTheQueueInOneSession)
{
    QueueDueMessage("Harbour report", "High tide 14:32");
    QueueDueMessage("Harbour report", "Low tide 20:47");
    ASSERT_EQ(QueueNames().size(), 2u);

    MinuteTick();

    EXPECT_TRUE(debug_.WaitFor("MAILSIMPLE loading\n", 3000));
    EXPECT_TRUE(debug_.WaitFor("MAILSIMPLE unloading\n", 3000));
    EXPECT_TRUE(QueueNames().empty());

    std::vector<std::string> journal = client_.JournalLines();
    ASSERT_EQ(journal.size(), 10u) << ::testing::PrintToString(journal);
    EXPECT_EQ(journal[0], "MAPILogon uiParam=0x0 profile=\"Pager profile\" password=\"pa55 word\" flags=0x0 "
                          "reserved=0 result=0 session=0x500000001");
    for (size_t send : {1u, 5u}) {
        EXPECT_EQ(journal[send], "MAPISendMail session=0x500000001 uiParam=0x0 flags=0x0 reserved=0 result=0");
        EXPECT_EQ(journal[send + 2], "  originator reserved=0 recipClass=0 name=\"scheduler@example.org\" "
                                     "address=null eidSize=0 entryID=null");
        EXPECT_EQ(journal[send + 3], "  recipient[0] reserved=0 recipClass=1 name=\"pager@example.org\" "
                                     "address=null eidSize=0 entryID=null");
    }
    // In queue order: the first queued message first.
    EXPECT_NE(journal[2].find("subject=\"Harbour report\" noteText=\"High tide 14:32\""), std::string::npos)
        << journal[2];
    EXPECT_NE(journal[6].find("subject=\"Harbour report\" noteText=\"Low tide 20:47\""), std::string::npos)
        << journal[6];
    EXPECT_EQ(journal[9], "MAPILogoff session=0x500000001 uiParam=0x0 flags=0x0 reserved=0 result=0");

    std::string log = ReadWholeFile(logFile_);
    EXPECT_NE(log.find("From: scheduler@example.org\r\nTo: pager@example.org\r\nSubject: Harbour report\r\n"
                       "Text: High tide 14:32\r\nSucceeded in sending message\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Text: Low tide 20:47\r\nSucceeded in sending message\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("MAILSIMPLE"), std::string::npos) << log;
}

// The mail client refuses the logon: nothing is sent, the queue stays as it was, and the
// library's line tells why.
TEST_F(MailSimpleEndToEnd, RefusedLogonKeepsTheQueue)
{
    client_.SetLogonResult(MAPI_E_LOGON_FAILURE);
    QueueDueMessage("Reminder", "Dentist at 9");
    std::vector<std::string> queued = QueueNames();
    ASSERT_EQ(queued.size(), 1u);

    MinuteTick();

    EXPECT_EQ(QueueNames(), queued);
    std::vector<std::string> journal = client_.JournalLines();
    ASSERT_EQ(journal.size(), 1u) << ::testing::PrintToString(journal);
    EXPECT_EQ(journal[0].rfind("MAPILogon ", 0), 0u) << journal[0];
    std::string log = ReadWholeFile(logFile_);
    EXPECT_NE(log.find("MAILSIMPLE Logon error 3\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("From: "), std::string::npos) << log;
    RegistryKey entry;
    ASSERT_EQ(entry.Open(HKEY_CURRENT_USER, (std::string(kMailKeyPath) + "\\" + queued[0]).c_str()), ERROR_SUCCESS);
    DWORD count = 99;
    ASSERT_EQ(entry.ReadDword(mail_values::kRetryCount, &count), ERROR_SUCCESS);
    EXPECT_EQ(count, 0u);
}

} // namespace
} // namespace quillon::test
