#include "tests/mail/wire/script_server.h"

namespace quillon::test {

std::vector<ServerStep> GoodSmtpScript(const std::string &greeting)
{
    return {Say(greeting), Hear(), Say("250 hello\r\n"), Hear(), Say("250 sender ok\r\n"), Hear(),
            Say("250 recipient ok\r\n"), Hear(), Say("354 go ahead\r\n"), HearData(), Say("250 queued\r\n"),
            Hear(), Say("221 bye\r\n"), Hang()};
}

bool ScriptServer::Start(const char *address, unsigned short port, std::vector<ServerStep> script,
                         int connections, std::string &error, DWORD stepWaitMs)
{
    script_ = std::move(script);
    connections_ = connections;
    stepWaitMs_ = stepWaitMs;
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    if (listener_ == INVALID_SOCKET) {
        error = "socket " + std::to_string(WSAGetLastError());
        return false;
    }
    BOOL reuse = TRUE;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&reuse), sizeof reuse);
    sockaddr_in where = {};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = inet_addr(address);
    if (bind(listener_, reinterpret_cast<sockaddr *>(&where), sizeof where) == SOCKET_ERROR ||
        listen(listener_, 4) == SOCKET_ERROR) {
        error = std::string("bind/listen on ") + address + ":" + std::to_string(port) + " error " +
                std::to_string(WSAGetLastError());
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
        return false;
    }
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this] { Run(); });
    return true;
}

void ScriptServer::Stop()
{
    if (stop_ != nullptr)
        SetEvent(stop_);
    if (thread_.joinable())
        thread_.join();
    if (listener_ != INVALID_SOCKET) {
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
    }
    if (stop_ != nullptr) {
        CloseHandle(stop_);
        stop_ = nullptr;
    }
}

int ScriptServer::Accepted()
{
    std::lock_guard<std::mutex> guard(lock_);
    return accepted_;
}

std::string ScriptServer::Received(size_t i)
{
    std::lock_guard<std::mutex> guard(lock_);
    return i < received_.size() ? received_[i] : std::string();
}

std::vector<std::string> ScriptServer::Heard(size_t i)
{
    std::lock_guard<std::mutex> guard(lock_);
    return i < heard_.size() ? heard_[i] : std::vector<std::string>();
}

namespace {

// Waits in slices so that Stop() is noticed; false when the socket did not become
// readable within waitMs or stop was set.
bool WaitReadable(SOCKET s, DWORD waitMs, HANDLE stop)
{
    DWORD waited = 0;
    while (waited < waitMs) {
        if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0)
            return false;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval slice = {0, 50 * 1000};
        int ready = select(0, &readable, nullptr, nullptr, &slice);
        if (ready != 0)
            return ready > 0;
        waited += 50;
    }
    return false;
}

} // namespace

bool ScriptServer::ReadUntil(SOCKET s, const std::string &end, std::string *text)
{
    text->clear();
    for (;;) {
        if (!WaitReadable(s, stepWaitMs_, stop_))
            return false;
        char buffer[4096];
        // Byte by byte up to the end mark, so that nothing of the next command is taken.
        int got = recv(s, buffer, 1, 0);
        if (got <= 0)
            return false;
        text->append(buffer, got);
        {
            std::lock_guard<std::mutex> guard(lock_);
            received_.back().append(buffer, got);
        }
        if (text->size() >= end.size() && text->compare(text->size() - end.size(), end.size(), end) == 0)
            return true;
    }
}

void ScriptServer::Run()
{
    for (int n = 0; n < connections_; ++n) {
        if (!WaitReadable(listener_, stepWaitMs_, stop_))
            return;
        SOCKET s = accept(listener_, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            return;
        {
            std::lock_guard<std::mutex> guard(lock_);
            ++accepted_;
            received_.emplace_back();
            heard_.emplace_back();
        }
        bool closed = false;
        for (const ServerStep &step : script_) {
            bool ok = true;
            std::string text;
            switch (step.kind) {
            case ServerStep::kSend:
                ok = send(s, step.text.data(), static_cast<int>(step.text.size()), 0) != SOCKET_ERROR;
                break;
            case ServerStep::kReadLine:
            case ServerStep::kReadData:
                ok = ReadUntil(s, step.kind == ServerStep::kReadLine ? "\n" : "\r\n.\r\n", &text);
                if (ok) {
                    std::lock_guard<std::mutex> guard(lock_);
                    heard_.back().push_back(text);
                }
                break;
            case ServerStep::kClose:
                closesocket(s);
                closed = true;
                break;
            case ServerStep::kStaySilent: {
                // Until the client gives up (its close makes the socket readable).
                std::string ignored;
                ReadUntil(s, "\x01never\x02", &ignored);
                ok = false;
                break;
            }
            }
            if (!ok || closed)
                break;
        }
        if (!closed) {
            // Let the client finish reading what it was sent before the socket goes.
            std::string ignored;
            ReadUntil(s, "\x01never\x02", &ignored);
            closesocket(s);
        }
    }
}

} // namespace quillon::test
