// mailwire's protocol work against scripted servers: reply reading, judging, the exact
// SMTP and POP3 dialogues, every failure's log line, and what reaches the debug output.
#include <gtest/gtest.h>

#include <algorithm>
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

const char *ResultName(DialogueResult r)
{
    switch (r) {
    case DialogueResult::kDone: return "done";
    case DialogueResult::kNetworkFailed: return "network failed";
    case DialogueResult::kRejected: return "rejected";
    case DialogueResult::kServiceClosing: return "service closing";
    }
    return "?";
}

// ---- ReadReply ----

struct ReplyCase {
    const char *label;
    std::vector<std::string> bursts;
    bool ok;
    std::string reply;        // what the first read returns
    std::string secondReply;  // what a second read returns ("" when it must fail)
};

TEST(ReadReply, TakesFirstLineAndWhatArrivedWithIt)
{
    const std::string longLine = std::string(5000, '5') + "\r\n";
    const ReplyCase cases[] = {
        {"one line", {"220 ready\r\n"}, true, "220 ready\r\n", ""},
        {"two-line greeting in one burst", {"220-first\r\n220 second\r\n"}, true, "220-first\r\n220 second\r\n", ""},
        {"second line arrives later", {"220-first\r\n", "220 second\r\n"}, true, "220-first\r\n", "220 second\r\n"},
        {"line end split over bursts", {"220 rea", "dy\r\n", "250 ok\r\n"}, true, "220 ready\r\n", "250 ok\r\n"},
        {"bare LF ends the line", {"220 x\n250 y"}, true, "220 x\n250 y", ""},
        {"closed before any byte", {}, false, "", ""},
        {"closed before the LF", {"220 no end"}, false, "220 no end", ""},
        {"5000-byte line keeps 1023 bytes", {longLine, "354 go\r\n"}, true, std::string(1023, '5'), "354 go\r\n"},
        {"burst behind the LF is cut at 1023", {"2\n" + std::string(2000, 'x')}, true,
         "2\n" + std::string(1021, 'x'), ""},
    };
    for (const ReplyCase &c : cases) {
        ScriptedConnection connection;
        connection.bursts = c.bursts;
        char reply[wire::kReplyBufferSize];
        EXPECT_EQ(wire::ReadReply(connection, reply), c.ok) << c.label;
        EXPECT_EQ(std::string(reply), c.reply) << c.label;
        bool second = wire::ReadReply(connection, reply);
        EXPECT_EQ(second, !c.secondReply.empty()) << c.label;
        if (second) {
            EXPECT_EQ(std::string(reply), c.secondReply) << c.label;
        }
    }
}

