// A small HTTP server for WEBFLAT.DLL tests, run on a thread of the test on a loopback
// address and a free port. Header-only; the including program links ws2_32.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace quillon::test {

inline std::string HttpResponse(const char *status, const std::string &headers, const std::string &body)
{
    return std::string("HTTP/1.1 ") + status + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// A small HTTP server on a loopback address and a free port, answering each request
// from a table of raw responses by path (404 for others). It stops when destroyed, and
// on its own after 60 seconds whatever happens.
class LoopbackHttpServer {
public:
    LoopbackHttpServer(const char *ip, std::map<std::string, std::string> routes) : routes_(std::move(routes))
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = 0;
        inet_pton(AF_INET, ip, &address.sin_addr);
        if (bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 || listen(listener_, 8) != 0)
            return;
        int length = sizeof(address);
        getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length);
        base_ = std::string("http://") + ip + ":" + std::to_string(ntohs(address.sin_port));
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackHttpServer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        closesocket(listener_);
        WSACleanup();
    }
    const std::string &Base() const { return base_; }
    // Replaces (or adds) the response for one path; later requests get it.
    void SetRoute(const std::string &path, const std::string &response)
    {
        while (busy_.exchange(true)) {
        }
        routes_[path] = response;
        busy_ = false;
    }
    std::vector<std::string> Requested()
    {
        std::vector<std::string> copy;
        while (busy_.exchange(true)) {
        }
        copy = requested_;
        busy_ = false;
        return copy;
    }

private:
    void Serve()
    {
        const ULONGLONG deadline = GetTickCount64() + 60000;
        while (!stop_ && GetTickCount64() < deadline) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listener_, &readable);
            timeval wait{0, 100000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
                continue;
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET)
                continue;
            DWORD timeout = 5000;
            setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&timeout), sizeof(timeout));
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
                int got = recv(client, buffer, sizeof(buffer), 0);
                if (got <= 0)
                    break;
                request.append(buffer, static_cast<size_t>(got));
            }
            std::string path;
            size_t space = request.find(' ');
            if (space != std::string::npos)
                path = request.substr(space + 1, request.find(' ', space + 1) - space - 1);
            while (busy_.exchange(true)) {
            }
            requested_.push_back(path);
            auto it = routes_.find(path);
            std::string response = it != routes_.end() ? it->second
                                                       : HttpResponse("404 Not Found", "Content-Type: text/html\r\n",
                                                                      "<title>Not found</title><p>No such page");
            busy_ = false;
            size_t sent = 0;
            while (sent < response.size()) {
                int n = send(client, response.data() + sent, static_cast<int>(response.size() - sent), 0);
                if (n <= 0)
                    break;
                sent += static_cast<size_t>(n);
            }
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    std::map<std::string, std::string> routes_;
    SOCKET listener_ = INVALID_SOCKET;
    std::string base_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> busy_{false};
    std::vector<std::string> requested_;
};

} // namespace quillon::test
