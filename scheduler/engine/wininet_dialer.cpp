#include "scheduler/engine/wininet_dialer.h"

#include <wininet.h>

#include "common/internet_handle.h"
#include "common/registry.h"
#include "common/text.h"

namespace quillon {

uint32_t WinInetDialer::Dial(const std::string &entryName, uint32_t *handle)
{
    // mingw declares InternetDial with an LPDWORD connection handle.
    DWORD connection = 0;
    DWORD result = InternetDial(parent_, const_cast<LPSTR>(entryName.c_str()), INTERNET_AUTODIAL_FORCE_UNATTENDED,
                                &connection, 0);
    *handle = connection;
    return result;
}

void WinInetDialer::HangUp(uint32_t handle) { InternetHangUp(handle, 0); }

bool WinInetDialer::ProbeStartPage()
{
    RegistryKey main;
    if (main.Open(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main") != ERROR_SUCCESS)
        return false;
    char startPage[kTextBufferSize] = {};
    if (main.ReadString("Start Page", startPage) != ERROR_SUCCESS)
        return false;
    main.Close();

    InternetHandle internet(InternetOpenA("Microsoft Internet Explorer", INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                         nullptr, 0));
    if (internet.Get() == nullptr)
        return false;
    InternetHandle page(InternetOpenUrlA(internet.Get(), startPage, nullptr, 0, 0, 0));
    return page.Get() != nullptr;
}

} // namespace quillon
