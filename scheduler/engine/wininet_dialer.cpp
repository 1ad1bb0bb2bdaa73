#include "scheduler/engine/wininet_dialer.h"

#include <wininet.h>

#include <memory>

#include "common/internet_handle.h"
#include "common/registry.h"
#include "common/text.h"
#include "scheduler/engine/pumped_wait.h"

namespace quillon {

WinInetDialFunctions SystemWinInetDialFunctions() { return {&InternetDialA, &InternetHangUp}; }

namespace {

struct DialResult {
    DWORD result = ERROR_CANCELLED;
    DWORD_PTR connection = 0;
};

bool ProbeStartPageHere()
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

} // namespace

uint32_t WinInetDialer::Dial(const std::string &entryName, uint64_t *handle)
{
    auto box = std::make_shared<DialResult>();
    WinInetDialFunctions functions = functions_;
    HWND parent = parent_;
    std::string name = entryName;   // the export takes a writable text
    CallThread dialling(exitRequested_, false);
    auto call = [=]() mutable {
        box->result = functions.dial(parent, &name[0], INTERNET_DIAL_UNATTENDED, &box->connection, 0);
    };
    if (!dialling.Started())
        call();
    else if (!dialling.Run(call))
        return ERROR_CANCELLED;   // abandoned: failed, and no handle to hang up
    *handle = static_cast<uint64_t>(box->connection);
    return box->result;
}

void WinInetDialer::HangUp(uint64_t handle) { functions_.hangUp(static_cast<DWORD_PTR>(handle), 0); }

bool WinInetDialer::ProbeStartPage()
{
    auto reached = std::make_shared<bool>(false);
    CallThread probing(exitRequested_, false);
    auto call = [reached]() { *reached = ProbeStartPageHere(); };
    if (!probing.Started())
        call();
    else if (!probing.Run(call))
        return false;
    return *reached;
}

} // namespace quillon
