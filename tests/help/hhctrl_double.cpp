// A stand-in for the HTML Help viewer (hhctrl.ocx), which does not run under Wine. Placed
// beside a program whose Wine settings load it instead of the built-in one, it records
// every HtmlHelpA call as one line in "hhctrl-calls.txt" beside itself:
//   context|command|help file|caption of the calling window
// and opens no window.
#include <windows.h>

#include <cstdio>

namespace {

HMODULE g_self = nullptr;

void AppendLine(const char *line, DWORD length)
{
    char path[MAX_PATH] = {};
    DWORD size = GetModuleFileNameA(g_self, path, MAX_PATH);
    if (size == 0 || size >= MAX_PATH)
        return;
    char *slash = strrchr(path, '\\');
    if (slash == nullptr || static_cast<size_t>(slash - path) + 20 >= MAX_PATH)
        return;
    lstrcpynA(slash + 1, "hhctrl-calls.txt", MAX_PATH - static_cast<int>(slash + 1 - path));
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, length, &written, nullptr);
    CloseHandle(file);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_self = instance;
    return TRUE;
}

extern "C" HWND WINAPI HtmlHelpA(HWND caller, LPCSTR file, UINT command, DWORD_PTR data)
{
    char caption[128] = {};
    if (caller != nullptr)
        GetWindowTextA(caller, caption, sizeof caption);
    char line[1024];
    int length = std::snprintf(line, sizeof line, "%lu|%u|%s|%s\r\n", static_cast<unsigned long>(data), command,
                               file != nullptr ? file : "(null)", caption);
    if (length > 0)
        AppendLine(line, static_cast<DWORD>(length < static_cast<int>(sizeof line) ? length : sizeof line - 1));
    return nullptr;
}
