// Process-wide state of clipnet.dll: what the load sequence in DllMain sets up, the
// settings shared by every browser window of the process, and the module lock count
// behind DllCanUnloadNow. Only the browser windows' user-interface threads touch the
// settings and the menu text (a capture holds its thread in modal dialogs until it ends).
#pragma once

#include <windows.h>

#include "capture/capture_settings.h"
#include "common/text.h"

namespace quillon::capture {

struct ClipnetModule {
    HINSTANCE instance = nullptr;
    // The language's resource module: every string and IDD_PREVIEW_DIVIDE.
    HMODULE resources = nullptr;
    // "quillon.chm" beside the add-in.
    char helpFilePath[kTextBufferSize] = {};
    // "quillon:msg:updateconfig", registered during static initialisation.
    UINT updateMessage = 0;
    CaptureSettings settings;
    // String 179, loaded each time the item is appended.
    char menuText[kTextBufferSize] = {};
    // The capture's divide flag (ChopMessage): 0 at load, 1 after Yes to the length
    // question, and whatever box 1071 last said. Never reset between captures.
    DWORD divideFlag = 0;
};

ClipnetModule &Module();

// Every live object, class-factory reference and server lock holds one module lock.
void LockModule();
void UnlockModule();
LONG ModuleLockCount();

} // namespace quillon::capture
