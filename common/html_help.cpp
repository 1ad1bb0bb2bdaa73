#include "common/html_help.h"

namespace quillon {

void ShowHelpContext(HWND owner, const char *helpFilePath, DWORD context)
{
    constexpr UINT kHelpContextCommand = 0x000F;   // HH_HELP_CONTEXT
    using HtmlHelpFunction = HWND(WINAPI *)(HWND, LPCSTR, UINT, DWORD_PTR);
    if (helpFilePath == nullptr || *helpFilePath == '\0' ||
        GetFileAttributesA(helpFilePath) == INVALID_FILE_ATTRIBUTES)
        return;
    // The viewer is loaded once per process and kept. No guarded local static: in a
    // library that is unloaded and loaded again, the runtime's guard leaves a thread
    // handle behind each time; two threads racing here both get the same module.
    static HtmlHelpFunction htmlHelp = nullptr;
    if (htmlHelp == nullptr) {
        HMODULE viewer = LoadLibraryA("hhctrl.ocx");
        if (viewer != nullptr)
            htmlHelp = reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void *>(GetProcAddress(viewer, "HtmlHelpA")));
    }
    if (htmlHelp != nullptr)
        htmlHelp(owner, helpFilePath, kHelpContextCommand, context);
}

} // namespace quillon
