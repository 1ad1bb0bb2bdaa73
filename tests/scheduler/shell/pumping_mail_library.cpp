// A mail library whose log-on works a message loop for a while, as a mail system's
// log-on dialog or a dial-up dialog does inside the scheduler's minute tick. It creates
// the file named by QUILLON_PUMP_MARKER when its loop starts, dispatches messages for
// at most five seconds (a quit message ends the loop early and is posted again, as
// modal loops do), and then refuses the log-on.
#include <windows.h>

extern "C" {

__declspec(dllexport) LONG WINAPI QLLogon(LPSTR, LPSTR, ULONG *session, int, LPSTR)
{
    *session = 0;
    char marker[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("QUILLON_PUMP_MARKER", marker, sizeof marker);
    if (length > 0 && length < sizeof marker) {
        HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 5000) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                return -1;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    }
    return -1;
}

__declspec(dllexport) LONG WINAPI QLSendMessage(ULONG, LPSTR, LPSTR, LPSTR, LPSTR) { return -1; }

__declspec(dllexport) LONG WINAPI QLLogoff(ULONG) { return 0; }

} // extern "C"
