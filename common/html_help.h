// Context help from the help file through HtmlHelpA of hhctrl.ocx, loaded at run time.
#pragma once

#include <windows.h>

namespace quillon {

// Opens `helpFilePath` at help context `context` (HH_HELP_CONTEXT), owned by `owner`.
// Does nothing when the path is empty, the file does not exist or the help viewer is
// not installed. The viewer is loaded once per process and stays loaded: the help
// window it opens lives only as long as the library does.
void ShowHelpContext(HWND owner, const char *helpFilePath, DWORD context);

} // namespace quillon
