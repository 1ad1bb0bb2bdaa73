// A stand-in for the user's mail client behind Simple MAPI: the system's MAPI32.DLL
// forwards MAPILogon, MAPISendMail and MAPILogoff to the DLL registered as the default
// mail client, and this is that DLL in the tests. It keeps its open sessions (all above
// 4 GiB), fails on command (see mail_client_double_control.h), resolves every recipient
// except the one named unknown, and writes every call with every field of the records
// it was handed to the journal file, so a test can compare them exactly.
#include <windows.h>
#include <mapi.h>

#include <cstdio>
#include <set>
#include <string>

#include "tests/mail/simple/mail_client_double_control.h"

namespace {

namespace control = quillon::test::mail_client;

std::set<ULONG_PTR> g_openSessions;
ULONG_PTR g_nextSession = control::kFirstSession;

class ControlKey {
public:
    ControlKey() { RegOpenKeyExA(HKEY_CURRENT_USER, control::kControlKeyPath, 0, KEY_ALL_ACCESS, &key_); }
    ~ControlKey()
    {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    DWORD Number(const char *name, DWORD defaultValue) const
    {
        DWORD value = 0, size = sizeof value, type = 0;
        if (key_ == nullptr || RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) !=
                                   ERROR_SUCCESS || type != REG_DWORD)
            return defaultValue;
        return value;
    }
    std::string Text(const char *name) const
    {
        char value[1024] = "";
        DWORD size = sizeof value - 1, type = 0;
        if (key_ == nullptr || RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &size) !=
                                   ERROR_SUCCESS || type != REG_SZ)
            return std::string();
        value[size] = '\0';
        return value;
    }
    // Takes the value away once used, so it steers exactly one logon.
    bool TakeQword(const char *name, ULONG_PTR *value) const
    {
        unsigned long long data = 0;
        DWORD size = sizeof data, type = 0;
        if (key_ == nullptr || RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE *>(&data), &size) !=
                                   ERROR_SUCCESS || type != REG_QWORD)
            return false;
        RegDeleteValueA(key_, name);
        *value = static_cast<ULONG_PTR>(data);
        return true;
    }

private:
    HKEY key_ = nullptr;
};

std::string Hex(unsigned long long value)
{
    char text[32];
    snprintf(text, sizeof text, "0x%llX", value);
    return text;
}

std::string Quoted(const char *text)
{
    if (text == nullptr)
        return "null";
    std::string quoted = "\"";
    for (const char *p = text; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\\' || c == '"') {
            quoted += '\\';
            quoted += *p;
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c < 0x20 || c >= 0x7f) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            quoted += escaped;
        } else {
            quoted += *p;
        }
    }
    return quoted + "\"";
}

std::string Pointer(const void *pointer) { return pointer == nullptr ? "null" : "set"; }

void Journal(const ControlKey &key, const std::string &line)
{
    std::string path = key.Text(control::kJournalValue);
    if (path.empty())
        return;
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Recipient(const char *label, const MapiRecipDesc &recipient)
{
    return std::string("  ") + label + " reserved=" + std::to_string(recipient.ulReserved) +
           " recipClass=" + std::to_string(recipient.ulRecipClass) + " name=" + Quoted(recipient.lpszName) +
           " address=" + Quoted(recipient.lpszAddress) + " eidSize=" + std::to_string(recipient.ulEIDSize) +
           " entryID=" + Pointer(recipient.lpEntryID);
}

} // namespace

extern "C" ULONG WINAPI MAPILogon(ULONG_PTR uiParam, LPSTR profile, LPSTR password, FLAGS flags, ULONG reserved,
                                  LPLHANDLE session)
{
    ControlKey key;
    ULONG result = key.Number(control::kLogonResultValue, SUCCESS_SUCCESS);
    std::string line = "MAPILogon uiParam=" + Hex(uiParam) + " profile=" + Quoted(profile) + " password=" +
                       Quoted(password) + " flags=" + Hex(flags) + " reserved=" + std::to_string(reserved) +
                       " result=" + std::to_string(result);
    if (result == SUCCESS_SUCCESS) {
        ULONG_PTR opened = 0;
        if (!key.TakeQword(control::kNextSessionValue, &opened))
            opened = g_nextSession++;
        g_openSessions.insert(opened);
        if (session != nullptr)
            *session = opened;
        line += " session=" + Hex(opened);
    }
    Journal(key, line);
    return result;
}

extern "C" ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR uiParam, lpMapiMessage message, FLAGS flags,
                                     ULONG reserved)
{
    ControlKey key;
    ULONG result = SUCCESS_SUCCESS;
    std::string unknown = key.Text(control::kUnknownRecipientValue);
    if (g_openSessions.count(session) == 0)
        result = MAPI_E_INVALID_SESSION;
    else if (message == nullptr)
        result = MAPI_E_FAILURE;
    else if (message->nRecipCount == 0 || message->lpRecips == nullptr)
        result = MAPI_E_INVALID_RECIPS;
    else
        for (ULONG i = 0; i < message->nRecipCount && result == SUCCESS_SUCCESS; ++i)
            if (!unknown.empty() && message->lpRecips[i].lpszName != nullptr && unknown == message->lpRecips[i].lpszName)
                result = MAPI_E_UNKNOWN_RECIPIENT;
    Journal(key, "MAPISendMail session=" + Hex(session) + " uiParam=" + Hex(uiParam) + " flags=" + Hex(flags) +
                     " reserved=" + std::to_string(reserved) + " result=" + std::to_string(result));
    if (message == nullptr)
        return result;
    Journal(key, "  message reserved=" + std::to_string(message->ulReserved) + " subject=" +
                     Quoted(message->lpszSubject) + " noteText=" + Quoted(message->lpszNoteText) +
                     " messageType=" + Quoted(message->lpszMessageType) + " dateReceived=" +
                     Quoted(message->lpszDateReceived) + " conversationID=" + Quoted(message->lpszConversationID) +
                     " flags=" + Hex(message->flFlags) + " recipCount=" + std::to_string(message->nRecipCount) +
                     " fileCount=" + std::to_string(message->nFileCount) + " files=" + Pointer(message->lpFiles));
    if (message->lpOriginator != nullptr)
        Journal(key, Recipient("originator", *message->lpOriginator));
    else
        Journal(key, "  originator null");
    // A handful is all any test hands over; more would only mean a runaway count.
    for (ULONG i = 0; message->lpRecips != nullptr && i < message->nRecipCount && i < 8; ++i)
        Journal(key, Recipient(("recipient[" + std::to_string(i) + "]").c_str(), message->lpRecips[i]));
    return result;
}

extern "C" ULONG WINAPI MAPILogoff(LHANDLE session, ULONG_PTR uiParam, FLAGS flags, ULONG reserved)
{
    ControlKey key;
    ULONG result = g_openSessions.count(session) == 0
                       ? MAPI_E_INVALID_SESSION
                       : key.Number(control::kLogoffResultValue, SUCCESS_SUCCESS);
    // A logoff the client refuses leaves the session open.
    if (result == SUCCESS_SUCCESS)
        g_openSessions.erase(session);
    Journal(key, "MAPILogoff session=" + Hex(session) + " uiParam=" + Hex(uiParam) + " flags=" + Hex(flags) +
                     " reserved=" + std::to_string(reserved) + " result=" + std::to_string(result));
    return result;
}
