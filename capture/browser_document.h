// The browser's document object seen through the descriptor builder's small document
// interface (selection_descriptor.h). Wide strings stay UTF-16, so lengths and offsets
// count as the text library counts them.
#pragma once

#include <windows.h>
#include <mshtml.h>

#include <memory>
#include <string>

#include "capture/selection_descriptor.h"

namespace quillon::capture {

// A view of `document` (one reference is taken). Undescribable selections are reported
// with IDS_SELRANGE_ERROR in a message box owned by `owner`, captioned with IDS_APP_CAPTION of
// `resources`.
std::unique_ptr<PageDocument> BrowserPageDocument(IHTMLDocument2 *document, HWND owner, HMODULE resources);

// text in the ANSI code page, as the task description is stored; empty for null or empty.
std::string NarrowBstr(BSTR text);

} // namespace quillon::capture
