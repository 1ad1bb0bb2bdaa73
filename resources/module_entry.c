/*
 * Entry point of every language's resource module (tasq??.dll). The module holds no
 * logic; the entry point only reports attach and detach to the debugger output as
 * "<full module path> loading\n" and "<full module path> unloading\n", and always
 * succeeds so a loader never fails because of it.
 *
 * The module is linked without the C runtime (-nostdlib), so this file calls nothing
 * but kernel32 and copies text by hand, bounded by the buffer.
 */
#include <windows.h>

/* Appends text to buffer[*length..], never past capacity - 1, and keeps it terminated. */
static void AppendText(char *buffer, DWORD capacity, DWORD *length, const char *text)
{
    while (*text != '\0' && *length + 1 < capacity)
        buffer[(*length)++] = *text++;
    buffer[*length] = '\0';
}

static void ReportModule(HINSTANCE module, const char *event)
{
    /* Room for a full path plus the event text. */
    char line[MAX_PATH + 16];
    DWORD length = GetModuleFileNameA(module, line, MAX_PATH);
    if (length >= MAX_PATH)
        length = MAX_PATH - 1; /* truncated path: still report, cut */
    line[length] = '\0';
    AppendText(line, sizeof line, &length, event);
    OutputDebugStringA(line);
}

BOOL WINAPI ResourceModuleEntry(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        ReportModule(module, " loading\n");
    else if (reason == DLL_PROCESS_DETACH)
        ReportModule(module, " unloading\n");
    return TRUE;
}
