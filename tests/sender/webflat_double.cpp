// Test double of the outside text library "WEBFLAT.DLL". Tests copy it as WEBFLAT.DLL
// into a scratch folder (beside a copy of quillon.exe, or for the loader tests alone).
//
// Script: the file named by the environment variable QUILLON_WEBFLAT_SCRIPT, one line
// per address: address TAB result TAB heading TAB body. The address "*" matches any.
// In heading and body, \1 is a break mark, \t a tab, \n a line feed and \\ a backslash;
// a heading of exactly "(null)" is handed back as a null pointer. An address without a
// line, or a missing script, gives -1. A negative result is returned without texts.
//
// Trace: when QUILLON_WEBFLAT_TRACE names a file, every call appends one line to it:
// "WebFlat <address>|<selection or (none)>|<maxLen>", "PageFlat ...", and for every
// release "free heading", "free body" or "free unknown" (a text this library did not
// hand out, or one already released). With QUILLON_WEBFLAT_CHECK_COM set, each
// extraction is preceded by the caller thread's COM state: "com apartment", "com
// multithreaded" or "com none" (a real library may well need an apartment).
//
// Crash point: with QUILLON_WEBFLAT_DIE_AT_FREE set, the first WebFlatFree ends the
// calling process at once (exit code 0xDEAD), as if the run were killed there: the
// page sender hands its texts back only after queueing, so this cuts a run between its
// messages and whatever it would do after them.
//
// Built with WEBFLAT_DOUBLE_WITHOUT_FREE it lacks WebFlatFree, for the load-failure case.
#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

std::string Environment(const char *name)
{
    char value[1024];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value)
        return std::string();
    return std::string(value, length);
}

void Trace(const std::string &line)
{
    std::string path = Environment("QUILLON_WEBFLAT_TRACE");
    if (path.empty())
        return;
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << line << "\n";
}

std::string Unescape(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        out += c == '1' ? '\x01' : c == 't' ? '\t' : c == 'n' ? '\n' : c;
    }
    return out;
}

char *Duplicate(const std::string &text)
{
    char *copy = static_cast<char *>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// The texts handed out and not yet released.
char *g_heading = nullptr;
char *g_body = nullptr;

void TraceComState()
{
    if (Environment("QUILLON_WEBFLAT_CHECK_COM").empty())
        return;
    // Asking for an apartment tells what the thread already has; the probe is undone.
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (hr == RPC_E_CHANGED_MODE) {
        Trace("com multithreaded");
        return;
    }
    Trace(hr == S_FALSE ? "com apartment" : "com none");
    if (SUCCEEDED(hr))
        CoUninitialize();
}

int32_t Extract(const char *kind, const char *address, const char *selection, char **body, char **heading,
                int32_t maxLen)
{
    TraceComState();
    Trace(std::string(kind) + " " + (address ? address : "(null)") + "|" + (selection ? selection : "(none)") + "|" +
          std::to_string(maxLen));
    std::ifstream script(Environment("QUILLON_WEBFLAT_SCRIPT"), std::ios::binary);
    std::string line;
    while (std::getline(script, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t t1 = line.find('\t');
        size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
        size_t t3 = t2 == std::string::npos ? t2 : line.find('\t', t2 + 1);
        if (t3 == std::string::npos)
            continue;
        std::string key = line.substr(0, t1);
        if (key != "*" && (address == nullptr || key != address))
            continue;
        int32_t result = std::atoi(line.substr(t1 + 1, t2 - t1 - 1).c_str());
        if (result < 0)
            return result;
        std::string headingText = line.substr(t2 + 1, t3 - t2 - 1);
        g_heading = headingText == "(null)" ? nullptr : Duplicate(Unescape(headingText));
        g_body = Duplicate(Unescape(line.substr(t3 + 1)));
        *heading = g_heading;
        *body = g_body;
        return result;
    }
    return -1;
}

} // namespace

extern "C" {

__declspec(dllexport) int32_t WebFlat(const char *address, const char *selection, char **body, char **heading,
                                      int32_t maxLen)
{
    return Extract("WebFlat", address, selection, body, heading, maxLen);
}

__declspec(dllexport) int32_t PageFlat(void *document, const char *descriptor, char **body, char **heading,
                                       int32_t maxLen)
{
    return Extract("PageFlat", document ? "(document)" : "(null)", descriptor, body, heading, maxLen);
}

#ifndef WEBFLAT_DOUBLE_WITHOUT_FREE
__declspec(dllexport) void WebFlatFree(char *text)
{
    if (!Environment("QUILLON_WEBFLAT_DIE_AT_FREE").empty()) {
        Trace("killed at free");
        TerminateProcess(GetCurrentProcess(), 0xDEAD);
    }
    if (text != nullptr && text == g_heading) {
        Trace("free heading");
        g_heading = nullptr;
    } else if (text != nullptr && text == g_body) {
        Trace("free body");
        g_body = nullptr;
    } else {
        Trace("free unknown");
        return;
    }
    std::free(text);
}
#endif

} // extern "C"
