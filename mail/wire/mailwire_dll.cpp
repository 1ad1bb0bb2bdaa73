// mailwire.dll: the SMTP mail library (with optional POP3 log-in first). The settings
// are read once per load; the scheduler loads the library afresh for every dispatch
// pass. No exception leaves an export: each body is wrapped and reports E_FAIL.
#include <winsock2.h>
#include <windows.h>

#include <new>

#include "mail/mail_contract.h"
#include "mail/mail_export.h"
#include "common/runtime_release.h"
#include "mail/wire/wire_session.h"

namespace {

quillon::WireLibrary *g_library = nullptr;

// The scheduler loads and unloads this library for every dispatch pass, and with it the
// system's socket and security libraries when nothing else in the process holds them.
// Each unload and reload of those costs memory that the system never returns (some
// hundreds of bytes a pass under Wine), so once this library has been loaded they stay
// loaded for the life of the process. Failure only means they are unloaded with us as before.
void KeepSystemLibrariesLoaded()
{
    for (const char *name : {"ws2_32.dll", "secur32.dll"}) {
        HMODULE module = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &module);
    }
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        OutputDebugStringA("MAILWIRE loading\n");
        DisableThreadLibraryCalls(instance);
        KeepSystemLibrariesLoaded();
        quillon::WireSettings settings;
        if (!quillon::LoadSmtpSettings(&settings))
            return FALSE;  // no SMTPServer: the load fails
        g_library = new (std::nothrow) quillon::WireLibrary(settings);
        SecureZeroMemory(settings.password, sizeof settings.password);
        return g_library != nullptr;
    }
    case DLL_PROCESS_DETACH:
        OutputDebugStringA("MAILWIRE unloading\n");
        // At process exit (reserved != null) other DLLs may be gone already: leave the
        // memory and sockets to the system then.
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
    return quillon::CallMailLibrary(g_library, [&](quillon::WireLibrary &library) {
        return library.Logon(session, logging, logFile);
    });
}

extern "C" quillon::MailResult QL_CALL QLSendMessage(quillon::MailSession session, const char *sender,
                                                       const char *destination, const char *subject,
                                                       const char *body)
{
    return quillon::CallMailLibrary(g_library, [&](quillon::WireLibrary &library) {
        return library.Send(session, sender, destination, subject, body);
    });
}

extern "C" quillon::MailResult QL_CALL QLLogoff(quillon::MailSession session)
{
    return quillon::CallMailLibrary(g_library, [&](quillon::WireLibrary &library) { return library.Logoff(session); });
}
