// A task program for the engine's tests. Command line (after the program name):
//   exit N      ends with exit code N (decimal, may be negative)
//   hang        sleeps far longer than any test's time-out
//   mark FILE   writes "ran" to FILE, then ends with -1
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0)
        return std::atoi(argv[2]);
    if (argc >= 2 && std::strcmp(argv[1], "hang") == 0) {
        Sleep(120000);
        return 3;
    }
    if (argc >= 3 && std::strcmp(argv[1], "mark") == 0) {
        HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, "ran", 3, &written, nullptr);
            CloseHandle(file);
        }
        return -1;
    }
    return 2;
}
