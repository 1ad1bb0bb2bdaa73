// Small helpers the schedule dialogs share: resource strings, times in the user's
// format, HTML Help loaded on demand, and the title-bar help command.
#pragma once

#include <windows.h>

#include <string>

#include "common/datetime.h"
#include "common/html_help.h"   // ShowHelpContext

namespace quillon {

// Resource string `id` of `module`; empty when missing. Bounded to 260 bytes.
std::string LoadResourceText(HINSTANCE module, unsigned id);

// `dt` as the user's short date / time without seconds; empty for an invalid date-time.
std::string FormatShortDate(const DateTime &dt);
std::string FormatTimeNoSeconds(const DateTime &dt);

// Handles the title bar's context-help command (SC_CONTEXTHELP, and WM_HELP from a
// control) by opening `context` and redrawing the frame. True when `message` was one.
bool HandleContextHelp(HWND dialog, UINT message, WPARAM wParam, const char *helpFilePath, DWORD context);

} // namespace quillon
