// The reminder's main window: a subject field, a message field and the Reminder menu,
// whose Schedule command saves the reminder file and submits its page task.
#pragma once

#include <windows.h>

namespace quillon {

// Registers the window class, starts COM on the calling thread, reads the settings,
// shows the window and runs its message loop until the window is destroyed. Returns the
// quit message's code, or 0 at once when the settings are missing or the window cannot
// be created (no message either way).
//
// `instance` holds the program's own icon 101; `resources` is the loaded resource module
// (not owned, it must stay loaded for the whole call). One window per thread and process
// at a time: its state is process-wide.
int RunReminder(HINSTANCE instance, HMODULE resources, int showCommand);

} // namespace quillon
