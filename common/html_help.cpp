#include "common/html_help.h"

#include <atomic>

#include "common/handles.h"

namespace quillon {

void ShowHelpContext(HWND owner, const char *helpFilePath, DWORD context)
{
    constexpr UINT kHelpContextCommand = 0x000F;   // HH_HELP_CONTEXT
    using HtmlHelpFunction = HWND(WINAPI *)(HWND, LPCSTR, UINT, DWORD_PTR);
    if (helpFilePath == nullptr || *helpFilePath == '\0' ||
        GetFileAttributesA(helpFilePath) == INVALID_FILE_ATTRIBUTES)
        return;
    // The viewer is loaded once per process and kept. Not a local static built at first
    // use: in a library that is unloaded and loaded again, the runtime's guard for such a
    // static leaves a thread handle behind each time. Two threads racing here both load
    // the same module and store the same address.
    static std::atomic<HtmlHelpFunction> entryPoint{nullptr};
    HtmlHelpFunction htmlHelp = entryPoint.load();
    if (htmlHelp == nullptr) {
        UniqueModule viewer(LoadLibraryA("hhctrl.ocx"));
        htmlHelp = viewer.Resolve<HtmlHelpFunction>("HtmlHelpA");
        if (htmlHelp != nullptr)
            viewer.Release();   // stays loaded for the process: the address is kept
        entryPoint.store(htmlHelp);
    }
    if (htmlHelp != nullptr)
        htmlHelp(owner, helpFilePath, kHelpContextCommand, context);
}

bool HandleContextHelp(HWND dialog, UINT message, WPARAM wParam, const char *helpFilePath, DWORD context)
{
    bool isHelp = (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CONTEXTHELP) || message == WM_HELP;
    if (!isHelp)
        return false;
    ShowHelpContext(dialog, helpFilePath, context);
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
    return true;
}

} // namespace quillon
