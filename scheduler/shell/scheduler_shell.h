// tasqed.exe, the resident scheduler: start-up, the single-instance rule, the hidden
// main window with the notification icon and its menu, the first-run configuration, the
// minute timer that drives the engine (ProductEngine::MinuteTick) and shutdown.
#pragma once

#include <windows.h>

namespace quillon {

// The whole life of the program; returns its exit code (0 on every way out, including
// a missing language module, a second instance and a declined first configuration).
int RunScheduler(HINSTANCE instance);

} // namespace quillon
