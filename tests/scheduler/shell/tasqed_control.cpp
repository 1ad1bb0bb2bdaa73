// tasqed_control: works a running scheduler from outside, as a user or the system would.
// Used by the shell tests and by scripts/demo.sh.
//
//   tasqed_control wait [seconds]   exit 0 once the scheduler's window exists
//   tasqed_control exit [seconds]   choose "&Exit" (command 105); exit 0 once the window is gone
//   tasqed_control menu             right-click on the notification icon
//   tasqed_control watch            choose "&Watch a page..." (command 40010); prints the
//                                   address dialog's place "x y width height" once it is up
//   tasqed_control tick             one minute-timer message now
//   tasqed_control answer [seconds] exit 0 once the notification icon's window answers a
//                                   mouse move over the icon; prints how long that took
//   tasqed_control succeed          do nothing and end with exit code -1 (a successful task)
//   tasqed_control linger [seconds] a task that keeps running: sleep, then end with -1
//
// Exit code 1 when the scheduler's window was not found (or did not go) in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kClassName[] = "TASQED";
constexpr char kTitle[] = "Quillon Scheduler";
constexpr UINT_PTR kMinuteTimerId = 0xAEAE;
constexpr WPARAM kExitCommand = 105;
constexpr WPARAM kWatchPageCommand = 40010;

HWND FindScheduler() { return FindWindowA(kClassName, kTitle); }

HWND WaitForScheduler(DWORD seconds)
{
    DWORD deadline = GetTickCount() + seconds * 1000;
    for (;;) {
        if (HWND window = FindScheduler())
            return window;
        if (static_cast<LONG>(GetTickCount() - deadline) >= 0)
            return nullptr;
        Sleep(100);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    const char *command = argv[1];
    DWORD seconds = argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) : 10;
    if (std::strcmp(command, "succeed") == 0)
        return -1;
    if (std::strcmp(command, "linger") == 0) {
        Sleep(seconds * 1000);
        return -1;
    }
    HWND window = WaitForScheduler(std::strcmp(command, "wait") == 0 ? seconds : 2);
    if (window == nullptr)
        return 1;
    if (std::strcmp(command, "wait") == 0)
        return 0;
    if (std::strcmp(command, "exit") == 0) {
        PostMessageA(window, WM_COMMAND, kExitCommand, 0);
        DWORD deadline = GetTickCount() + seconds * 1000;
        while (IsWindow(window)) {
            if (static_cast<LONG>(GetTickCount() - deadline) >= 0)
                return 1;
            Sleep(100);
        }
        return 0;
    }
    if (std::strcmp(command, "menu") == 0) {
        UINT iconMessage = RegisterWindowMessageA("kestr:tasqed");
        PostMessageA(window, iconMessage, iconMessage, WM_RBUTTONDOWN);
        return 0;
    }
    if (std::strcmp(command, "watch") == 0) {
        PostMessageA(window, WM_CANCELMODE, 0, 0); // an open icon menu closes first
        PostMessageA(window, WM_COMMAND, kWatchPageCommand, 0);
        DWORD deadline = GetTickCount() + seconds * 1000;
        HWND dialog = nullptr;
        while ((dialog = FindWindowA("#32770", "Watch a Page")) == nullptr || !IsWindowVisible(dialog)) {
            if (static_cast<LONG>(GetTickCount() - deadline) >= 0)
                return 1;
            Sleep(100);
        }
        RECT rect = {};
        GetWindowRect(dialog, &rect);
        std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
        return 0;
    }
    if (std::strcmp(command, "answer") == 0) {
        // What the shell does when the pointer passes over the icon: a sent message that
        // a scheduler busy in its minute tick cannot answer until the tick ends.
        UINT iconMessage = RegisterWindowMessageA("kestr:tasqed");
        DWORD start = GetTickCount();
        for (;;) {
            DWORD_PTR result = 0;
            if (SendMessageTimeoutA(window, iconMessage, iconMessage, WM_MOUSEMOVE, SMTO_NORMAL, 250, &result) != 0) {
                std::printf("answered after %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
                return 0;
            }
            if (!IsWindow(window) || GetTickCount() - start >= seconds * 1000)
                return 3;
        }
    }
    if (std::strcmp(command, "tick") == 0) {
        PostMessageA(window, WM_TIMER, kMinuteTimerId, 0);
        return 0;
    }
    return 2;
}
