// The secured SMTP opening against scripted servers: the exact lines of STARTTLS, TLS
// from the first byte and both sign-in mechanisms, where the channel is switched to TLS,
// what the log holds (never the credentials), the refusals, and the helpers it uses
// (complete multi-line replies, the EHLO extension list, base64).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/scramble.h"
#include "mail/wire/wire_dialogue.h"
#include "tests/mail/wire/scripted_connection.h"

namespace quillon {
namespace {

using test::RecordingOutput;
using test::ScriptedConnection;
using wire::DialogueResult;
using wire::SmtpSecurity;

// Marks in `sent` where the channel became TLS, and how many replies had been read then.
class TlsScriptedConnection : public ScriptedConnection {
public:
    bool tlsWorks = true;
    int repliesBeforeTls = -1;
    bool StartTls(wire::WireOutput &output) override
    {
        repliesBeforeTls = replyCount;
        if (!tlsWorks) {
            output.Log("TLS certificate untrusted (test)");
            return false;
        }
        sent.push_back("<tls>");
        output.Log("TLS established: test");
        return true;
    }
};

const std::string kScrambled = ScrambleText("pass");

wire::SmtpMessage Message(SmtpSecurity security, const char *login)
{
    wire::SmtpMessage message = {"host", "me@x", "you@y", "Subj", "Body"};
    message.security = security;
    message.login = login;
    message.scrambledPassword = kScrambled.c_str();
    message.scrambledPasswordLength = kScrambled.size();
    return message;
}

bool Contains(const std::vector<std::string> &lines, const std::string &text)
{
    for (const std::string &line : lines)
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

const std::vector<std::string> kAfterSignIn = {"250 ok\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n",
                                               "221 bye\r\n"};

std::vector<std::string> Then(std::vector<std::string> first, const std::vector<std::string> &rest)
{
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
}

TEST(SecureDialogue, StartTlsThenAuthPlainSendsExactLines)
{
    TlsScriptedConnection connection;
    // The first EHLO reply arrives in two pieces: it must still be read whole.
    connection.bursts = Then({"220 hi\r\n", "250-hi\r\n250-SIZE 1000\r\n", "250-STARTTLS\r\n250 HELP\r\n",
                              "220 go ahead\r\n", "250-hi\r\n250-AUTH LOGIN PLAIN\r\n250 HELP\r\n", "235 ok\r\n"},
                             kAfterSignIn);
    RecordingOutput output;
    DialogueResult result = wire::RunSmtpDialogue(connection, output, Message(SmtpSecurity::kStartTls, "user"),
                                                  DateTime{2000, 7, 3, 5, 9, 3, 7, 0});
    ASSERT_EQ(result, DialogueResult::kDone);
    // base64("\0user\0pass") = AHVzZXIAcGFzcw==
    std::vector<std::string> expected = {"EHLO host\r\n", "STARTTLS\r\n", "<tls>", "EHLO host\r\n",
                                         "AUTH PLAIN AHVzZXIAcGFzcw==\r\n", "MAIL FROM:<me@x>\r\n",
                                         "RCPT TO:<you@y>\r\n", "DATA\r\n"};
    ASSERT_GE(connection.sent.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(connection.sent[i], expected[i]) << i;
    EXPECT_EQ(connection.sent.back(), "QUIT\r\n");
    EXPECT_EQ(connection.repliesBeforeTls, 3);

    std::vector<std::string> log = {"220 hi\r\n",
                                    "EHLO host\r\n",
                                    "250-hi\r\n250-SIZE 1000\r\n250-STARTTLS\r\n250 HELP\r\n",
                                    "STARTTLS\r\n",
                                    "220 go ahead\r\n",
                                    "TLS established: test",
                                    "EHLO host\r\n",
                                    "250-hi\r\n250-AUTH LOGIN PLAIN\r\n250 HELP\r\n",
                                    "Sent credentials",
                                    "235 ok\r\n",
                                    "MAIL FROM:<me@x>\r\n"};
    ASSERT_GE(output.lines.size(), log.size());
    for (size_t i = 0; i < log.size(); ++i)
        EXPECT_EQ(output.lines[i], log[i]) << i;
    EXPECT_FALSE(Contains(output.lines, "AHVzZXIAcGFzcw"));
    EXPECT_FALSE(Contains(output.lines, "pass"));
}

TEST(SecureDialogue, ScrambledZeroByteDoesNotCutTheSignInPassword)
{
    // A password byte equal to the key byte at its position is stored as 0.
    std::string password = "pa";
    password += static_cast<char>(ScrambleKey()[2]);
    password += "ss";
    const std::string stored = ScrambleText(password);
    ASSERT_EQ(stored[2], '\0');
    TlsScriptedConnection connection;
    connection.bursts = Then({"220 hi\r\n", "250-hi\r\n250-STARTTLS\r\n250 HELP\r\n", "220 go ahead\r\n",
                              "250-hi\r\n250 AUTH PLAIN\r\n", "235 ok\r\n"},
                             kAfterSignIn);
    RecordingOutput output;
    wire::SmtpMessage message = Message(SmtpSecurity::kStartTls, "user");
    message.scrambledPassword = stored.data();
    message.scrambledPasswordLength = stored.size();
    ASSERT_EQ(wire::RunSmtpDialogue(connection, output, message, DateTime{2000, 7, 3, 5, 9, 3, 7, 0}),
              DialogueResult::kDone);
    const std::string raw = std::string("\0user\0", 6) + password;
    char encoded[64];
    ASSERT_TRUE(wire::Base64Encode(reinterpret_cast<const unsigned char *>(raw.data()), raw.size(), encoded,
                                   sizeof encoded));
    ASSERT_GE(connection.sent.size(), 5u);
    EXPECT_EQ(connection.sent[4], std::string("AUTH PLAIN ") + encoded + "\r\n");
}

TEST(SecureDialogue, ImplicitTlsStartsBeforeTheGreetingAndAuthLoginWhenOnlyThatIsOffered)
{
    TlsScriptedConnection connection;
    connection.bursts = Then({"220 hi\r\n", "250-hi\r\n250 AUTH LOGIN\r\n", "334 VXNlcm5hbWU6\r\n",
                              "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n"},
                             kAfterSignIn);
    RecordingOutput output;
    ASSERT_EQ(wire::RunSmtpDialogue(connection, output, Message(SmtpSecurity::kImplicitTls, "user"), DateTime{}),
              DialogueResult::kDone);
    EXPECT_EQ(connection.repliesBeforeTls, 0);
    std::vector<std::string> expected = {"<tls>", "EHLO host\r\n", "AUTH LOGIN\r\n", "dXNlcg==\r\n",
                                         "cGFzcw==\r\n", "MAIL FROM:<me@x>\r\n"};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(connection.sent[i], expected[i]) << i;
    EXPECT_TRUE(Contains(output.lines, "Sent credentials"));
    EXPECT_FALSE(Contains(output.lines, "dXNlcg=="));
    EXPECT_FALSE(Contains(output.lines, "cGFzcw=="));
    EXPECT_FALSE(Contains(output.lines, "STARTTLS"));
}

TEST(SecureDialogue, TlsWithoutSignInSkipsAuth)
{
    TlsScriptedConnection connection;
    connection.bursts = Then({"220 hi\r\n", "250-hi\r\n250 AUTH PLAIN\r\n"}, kAfterSignIn);
    RecordingOutput output;
    ASSERT_EQ(wire::RunSmtpDialogue(connection, output, Message(SmtpSecurity::kImplicitTls, ""), DateTime{}),
              DialogueResult::kDone);
    EXPECT_EQ(connection.sent[2], "MAIL FROM:<me@x>\r\n");
}

TEST(SecureDialogue, PlainWithoutLoginKeepsHelo)
{
    TlsScriptedConnection connection;
    connection.bursts = Then({"220 hi\r\n"}, Then({"250 ok\r\n"}, kAfterSignIn));
    RecordingOutput output;
    ASSERT_EQ(wire::RunSmtpDialogue(connection, output, Message(SmtpSecurity::kPlain, ""), DateTime{}),
              DialogueResult::kDone);
    EXPECT_EQ(connection.sent[0], "HELO host\r\n");
    EXPECT_EQ(connection.repliesBeforeTls, -1);
}

TEST(SecureDialogue, RefusalsSendNothingFurther)
{
    struct Case {
        const char *label;
        SmtpSecurity security;
        const char *login;
        std::vector<std::string> bursts;
        bool tlsWorks;
        DialogueResult result;
        std::vector<std::string> sent;   // everything that went out
        const char *logLine;
        const char *debug;               // what went to the debug output, or null
    } cases[] = {
        {"credentials without TLS", SmtpSecurity::kPlain, "user", {"220 hi\r\n"}, true, DialogueResult::kRejected,
         {}, "SMTPLogin needs SMTPSecurity 1 or 2: credentials are sent only inside TLS", nullptr},
        {"STARTTLS not offered", SmtpSecurity::kStartTls, "user", {"220 hi\r\n", "250-hi\r\n250 AUTH PLAIN\r\n"},
         true, DialogueResult::kRejected, {"EHLO host\r\n"}, "STARTTLS not offered by the server", nullptr},
        {"STARTTLS refused", SmtpSecurity::kStartTls, "user", {"220 hi\r\n", "250-hi\r\n250 STARTTLS\r\n", "454 no\r\n"},
         true, DialogueResult::kRejected, {"EHLO host\r\n", "STARTTLS\r\n"}, "454 no\r\n", "454 no\r\n"},
        {"TLS fails after STARTTLS", SmtpSecurity::kStartTls, "user",
         {"220 hi\r\n", "250-hi\r\n250 STARTTLS\r\n", "220 go\r\n"}, false, DialogueResult::kNetworkFailed,
         {"EHLO host\r\n", "STARTTLS\r\n"}, "TLS certificate untrusted (test)", nullptr},
        {"TLS fails before the greeting", SmtpSecurity::kImplicitTls, "user", {"220 hi\r\n"}, false,
         DialogueResult::kNetworkFailed, {}, "TLS certificate untrusted (test)", nullptr},
        {"no usable AUTH", SmtpSecurity::kImplicitTls, "user", {"220 hi\r\n", "250-hi\r\n250 AUTH CRAM-MD5\r\n"},
         true, DialogueResult::kRejected, {"<tls>", "EHLO host\r\n"}, "AUTH PLAIN or LOGIN not offered by the server",
         nullptr},
        {"credentials refused", SmtpSecurity::kImplicitTls, "user",
         {"220 hi\r\n", "250-hi\r\n250 AUTH PLAIN\r\n", "535 5.7.8 no\r\n"}, true, DialogueResult::kRejected,
         {"<tls>", "EHLO host\r\n", "AUTH PLAIN AHVzZXIAcGFzcw==\r\n"}, "535 5.7.8 no\r\n", "535 5.7.8 no\r\n"},
        {"EHLO refused", SmtpSecurity::kImplicitTls, nullptr, {"220 hi\r\n", "502 no\r\n"}, true,
         DialogueResult::kRejected, {"<tls>", "EHLO host\r\n"}, "502 no\r\n", "502 no\r\n"},
        {"closed during EHLO reply", SmtpSecurity::kStartTls, nullptr, {"220 hi\r\n", "250-hi\r\n"}, true,
         DialogueResult::kNetworkFailed, {"EHLO host\r\n"}, "ehlo recv error 0", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        TlsScriptedConnection connection;
        connection.bursts = c.bursts;
        connection.tlsWorks = c.tlsWorks;
        RecordingOutput output;
        EXPECT_EQ(wire::RunSmtpDialogue(connection, output, Message(c.security, c.login), DateTime{}), c.result);
        EXPECT_EQ(connection.sent, c.sent);
        EXPECT_TRUE(Contains(output.lines, c.logLine));
        EXPECT_EQ(output.debug.size(), c.debug != nullptr ? 1u : 0u);
        if (c.debug != nullptr && !output.debug.empty())
            EXPECT_EQ(output.debug[0], c.debug);
        EXPECT_FALSE(Contains(output.lines, "AHVzZXIAcGFzcw"));
    }
}

TEST(ReadCompleteReply, ReadsEveryLineAndStopsAfterTheLast)
{
    struct Case {
        const char *label;
        std::vector<std::string> bursts;
        bool ok;
        std::string reply;
        std::string next;   // what a following read returns
    } cases[] = {
        {"one line", {"250 ok\r\n220 next\r\n"}, true, "250 ok\r\n", "220 next\r\n"},
        {"lines over bursts", {"250-a\r\n", "250-b\r\n250 c\r\n"}, true, "250-a\r\n250-b\r\n250 c\r\n", ""},
        {"bare LF lines", {"250-a\n250 b\n354 x\n"}, true, "250-a\n250 b\n", "354 x\n"},
        {"short line ends it", {"25\r\n"}, true, "25\r\n", ""},
        {"closed before the last line", {"250-a\r\n"}, false, "250-a\r\n", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        ScriptedConnection connection;
        connection.bursts = c.bursts;
        char reply[wire::kReplyBufferSize];
        EXPECT_EQ(wire::ReadCompleteReply(connection, reply), c.ok);
        EXPECT_EQ(std::string(reply), c.reply);
        if (!c.next.empty()) {
            ASSERT_TRUE(wire::ReadCompleteReply(connection, reply));
            EXPECT_EQ(std::string(reply), c.next);
        }
    }
}

TEST(ReadCompleteReply, KeepsAt1023CharactersAndStillReadsToTheEnd)
{
    ScriptedConnection connection;
    std::string longLine = "250-" + std::string(2000, 'x') + "\r\n";
    connection.bursts = {longLine + "250 AUTH PLAIN\r\n", "220 next\r\n"};
    char reply[wire::kReplyBufferSize];
    ASSERT_TRUE(wire::ReadCompleteReply(connection, reply));
    EXPECT_EQ(std::string(reply), longLine.substr(0, 1023));
    ASSERT_TRUE(wire::ReadCompleteReply(connection, reply));
    EXPECT_EQ(std::string(reply), "220 next\r\n");
}

TEST(EhloOffers, FindsExtensionsAndMechanisms)
{
    const char *reply = "250-mail.example STARTTLS greeting\r\n250-SIZE 100\r\n250-auth=LOGIN\r\n"
                        "250-AUTH CRAM-MD5 login\r\n250 starttls\r\n";
    std::string parameters;
    EXPECT_TRUE(wire::EhloOffers(reply, "STARTTLS"));
    EXPECT_TRUE(wire::EhloOffers(reply, "SIZE", &parameters));
    EXPECT_EQ(parameters, " 100");
    EXPECT_FALSE(wire::EhloOffers(reply, "SIZ"));
    EXPECT_FALSE(wire::EhloOffers(reply, "8BITMIME"));
    // The first line is the server's greeting, not an extension.
    EXPECT_FALSE(wire::EhloOffers("250 STARTTLS\r\n", "STARTTLS"));
    EXPECT_TRUE(wire::EhloOffers(reply, "AUTH", &parameters));
    EXPECT_EQ(parameters, "=LOGIN");
    EXPECT_TRUE(wire::ListsMechanism(parameters, "LOGIN"));
    EXPECT_TRUE(wire::ListsMechanism(" CRAM-MD5 login", "LOGIN"));
    EXPECT_FALSE(wire::ListsMechanism(" CRAM-MD5 LOGINX", "LOGIN"));
    EXPECT_FALSE(wire::ListsMechanism(" XPLAIN", "PLAIN"));
}

TEST(Base64Encode, StandardVectorsAndBounds)
{
    struct Case {
        std::string in;
        const char *out;
    } cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
                 {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {std::string("\0\xff\xfe", 3), "AP/+"}};
    for (const Case &c : cases) {
        char out[16];
        ASSERT_TRUE(wire::Base64Encode(reinterpret_cast<const unsigned char *>(c.in.data()), c.in.size(), out,
                                       sizeof out));
        EXPECT_EQ(std::string(out), c.out) << c.in;
    }
    char small[8];
    EXPECT_FALSE(wire::Base64Encode(reinterpret_cast<const unsigned char *>("foobar"), 6, small, sizeof small));
    EXPECT_EQ(small[0], '\0');
}

} // namespace
} // namespace quillon
