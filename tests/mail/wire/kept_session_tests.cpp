// One secured session for a whole pass against scripted servers: messages on one
// connection, PIPELINING, RSET after a refusal, the end-of-data line after a refused
// recipient whose DATA was taken, one reconnect after a close or 421, and the rest of the
// pass left for later when that fails or a reply does not come.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/scramble.h"
#include "mail/wire/wire_kept_session.h"
#include "tests/mail/wire/scripted_connection.h"

namespace quillon {
namespace {

using test::RecordingOutput;
using test::ScriptedConnection;
using wire::KeptSendResult;

class TlsConnection : public ScriptedConnection {
public:
    bool StartTls(wire::WireOutput &) override
    {
        sent.push_back("<tls>");
        return true;
    }
    int messagesBegun = 0;
    void BeginMessage() override { ++messagesBegun; }
};

// Hands out the scripted connections in turn (null once they are used up) and keeps
// them readable after the session has dropped them.
class ScriptedSource : public wire::ConnectionSource {
public:
    std::vector<std::vector<std::string>> scripts;
    std::vector<TlsConnection *> opened;   // owned by the session while it holds them
    std::vector<std::vector<std::string>> sentBy;
    std::vector<int> closeErrors;

    std::unique_ptr<wire::WireConnection> OpenConnection() override
    {
        if (opened.size() >= scripts.size())
            return nullptr;
        auto connection = std::make_unique<Recorded>(this, opened.size());
        connection->bursts = scripts[opened.size()];
        if (opened.size() < closeErrors.size())
            connection->closeError = closeErrors[opened.size()];
        opened.push_back(connection.get());
        sentBy.emplace_back();
        return connection;
    }

private:
    class Recorded : public TlsConnection {
    public:
        Recorded(ScriptedSource *source, size_t index) : source_(source), index_(index) {}
        ~Recorded() override { source_->sentBy[index_] = sent; }

