// Owner of one Winsock socket (closesocket). Header-only, so only the deliverables that
// use Winsock (and link ws2_32) include it; include it before <windows.h>.
#pragma once

#include <winsock2.h>

#include <utility>

namespace quillon {

class UniqueSocket {
public:
    UniqueSocket() = default;
    explicit UniqueSocket(SOCKET socket) : socket_(socket) {}
    ~UniqueSocket() { Reset(); }
    UniqueSocket(const UniqueSocket &) = delete;
    UniqueSocket &operator=(const UniqueSocket &) = delete;
    UniqueSocket(UniqueSocket &&other) noexcept : socket_(other.Release()) {}
    UniqueSocket &operator=(UniqueSocket &&other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    SOCKET Get() const { return socket_; }
    bool IsValid() const { return socket_ != INVALID_SOCKET; }
    explicit operator bool() const { return IsValid(); }
    SOCKET Release() { return std::exchange(socket_, INVALID_SOCKET); }
    void Reset(SOCKET socket = INVALID_SOCKET)
    {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        socket_ = socket;
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
};

} // namespace quillon
