// mailrich.dll against the test MAPI32.DLL: the calls it makes and their order, the
// message it leaves in the Outbox, the log line and result of every failing step, and
// that everything it obtained from MAPI is released and freed again.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "mail/loader/mail_library.h"
#include "tests/mail/rich/mapi_double_control.h"
#include "tests/resources/debug_output_reader.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {
namespace {

constexpr char kProfile[] = "Pager Profile";
constexpr char kPassword[] = "secret";
constexpr char kDestination[] = "pager@example.org";

std::string Hex(LONG value)
{
    char text[16];
    wsprintfA(text, "%lX", static_cast<unsigned long>(value));
    return text;
}

std::string Joined(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

class MailrichTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mapi.Loaded()) << "MAPI32.DLL is not the test double: run with WINEDLLOVERRIDES mapi32=n";
        mapi.Reset();
        ASSERT_EQ(library.Load("mailrich.dll"), static_cast<DWORD>(ERROR_SUCCESS));
        static const std::string scratch = MakeScratchDir("mail_rich_tests");
        logFile = scratch + "\\mailrich.log";
        DeleteFileA(logFile.c_str());
    }
    void TearDown() override
    {
        library.Unload();
        if (!mapi.Loaded())
            return;
        // Whatever the case did, nothing MAPI handed out may outlive it.
        EXPECT_EQ(mapi.LiveObjects(), 0);
        EXPECT_EQ(mapi.OutstandingBuffers(), 0);
        EXPECT_EQ(mapi.InitializeDepth(), 0);
        EXPECT_EQ(mapi.Problems(), "");
    }

    MailSession Logon(int logging = 1)
    {
        MailSession session = 0;
        EXPECT_EQ(library.Logon(kProfile, kPassword, &session, logging, logFile.c_str()), kMailOk);
        EXPECT_NE(session, 0u);
        return session;
    }
    std::string Log() const { return ReadWholeFile(logFile); }

    MapiDouble mapi;
    MailLibrary library;
    std::string logFile;
};

TEST_F(MailrichTest, SendWalksTheProfileInOrderAndReleasesEverything)
{
    const long highSessions = mapi.SessionsAboveFourGigabytes();
    MailSession session = Logon();
    // The session object lies above 4 GiB: the 32-bit handle cannot be its address.
    EXPECT_EQ(mapi.SessionsAboveFourGigabytes(), highSessions + 1);
    EXPECT_EQ(library.Send(session, "me@example.org", kDestination, "Headlines", "First page"), kMailOk);
    EXPECT_EQ(library.Logoff(session), kMailOk);

    const std::vector<std::string> expected = {
        "MAPIInitialize none",
        "MAPILogonEx ui=0 profile=Pager Profile password=secret flags=0",
        "GetMsgStoresTable flags=0",
        "HrQueryAllRows stores table columns=current "
        "restriction=AND(EXIST 3400000B, PROPERTY EQ 3400000B 3400000B=TRUE) sort=none max=1",
        "release stores table",
        "OpenMsgStore ui=0 entry=store-1 interface=none flags=5",
        "FreeProws 1",
        "HrGetOneProp store 35E20102",
        "OpenEntry store entry=outbox interface=none flags=1",
        "CreateMessage interface=none flags=0",
        "release outbox",
        "OpenAddressBook ui=0 interface=none flags=1",
        "ResolveName ui=0 flags=0 title=none [{3001001E=pager@example.org, 0C150003=1}] in one block",
        "release address book",
        "ModifyRecipients flags=2 [{0FFF0102=ab:pager@example.org, 3001001E=Pager Desk, 3002001E=SMTP, "
        "3003001E=pager@example.org, 0C150003=1}]",
        "HrSetOneProp message 0037001E=Headlines",
        "HrSetOneProp message 1000001E=First page",
        "SubmitMessage flags=0",
        "release message",
        "GetStatusTable flags=0",
        "HrQueryAllRows status table columns=0FFF0102,3E030003,30090003 "
        "restriction=BITMASK NEZ 30090003 25 sort=none max=1",
        "OpenEntry session entry=status-transport interface=none flags=1",
        "FlushQueues ui=0 target=none flags=12",
        "release status",
        "FreeProws 1",
        "release status table",
        "release store",
        "Logoff ui=0 flags=0",
        "release session",
        "MAPIUninitialize",
    };
    EXPECT_EQ(Joined(mapi.Trace()), Joined(expected));

    // One resolved MAPI_TO recipient, subject and body, and no other property (no sender).
    std::vector<std::string> messages = mapi.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
              "recipients=[{0FFF0102=ab:pager@example.org, 3001001E=Pager Desk, 3002001E=SMTP, "
              "3003001E=pager@example.org, 0C150003=1}]; props=[0037001E=Headlines, 1000001E=First page]; "
              "submitted=yes");
    EXPECT_EQ(Log(), "") << "success writes no line";
}

