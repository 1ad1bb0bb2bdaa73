// A mail library for the engine's tests: the three functions of the mail-library
// contract, recording every call, with results the test sets. The test program loads it
// itself too, so its state lives across the dispatcher's load and unload, and reads the
// record through the TestMail* exports.
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_calls;
LONG g_logonResult = 0;
// Results of the next sends, in order; 0 once used up.
std::vector<LONG> g_sendResults;

} // namespace

extern "C" {

__declspec(dllexport) LONG WINAPI QLLogon(LPSTR profile, LPSTR password, ULONG *session, int logging, LPSTR logFile)
{
    g_calls.push_back(std::string("logon ") + (profile ? profile : "(null)") + "/" + (password ? password : "(null)") +
                      "/" + std::to_string(logging) + "/" + (logFile ? logFile : "(null)"));
    if (g_logonResult >= 0)
        *session = 4242;
    return g_logonResult;
}

__declspec(dllexport) LONG WINAPI QLSendMessage(ULONG session, LPSTR sender, LPSTR destination, LPSTR subject,
                                                LPSTR body)
{
    g_calls.push_back("send " + std::to_string(session) + " " + sender + " " + destination + " " + subject + "/" +
                      body);
    LONG result = 0;
    if (!g_sendResults.empty()) {
        result = g_sendResults.front();
        g_sendResults.erase(g_sendResults.begin());
    }
    return result;
}

__declspec(dllexport) LONG WINAPI QLLogoff(ULONG session)
{
    g_calls.push_back("logoff " + std::to_string(session));
    return 0;
}

__declspec(dllexport) void TestMailReset(LONG logonResult)
{
    g_calls.clear();
    g_sendResults.clear();
    g_logonResult = logonResult;
}

__declspec(dllexport) void TestMailQueueSendResult(LONG result) { g_sendResults.push_back(result); }

__declspec(dllexport) int TestMailCallCount() { return static_cast<int>(g_calls.size()); }

// Copies call `index` into buffer (bounded, terminated); false past the end.
__declspec(dllexport) BOOL TestMailCall(int index, char *buffer, int size)
{
    if (index < 0 || index >= static_cast<int>(g_calls.size()) || size <= 0)
        return FALSE;
    lstrcpynA(buffer, g_calls[index].c_str(), size);
    return TRUE;
}

} // extern "C"

