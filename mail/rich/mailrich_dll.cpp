// mailrich.dll: the Extended MAPI mail library. It is bound to MAPI32.DLL; the four MAPI
// utility functions whose export names differ between implementations are looked up in
// that same module when the library loads, and a MAPI32.DLL lacking one of them refuses
// the load as a missing import would. No exception leaves an export: each body is
// wrapped and reports E_FAIL.
#include <windows.h>

#include <new>

#include "mail/mail_contract.h"
#include "mail/mail_export.h"
#include "common/runtime_release.h"
#include "mail/rich/mapi_utilities.h"
#include "mail/rich/rich_library.h"

namespace {

quillon::RichLibrary *g_library = nullptr;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        OutputDebugStringA("MAILRICH loading\n");
        DisableThreadLibraryCalls(instance);
        // The MAPI32.DLL this library was bound to is loaded by now.
        quillon::MapiUtilities utilities;
        if (!quillon::ResolveMapiUtilities(GetModuleHandleA("MAPI32.DLL"), &utilities))
            return FALSE;
        g_library = new (std::nothrow) quillon::RichLibrary(utilities);
        return g_library != nullptr;
    }
    case DLL_PROCESS_DETACH:
        OutputDebugStringA("MAILRICH unloading\n");
        // A session still open here is left to MAPI: calling into it under the loader
        // lock is not safe. The scheduler always logs off before it unloads.
        if (reserved == nullptr) {
            delete g_library;
            quillon::ReleaseRuntimeAtUnload();
        }
        g_library = nullptr;
        break;
    default:
        break;
    }
    return TRUE;
}

extern "C" quillon::MailResult QL_CALL QLLogon(const char *profile, const char *password,
                                                 quillon::MailSession *session, int logging, const char *logFile)
{
    return quillon::CallMailLibrary(g_library, [&](quillon::RichLibrary &library) {
        return library.Logon(profile, password, session, logging, logFile);
    });
}

extern "C" quillon::MailResult QL_CALL QLSendMessage(quillon::MailSession session, const char *sender,
                                                       const char *destination, const char *subject,
                                                       const char *body)
{
    return quillon::CallMailLibrary(g_library, [&](quillon::RichLibrary &library) {
        return library.Send(session, sender, destination, subject, body);
    });
}

extern "C" quillon::MailResult QL_CALL QLLogoff(quillon::MailSession session)
{
    return quillon::CallMailLibrary(g_library, [&](quillon::RichLibrary &library) {
        return library.Logoff(session);
    });
}
