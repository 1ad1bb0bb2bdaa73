// The overall deadline of one message: a server that answers every command, but one
// byte at a time, passes each reply's own wait and must still not hold the caller past
// the message's allowance. Also the configured SMTPPort, which this server listens on.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "common/text.h"
#include "mail/wire/wire_session.h"
#include "tests/mail/wire/script_server.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

constexpr char kAddress[] = "127.0.0.90";
constexpr unsigned short kPort = 2599;

// Accepts one connection and answers "220 hi", then "250 ok" over and over, each byte
// 100 ms after the last, until the client closes or `stop` is set.
class TricklingServer {
public:
    bool Start()
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = inet_addr(kAddress);
        address.sin_port = htons(kPort);
        if (listener_ == INVALID_SOCKET ||
            bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) == SOCKET_ERROR ||
            listen(listener_, 1) == SOCKET_ERROR)
            return false;
        thread_ = std::thread([this] { Run(); });
        return true;
    }
    ~TricklingServer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (listener_ != INVALID_SOCKET)
            closesocket(listener_);
    }

private:
    void Run()
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener_, &readable);
        timeval wait = {10, 0};
        if (select(0, &readable, nullptr, nullptr, &wait) != 1)
            return;
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        std::string replies = "220 hi\r\n";
        for (int i = 0; i < 40; ++i)
            replies += "250 ok\r\n";
        for (char byte : replies) {
            if (stop_ || send(client, &byte, 1, 0) != 1)
                break;
            Sleep(100);
        }
        closesocket(client);
    }

    SOCKET listener_ = INVALID_SOCKET;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

TEST(MailwireDeadline, TricklingServerIsCutOffAtTheMessageDeadline)
{
    test::WinsockScope winsock;
    ASSERT_TRUE(winsock.Ok());
    TricklingServer server;
    ASSERT_TRUE(server.Start());

    WireSettings settings;
    CopyBounded(settings.smtpServer, kAddress);
    settings.smtpPort = kPort;
    // Each reply takes 0.8 s, well inside its own 2 s; the message may take 1.5 s.
    WireLibrary library(settings, 2000, 1500);
    const std::string logFile = test::MakeScratchDir("mailwire_deadline") + "\\mailwire.log";
    MailSession session = 0;
    ASSERT_EQ(library.Logon(&session, 1, logFile.c_str()), kMailOk);
    ULONGLONG started = GetTickCount64();
    EXPECT_EQ(library.Send(session, "me@x", "you@y", "s", "b"), kMailFailed);
    ULONGLONG took = GetTickCount64() - started;
    // The overrun deadline leaves the session's later messages untried, at once.
    started = GetTickCount64();
    EXPECT_EQ(library.Send(session, "me@x", "you@y", "s2", "b2"), kMailNotAttempted);
    EXPECT_LT(GetTickCount64() - started, 500u);
    library.Logoff(session);
    EXPECT_GE(took, 1400u);
    EXPECT_LT(took, 2500u);
    std::string log = test::ReadWholeFile(logFile);
    EXPECT_NE(log.find("MAILWIRE 220 hi\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("recv error 10060"), std::string::npos) << log;
}

} // namespace
} // namespace quillon
