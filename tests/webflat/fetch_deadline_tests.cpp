// A page fetch ends by its deadline whatever the server does: one that accepts and never
// answers (127.0.0.235), one that trickles a byte every half second (127.0.0.236). A
// well-behaved server (127.0.0.237) still delivers its page through the same path.
#include "tests/webflat/loopback_http_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "webflat/fetch.h"

using namespace quillon::webflat;
using namespace quillon::test;

namespace {

enum class Misbehaviour { kSilent, kTrickle };

// Accepts one connection on ip:port and then misbehaves until stopped.
class HostileServer {
public:
    HostileServer(const char *ip, Misbehaviour how) : how_(how)
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, ip, &address.sin_addr);
        if (bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 || listen(listener_, 4) != 0)
            return;
        int length = sizeof(address);
        getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length);
        url_ = std::string("http://") + ip + ":" + std::to_string(ntohs(address.sin_port)) + "/page.html";
        thread_ = std::thread([this] { Serve(); });
    }
    ~HostileServer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        closesocket(listener_);
        WSACleanup();
    }
    const std::string &Url() const { return url_; }

private:
    void Serve()
    {
        SOCKET client = INVALID_SOCKET;
        const ULONGLONG end = GetTickCount64() + 30000;
        while (!stop_ && GetTickCount64() < end) {
            if (client == INVALID_SOCKET) {
                fd_set readable;
                FD_ZERO(&readable);
                FD_SET(listener_, &readable);
                timeval wait{0, 100000};
                if (select(0, &readable, nullptr, nullptr, &wait) > 0) {
                    client = accept(listener_, nullptr, nullptr);
                    if (client != INVALID_SOCKET && how_ == Misbehaviour::kTrickle) {
                        const char head[] = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n<p>";
                        send(client, head, sizeof(head) - 1, 0);
                    }
                }
                continue;
            }
            Sleep(500);
            if (how_ == Misbehaviour::kTrickle)
                send(client, "x", 1, 0);
        }
        if (client != INVALID_SOCKET)
            closesocket(client);
    }

    Misbehaviour how_;
    SOCKET listener_ = INVALID_SOCKET;
    std::string url_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

TEST(FetchDeadline, HostileServersCannotHoldTheFetchPastItsDeadline)
{
    struct Case {
        const char *label;
        const char *ip;
        Misbehaviour how;
    } cases[] = {
        {"silent", "127.0.0.235", Misbehaviour::kSilent},
        {"trickle", "127.0.0.236", Misbehaviour::kTrickle},
    };
    for (const Case &c : cases) {
        HostileServer server(c.ip, c.how);
        ASSERT_FALSE(server.Url().empty()) << c.label;
        FetchedPage page;
        const ULONGLONG start = GetTickCount64();
        EXPECT_FALSE(FetchPage(server.Url(), start + 2000, page)) << c.label;
        const ULONGLONG took = GetTickCount64() - start;
        EXPECT_LT(took, 4000u) << c.label << ": the fetch took " << took << " ms";
        EXPECT_TRUE(page.bytes.empty()) << c.label;
    }
}

TEST(FetchDeadline, AWellBehavedServerStillDeliversThePage)
{
    LoopbackHttpServer server("127.0.0.237", {{"/page.html", HttpResponse("200 OK", "Content-Type: text/html; charset=utf-8\r\n",
                                                                          "<title>T</title><p>Tide tables</p>")}});
    ASSERT_FALSE(server.Base().empty());
    FetchedPage page;
    ASSERT_TRUE(FetchPage(server.Base() + "/page.html", GetTickCount64() + 20000, page));
    EXPECT_EQ("<title>T</title><p>Tide tables</p>", page.bytes);
    EXPECT_EQ("utf-8", page.headerCharset);
}

} // namespace
