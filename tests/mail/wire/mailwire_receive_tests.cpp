// How mailwire takes a server's reply off a plain socket: the first line, waited for
// even when it comes in pieces, plus only what has already arrived behind it, never a
// later line; and the peer sees the same exchange as always: the same commands, and the
// connection closed in order (a client that left reply bytes unread in its socket would
// end it with a reset instead). A server on 127.0.0.182:2525 plays each case.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "common/text.h"
#include "mail/wire/wire_session.h"
#include "tests/mail/wire/script_server.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

constexpr char kAddress[] = "127.0.0.182";
constexpr unsigned short kPort = 2525;

struct Step {
    enum Kind { kSay, kPause, kHearLine, kHearData } kind;
    std::string text;
    DWORD pauseMs = 0;
};
Step Say(const std::string &text) { return {Step::kSay, text}; }
Step Pause(DWORD ms) { return {Step::kPause, "", ms}; }
Step Hear() { return {Step::kHearLine, ""}; }
Step HearData() { return {Step::kHearData, ""}; }

// The usual dialogue after the greeting, HELO to QUIT.
std::vector<Step> AfterGreeting()
{
    return {Hear(), Say("250 hello\r\n"), Hear(), Say("250 sender ok\r\n"), Hear(), Say("250 recipient ok\r\n"),
            Hear(), Say("354 go ahead\r\n"), HearData(), Say("250 queued\r\n"), Hear(), Say("221 bye\r\n")};
}

// One connection: plays the steps, then reads until the client ends the connection and
// tells how it ended. Every wait is bounded.
class PieceServer {
public:
    enum class End { kNone, kOrderly, kReset };

    bool Start(std::vector<Step> steps)
    {
        steps_ = std::move(steps);
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = inet_addr(kAddress);
        address.sin_port = htons(kPort);
        BOOL reuse = TRUE;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&reuse), sizeof reuse);
        if (listener_ == INVALID_SOCKET ||
            bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) == SOCKET_ERROR ||
            listen(listener_, 1) == SOCKET_ERROR)
            return false;
        thread_ = std::thread([this] { Run(); });
        return true;
    }
    ~PieceServer() { Join(); }
    void Join()
    {
        if (thread_.joinable())
            thread_.join();
        if (listener_ != INVALID_SOCKET)
            closesocket(listener_);
        listener_ = INVALID_SOCKET;
    }

    std::string received;
    End end = End::kNone;

private:
    bool Readable(SOCKET s, long seconds)
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval wait = {seconds, 0};
        return select(0, &readable, nullptr, nullptr, &wait) == 1;
    }

    // Reads one byte at a time until `ending` closes the text read so far.
    bool HearUntil(SOCKET s, const std::string &ending)
    {
        std::string heard;
        while (heard.size() < ending.size() || heard.compare(heard.size() - ending.size(), ending.size(), ending)) {
            char byte;
            if (!Readable(s, 5) || recv(s, &byte, 1, 0) != 1)
                return false;
            heard += byte;
            received += byte;
        }
        return true;
    }

    void Run()
    {
        if (!Readable(listener_, 10))
            return;
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        bool ok = true;
        for (const Step &step : steps_) {
            if (!ok)
                break;
            switch (step.kind) {
            case Step::kSay:
                ok = send(client, step.text.data(), static_cast<int>(step.text.size()), 0) ==
                     static_cast<int>(step.text.size());
                break;
            case Step::kPause: Sleep(step.pauseMs); break;
            case Step::kHearLine: ok = HearUntil(client, "\r\n"); break;
            case Step::kHearData: ok = HearUntil(client, "\r\n.\r\n"); break;
            }
        }
        // Whatever else the client sends, then its end of the connection.
        for (;;) {
            char chunk[512];
            if (!Readable(client, 5))
                break;
            int got = recv(client, chunk, sizeof chunk, 0);
            if (got > 0) {
                received.append(chunk, static_cast<size_t>(got));
                continue;
            }
            end = got == 0 ? End::kOrderly : End::kReset;
            break;
        }
        closesocket(client);
    }

    SOCKET listener_ = INVALID_SOCKET;
    std::vector<Step> steps_;
    std::thread thread_;
};

