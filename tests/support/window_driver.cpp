#include "tests/support/window_driver.h"

#include <commctrl.h>

#include <chrono>
#include <thread>

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


namespace {

struct FindData {
    int controlId;
    HWND found;
};

BOOL CALLBACK FindProc(HWND window, LPARAM lParam)
{
    auto *data = reinterpret_cast<FindData *>(lParam);
    if (!IsWindowVisible(window))
        return TRUE;
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) != "#32770")
        return TRUE;
    if (data->controlId != 0 && GetDlgItem(window, data->controlId) == nullptr)
        return TRUE;
    data->found = window;
    return FALSE;
}

BOOL CALLBACK CancelProc(HWND window, LPARAM)
{
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) == "#32770")
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
}

} // namespace

HWND FindThreadDialog(DWORD thread, int controlId)
{
    FindData data{controlId, nullptr};
    EnumThreadWindows(thread, FindProc, reinterpret_cast<LPARAM>(&data));
    return data.found;
}

HWND WaitForThreadDialog(DWORD thread, int controlId, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND found = FindThreadDialog(thread, controlId))
            return found;
        if (GetTickCount() - start > timeoutMs)
            return nullptr;
        Sleep(20);
    }
}

long RunDriven(const std::function<long()> &modal, const std::function<void(DWORD thread)> &drive, DWORD limitMs)
{
    const DWORD mainThread = GetCurrentThreadId();
    std::atomic<bool> modalDone{false};
    std::thread driver([&] {
        std::atomic<bool> driveDone{false};
        std::thread worker([&] {
            drive(mainThread);
            driveDone = true;
        });
        const DWORD start = GetTickCount();
        while (!driveDone && GetTickCount() - start < limitMs)
            Sleep(20);
        // A driver that closed its dialog gets time for the modal loop to end, so a late
        // cancel cannot overwrite the result it chose with EndDialog.
        const DWORD grace = GetTickCount();
        while (driveDone && !modalDone && GetTickCount() - grace < 3000)
            Sleep(20);
        // Whatever the driver left open (or a driver stuck on a blocked call) is cancelled.
        while (!modalDone) {
            EnumThreadWindows(mainThread, CancelProc, 0);
            Sleep(100);
        }
        worker.join();
    });
    long result = modal();
    modalDone = true;
    driver.join();
    return result;
}

void SetItemText(HWND dialog, int id, const char *text)
{
    SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

std::string ItemText(HWND dialog, int id)
{
    char text[4096] = {};
    SendDlgItemMessageA(dialog, id, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

void Click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }

void PostClick(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void SelectListEntry(HWND dialog, int id, int position)
{
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, position, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

int ListSelection(HWND dialog, int id) { return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0)); }

namespace {

void SetPicker(HWND dialog, int id, const SYSTEMTIME &st)
{
    SendDlgItemMessageA(dialog, id, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
    NMDATETIMECHANGE change{};
    change.nmhdr.hwndFrom = GetDlgItem(dialog, id);
    change.nmhdr.idFrom = id;
    change.nmhdr.code = DTN_DATETIMECHANGE;
    change.dwFlags = GDT_VALID;
    change.st = st;
    SendMessageA(dialog, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&change));
}

SYSTEMTIME PickerValue(HWND dialog, int id)
{
    SYSTEMTIME st{};
    SendDlgItemMessageA(dialog, id, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
    return st;
}

} // namespace

void SetPickerTime(HWND dialog, int id, int hour, int minute)
{
    SYSTEMTIME st = PickerValue(dialog, id);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = 0;
    st.wMilliseconds = 0;
    SetPicker(dialog, id, st);
}

void SetPickerDate(HWND dialog, int id, int year, int month, int day)
{
    SYSTEMTIME st = PickerValue(dialog, id);
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wDayOfWeek = 0;
    SetPicker(dialog, id, st);
}

bool IsChecked(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool IsEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
bool IsShown(HWND dialog, int id) { return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0; }

std::string WindowTitle(HWND window) { return WindowText(window); }

} // namespace quillon::test
