// Owner of one WinInet handle (InternetCloseHandle). Header-only, so only the
// deliverables that use WinInet (and link wininet) include it.
#pragma once

#include <windows.h>
#include <wininet.h>

namespace quillon {

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle = nullptr) : handle_(handle) {}
    ~InternetHandle()
    {
        if (handle_ != nullptr)
            InternetCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle &) = delete;
    InternetHandle &operator=(const InternetHandle &) = delete;

    HINTERNET Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

} // namespace quillon
