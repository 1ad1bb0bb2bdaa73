// A mail library without QLLogoff, for the engine's tests.
#include <windows.h>

extern "C" {
__declspec(dllexport) LONG WINAPI QLLogon(LPSTR, LPSTR, ULONG *session, int, LPSTR)
{
    *session = 1;
    return 0;
}
__declspec(dllexport) LONG WINAPI QLSendMessage(ULONG, LPSTR, LPSTR, LPSTR, LPSTR) { return 0; }
}
