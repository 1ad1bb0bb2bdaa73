// The "Quillon..." command: describe the selection of the window's page, show the
// extracted text (IDD_PREVIEW_DIVIDE), submit a page task through the schedule component and add
// the values the page sender needs (CommandLine, Selection, ChopMessage) to its key.
// Runs on the browser window's thread and blocks it in modal dialogs until it ends.
#pragma once

#include <windows.h>

#include <string>

namespace quillon::capture {

class ClipObj;

void CaptureSelection(ClipObj &object);

// Dialog 110 over `preview`, owned by `owner`: the text divided by *divideFlag, which box
// 1071 changes. IDOK or IDCANCEL (or -1 when the dialog could not be created).
INT_PTR RunPreviewDivideDialog(HWND owner, const std::string &preview, DWORD *divideFlag);

} // namespace quillon::capture
