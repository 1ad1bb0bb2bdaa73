// The scheduler's engine delivering through mailrich.dll: a configuration for the MAPI
// mail system (MailLibrary "mailrich.dll", a profile and its scrambled password), a page
// message queued as the page sender queues it, and one minute tick of the product engine.
// The message must reach the test MAPI32.DLL's Outbox, submitted, and leave the queue.
#include <gtest/gtest.h>

#include <windows.h>

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
#include "tests/mail/rich/mapi_double_control.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {
namespace {

void WriteMapiConfiguration(const std::string &logFile, const std::string &password)
{
    using namespace config_values;
    using namespace quillon::test;
    // The password row keeps every byte: a scrambled byte may be 0.
    ASSERT_TRUE(WriteConfigurationRows(
        With(CompleteSmtpConfiguration(""),
             {Absent(kSMTPServer), Absent(kPOP3Authentication), Number(kMailSystem, 1),
              Text(kMailLibrary, "mailrich.dll"), Text(kProfile, "Pager Profile"),
              Text(kPassword, ScrambleText(password)), Text(kSender, "scheduler@example.org"),
              Text(kDestination, "pager@example.org"), Text(kLogging, logFile), Number(kRetryCount, 1),
              Number(kRetryTime, 15)})));
}

DateTime MinuteAgo()
{
    Ticks now = 0;
    DateTimeToTicks(LocalNow(), &now);
    DateTime earlier = {};
    TicksToDateTime(now - kTicksPerMinute, &earlier);
    return earlier;
}

bool QueueIsEmpty()
{
    RegistryKey mail;
    std::string name;
    return mail.Open(HKEY_CURRENT_USER, kMailKeyPath) != ERROR_SUCCESS || mail.EnumSubkeyName(0, &name) != ERROR_SUCCESS;
}

TEST(MailrichDispatch, MinuteTickDeliversAQueuedPageMessageThroughTheProfile)
{
    MapiDouble mapi;
    ASSERT_TRUE(mapi.Loaded()) << "MAPI32.DLL is not the test double: run with WINEDLLOVERRIDES mapi32=n";
    mapi.Reset();
    ResetProductRegistry();
    std::string logFile = MakeScratchDir("mail_rich_dispatch") + "\\quillon.log";
    WriteMapiConfiguration(logFile, "secret");
    ASSERT_TRUE(QueueMessage(MinuteAgo(), "Loopback Page", "Hello from the queued page."));

    SchedulerSettings settings;
    ASSERT_TRUE(LoadConfiguration(&settings));
    ASSERT_EQ(settings.mailLibrary, "mailrich.dll");
    ShellState shell;
    ProductEngine engine(settings, shell, nullptr, nullptr);
    engine.MinuteTick();

    EXPECT_TRUE(QueueIsEmpty());
    std::vector<std::string> messages = mapi.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
              "recipients=[{0FFF0102=ab:pager@example.org, 3001001E=Pager Desk, 3002001E=SMTP, "
              "3003001E=pager@example.org, 0C150003=1}]; "
              "props=[0037001E=Loopback Page, 1000001E=Hello from the queued page.]; submitted=yes");

    std::vector<std::string> trace = mapi.Trace();
    ASSERT_GE(trace.size(), 4u);
    EXPECT_EQ(trace[0], "MAPIInitialize none");
    EXPECT_EQ(trace[1], "MAPILogonEx ui=0 profile=Pager Profile password=secret flags=0");
    EXPECT_EQ(trace[trace.size() - 3], "Logoff ui=0 flags=0");
    EXPECT_EQ(trace[trace.size() - 2], "release session");
    EXPECT_EQ(trace[trace.size() - 1], "MAPIUninitialize");
    EXPECT_EQ(mapi.LiveObjects(), 0);
    EXPECT_EQ(mapi.OutstandingBuffers(), 0);
    EXPECT_EQ(mapi.InitializeDepth(), 0);
    EXPECT_EQ(mapi.Problems(), "");

    std::string log = ReadWholeFile(logFile);
    EXPECT_NE(log.find("From: scheduler@example.org\r\nTo: pager@example.org\r\nSubject: Loopback Page\r\n"
                       "Text: Hello from the queued page.\r\nSucceeded in sending message\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("MAILRICH"), std::string::npos) << log;
    ResetProductRegistry();
}

// A profile the mail system refuses: the library's log line, nothing sent, the message
// still queued for the next pass after the hold-off.
TEST(MailrichDispatch, RefusedLogonKeepsTheMessageQueued)
{
    MapiDouble mapi;
    ASSERT_TRUE(mapi.Loaded());
    mapi.Reset();
    ResetProductRegistry();
    std::string logFile = MakeScratchDir("mail_rich_dispatch_refused") + "\\quillon.log";
    WriteMapiConfiguration(logFile, "wrong");
    ASSERT_TRUE(QueueMessage(MinuteAgo(), "Kept", "Kept body"));

    SchedulerSettings settings;
    ASSERT_TRUE(LoadConfiguration(&settings));
    ShellState shell;
    ProductEngine engine(settings, shell, nullptr, nullptr);
    engine.MinuteTick();

    EXPECT_FALSE(QueueIsEmpty());
    EXPECT_TRUE(mapi.Messages().empty());
    EXPECT_NE(ReadWholeFile(logFile).find("MAILRICH Logon error 80040111\r\n"), std::string::npos)
        << ReadWholeFile(logFile);
    EXPECT_EQ(mapi.LiveObjects(), 0);
    EXPECT_EQ(mapi.InitializeDepth(), 0);
    ResetProductRegistry();
}

} // namespace
} // namespace quillon::test