    private:
        ScriptedSource *source_;
        size_t index_;
    };
};

const std::string kScrambled = ScrambleText("pass");

wire::SmtpMessage Message(const char *body)
{
    wire::SmtpMessage message = {"host", "me@x.test", "you@y.test", "Subj", body};
    message.security = wire::SmtpSecurity::kImplicitTls;
    message.login = "user";
    message.scrambledPassword = kScrambled.c_str();
    message.scrambledPasswordLength = kScrambled.size();
    message.uniqueId = "u";
    return message;
}

const DateTime kNow = {2026, 12, 5, 11, 9, 3, 7, 0};

std::vector<std::string> Opening(bool pipelining)
{
    return {"220 hi\r\n", pipelining ? "250-hi\r\n250-PIPELINING\r\n250 AUTH PLAIN\r\n" : "250-hi\r\n250 AUTH PLAIN\r\n",
            "235 ok\r\n"};
}

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (auto &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const std::vector<std::string> kAccepted = {"250 ok\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n"};

size_t Count(const std::vector<std::string> &sent, const std::string &text)
{
    size_t n = 0;
    for (const std::string &s : sent)
        n += s.find(text) != std::string::npos;
    return n;
}

TEST(KeptSession, MessagesShareOneConnectionAndPipelineTheirCommands)
{
    ScriptedSource source;
    source.scripts = {Join({Opening(true), kAccepted, kAccepted, kAccepted, {"221 bye\r\n"}})};
    RecordingOutput output;
    {
        wire::KeptSmtpSession session(source, output);
        for (const char *body : {"one", "two", "three"})
            EXPECT_EQ(session.Send(Message(body), kNow), KeptSendResult::kSent) << body;
        session.Close();
        EXPECT_EQ(session.ConnectionsOpened(), 1);
    }
    ASSERT_EQ(source.sentBy.size(), 1u);
    const std::vector<std::string> &sent = source.sentBy[0];
    EXPECT_EQ(Count(sent, "AUTH PLAIN"), 1u);
    EXPECT_EQ(Count(sent, "MAIL FROM:<me@x.test>\r\nRCPT TO:<you@y.test>\r\nDATA\r\n"), 3u);
    EXPECT_EQ(sent.back(), "QUIT\r\n");
    EXPECT_EQ(Count(sent, "QUIT"), 1u);
    EXPECT_TRUE(output.debug.empty());
    // The log still shows both commands of each message.
    size_t mailFromLines = 0;
    for (const std::string &line : output.lines)
        mailFromLines += line == "MAIL FROM:<me@x.test>\r\n";
    EXPECT_EQ(mailFromLines, 3u);
}

TEST(KeptSession, WithoutPipeliningEachCommandWaitsForItsReply)
{
    ScriptedSource source;
    source.scripts = {Join({Opening(false), kAccepted, kAccepted, {"221 bye\r\n"}})};
    RecordingOutput output;
    wire::KeptSmtpSession session(source, output);
    EXPECT_EQ(session.Send(Message("one"), kNow), KeptSendResult::kSent);
    EXPECT_EQ(session.Send(Message("two"), kNow), KeptSendResult::kSent);
    session.Close();
    const std::vector<std::string> &sent = source.sentBy[0];
    EXPECT_EQ(Count(sent, "MAIL FROM:<me@x.test>\r\nRCPT"), 0u);
    EXPECT_EQ(Count(sent, "MAIL FROM:<me@x.test>\r\n"), 2u);
    EXPECT_EQ(source.opened.size(), 1u);
}

TEST(KeptSession, ARefusedMessageFailsAloneAndTheNextBeginsWithRset)
{
    struct {
        const char *label;
        std::vector<std::string> refused;   // the refused message's replies
        bool endOfDataAlone;                // the empty data is ended at once
    } cases[] = {
        {"recipient refused, DATA taken", {"250 ok\r\n", "550 no such user\r\n", "354 go\r\n", "250 empty\r\n"}, true},
        {"recipient refused, DATA refused", {"250 ok\r\n", "550 no such user\r\n", "554 no recipients\r\n"}, false},
        {"sender refused", {"553 bad sender\r\n", "503 no sender\r\n", "503 no sender\r\n"}, false},
        {"end of data refused", {"250 ok\r\n", "250 ok\r\n", "354 go\r\n", "552 too big\r\n"}, false},
    };
    for (const auto &c : cases) {
        ScriptedSource source;
        source.scripts = {Join({Opening(true), c.refused, {"250 reset\r\n"}, kAccepted, {"221 bye\r\n"}})};
        RecordingOutput output;
        wire::KeptSmtpSession session(source, output);
        EXPECT_EQ(session.Send(Message("refused"), kNow), KeptSendResult::kRefused) << c.label;
        EXPECT_EQ(session.Send(Message("next"), kNow), KeptSendResult::kSent) << c.label;
        session.Close();
        const std::vector<std::string> &sent = source.sentBy[0];
        ASSERT_FALSE(output.debug.empty()) << c.label;
        size_t rset = 0;
        while (rset < sent.size() && sent[rset] != "RSET\r\n")
            ++rset;
        ASSERT_LT(rset, sent.size()) << c.label;
        EXPECT_EQ(sent[rset + 1], "MAIL FROM:<me@x.test>\r\nRCPT TO:<you@y.test>\r\nDATA\r\n") << c.label;
        // What went out last before RSET: the end-of-data line alone, the whole message
        // (ending with the end-of-data line), or the pipelined commands only.
        const std::string &last = sent[rset - 1];
        const bool wholeMessage = std::string(c.label) == "end of data refused";
        EXPECT_EQ(last == ".\r\n", c.endOfDataAlone) << c.label;
        EXPECT_EQ(last.size() > 5 && last.compare(last.size() - 5, 5, "\r\n.\r\n") == 0, wholeMessage) << c.label;
        if (c.endOfDataAlone) {
            // Nothing of the message went out between DATA and the end-of-data line.
            EXPECT_EQ(sent[rset - 2], "MAIL FROM:<me@x.test>\r\nRCPT TO:<you@y.test>\r\nDATA\r\n") << c.label;
        }
        EXPECT_EQ(source.opened.size(), 1u) << c.label;
    }
}

TEST(KeptSession, ACloseOr421ReconnectsOnceAndTheMessageGoesOnTheNewConnection)
{
    struct {
        const char *label;
        std::vector<std::string> lost;   // what the first connection says after the opening
    } cases[] = {
        {"closed before the first reply", {}},
        {"421 to MAIL FROM", {"421 shutting down\r\n"}},
        {"closed after one message", {"250 ok\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n"}},
    };
    for (const auto &c : cases) {
        ScriptedSource source;
        source.scripts = {Join({Opening(true), c.lost}), Join({Opening(true), kAccepted, kAccepted, {"221 bye\r\n"}})};
        RecordingOutput output;
        wire::KeptSmtpSession session(source, output);
        const bool firstGoesThrough = c.lost.size() == 4;
        EXPECT_EQ(session.Send(Message("one"), kNow), KeptSendResult::kSent) << c.label;
        EXPECT_EQ(session.Send(Message("two"), kNow), KeptSendResult::kSent) << c.label;
        session.Close();
        EXPECT_EQ(source.opened.size(), 2u) << c.label;
        // The new connection signs in again.
        EXPECT_EQ(Count(source.sentBy[1], "AUTH PLAIN"), 1u) << c.label;
        EXPECT_EQ(Count(source.sentBy[1], "MAIL FROM"), firstGoesThrough ? 1u : 2u) << c.label;
    }
}

TEST(KeptSession, WhenTheServerStaysAwayTheRestOfThePassIsNotAttempted)
{
    struct {
        const char *label;
        std::vector<std::vector<std::string>> scripts;
        std::vector<int> closeErrors;
        KeptSendResult first;
        size_t connections;
    } cases[] = {
        // A reply that did not come in time: no reconnect, this message and the rest wait.
        {"reply time-out", {Join({Opening(true), {"250 ok\r\n"}})}, {wire::kReplyTimedOutError},
         KeptSendResult::kNotAttempted, 1},
        // Lost, and no new connection can be opened.
        {"reconnect fails", {Opening(true)}, {}, KeptSendResult::kNotAttempted, 1},
        // Lost, reconnected, lost again.
        {"second loss", {Opening(true), Opening(true)}, {}, KeptSendResult::kNotAttempted, 2},
        // The new connection's opening is refused.
        {"reconnect refused", {Opening(true), {"220 hi\r\n", "250 hi\r\n"}}, {}, KeptSendResult::kNotAttempted, 2},
    };
    for (const auto &c : cases) {
        ScriptedSource source;
        source.scripts = c.scripts;
        source.closeErrors = c.closeErrors;
        RecordingOutput output;
        wire::KeptSmtpSession session(source, output);
        EXPECT_EQ(session.Send(Message("one"), kNow), c.first) << c.label;
        EXPECT_EQ(session.Send(Message("two"), kNow), KeptSendResult::kNotAttempted) << c.label;
        EXPECT_EQ(session.Send(Message("three"), kNow), KeptSendResult::kNotAttempted) << c.label;
        session.Close();
        EXPECT_EQ(source.opened.size(), c.connections) << c.label;
    }
}

// Before any session of the pass was open, a refused opening fails that message, as it
// always has, and the next message tries a connection of its own.
TEST(KeptSession, ARefusedFirstOpeningFailsTheMessageOnly)
{
    ScriptedSource source;
    source.scripts = {{"220 hi\r\n", "250-hi\r\n250 AUTH PLAIN\r\n", "535 bad credentials\r\n"},
                      Join({Opening(true), kAccepted, {"221 bye\r\n"}})};
    RecordingOutput output;
    wire::KeptSmtpSession session(source, output);
    EXPECT_EQ(session.Send(Message("one"), kNow), KeptSendResult::kRefused);
    EXPECT_EQ(session.Send(Message("two"), kNow), KeptSendResult::kSent);
    session.Close();
    EXPECT_EQ(source.opened.size(), 2u);
}

TEST(KeptSession, EveryMessageGetsItsOwnTimeAllowance)
{
    ScriptedSource source;
    source.scripts = {Join({Opening(true), kAccepted, kAccepted, {"221 bye\r\n"}})};
    RecordingOutput output;
    int begun = 0;
    {
        wire::KeptSmtpSession session(source, output);
        session.Send(Message("one"), kNow);
        session.Send(Message("two"), kNow);
        begun = source.opened[0]->messagesBegun;
        session.Close();
    }
    EXPECT_GE(begun, 2);
}

} // namespace
} // namespace quillon
