// Dialling and the reachability probe through WinInet.
#pragma once

#include <windows.h>

#include "scheduler/engine/engine_seams.h"

namespace quillon {

class WinInetDialer : public Dialer {
public:
    // `parent` is the scheduler's hidden main window, the owner of any dial-up dialog.
    explicit WinInetDialer(HWND parent) : parent_(parent) {}

    // InternetDial with INTERNET_AUTODIAL_FORCE_UNATTENDED.
    uint32_t Dial(const std::string &entryName, uint32_t *handle) override;
    void HangUp(uint32_t handle) override;
    // Opens HKCU\Software\Microsoft\Internet Explorer\Main "Start Page" (at most 260
    // bytes) with InternetOpenUrlA; false when the value is missing or either open fails.
    bool ProbeStartPage() override;

private:
    HWND parent_;
};

} // namespace quillon
