// mailpush.dll: the push-notification library (ntfy, Telegram, Discord, Slack or
// Mattermost, Gotify, Pushover, a JSON webhook). The settings are read once per load;
// the scheduler loads the library afresh for every dispatch pass. No exception leaves
// an export: each body is wrapped and reports E_FAIL.
#include <windows.h>

#include <new>

#include "mail/mail_contract.h"
#include "mail/mail_export.h"
#include "common/push/push_secret.h"
#include "mail/push/push_session.h"
#include "common/runtime_release.h"

namespace {

quillon::PushLibrary *g_library = nullptr;

// As in mailwire: the system libraries this one pulls in stay loaded once it has been
// loaded, so that the load and unload of every pass does not cost memory each time.
void KeepSystemLibrariesLoaded()
{
    for (const char *name : {"winhttp.dll", "crypt32.dll"}) {
        HMODULE module = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &module);
    }
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        OutputDebugStringA("MAILPUSH loading\n");
        DisableThreadLibraryCalls(instance);
        KeepSystemLibrariesLoaded();
        try {
            quillon::push::ServiceSettings settings;
            bool secretReadable = false;
            quillon::LoadPushSettings(&settings, &secretReadable);
            g_library = new (std::nothrow) quillon::PushLibrary(settings, secretReadable);
            quillon::ClearSecretText(&settings.secret);
        } catch (...) {
            g_library = nullptr;
        }
        return g_library != nullptr;
    }
    case DLL_PROCESS_DETACH:
        OutputDebugStringA("MAILPUSH unloading\n");
        // At process exit (reserved != null) other DLLs may be gone already: leave the
        // memory to the system then.
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
    return quillon::CallMailLibrary(g_library, [&](quillon::PushLibrary &library) {
        return library.Logon(session, logging, logFile);
    });
}

extern "C" quillon::MailResult QL_CALL QLSendMessage(quillon::MailSession session, const char *sender,
                                                       const char *destination, const char *subject,
                                                       const char *body)
{
    return quillon::CallMailLibrary(g_library, [&](quillon::PushLibrary &library) {
        return library.Send(session, subject, body);
    });
}

extern "C" quillon::MailResult QL_CALL QLLogoff(quillon::MailSession session)
{
    return quillon::CallMailLibrary(g_library, [&](quillon::PushLibrary &library) { return library.Logoff(session); });
}
