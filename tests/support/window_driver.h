// Finding and working the windows of another thread (or process) from a test, for the
// shell, the configuration dialog and the schedule dialogs alike. Every wait has a time
// limit. Windows are looked up on the thread that owns them only (never FindWindow), so
// tests running side by side never drive each other's dialogs.
//
// Modal dialogs of the test's own main thread are driven with RunDriven: the main thread
// runs the dialog (its modal loop pumps messages), a second thread finds it among the
// main thread's windows, works its controls by id and closes it; a watchdog cancels
// whatever dialog is still open when the limit passes, so no test can hang in a modal loop.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

namespace quillon::test {

// ---- Windows of another thread or process ----
// Dispatches this thread's messages for `ms` milliseconds (windows of the test itself
// may have to answer messages meanwhile).
void PumpFor(DWORD ms);

// The first visible top-level window of thread `threadId` that `match` accepts, waiting
// at most timeoutMs (pumping this thread's messages); null when none appeared.
HWND WaitForThreadWindow(DWORD threadId, const std::function<bool(HWND)> &match, DWORD timeoutMs,
                         bool requireVisible = true);

std::string WindowText(HWND window);
std::string ClassOf(HWND window);

// A visible dialog of the thread with exactly this caption.
HWND WaitForDialog(DWORD threadId, const std::string &caption, DWORD timeoutMs);
// A visible message box of the thread whose text is `text` (its static has id 0xFFFF).
HWND WaitForMessageBox(DWORD threadId, const std::string &text, DWORD timeoutMs);
// Text of any message box of the thread shown now (empty when there is none).
std::string MessageBoxTextOf(HWND box);

// Waits until `window` is destroyed; false at the time limit.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);



// ---- Dialogs of the test's own thread, and their controls ----
// A visible top-level window of `thread` that has a control `controlId` (0: any dialog
// window of class #32770); null when none.
HWND FindThreadDialog(DWORD thread, int controlId);

// Waits up to timeoutMs for FindThreadDialog; null on time-out.
HWND WaitForThreadDialog(DWORD thread, int controlId, DWORD timeoutMs = 5000);

// Runs `modal` on the calling thread while `drive` runs on a second thread with the
// calling thread's id. When `drive` returns or limitMs pass, every dialog still open on
// the calling thread is cancelled until `modal` has returned. Returns modal's result.
long RunDriven(const std::function<long()> &modal, const std::function<void(DWORD thread)> &drive,
               DWORD limitMs = 15000);

// Control helpers (all by id, sent from the driver thread).
void SetItemText(HWND dialog, int id, const char *text);   // WM_SETTEXT; an edit sends EN_CHANGE
std::string ItemText(HWND dialog, int id);
void Click(HWND dialog, int id);                           // BM_CLICK, synchronous
// WM_COMMAND BN_CLICKED, posted: the caller does not wait for what the click starts (a
// click that opens a modal dialog would otherwise block it until that dialog ends).
void PostClick(HWND dialog, int id);
void SelectListEntry(HWND dialog, int id, int position);   // CB_SETCURSEL + the CBN_SELCHANGE it does not send
int ListSelection(HWND dialog, int id);
void SetPickerTime(HWND dialog, int id, int hour, int minute); // keeps the picker's date
void SetPickerDate(HWND dialog, int id, int year, int month, int day);
bool IsChecked(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);
bool IsShown(HWND dialog, int id);
std::string WindowTitle(HWND window);   // the same as WindowText

} // namespace quillon::test
