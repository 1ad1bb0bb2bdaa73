// mailwire.dll against scripted SMTP and POP3 servers on loopback (one address per
// case, service ports 25 and 110): the dialogue as the server hears it, accepted and
// rejected replies, early close, a long reply, POP3 refusal, the log file, the debug
// output, the load-time settings, and the bounded wait for a silent server.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "common/scramble.h"
#include "mail/loader/mail_library.h"
#include "mail/wire/wire_session.h"
#include "tests/mail/wire/script_server.h"
#include "tests/resources/debug_output_reader.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

using namespace test;

constexpr unsigned short kSmtpPort = 25;
constexpr unsigned short kPop3Port = 110;

struct Pop3Config {
    const char *server;
    const char *login;
    const char *password;
};

void WriteConfiguration(const char *smtpServer, const Pop3Config *pop3 = nullptr)
{
    using namespace config_values;
    ResetProductRegistry();
    std::vector<ConfigRow> rows;
    if (smtpServer != nullptr)
        rows.push_back(Text(kSMTPServer, smtpServer));
    if (pop3 != nullptr) {
        // The scrambled password with all of its bytes, zeros included.
        rows.insert(rows.end(), {Number(kPOP3Authentication, 1), Text(kPOP3Server, pop3->server),
                                 Text(kPOP3Login, pop3->login), Text(kPassword, ScrambleText(pop3->password))});
    } else {
        rows.push_back(Number(kPOP3Authentication, 0));
    }
    ASSERT_TRUE(WriteConfigurationRows(rows));
}

class Mailwire : public ::testing::Test {
protected:
    static void SetUpTestSuite() { scratch_ = MakeScratchDir("mailwire_tests"); }
    void SetUp() override
    {
        ASSERT_TRUE(winsock_.Ok());
        logFile_ = scratch_ + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        DeleteFileA(logFile_.c_str());
    }
    void TearDown() override { ResetProductRegistry(); }

    void Load()
    {
        ASSERT_EQ(library_.Load((BinDir() + "\\mailwire.dll").c_str()), static_cast<DWORD>(ERROR_SUCCESS));
    }
    MailResult Logon(MailSession *session, int logging = 1)
    {
        return library_.Logon("profile", "unused", session, logging, logFile_.c_str());
    }
    MailResult Send(MailSession session, const char *body = "Page text")
    {
        return library_.Send(session, "me@example.net", "pager@example.net", "Page title", body);
    }
    std::string Log() { return ReadWholeFile(logFile_); }

    static std::string scratch_;
    WinsockScope winsock_;
    MailLibrary library_;
    std::string logFile_;
};
std::string Mailwire::scratch_;

void ExpectStartsWith(const std::string &text, const std::string &prefix, const char *what)
{
    EXPECT_EQ(text.compare(0, prefix.size(), prefix), 0) << what << ": " << text;
}

