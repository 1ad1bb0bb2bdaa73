// Loads the library named on the command line and reports by exit code: 0 when it
// loaded (it is unloaded again), otherwise the loader's error (GetLastError), so a
// library that refused its own load (ERROR_DLL_INIT_FAILED) is told from one that was
// not found. Run in a process of its own so that its MAPI32.DLL is resolved afresh,
// under whatever DLL overrides the test gave it.
#include <windows.h>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    HMODULE library = LoadLibraryA(argv[1]);
    if (library == nullptr) {
        DWORD error = GetLastError();
        return error != 0 ? static_cast<int>(error) : 1;
    }
    FreeLibrary(library);
    return 0;
}
