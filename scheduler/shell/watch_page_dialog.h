// "Watch a page...": the small dialog (IDD_WATCH_PAGE) that asks for a page's address,
// then the page door (common/page_door.h) for the whole page.
#pragma once

#include <windows.h>

#include <string>

struct ITasqeduleUI;

namespace quillon {

// The dialog, owned by owner: IDOK with the checked address in *address, or IDCANCEL.
// An address that names nothing fetchable is refused in place (string 347) and the
// dialog stays open. -1 when the dialog cannot be created.
INT_PTR RunWatchPageDialog(HWND owner, HMODULE resources, std::string *address);

// The whole command: the dialog, then the preview, the divide question and the task
// editor of `schedule` (the caller's schedule component, which keeps the last schedule
// as the next preset).
void WatchPage(HWND owner, HMODULE resources, const std::string &helpFilePath, ITasqeduleUI *schedule);

} // namespace quillon
