// Context help from the help file through HtmlHelpA of hhctrl.ocx, loaded at run time,
// and the title-bar help command of the dialogs that offer it.
#pragma once

#include <windows.h>

namespace quillon {

// Opens `helpFilePath` at help context `context` (HH_HELP_CONTEXT), owned by `owner`.
// Does nothing when the path is empty, the file does not exist or the help viewer is
// not installed. The viewer is loaded once per process and stays loaded: the help
// window it opens lives only as long as the library does.
void ShowHelpContext(HWND owner, const char *helpFilePath, DWORD context);

// Handles the title bar's context-help command (SC_CONTEXTHELP, and WM_HELP from a
// control) by opening `context` and redrawing the frame. True when `message` was one.
bool HandleContextHelp(HWND dialog, UINT message, WPARAM wParam, const char *helpFilePath, DWORD context);

} // namespace quillon
