// What loading and unloading a system library costs a long-running process, with none of
// our code involved: the mail library used to take the socket and security libraries
// with it at every unload, once per dispatch pass of the scheduler.
//
//   system_reload_probe.exe [ROUNDS [LIBRARY]]   (default 1000; each of ws2_32.dll,
//                                                 secur32.dll and crypt32.dll)
// Prints, per library, the bytes the process's heaps hold more after ROUNDS loads and
// unloads (after 20 rounds to warm up) and the bytes a round. The libraries are tried in
// turn in one process, and one library's unload may leave another loaded: for the figure
// of one library alone, name it. ws2_32.dll is also started and stopped (WSAStartup,
// WSACleanup) each round, as a mail session does. The program imports none of them, so
// each round really loads and unloads the library.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/support/wine_test_support.h"

namespace {

using StartupFunction = int(WSAAPI *)(WORD, LPWSADATA);
using CleanupFunction = int(WSAAPI *)();

bool Round(const char *name)
{
    HMODULE module = LoadLibraryA(name);
    if (module == nullptr)
        return false;
    auto startup = reinterpret_cast<StartupFunction>(reinterpret_cast<void *>(GetProcAddress(module, "WSAStartup")));
    auto cleanup = reinterpret_cast<CleanupFunction>(reinterpret_cast<void *>(GetProcAddress(module, "WSACleanup")));
    if (startup != nullptr && cleanup != nullptr) {
        WSADATA data;
        if (startup(MAKEWORD(2, 2), &data) == 0)
            cleanup();
    }
    FreeLibrary(module);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 1000;
    int status = 0;
    std::vector<const char *> names = {"ws2_32.dll", "secur32.dll", "crypt32.dll"};
    if (argc > 2)
        names.assign(argv + 2, argv + argc);
    for (const char *name : names) {
        bool loaded = true;
        for (int i = 0; i < 20 && loaded; ++i)
            loaded = Round(name);
        const SIZE_T before = quillon::test::HeapBytesInUse();
        for (int i = 0; i < rounds && loaded; ++i)
            loaded = Round(name);
        if (!loaded) {
            std::printf("%-12s cannot be loaded (%lu)\n", name, GetLastError());
            status = 1;
            continue;
        }
        const SIZE_T after = quillon::test::HeapBytesInUse();
        const double grown = after > before ? static_cast<double>(after - before) : 0.0;
        std::printf("%-12s %d loads: heap in use grew by %.0f bytes, %.1f bytes a load\n", name, rounds, grown,
                    grown / rounds);
    }
    return status;
}
