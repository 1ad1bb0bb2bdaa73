#include "common/log.h"

#include <windows.h>

#include <cstring>

#include "common/handles.h"

namespace quillon {

void AppendLogText(const char *path, const char *text)
{
    if (path == nullptr || path[0] == '\0' || text == nullptr)
        return;
    UniqueHandle file;
    // No sharing: another program of the suite may hold the file for its own line for a
    // few milliseconds; wait for it a little rather than lose the line at once.
    for (int attempt = 0; attempt < 10; ++attempt) {
        file.Reset(CreateFileA(path, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file || GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        Sleep(10);
    }
    if (!file)
        return;
    size_t length = strlen(text);
    while (length > 0) {
        DWORD chunk = length > 0x40000000 ? 0x40000000 : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteFile(file.Get(), text, chunk, &written, nullptr) || written == 0)
            return;
        text += written;
        length -= written;
    }
}

} // namespace quillon