TEST_F(MailrichTest, SenderHasNoInfluenceAndMessagesShareTheSession)
{
    MailSession session = Logon();
    const char *senders[] = {"me@example.org", "", "Somebody Else <else@example.net>"};
    std::vector<std::vector<std::string>> traces;
    for (const char *sender : senders) {
        mapi.Reset();
        EXPECT_EQ(library.Send(session, sender, "Duty Pager", "Same", "Same body"), kMailOk) << sender;
        traces.push_back(mapi.Trace());
        ASSERT_EQ(mapi.Messages().size(), 1u);
        EXPECT_EQ(mapi.Messages()[0],
                  "recipients=[{0FFF0102=ab:duty@example.org, 3001001E=Duty Pager, 3002001E=SMTP, "
                  "3003001E=duty@example.org, 0C150003=1}]; props=[0037001E=Same, 1000001E=Same body]; "
                  "submitted=yes")
            << sender;
    }
    EXPECT_EQ(traces[1], traces[0]);
    EXPECT_EQ(traces[2], traces[0]);
    EXPECT_EQ(library.Logoff(session), kMailOk);
}

// Each failing step: its log line, the result, no message submitted before the failure
// (and the message submitted when the failure comes after it), and the store released
// last.
TEST_F(MailrichTest, EveryFailingStepLogsReleasesAndReturns)
{
    const LONG kFailure = static_cast<LONG>(0x80040119);   // MAPI_E_CORRUPT_DATA, as any
    const LONG kNotFound = static_cast<LONG>(0x8004010F);
    struct Case {
        const char *failCall;   // call made to fail with kFailure, or null
        const char *option;     // profile option, or null
        const char *destination;
        const char *logLine;
        LONG result;            // QLSendMessage's result
        bool submitted;
        bool storeOpened;
    };
    const Case cases[] = {
        {"GetMsgStoresTable", nullptr, kDestination, "MAILRICH GetMsgStoresTable error 80040119", kFailure, false, false},
        {"HrQueryAllRows stores table", nullptr, kDestination, "MAILRICH MsgStoresTable QueryRows error 80040119",
         kFailure, false, false},
        {nullptr, "no-default-store", kDestination, "MAILRICH MsgStoresTable has no rows", kMailFailed, false, false},
        {nullptr, "entry-id-last", kDestination, "MAILRICH MsgStoresTable table columns missing", kMailFailed, false,
         false},
        {"OpenMsgStore", nullptr, kDestination, "MAILRICH OpenMsgStore error 80040119", kFailure, false, false},
        {"HrGetOneProp", nullptr, kDestination, "MAILRICH Get Outbox EntryId error 80040119", kFailure, false, true},
        {nullptr, "no-outbox", kDestination, "MAILRICH Get Outbox EntryId error 8004010F", kNotFound, false, true},
        {"OpenEntry store", nullptr, kDestination, "MAILRICH Open Outbox EntryId error 80040119", kFailure, false, true},
        {"CreateMessage", nullptr, kDestination, "MAILRICH CreateMessage error 80040119", kFailure, false, true},
        {"OpenAddressBook", nullptr, kDestination, "MAILRICH OpenAddressBook error 80040119", kFailure, false, true},
        {"ResolveName", nullptr, kDestination, "MAILRICH ResolveName Get Outbox EntryId error 80040119", kFailure,
         false, true},
        {nullptr, nullptr, "nobody@example.org", "MAILRICH ResolveName Get Outbox EntryId error 8004010F", kNotFound,
         false, true},
        {"ModifyRecipients", nullptr, kDestination, "MAILRICH ModifyRecipients error 80040119", kFailure, false, true},
        {"HrSetOneProp 0037001E", nullptr, kDestination, "MAILRICH Set Subject error 80040119", kFailure, false, true},
        {"HrSetOneProp 1000001E", nullptr, kDestination, "MAILRICH Set Body error 80040119", kFailure, false, true},
        {"SubmitMessage", nullptr, kDestination, "MAILRICH SubmitMessage error 80040119", kFailure, false, true},
        // After the submission the message counts as sent, whatever the flush does.
        {"GetStatusTable", nullptr, kDestination, "MAILRICH GetStatusTable error 80040119", kMailOk, true, true},
        {"HrQueryAllRows status table", nullptr, kDestination, "MAILRICH StatusTable QueryRow error 80040119",
         kMailOk, true, true},
        {nullptr, "no-transport", kDestination, "MAILRICH StatusTable had no rows", kMailOk, true, true},
        {"OpenEntry session", nullptr, kDestination, "MAILRICH OpenStatusTable error 80040119", kMailOk, true, true},
        {nullptr, "status-opens-store", kDestination, "MAILRICH OpenStatusTable error 80040108", kMailOk, true, true},
        {"FlushQueues", nullptr, kDestination, "MAILRICH FlushQueues error 80040119", kMailOk, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.logLine);
        DeleteFileA(logFile.c_str());
        MailSession session = Logon();
        mapi.Reset();
        if (c.failCall != nullptr)
            mapi.Fail(c.failCall, kFailure);
        if (c.option != nullptr)
            mapi.SetOption(c.option);

        EXPECT_EQ(library.Send(session, "me@example.org", c.destination, "Subject", "Body"), c.result);

        EXPECT_EQ(Log(), std::string(c.logLine) + "\r\n");
        std::vector<std::string> messages = mapi.Messages();
        size_t submitted = 0;
        for (const std::string &message : messages)
            submitted += message.find("submitted=yes") != std::string::npos;
        EXPECT_EQ(submitted, c.submitted ? 1u : 0u);
        std::vector<std::string> trace = mapi.Trace();
        std::string lastRelease;
        for (const std::string &line : trace)
            if (line.rfind("release ", 0) == 0)
                lastRelease = line;
        if (c.storeOpened) {
            EXPECT_EQ(lastRelease, "release store") << Joined(trace);
        }
        EXPECT_EQ(mapi.LiveObjects(), 1) << "only the session stays\n" << Joined(trace);
        EXPECT_EQ(mapi.OutstandingBuffers(), 0) << Joined(trace);
        EXPECT_EQ(library.Logoff(session), kMailOk);
    }
}

