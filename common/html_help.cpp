#include "common/html_help.h"

namespace quillon {

void ShowHelpContext(HWND owner, const char *helpFilePath, DWORD context)
{
    constexpr UINT kHelpContextCommand = 0x000F;   // HH_HELP_CONTEXT
    using HtmlHelpFunction = HWND(WINAPI *)(HWND, LPCSTR, UINT, DWORD_PTR);
    if (helpFilePath == nullptr || *helpFilePath == '\0' ||
        GetFileAttributesA(helpFilePath) == INVALID_FILE_ATTRIBUTES)
        return;
    static const HtmlHelpFunction htmlHelp = []() -> HtmlHelpFunction {
        HMODULE viewer = LoadLibraryA("hhctrl.ocx");
        if (viewer == nullptr)
            return nullptr;
        return reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void *>(GetProcAddress(viewer, "HtmlHelpA")));
    }();
    if (htmlHelp != nullptr)
        htmlHelp(owner, helpFilePath, kHelpContextCommand, context);
}

} // namespace quillon
