#include "scheduler/engine/wininet_dialer.h"

#include <wininet.h>

#include "common/internet_handle.h"
#include "common/registry.h"
#include "common/text.h"

namespace quillon {

WinInetDialFunctions SystemWinInetDialFunctions() { return {&InternetDialA, &InternetHangUp}; }

uint32_t WinInetDialer::Dial(const std::string &entryName, uint64_t *handle)
{
    DWORD_PTR connection = 0;
    std::string name = entryName;   // the export takes a writable text
    DWORD result = functions_.dial(parent_, &name[0], INTERNET_DIAL_UNATTENDED, &connection, 0);
    *handle = static_cast<uint64_t>(connection);
    return result;
}

void WinInetDialer::HangUp(uint64_t handle) { functions_.hangUp(static_cast<DWORD_PTR>(handle), 0); }

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
