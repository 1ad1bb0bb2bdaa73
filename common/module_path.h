// Where a loaded module's file lies: the one place that asks the loader for it. A null
// module stands for the process's program. Paths longer than MAX_PATH are read whole;
// callers that keep a fixed-size copy check that it fits.
#pragma once

#include <windows.h>

#include <string>

namespace quillon {

// Full path of the module's file; empty when the loader cannot give it.
std::string ModuleFilePath(HMODULE module);

// Folder of the module's file, without the trailing backslash; empty when the path cannot
// be obtained or names no folder.
std::string ModuleDirectory(HMODULE module);

} // namespace quillon
