#include "window_driver.h"

namespace quillon::test {

namespace {

struct Search {
    const std::function<bool(HWND)> *match;
    bool requireVisible;
    HWND found;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM parameter)
{
    Search *search = reinterpret_cast<Search *>(parameter);
    if (search->requireVisible && !IsWindowVisible(window))
        return TRUE;
    if ((*search->match)(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

void PumpFor(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

HWND WaitForThreadWindow(DWORD threadId, const std::function<bool(HWND)> &match, DWORD timeoutMs,
                         bool requireVisible)
{
    DWORD start = GetTickCount();
    for (;;) {
        Search search{&match, requireVisible, nullptr};
        EnumThreadWindows(threadId, VisitWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            return search.found;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        PumpFor(20);
    }
}

std::string WindowText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

HWND WaitForDialog(DWORD threadId, const std::string &caption, DWORD timeoutMs)
{
    return WaitForThreadWindow(
        threadId, [&](HWND window) { return ClassOf(window) == "#32770" && WindowText(window) == caption; },
        timeoutMs);
}

std::string MessageBoxTextOf(HWND box)
{
    char text[1024] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

HWND WaitForMessageBox(DWORD threadId, const std::string &text, DWORD timeoutMs)
{
    return WaitForThreadWindow(
        threadId, [&](HWND window) { return ClassOf(window) == "#32770" && MessageBoxTextOf(window) == text; },
        timeoutMs);
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpFor(20);
    }
    return true;
}

void PostClick(HWND dialog, int buttonId)
{
    PostMessageA(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0);
}

} // namespace quillon::test