TEST_F(Mailwire, TwoLineGreetingAndRcpt251Deliver)
{
    std::vector<ServerStep> script = GoodSmtpScript("220-first line\r\n220 second line\r\n");
    script[6] = Say("251 will forward\r\n");
    ScriptServer server;
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.21", kSmtpPort, script, 1, error)) << error;
    WriteConfiguration("127.0.0.21");
    Load();

    MailSession session = 0;
    ASSERT_EQ(Logon(&session), kMailOk);
    EXPECT_NE(session, 0u);
    EXPECT_EQ(Send(session, "Line one\r\n.\r\nafter"), kMailOk);
    EXPECT_EQ(library_.Logoff(session), kMailOk);
    server.Stop();

    std::vector<std::string> heard = server.Heard(0);
    ASSERT_EQ(heard.size(), 6u);
    ExpectStartsWith(heard[0], "HELO ", "HELO");
    EXPECT_EQ(heard[1], "MAIL FROM:<me@example.net>\r\n");
    EXPECT_EQ(heard[2], "RCPT TO:<pager@example.net>\r\n");
    EXPECT_EQ(heard[3], "DATA\r\n");
    // The body's own "." line is dot-stuffed, so the data ends where mailwire ends it,
    // after the header lines and the empty line.
    ExpectStartsWith(heard[4], "DATE: ", "data");
    std::string data = heard[4];
    size_t from = data.find("\r\nFROM: me@example.net\r\nTO: pager@example.net\r\nSUBJECT: Page title\r\n"
                            "Message-ID: <");
    EXPECT_NE(from, std::string::npos) << data;
    EXPECT_NE(data.find("@example.net>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=windows-1252\r\n"
                        "Content-Transfer-Encoding: quoted-printable\r\n\r\nLine one\r\n..\r\nafter\r\n.\r\n"),
              std::string::npos)
        << data;
    EXPECT_EQ(heard[5], "QUIT\r\n");

    std::string log = Log();
    EXPECT_NE(log.find("MAILWIRE 220-first line\r\n220 second line\r\n\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("MAILWIRE MAIL FROM:<me@example.net>\r\n\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("MAILWIRE 251 will forward\r\n\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("MAILWIRE SUBJECT: Page title\r\n\r\nMAILWIRE Message-ID: <"), std::string::npos) << log;
    EXPECT_NE(log.find("MAILWIRE MIME-Version: 1.0\r\n\r\nMAILWIRE Content-Type: text/plain; charset=windows-1252\r\n"
                       "\r\nMAILWIRE Content-Transfer-Encoding: quoted-printable\r\n\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("MAILWIRE DATE: "), std::string::npos) << log;
    EXPECT_EQ(log.find("DATA"), std::string::npos) << log;
    EXPECT_EQ(log.find("Line one"), std::string::npos) << log;
}

TEST_F(Mailwire, Rcpt550FailsAndGoesToDebugOutput)
{
    DebugOutputReader debug;
    std::string error;
    ASSERT_TRUE(debug.Start(error)) << error;
    std::vector<ServerStep> script = GoodSmtpScript();
    script[6] = Say("550 no such user\r\n");
    ScriptServer server;
    ASSERT_TRUE(server.Start("127.0.0.22", kSmtpPort, script, 1, error)) << error;
    WriteConfiguration("127.0.0.22");
    Load();
    EXPECT_TRUE(debug.WaitFor("MAILWIRE loading\n", 3000));

    MailSession session = 0;
    ASSERT_EQ(Logon(&session), kMailOk);
    EXPECT_EQ(Send(session), kMailFailed);
    EXPECT_TRUE(debug.WaitFor("550 no such user\r\n", 3000));
    EXPECT_EQ(library_.Logoff(session), kMailOk);
    library_.Unload();
    EXPECT_TRUE(debug.WaitFor("MAILWIRE unloading\n", 3000));
    server.Stop();
    EXPECT_EQ(server.Heard(0).size(), 3u);   // HELO, MAIL FROM, RCPT TO: nothing after
    EXPECT_NE(Log().find("MAILWIRE 550 no such user\r\n"), std::string::npos);
}

TEST_F(Mailwire, EarlyCloseFailsWithItsLogLine)
{
    ScriptServer server;
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.23", kSmtpPort, {Say("220 hi\r\n"), Hear(), Hang()}, 1, error)) << error;
    WriteConfiguration("127.0.0.23");
    Load();
    MailSession session = 0;
    ASSERT_EQ(Logon(&session), kMailOk);
    EXPECT_EQ(Send(session), kMailFailed);
    EXPECT_EQ(library_.Logoff(session), kMailOk);   // closes nothing twice
    server.Stop();
    EXPECT_NE(Log().find("MAILWIRE hello recv error "), std::string::npos) << Log();
}

TEST_F(Mailwire, LongReplyLineIsCutAndTheDialogueGoesOn)
{
    const std::string longGreeting = "220 " + std::string(4994, 'x') + "\r\n";
    ScriptServer server;
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.24", kSmtpPort, GoodSmtpScript(longGreeting), 1, error)) << error;
    WriteConfiguration("127.0.0.24");
    Load();
    MailSession session = 0;
    ASSERT_EQ(Logon(&session), kMailOk);
    EXPECT_EQ(Send(session), kMailOk);
    library_.Logoff(session);
    server.Stop();
    std::string log = Log();
    std::string logged = "MAILWIRE " + longGreeting.substr(0, 1023) + "\r\n";
    EXPECT_NE(log.find(logged), std::string::npos);
    EXPECT_EQ(log.find(std::string(1020, 'x') + "\r\n"), std::string::npos);
}

TEST_F(Mailwire, Pop3UserRefusalOpensNoSmtpConnection)
{
    ScriptServer pop3, smtp;
    std::string error;
    ASSERT_TRUE(pop3.Start("127.0.0.25", kPop3Port, {Say("+OK POP3 ready\r\n"), Hear(), Say("-ERR unknown user\r\n")},
                           1, error)) << error;
    ASSERT_TRUE(smtp.Start("127.0.0.25", kSmtpPort, GoodSmtpScript(), 1, error, 500)) << error;
    Pop3Config config = {"127.0.0.25", "joe", "secret"};
    WriteConfiguration("127.0.0.25", &config);
    Load();
    MailSession session = 0;
    EXPECT_EQ(Logon(&session), kMailFailed);
    EXPECT_EQ(session, 0u);
    pop3.Stop();
    smtp.Stop();
    EXPECT_EQ(pop3.Heard(0), (std::vector<std::string>{"USER joe\r\n"}));
    EXPECT_EQ(smtp.Accepted(), 0);
    EXPECT_NE(Log().find("MAILWIRE -ERR unknown user\r\n"), std::string::npos);
}

TEST_F(Mailwire, Pop3LoginSendsPasswordButNeverLogsIt)
{
    ScriptServer pop3, smtp;
    std::string error;
    ASSERT_TRUE(pop3.Start("127.0.0.26", kPop3Port,
                           {Say("+OK ready\r\n"), Hear(), Say("+OK\r\n"), Hear(), Say("+OK in\r\n"), Hear(),
                            Say("+OK bye\r\n"), Hang()},
                           1, error)) << error;
    ASSERT_TRUE(smtp.Start("127.0.0.26", kSmtpPort, GoodSmtpScript(), 1, error)) << error;
    Pop3Config config = {"127.0.0.26", "joe", "s3cret!"};
    WriteConfiguration("127.0.0.26", &config);
    Load();
    MailSession session = 0;
    ASSERT_EQ(Logon(&session), kMailOk);
    // The stored password stays usable for the next log-in of the same load.
    EXPECT_EQ(Send(session), kMailOk);
    library_.Logoff(session);
    pop3.Stop();
    smtp.Stop();
    EXPECT_EQ(pop3.Heard(0), (std::vector<std::string>{"USER joe\r\n", "PASS s3cret!\r\n", "QUIT\r\n"}));
    std::string log = Log();
    EXPECT_NE(log.find("MAILWIRE Sent Password\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("PASS"), std::string::npos) << log;
    EXPECT_EQ(log.find("s3cret"), std::string::npos) << log;
}

// The stored Password holds a zero byte where a password byte equals the key byte: the
// POP3 server still hears the whole password, not the part before that byte.
TEST_F(Mailwire, Pop3PasswordWithAScrambledZeroByteGoesOutWhole)
{
    std::string password = "ab";
    password += static_cast<char>(ScrambleKey()[2]);
    password += "cdef";
    ASSERT_EQ(ScrambleText(password)[2], '\0');
    ScriptServer pop3, smtp;
    std::string error;
    ASSERT_TRUE(pop3.Start("127.0.0.90", kPop3Port,
                           {Say("+OK ready\r\n"), Hear(), Say("+OK\r\n"), Hear(), Say("+OK in\r\n"), Hear(),
                            Say("+OK bye\r\n"), Hang()},
                           1, error)) << error;
    ASSERT_TRUE(smtp.Start("127.0.0.90", kSmtpPort, GoodSmtpScript(), 1, error)) << error;
    Pop3Config config = {"127.0.0.90", "joe", password.c_str()};
    WriteConfiguration("127.0.0.90", &config);
    Load();
    MailSession session = 0;
    ASSERT_EQ(Logon(&session), kMailOk);
    library_.Logoff(session);
    pop3.Stop();
    smtp.Stop();
    EXPECT_EQ(pop3.Heard(0), (std::vector<std::string>{"USER joe\r\n", "PASS " + password + "\r\n", "QUIT\r\n"}));
}

TEST_F(Mailwire, WithoutPop3AuthenticationNoPop3Connection)
{
    ScriptServer pop3, smtp;
    std::string error;
    ASSERT_TRUE(pop3.Start("127.0.0.27", kPop3Port, {Say("+OK\r\n")}, 1, error, 300)) << error;
    ASSERT_TRUE(smtp.Start("127.0.0.27", kSmtpPort, GoodSmtpScript(), 1, error)) << error;
    WriteConfiguration("127.0.0.27");
    {
        RegistryKey key;
        ASSERT_EQ(OpenUserKey(kConfigurationKeyPath, &key), ERROR_SUCCESS);
        key.WriteString(config_values::kPOP3Server, "127.0.0.27");
        key.WriteString(config_values::kPOP3Login, "joe");
    }
    Load();
    MailSession session = 0;
    ASSERT_EQ(Logon(&session), kMailOk);
    EXPECT_EQ(Send(session), kMailOk);
    library_.Logoff(session);
    pop3.Stop();
    smtp.Stop();
    EXPECT_EQ(pop3.Accepted(), 0);
}

TEST_F(Mailwire, EveryMessageOfASessionGetsAFullDialogue)
{
    ScriptServer server;
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.28", kSmtpPort, GoodSmtpScript(), 3, error)) << error;
    WriteConfiguration("127.0.0.28");
    Load();
    MailSession session = 0;
    ASSERT_EQ(Logon(&session), kMailOk);
    EXPECT_EQ(Send(session, "first"), kMailOk);
    EXPECT_EQ(Send(session, "second"), kMailOk);
    EXPECT_EQ(Send(session, "third"), kMailOk);
    EXPECT_EQ(library_.Send(session + 1, "a", "b", "c", "d"), kMailFailed);   // not this session's handle
    EXPECT_EQ(library_.Logoff(session), kMailOk);
    server.Stop();
    ASSERT_EQ(server.Accepted(), 3);
    const char *bodies[] = {"first", "second", "third"};
    for (size_t i = 0; i < 3; ++i) {
        std::vector<std::string> heard = server.Heard(i);
        ASSERT_EQ(heard.size(), 6u) << i;
        EXPECT_NE(heard[4].find(std::string("SUBJECT: Page title\r\n")), std::string::npos) << i;
        EXPECT_NE(heard[4].find(std::string("quoted-printable\r\n\r\n") + bodies[i] + "\r\n.\r\n"),
                  std::string::npos)
            << i;
        EXPECT_EQ(heard[5], "QUIT\r\n") << i;
    }
}

TEST_F(Mailwire, LoggingOffWritesNothingEvenOnFailure)
{
    ScriptServer server;
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.29", kSmtpPort, {Say("554 go away\r\n")}, 1, error)) << error;
    WriteConfiguration("127.0.0.29");
    Load();
    MailSession session = 0;
    ASSERT_EQ(Logon(&session, 0), kMailOk);
    EXPECT_EQ(Send(session), kMailFailed);
    library_.Logoff(session);
    server.Stop();
    EXPECT_EQ(GetFileAttributesA(logFile_.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Mailwire, LoadNeedsSmtpServer)
{
    const std::string path = BinDir() + "\\mailwire.dll";
    WriteConfiguration(nullptr);
    EXPECT_NE(library_.Load(path.c_str()), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(library_.IsLoaded());

    // Too long reads as missing.
    WriteConfiguration(std::string(300, 'h').c_str());
    EXPECT_NE(library_.Load(path.c_str()), static_cast<DWORD>(ERROR_SUCCESS));

    // Without the Configuration key the library loads with empty settings.
    ResetProductRegistry();
    EXPECT_EQ(library_.Load(path.c_str()), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST_F(Mailwire, NoServerListeningFailsLogon)
{
    WriteConfiguration("127.0.0.30");
    Load();
    MailSession session = 0;
    EXPECT_EQ(Logon(&session), kMailFailed);
    EXPECT_EQ(session, 0u);
    EXPECT_NE(Log().find("MAILWIRE connect2 error "), std::string::npos) << Log();
}

TEST_F(Mailwire, UnreachablePop3ServerFailsLogonBeforeSmtp)
{
    ScriptServer smtp;
    std::string error;
    ASSERT_TRUE(smtp.Start("127.0.0.32", kSmtpPort, GoodSmtpScript(), 1, error, 300)) << error;
    Pop3Config config = {"127.0.0.32", "joe", "pw"};   // nothing listens on port 110
    WriteConfiguration("127.0.0.32", &config);
    Load();
    MailSession session = 0;
    EXPECT_EQ(Logon(&session), kMailFailed);
    smtp.Stop();
    EXPECT_EQ(smtp.Accepted(), 0);
    EXPECT_NE(Log().find("MAILWIRE POP3 connect error "), std::string::npos) << Log();
}

// The shell itself with a short reply wait: a server that accepts and says nothing.
TEST_F(Mailwire, SilentServerFailsWithinTheReplyWait)
{
    ScriptServer server;
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.31", kSmtpPort, {StaySilent()}, 2, error)) << error;
    WireSettings settings;
    CopyBounded(settings.smtpServer, "127.0.0.31");
    WireLibrary wire(settings, 400);
    MailSession session = 0;
    ASSERT_EQ(wire.Logon(&session, 1, logFile_.c_str()), kMailOk);
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(wire.Send(session, "a@b", "c@d", "s", "b"), kMailFailed);
    ULONGLONG took = GetTickCount64() - start;
    EXPECT_GE(took, 300u);
    EXPECT_LT(took, 4000u);
    // The rest of the session's queue is not attempted, at once, instead of waiting again
    // per message (three more waits would take at least 1.2 s; the margin is for a loaded
    // machine), and the caller keeps those messages' retries.
    start = GetTickCount64();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(wire.Send(session, "a@b", "c@d", "s", "b"), kMailNotAttempted);
    EXPECT_LT(GetTickCount64() - start, 1000u);
    EXPECT_EQ(server.Accepted(), 1);
    wire.Logoff(session);
    // A new session tries the server again.
    ASSERT_EQ(wire.Logon(&session, 1, logFile_.c_str()), kMailOk);
    start = GetTickCount64();
    EXPECT_EQ(wire.Send(session, "a@b", "c@d", "s", "b"), kMailFailed);
    EXPECT_GE(GetTickCount64() - start, 300u);
    wire.Logoff(session);
    server.Stop();
    EXPECT_EQ(server.Accepted(), 2);
    EXPECT_NE(Log().find("MAILWIRE recv error 10060\r\n"), std::string::npos) << Log();
}

// A later message of the session whose own connection cannot be opened (the server
// went away after the first) is not attempted: the caller keeps it, with its retries.
TEST_F(Mailwire, ALaterMessageWhoseConnectionCannotBeOpenedIsNotAttempted)
{
    ScriptServer server;
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.28", kSmtpPort, GoodSmtpScript(), 1, error)) << error;
    WriteConfiguration("127.0.0.28");
    Load();
    MailSession session = 0;
    ASSERT_EQ(Logon(&session), kMailOk);
    EXPECT_EQ(Send(session, "first"), kMailOk);
    server.Stop();
    EXPECT_EQ(Send(session, "second"), kMailNotAttempted);
    EXPECT_EQ(library_.Logoff(session), kMailOk);
    EXPECT_NE(Log().find("MAILWIRE connect2 error "), std::string::npos) << Log();
}

// A server that streams a greeting line without end (no LF): the read ends at the reply
// wait, not when the server stops.
TEST_F(Mailwire, EndlessReplyLineFailsWithinTheReplyWait)
{
    ScriptServer server;
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.31", kSmtpPort, {Say(std::string(8u << 20, 'x'))}, 1, error)) << error;
    WireSettings settings;
    CopyBounded(settings.smtpServer, "127.0.0.31");
    WireLibrary wire(settings, 400);
    MailSession session = 0;
    ASSERT_EQ(wire.Logon(&session, 1, logFile_.c_str()), kMailOk);
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(wire.Send(session, "a@b", "c@d", "s", "b"), kMailFailed);
    ULONGLONG took = GetTickCount64() - start;
    EXPECT_GE(took, 300u);
    EXPECT_LT(took, 4000u);
    wire.Logoff(session);
    server.Stop();
    EXPECT_NE(Log().find("MAILWIRE recv error 10060\r\n"), std::string::npos) << Log();
}

} // namespace
} // namespace quillon
