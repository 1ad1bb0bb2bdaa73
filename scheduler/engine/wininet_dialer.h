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
    // Tests may pass their own functions in place of WinInet's. exitRequested: see
    // Dial.
    explicit WinInetDialer(HWND parent, WinInetDialFunctions functions = SystemWinInetDialFunctions(),
                           const bool *exitRequested = nullptr)
        : parent_(parent), functions_(functions), exitRequested_(exitRequested)
    {
    }

    // InternetDialA with INTERNET_DIAL_UNATTENDED: dial without asking the user. Dialling
    // and the probe run on a thread of their own while the caller waits dispatching its
    // messages (pumped_wait.h); one abandoned because the scheduler is ending counts as
    // failed.
    uint32_t Dial(const std::string &entryName, uint64_t *handle) override;
    void HangUp(uint64_t handle) override;
    // Opens HKCU\Software\Microsoft\Internet Explorer\Main "Start Page" (at most 260
    // bytes) with InternetOpenUrlA; false when the value is missing or either open fails.
    bool ProbeStartPage() override;

private:
    HWND parent_;
    WinInetDialFunctions functions_;
    const bool *exitRequested_;
};

} // namespace quillon
