// Memory the statically linked C++ runtime of a library keeps until the process ends.
// The scheduler loads and unloads a mail library for every dispatch pass, and each load
// starts a fresh copy of the runtime whose exception-handling emergency pool (some 70 KB)
// is never returned: over weeks of running that grows without end. A library calls
// ReleaseRuntimeAtUnload() from DllMain when it is unloaded by FreeLibrary (not at
// process exit), after which no C++ exception may be thrown in it.
#pragma once

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __freeres();
}
#endif

namespace quillon {

inline void ReleaseRuntimeAtUnload()
{
#if defined(__GLIBCXX__)
    __gnu_cxx::__freeres();
#endif
}

} // namespace quillon