class MailwireReceive : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(winsock_.Ok());
        logFile_ = test::MakeScratchDir("mailwire_receive") + "\\" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        DeleteFileA(logFile_.c_str());
    }

    // One message through a library of its own; the server's steps start with the
    // greeting. Returns the result of the send.
    MailResult SendOne(PieceServer &server, std::vector<Step> steps)
    {
        if (!server.Start(std::move(steps)))
            return -2;
        WireSettings settings;
        CopyBounded(settings.smtpServer, kAddress);
        settings.smtpPort = kPort;
        MailResult result = -3;
        {
            WireLibrary library(settings, 5000, 20000);
            MailSession session = 0;
            if (library.Logon(&session, 1, logFile_.c_str()) == kMailOk) {
                result = library.Send(session, "me@example.net", "pager@example.net", "Title", "Body");
                library.Logoff(session);
            }
        }
        server.Join();
        return result;
    }

    std::string Log() { return test::ReadWholeFile(logFile_); }

    test::WinsockScope winsock_;
    std::string logFile_;
};

std::vector<Step> Join(std::vector<Step> first, const std::vector<Step> &rest)
{
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
}

// The commands the server must hear for the message, whatever the reply reading does.
void ExpectWholeDialogueHeard(const std::string &received)
{
    static const char *const kInOrder[] = {"HELO ",          "MAIL FROM:<me@example.net>\r\n",
                                           "RCPT TO:<pager@example.net>\r\n", "DATA\r\n",
                                           "SUBJECT: Title\r\n", "quoted-printable\r\n\r\nBody\r\n.\r\n",
                                           "QUIT\r\n"};
    size_t at = 0;
    for (const char *part : kInOrder) {
        size_t found = received.find(part, at);
        ASSERT_NE(found, std::string::npos) << "missing " << part << " in:\n" << received;
        at = found + std::string(part).size();
    }
    EXPECT_EQ(at, received.size()) << "more than the dialogue:\n" << received;
}

TEST_F(MailwireReceive, ReplyLinesInPiecesAndBurstsGiveTheSameExchange)
{
    struct Case {
        const char *name;
        std::vector<Step> greeting;
        const char *loggedGreeting;   // as the log shows the greeting reply
    } cases[] = {
        {"first line in three pieces", {Say("22"), Pause(80), Say("0 rea"), Pause(80), Say("dy\r\n")},
         "MAILWIRE 220 ready\r\n\r\n"},
        {"two lines in one burst", {Say("220-first\r\n220 second\r\n")}, "MAILWIRE 220-first\r\n220 second\r\n\r\n"},
        {"a greeting longer than one look at the socket",
         {Say("220 " + std::string(1500, 'g') + "\r\n")},
         nullptr},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(logFile_.c_str());
        PieceServer server;
        EXPECT_EQ(SendOne(server, Join(c.greeting, AfterGreeting())), kMailOk) << Log();
        ExpectWholeDialogueHeard(server.received);
        // Every reply byte was taken: the connection ended in order, not with a reset.
        EXPECT_EQ(server.end, PieceServer::End::kOrderly);
        if (c.loggedGreeting != nullptr) {
            EXPECT_NE(Log().find(c.loggedGreeting), std::string::npos) << Log();
        }
        EXPECT_NE(Log().find("MAILWIRE 221 bye\r\n"), std::string::npos) << Log();
    }
}

TEST_F(MailwireReceive, ALaterLineIsNotWaitedForAndBelongsToTheNextReply)
{
    // The greeting's first line alone is the reply; the line that follows 400 ms later
    // is what the client then reads as the answer to HELO, and rejects.
    PieceServer server;
    ULONGLONG started = GetTickCount64();
    EXPECT_EQ(SendOne(server, {Say("220-first\r\n"), Pause(400), Say("220 late\r\n"), Hear(), Say("250 hello\r\n")}),
              kMailFailed);
    ULONGLONG took = GetTickCount64() - started;
    std::string log = Log();
    EXPECT_NE(log.find("MAILWIRE 220-first\r\n\r\nMAILWIRE HELO "), std::string::npos) << log;
    EXPECT_NE(log.find("MAILWIRE 220 late\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("MAIL FROM"), std::string::npos) << log;
    EXPECT_LT(took, 4000u);
    EXPECT_EQ(server.received.compare(0, 5, "HELO "), 0) << server.received;
}

} // namespace
} // namespace quillon
