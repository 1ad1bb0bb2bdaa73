// Process-wide state of tasqui.dll: what the load sequence in DllMain sets up, and the
// module lock count behind DllCanUnloadNow. Everything here except the lock count is
// written only while the process attaches, before any object exists, and only read
// afterwards, so it needs no lock (the classes are apartment-threaded).
#pragma once

#include <windows.h>

#include "common/com_object.h"
#include "common/text.h"
#include "schedule/component/component_config.h"

namespace quillon::tasqui {

struct ComponentModule {
    HINSTANCE instance = nullptr;
    // Full path of tasqui.dll itself (registration writes it as InprocServer32).
    char modulePath[MAX_PATH] = {};
    // The folder of tasqui.dll, without a trailing backslash.
    char directory[MAX_PATH] = {};
    // The language's resource module: every dialog, string and icon of the component.
    HMODULE resources = nullptr;
    // "quillon.chm" beside the component.
    char helpFilePath[MAX_PATH] = {};
    // The user's time format without seconds, for the time pickers of the task editor.
    char pickerTimeFormat[64] = {};
    ComponentConfig config;
    // "quillon:msg:apptaskchanged", registered during static initialisation.
    UINT taskChangedMessage = 0;
};

ComponentModule &Module();

// Every live object, class-factory reference and server lock holds one module lock.
void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// The component's classes: COM objects that hold this module's lock.
template <typename Interface>
using ComponentObject = ComObject<Interface, &LockModule, &UnlockModule>;

} // namespace quillon::tasqui
