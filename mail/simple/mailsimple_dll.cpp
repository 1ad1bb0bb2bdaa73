// MAILSIMPLE.DLL: the Simple MAPI mail library, the one the scheduler loads when the
// configuration names none. MAPI32.DLL is loaded with the library and released with
// it; without MAPI32.DLL, or when it lacks one of the three Simple MAPI functions, the
// library refuses to load, so the scheduler's load fails and its queue waits instead
// of the library failing later at a call. No exception leaves an export.
#include <windows.h>

#include <string>

#include "common/log.h"
#include "common/text.h"
#include "mail/mail_contract.h"
#include "mail/mail_export.h"
#include "common/runtime_release.h"
#include "mail/simple/simple_mapi_session.h"
#include "mail/simple/simple_settings.h"

namespace {

HMODULE g_mapi = nullptr;
quillon::SimpleMapiSession g_library;

// A refused load leaves no other trace for the user: say why in the log, when logging
// is on. No QLLogon has named the log file yet, so the configuration does.
void LogLoadRefusal(const char *reason)
{
    try {
        std::string logFile = quillon::LoadRefusalLogFile();
        quillon::AppendLogText(logFile.c_str(), std::string("MAILSIMPLE ") + reason + "\r\n");
    } catch (...) {
    }
}

BOOL AttachProcess()
{
    quillon::UniqueModule mapi(LoadLibraryA("MAPI32.DLL"));
    DWORD loadError = GetLastError();
    OutputDebugStringA("MAILSIMPLE loading\n");
    if (!mapi) {
        char reason[quillon::kTextBufferSize];
        quillon::FormatBounded(reason, "MAPI32.DLL load error %lu", static_cast<unsigned long>(loadError));
        LogLoadRefusal(reason);
        return FALSE;
    }
    quillon::SimpleMapiFunctions functions;
    const char *missing = nullptr;
    if (!quillon::ResolveSimpleMapi(mapi, &functions, &missing)) {
        char reason[quillon::kTextBufferSize];
        quillon::FormatBounded(reason, "MAPI32.DLL has no %s", missing);
        LogLoadRefusal(reason);
        return FALSE;
    }
    g_library.Bind(functions);
    // Kept until the process detaches: the bound functions live in it.
    g_mapi = mapi.Release();
    return TRUE;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        return AttachProcess();
    case DLL_PROCESS_DETACH:
        // At process exit (reserved != null) MAPI32.DLL may be gone already.
        g_library.Bind(quillon::SimpleMapiFunctions());
        if (g_mapi != nullptr && reserved == nullptr)
            FreeLibrary(g_mapi);
        g_mapi = nullptr;
        if (reserved == nullptr)
            quillon::ReleaseRuntimeAtUnload();
        OutputDebugStringA("MAILSIMPLE unloading\n");
        break;
    default:
        break;
    }
    return TRUE;
}

extern "C" quillon::MailResult QL_CALL QLLogon(const char *profile, const char *password,
                                                 quillon::MailSession *session, int logging, const char *logFile)
{
    return quillon::CallMailLibrary(&g_library, [&](quillon::SimpleMapiSession &library) {
        return library.Logon(profile, password, session, logging, logFile);
    });
}

extern "C" quillon::MailResult QL_CALL QLSendMessage(quillon::MailSession session, const char *sender,
                                                       const char *destination, const char *subject,
                                                       const char *body)
{
    return quillon::CallMailLibrary(&g_library, [&](quillon::SimpleMapiSession &library) {
        return library.Send(session, sender, destination, subject, body);
    });
}

extern "C" quillon::MailResult QL_CALL QLLogoff(quillon::MailSession session)
{
    return quillon::CallMailLibrary(&g_library, [&](quillon::SimpleMapiSession &library) {
        return library.Logoff(session);
    });
}
