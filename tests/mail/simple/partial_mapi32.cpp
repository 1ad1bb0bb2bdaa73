// A MAPI32.DLL that lacks MAPILogoff, for the test of a messaging library without one
// of the three Simple MAPI functions. The two it has fail every call.
#include <windows.h>
#include <mapi.h>

extern "C" ULONG WINAPI MAPILogon(ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPLHANDLE) { return MAPI_E_FAILURE; }

extern "C" ULONG WINAPI MAPISendMail(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG) { return MAPI_E_FAILURE; }