TEST(ReplyJudgement, CodesAndPop3)
{
    struct {
        const char *reply;
        long code;
        bool pop3Ok;
    } cases[] = {
        {"250 ok\r\n", 250, false}, {"251-forward\r\n", 251, false}, {"", 0, false},
        {"abc", 0, false},          {" 220 x", 220, false},           {"-5", -5, false},
        {"+OK ready", 0, true},     {"+OK", 0, true},                 {"+ok", 0, false},
        {"-ERR +OK", 0, false},     {"99999999999999 big", 2147483647L, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(wire::SmtpReplyCode(c.reply), c.code) << '"' << c.reply << '"';
        EXPECT_EQ(wire::IsPop3Ok(c.reply), c.pop3Ok) << '"' << c.reply << '"';
    }
}

// The day without padding, the year in four digits (RFC 5322 forbids generating two), and
// the zone's offset after the time.
TEST(DateLine, DayUnpaddedYearFourDigitsAndZone)
{
    struct {
        DateTime when;
        int offset;
        const char *line;
    } cases[] = {
        {{2000, 7, 3, 5, 9, 3, 7, 0}, 0, "DATE: 5 Jul 2000 09:03:07 +0000\r\n"},
        {{1999, 12, 5, 31, 23, 59, 59, 999}, 60, "DATE: 31 Dec 1999 23:59:59 +0100\r\n"},
        {{2026, 1, 4, 1, 0, 0, 0, 0}, -480, "DATE: 1 Jan 2026 00:00:00 -0800\r\n"},
        {{2026, 13, 0, 1, 0, 0, 0, 0}, 0, "DATE: 1 Jan 2026 00:00:00 +0000\r\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(wire::DateLine(c.when, c.offset), c.line);
}

// ---- SMTP dialogue ----

const DateTime kNow = {2000, 7, 3, 5, 9, 3, 7, 0};
wire::SmtpMessage MakeMessage()
{
    wire::SmtpMessage message = {"myhost", "me@example.net", "pager@example.net", "Title", "Body text\r\nline 2"};
    message.utcOffsetMinutes = 120;
    message.uniqueId = "u1";
    return message;
}
const wire::SmtpMessage kMessage = MakeMessage();

// The lines between the SUBJECT line and the body that every message carries.
const char *const kMessageIdLine = "Message-ID: <u1@example.net>\r\n";
const char *const kMimeLines[] = {"MIME-Version: 1.0\r\n", "Content-Type: text/plain; charset=windows-1252\r\n",
                                  "Content-Transfer-Encoding: quoted-printable\r\n"};

std::vector<std::string> GoodSmtpReplies()
{
    return {"220 mx ready\r\n", "250 hello\r\n", "250 sender ok\r\n", "250 rcpt ok\r\n",
            "354 go ahead\r\n", "250 queued\r\n", "221 bye\r\n"};
}

TEST(SmtpDialogue, SendsExactLinesAndLogsWhatItShould)
{
    ScriptedConnection connection;
    connection.bursts = GoodSmtpReplies();
    RecordingOutput output;
    ASSERT_EQ(wire::RunSmtpDialogue(connection, output, kMessage, kNow), DialogueResult::kDone);

    const std::vector<std::string> sent = {
        "HELO myhost\r\n", "MAIL FROM:<me@example.net>\r\n", "RCPT TO:<pager@example.net>\r\n", "DATA\r\n",
        "DATE: 5 Jul 2000 09:03:07 +0200\r\n", "FROM: me@example.net\r\n", "TO: pager@example.net\r\n",
        "SUBJECT: Title\r\n", std::string(kMessageIdLine) + kMimeLines[0] + kMimeLines[1] + kMimeLines[2],
        "\r\nBody text\r\nline 2\r\n", ".\r\n", "QUIT\r\n"};
    EXPECT_EQ(connection.sent, sent);
    const std::vector<std::string> logged = {
        "220 mx ready\r\n", "HELO myhost\r\n", "250 hello\r\n", "MAIL FROM:<me@example.net>\r\n",
        "250 sender ok\r\n", "RCPT TO:<pager@example.net>\r\n", "250 rcpt ok\r\n", "354 go ahead\r\n",
        "DATE: 5 Jul 2000 09:03:07 +0200\r\n", "FROM: me@example.net\r\n", "TO: pager@example.net\r\n",
        "SUBJECT: Title\r\n", kMessageIdLine, kMimeLines[0], kMimeLines[1], kMimeLines[2],
        "250 queued\r\n", "221 bye\r\n"};
    EXPECT_EQ(output.lines, logged);
    EXPECT_TRUE(output.debug.empty());
}

// A line holding only a dot would end the data early, and a leading dot would be lost:
// every body line that begins with a dot goes out with one more, after the empty line
// that ends the header, in quoted-printable with CR LF line ends.
TEST(SmtpDialogue, BodyIsQuotedPrintableAndDotStuffedAfterAnEmptyLine)
{
    struct {
        const char *label;
        const char *body;
        const char *sent;
    } cases[] = {
        {"dots", "first\r\n.\r\nafter the dot\n..x", "\r\nfirst\r\n..\r\nafter the dot\r\n...x\r\n"},
        {"leading dot", ".NET 9 is out", "\r\n..NET 9 is out\r\n"},
        {"looks like a header", "Note: the ferry is cancelled", "\r\nNote: the ferry is cancelled\r\n"},
        {"8-bit", "Gr\xfc\xdf" "e \x80 5", "\r\nGr=FC=DFe =80 5\r\n"},
        {"empty", "", "\r\n"},
    };
    for (const auto &c : cases) {
        ScriptedConnection connection;
        connection.bursts = GoodSmtpReplies();
        RecordingOutput output;
        wire::SmtpMessage message = kMessage;
        message.body = c.body;
        message.subject = "";
        ASSERT_EQ(wire::RunSmtpDialogue(connection, output, message, kNow), DialogueResult::kDone) << c.label;
        ASSERT_EQ(connection.sent.size(), 12u) << c.label;
        EXPECT_EQ(connection.sent[7], "SUBJECT: \r\n") << c.label;
        EXPECT_EQ(connection.sent[9], c.sent) << c.label;
        EXPECT_EQ(connection.sent[10], ".\r\n") << c.label;
    }
}

// A subject outside printable ASCII is sent (and logged) as encoded words, folded, whole.
TEST(SmtpDialogue, EncodedSubjectIsNeverCutByTheCommandBuffer)
{
    ScriptedConnection connection;
    connection.bursts = GoodSmtpReplies();
    RecordingOutput output;
    wire::SmtpMessage message = kMessage;
    const std::string subject(1500, '\xe9');
    message.subject = subject.c_str();
    ASSERT_EQ(wire::RunSmtpDialogue(connection, output, message, kNow), DialogueResult::kDone);
    const std::string expected = wire::SubjectLines(subject.c_str(), wire::TextCharset());
    EXPECT_GT(expected.size(), wire::kCommandBufferSize);
    EXPECT_EQ(connection.sent[7], expected);
    EXPECT_NE(std::find(output.lines.begin(), output.lines.end(), expected), output.lines.end());
}

TEST(SmtpDialogue, LongAddressesAreCutToTheCommandBuffer)
{
    ScriptedConnection connection;
    connection.bursts = GoodSmtpReplies();
    RecordingOutput output;
    std::string longSender(3000, 's');
    wire::SmtpMessage message = kMessage;
    message.sender = longSender.c_str();
    ASSERT_EQ(wire::RunSmtpDialogue(connection, output, message, kNow), DialogueResult::kDone);
    EXPECT_EQ(connection.sent[1].size(), wire::kCommandBufferSize - 1);
    EXPECT_EQ(connection.sent[1].rfind("MAIL FROM:<ssss", 0), 0u);
}

// Each reply of the good script in turn replaced by another code.
TEST(SmtpDialogue, AcceptedReplyCodes)
{
    struct {
        const char *label;
        size_t replyIndex;
        const char *reply;
        bool accepted;
    } cases[] = {
        {"greeting 554", 0, "554 go away\r\n", false},
        {"greeting 220 two lines", 0, "220-one\r\n220 two\r\n", true},
        {"greeting 221", 0, "221 x\r\n", false},
        {"HELO 251", 1, "251 x\r\n", false},
        {"MAIL FROM 251", 2, "251 x\r\n", false},
        {"RCPT TO 251", 3, "251 will forward\r\n", true},
        {"RCPT TO 299", 3, "299 odd\r\n", true},
        {"RCPT TO 249", 3, "249 odd\r\n", false},
        {"RCPT TO 300", 3, "300 odd\r\n", false},
        {"RCPT TO 550", 3, "550 no such user\r\n", false},
        {"DATA 250", 4, "250 x\r\n", false},
        {"end of data 251", 5, "251 ok\r\n", true},
        {"end of data 552", 5, "552 too big\r\n", false},
        {"QUIT 500 is not judged", 6, "500 what\r\n", true},
        {"reply without digits", 1, "hello\r\n", false},
    };
    for (const auto &c : cases) {
        ScriptedConnection connection;
        connection.bursts = GoodSmtpReplies();
        connection.bursts[c.replyIndex] = c.reply;
        RecordingOutput output;
        DialogueResult result = wire::RunSmtpDialogue(connection, output, kMessage, kNow);
        EXPECT_STREQ(ResultName(result), ResultName(c.accepted ? DialogueResult::kDone : DialogueResult::kRejected))
            << c.label;
        if (!c.accepted) {
            ASSERT_EQ(output.debug.size(), 1u) << c.label;
            EXPECT_EQ(output.debug[0], c.reply) << c.label;
            // Nothing is sent after the rejected reply (the end-of-data reply, index 5,
            // follows eleven send calls).
            const size_t sendsBeforeReply[] = {0, 1, 2, 3, 4, 11};
            EXPECT_EQ(connection.sent.size(), sendsBeforeReply[c.replyIndex]) << c.label;
        } else {
            EXPECT_TRUE(output.debug.empty()) << c.label;
        }
    }
}

TEST(SmtpDialogue, NetworkFailuresLogTheirStep)
{
    struct {
        const char *label;
        int repliesGiven;     // the server closes after this many replies
        int failSend;         // or this send call fails (-1: none)
        DialogueResult result;
        const char *lastLine;
    } cases[] = {
        {"closed before greeting", 0, -1, DialogueResult::kNetworkFailed, "recv error 0"},
        {"closed before HELO reply", 1, -1, DialogueResult::kNetworkFailed, "hello recv error 0"},
        {"closed before MAIL reply", 2, -1, DialogueResult::kNetworkFailed, "mailfrom recv error 0"},
        {"closed before RCPT reply", 3, -1, DialogueResult::kNetworkFailed, "rcpt recv error 0"},
        {"closed before DATA reply", 4, -1, DialogueResult::kNetworkFailed, "data recv error 0"},
        {"closed before end-of-data reply", 5, -1, DialogueResult::kNetworkFailed, "eom recv error 0"},
        {"closed before QUIT reply", 6, -1, DialogueResult::kDone, "250 queued\r\n"},
        {"HELO send", 7, 0, DialogueResult::kNetworkFailed, "hello send error 10054"},
        {"MAIL send", 7, 1, DialogueResult::kNetworkFailed, "mailfrom send error 10054"},
        {"RCPT send", 7, 2, DialogueResult::kNetworkFailed, "rcpt send error 10054"},
        {"DATA send", 7, 3, DialogueResult::kNetworkFailed, "data send error 10054"},
        {"DATE send", 7, 4, DialogueResult::kNetworkFailed, "date send error 10054"},
        {"FROM send", 7, 5, DialogueResult::kNetworkFailed, "from send error 10054"},
        {"TO send", 7, 6, DialogueResult::kNetworkFailed, "to send error 10054"},
        {"SUBJECT send", 7, 7, DialogueResult::kNetworkFailed, "subject send error 10054"},
        {"Message-ID and MIME lines send", 7, 8, DialogueResult::kNetworkFailed, "mime send error 10054"},
        {"body send", 7, 9, DialogueResult::kNetworkFailed, "body send error 10054"},
        {"end-of-data send", 7, 10, DialogueResult::kNetworkFailed, "eom send error 10054"},
        {"QUIT send after delivery", 7, 11, DialogueResult::kDone, "quit send error 10054"},
    };
    for (const auto &c : cases) {
        ScriptedConnection connection;
        connection.bursts = GoodSmtpReplies();
        connection.bursts.resize(c.repliesGiven);
        connection.failSendNumber = c.failSend;
        RecordingOutput output;
        DialogueResult result = wire::RunSmtpDialogue(connection, output, kMessage, kNow);
        EXPECT_STREQ(ResultName(result), ResultName(c.result)) << c.label;
        ASSERT_FALSE(output.lines.empty()) << c.label;
        EXPECT_EQ(output.lines.back(), c.lastLine) << c.label;
        EXPECT_TRUE(output.debug.empty()) << c.label;
    }
}

// ---- POP3 log-in ----

std::vector<std::string> GoodPop3Replies()
{
    return {"+OK POP3 ready\r\n", "+OK user\r\n", "+OK logged in\r\n", "+OK bye\r\n"};
}

TEST(Pop3Login, SendsUserPassQuitAndNeverLogsThePassword)
{
    std::string stored = ScrambleText("s3cret");
    ScriptedConnection connection;
    connection.bursts = GoodPop3Replies();
    RecordingOutput output;
    ASSERT_EQ(wire::RunPop3Login(connection, output, "joe", stored.data(), stored.size()), DialogueResult::kDone);

    EXPECT_EQ(connection.sent, (std::vector<std::string>{"USER joe\r\n", "PASS s3cret\r\n", "QUIT\r\n"}));
    EXPECT_EQ(output.lines, (std::vector<std::string>{"+OK POP3 ready\r\n", "USER joe\r\n", "+OK user\r\n",
                                                      "Sent Password", "+OK logged in\r\n", "QUIT\r\n",
                                                      "+OK bye\r\n"}));
    for (const std::string &line : output.lines)
        EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
}

// A password byte equal to the key byte at its position scrambles to 0: the whole
// password still goes out, since it is unscrambled by its stored length.
TEST(Pop3Login, ScrambledZeroByteDoesNotCutThePassword)
{
    std::string password = "pw";
    password += static_cast<char>(ScrambleKey()[2]);
    password += "rest";
    std::string stored = ScrambleText(password);
    ASSERT_EQ(stored[2], '\0');
    ScriptedConnection connection;
    connection.bursts = GoodPop3Replies();
    RecordingOutput output;
    ASSERT_EQ(wire::RunPop3Login(connection, output, "joe", stored.data(), stored.size()), DialogueResult::kDone);
    ASSERT_EQ(connection.sent.size(), 3u);
    EXPECT_EQ(connection.sent[1], "PASS " + password + "\r\n");
}

TEST(Pop3Login, RefusalsAndFailures)
{
    struct {
        const char *label;
        size_t replyIndex;   // reply replaced by "-ERR no\r\n", or the count given when failSend < -1
        int repliesGiven;
        int failSend;
        DialogueResult result;
        size_t sends;        // send calls made (failed one included)
        const char *lastLine;
    } cases[] = {
        {"greeting refused", 0, 4, -1, DialogueResult::kRejected, 0, "-ERR no\r\n"},
        {"USER refused", 1, 4, -1, DialogueResult::kRejected, 1, "-ERR no\r\n"},
        {"PASS refused", 2, 4, -1, DialogueResult::kRejected, 2, "-ERR no\r\n"},
        {"QUIT reply not judged", 3, 4, -1, DialogueResult::kDone, 3, "-ERR no\r\n"},
        {"closed before greeting", 9, 0, -1, DialogueResult::kNetworkFailed, 0, "connect recv error 0"},
        {"closed before USER reply", 9, 1, -1, DialogueResult::kNetworkFailed, 1, "user recv error 0"},
        {"closed before PASS reply", 9, 2, -1, DialogueResult::kNetworkFailed, 2, "password recv error 0"},
        {"closed before QUIT reply", 9, 3, -1, DialogueResult::kNetworkFailed, 3, "quit recv error 0"},
        {"USER send fails", 9, 4, 0, DialogueResult::kNetworkFailed, 1, "user send error 10054"},
        {"PASS send fails", 9, 4, 1, DialogueResult::kNetworkFailed, 2, "password send error 10054"},
        {"QUIT send fails", 9, 4, 2, DialogueResult::kNetworkFailed, 3, "quit send error 10054"},
    };
    for (const auto &c : cases) {
        std::string scrambled = ScrambleText("pw");
        ScriptedConnection connection;
        connection.bursts = GoodPop3Replies();
        if (c.replyIndex < connection.bursts.size())
            connection.bursts[c.replyIndex] = "-ERR no\r\n";
        connection.bursts.resize(c.repliesGiven);
        connection.failSendNumber = c.failSend;
        RecordingOutput output;
        DialogueResult result = wire::RunPop3Login(connection, output, "joe", scrambled.data(), scrambled.size());
        EXPECT_STREQ(ResultName(result), ResultName(c.result)) << c.label;
        EXPECT_EQ(connection.sent.size(), c.sends) << c.label;
        ASSERT_FALSE(output.lines.empty()) << c.label;
        EXPECT_EQ(output.lines.back(), c.lastLine) << c.label;
        EXPECT_TRUE(output.debug.empty()) << c.label;
    }
}

} // namespace
} // namespace quillon