TEST_F(MailrichTest, FailedLogonLeavesNothingOpen)
{
    struct Case {
        const char *label;
        const char *profile;
        const char *option;
        LONG result;
        const char *logLine;
    };
    const Case cases[] = {
        {"unknown profile", "Other Profile", nullptr, static_cast<LONG>(0x80040111), "MAILRICH Logon error 80040111"},
        // A warning must not read as success to the caller, who would then send with no
        // session; the session MAPI handed out with it is released.
        {"warning", kProfile, "logon-warning", kMailFailed, "MAILRICH Logon error 40380"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        DeleteFileA(logFile.c_str());
        mapi.Reset();
        if (c.option != nullptr)
            mapi.SetOption(c.option);
        MailSession session = 0;
        EXPECT_EQ(library.Logon(c.profile, kPassword, &session, 1, logFile.c_str()), c.result);
        EXPECT_EQ(session, 0u) << "written only on success";
        EXPECT_EQ(Log(), std::string(c.logLine) + "\r\n");
        EXPECT_EQ(mapi.LiveObjects(), 0);
        EXPECT_EQ(mapi.InitializeDepth(), 0) << "MAPI is uninitialised again";
    }
}

// The library keeps a handful of sessions; one more is logged off again and refused.
TEST_F(MailrichTest, FullSessionTableRefusesTheLogonAndLeavesNothingOpen)
{
    std::vector<MailSession> sessions;
    for (int i = 0; i < 8; ++i)
        sessions.push_back(Logon());
    mapi.Reset();
    MailSession refused = 0;
    EXPECT_EQ(library.Logon(kProfile, kPassword, &refused, 1, logFile.c_str()), kMailFailed);
    EXPECT_EQ(refused, 0u);
    EXPECT_EQ(Log(), "MAILRICH Logon error 80004005\r\n");
    const std::vector<std::string> expected = {
        "MAPIInitialize none", "MAPILogonEx ui=0 profile=Pager Profile password=secret flags=0",
        "Logoff ui=0 flags=0", "release session", "MAPIUninitialize"};
    EXPECT_EQ(Joined(mapi.Trace()), Joined(expected));
    EXPECT_EQ(mapi.LiveObjects(), 8);
    for (MailSession session : sessions)
        EXPECT_EQ(library.Logoff(session), kMailOk);
}

TEST_F(MailrichTest, LoggingOffWritesNothingEvenOnFailure)
{
    MailSession session = Logon(0);
    mapi.Fail("SubmitMessage", static_cast<LONG>(0x80040119));
    EXPECT_EQ(library.Send(session, "", kDestination, "S", "B"), static_cast<LONG>(0x80040119));
    mapi.Reset();
    mapi.Fail("FlushQueues", static_cast<LONG>(0x80040119));
    EXPECT_EQ(library.Send(session, "", kDestination, "S", "B"), kMailOk);
    EXPECT_EQ(library.Logoff(session), kMailOk);
    EXPECT_EQ(GetFileAttributesA(logFile.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The handle is an entry of the library's table, never the session pointer: a stale or
// made-up handle reaches no session.
TEST_F(MailrichTest, HandlesOutsideTheTableReachNoSession)
{
    MailSession first = Logon();
    MailSession second = Logon();
    EXPECT_NE(first, second);
    EXPECT_EQ(library.Logoff(first), kMailOk);
    mapi.Reset();
    for (MailSession handle : {first, second + 1000u}) {
        DeleteFileA(logFile.c_str());
        EXPECT_EQ(library.Send(handle, "", kDestination, "S", "B"), kMailFailed);
        EXPECT_EQ(library.Logoff(handle), kMailFailed);
        EXPECT_EQ(Log(), "MAILRICH Unknown session " + Hex(static_cast<LONG>(handle)) + "\r\n" +
                             "MAILRICH Unknown session " + Hex(static_cast<LONG>(handle)) + "\r\n");
    }
    EXPECT_TRUE(mapi.Trace().empty()) << Joined(mapi.Trace());
    EXPECT_EQ(library.Send(second, "", kDestination, "S", "B"), kMailOk);
    EXPECT_EQ(library.Logoff(second), kMailOk);
}

TEST(MailrichLoad, AnnouncesLoadAndUnloadOnTheDebugOutput)
{
    DebugOutputReader debug;
    std::string error;
    ASSERT_TRUE(debug.Start(error)) << error;
    MailLibrary library;
    ASSERT_EQ(library.Load("mailrich.dll"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(debug.WaitFor("MAILRICH loading\n", 3000));
    library.Unload();
    EXPECT_TRUE(debug.WaitFor("MAILRICH unloading\n", 3000));
}

} // namespace
} // namespace quillon::test
