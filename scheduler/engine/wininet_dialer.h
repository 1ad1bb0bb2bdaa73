// Dialling and the reachability probe through WinInet.
#pragma once

#include <windows.h>

#include "scheduler/engine/engine_seams.h"

namespace quillon {

// The two WinInet exports the dialler calls, as the real DLL declares them: the
// connection handle is pointer-sized (DWORD_PTR), 8 bytes on x64.
struct WinInetDialFunctions {
    DWORD(WINAPI *dial)(HWND parent, LPSTR entryName, DWORD flags, DWORD_PTR *connection, DWORD reserved);
    DWORD(WINAPI *hangUp)(DWORD_PTR connection, DWORD reserved);
};
// InternetDialA and InternetHangUp of wininet.dll.
WinInetDialFunctions SystemWinInetDialFunctions();

class WinInetDialer : public Dialer {
public:
    // `parent` is the scheduler's hidden main window, the owner of any dial-up dialog.
    // Tests may pass their own functions in place of WinInet's.
    explicit WinInetDialer(HWND parent, WinInetDialFunctions functions = SystemWinInetDialFunctions())
        : parent_(parent), functions_(functions)
    {
    }

    // InternetDialA with INTERNET_DIAL_UNATTENDED: dial without asking the user.
    uint32_t Dial(const std::string &entryName, uint64_t *handle) override;
    void HangUp(uint64_t handle) override;
    // Opens HKCU\Software\Microsoft\Internet Explorer\Main "Start Page" (at most 260
    // bytes) with InternetOpenUrlA; false when the value is missing or either open fails.
    bool ProbeStartPage() override;

private:
    HWND parent_;
    WinInetDialFunctions functions_;
};

} // namespace quillon
