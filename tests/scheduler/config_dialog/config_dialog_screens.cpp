// config_dialog_screens OUTDIR [TASQEN_DLL]: opens the configuration dialog on the current
// configuration, shows each of its six pages in turn and saves a picture of the dialog
// for each as OUTDIR\config-N.bmp (N = 1..6), then cancels. For the README's pictures
// (scripts/demo/screenshots.sh converts them to PNG).
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "resources/resource_ids.h"
#include "scheduler/config_dialog/config_dialog.h"

namespace {

std::string g_outDir;
int g_step = 0;
constexpr int kPages = 6;

bool SaveWindowPicture(HWND window, const std::string &path)
{
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    const DWORD stride = ((width * 3 + 3) / 4) * 4;
    const DWORD imageSize = stride * height;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    bool saved = false;
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        saved = WriteFile(out, &file, sizeof file, &written, nullptr) &&
                WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
                WriteFile(out, bits, imageSize, &written, nullptr);
        CloseHandle(out);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

BOOL CALLBACK FindConfigurationDialog(HWND window, LPARAM result)
{
    char caption[128] = "";
    GetWindowTextA(window, caption, sizeof caption);
    if (IsWindowVisible(window) && std::string(caption) == "Quillon Configuration") {
        *reinterpret_cast<HWND *>(result) = window;
        return FALSE;
    }
    return TRUE;
}

// Every half second: show the next page, then picture it on the following step.
void CALLBACK Step(HWND, UINT, UINT_PTR, DWORD)
{
    HWND frame = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindConfigurationDialog, reinterpret_cast<LPARAM>(&frame));
    if (frame == nullptr)
        return;
    const int page = g_step / 2;
    if (page >= kPages) {
        PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    HWND tabs = GetDlgItem(frame, IDC_CONFIG_TABS);
    if (g_step % 2 == 0) {
        TabCtrl_SetCurSel(tabs, page);
        NMHDR change = {tabs, IDC_CONFIG_TABS, static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageA(frame, WM_NOTIFY, IDC_CONFIG_TABS, reinterpret_cast<LPARAM>(&change));
        RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    } else {
        SaveWindowPicture(frame, g_outDir + "\\config-" + std::to_string(page + 1) + ".bmp");
    }
    ++g_step;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    g_outDir = argv[1];
    HMODULE resources = LoadLibraryA(argc > 2 ? argv[2] : "tasqen.dll");
    if (resources == nullptr)
        return 1;
    quillon::ConfigDialogContext context;
    context.resources = resources;
    context.caption = "Quillon Scheduler";
    SetTimer(nullptr, 0, 500, Step);
    quillon::RunConfigurationDialog(nullptr, context);
    return 0;
}
