// A scripted TCP server on a loopback address, run on a thread of the test program, so
// that each reply path of mailwire can be forced. Every wait is bounded: accept and each
// read give up after `stepWaitMs`, and the thread ends after `connections` connections
// or at the first wait that runs out. Stop() (or the destructor) joins it.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon::test {

struct ServerStep {
    enum Kind { kSend, kReadLine, kReadData, kClose, kStaySilent } kind;
    std::string text;   // kSend: the bytes; kStaySilent: ignored
};

inline ServerStep Say(const std::string &text) { return {ServerStep::kSend, text}; }
inline ServerStep Hear() { return {ServerStep::kReadLine, ""}; }
// Reads up to and including "\r\n.\r\n".
inline ServerStep HearData() { return {ServerStep::kReadData, ""}; }
inline ServerStep Hang() { return {ServerStep::kClose, ""}; }
// Reads nothing and sends nothing until the client closes or the wait runs out.
inline ServerStep StaySilent() { return {ServerStep::kStaySilent, ""}; }

// The usual SMTP server's side of one good dialogue.
std::vector<ServerStep> GoodSmtpScript(const std::string &greeting = "220 test ready\r\n");

class ScriptServer {
public:
    ScriptServer() = default;
    ~ScriptServer() { Stop(); }
    ScriptServer(const ScriptServer &) = delete;
    ScriptServer &operator=(const ScriptServer &) = delete;

    // Listens on address:port and plays `script` on each of up to `connections`
    // connections. False (error says why) when it cannot listen.
    bool Start(const char *address, unsigned short port, std::vector<ServerStep> script, int connections,
               std::string &error, DWORD stepWaitMs = 5000);
    void Stop();

    int Accepted();
    // Everything received on connection i (0-based).
    std::string Received(size_t i);
    // The lines read by Hear()/HearData() on connection i, in order.
    std::vector<std::string> Heard(size_t i);

private:
    void Run();
    bool ReadUntil(SOCKET s, const std::string &end, std::string *text);

    SOCKET listener_ = INVALID_SOCKET;
    std::vector<ServerStep> script_;
    int connections_ = 0;
    DWORD stepWaitMs_ = 5000;
    HANDLE stop_ = nullptr;
    std::thread thread_;
    std::mutex lock_;
    int accepted_ = 0;
    std::vector<std::string> received_;
    std::vector<std::vector<std::string>> heard_;
};

// Winsock for the test program's own sockets; one per program.
class WinsockScope {
public:
    WinsockScope() { WSADATA d; ok_ = WSAStartup(MAKEWORD(2, 2), &d) == 0; }
    ~WinsockScope() { if (ok_) WSACleanup(); }
    bool Ok() const { return ok_; }

private:
    bool ok_ = false;
};

} // namespace quillon::test
