// mailwire's own session code (WireLibrary) as a mail library with short waits, for the
// scheduler tests against a tarpitting server: the product's 30 s reply wait and 120 s
// message deadline would make each case minutes long. The waits come from the
// environment (QUILLON_WIRE_REPLY_MS, QUILLON_WIRE_MESSAGE_MS; 2000 and 8000 when
// absent). When QUILLON_WIRE_UNLOAD_MARKER names a file, each unload appends one line to
// it, so a test sees where each dispatch pass ended.
#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <new>

#include "mail/mail_contract.h"
#include "mail/mail_export.h"
#include "mail/wire/wire_session.h"

namespace {

quillon::WireLibrary *g_library = nullptr;

DWORD WaitFromEnvironment(const char *name, DWORD fallback)
{
    char text[32] = {};
    DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
    if (length == 0 || length >= sizeof text)
        return fallback;
    return static_cast<DWORD>(std::strtoul(text, nullptr, 10));
}

void MarkUnload()
{
    char marker[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("QUILLON_WIRE_UNLOAD_MARKER", marker, sizeof marker);
    if (length == 0 || length >= sizeof marker)
        return;
    HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, "unloaded\r\n", 10, &written, nullptr);
    CloseHandle(file);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        quillon::WireSettings settings;
        if (!quillon::LoadSmtpSettings(&settings))
            return FALSE;
        g_library = new (std::nothrow) quillon::WireLibrary(settings,
                                                            WaitFromEnvironment("QUILLON_WIRE_REPLY_MS", 2000),
                                                            WaitFromEnvironment("QUILLON_WIRE_MESSAGE_MS", 8000));
        return g_library != nullptr;
    }
    if (reason == DLL_PROCESS_DETACH) {
        if (reserved == nullptr) {
            delete g_library;
            MarkUnload();
        }
        g_library = nullptr;
    }
    return TRUE;
}

extern "C" quillon::MailResult QL_CALL QLLogon(const char *, const char *, quillon::MailSession *session, int logging,
                                                 const char *logFile)
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
