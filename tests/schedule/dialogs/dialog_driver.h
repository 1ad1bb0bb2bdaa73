// Drives modal dialogs of the test's main thread from a second thread: the main thread
// runs the dialog (its modal loop pumps messages), the driver finds the dialog among
// the main thread's windows (never FindWindow: parallel tests would drive each other's
// dialogs), works its controls by id and closes it. Every wait has a time limit, and a
// watchdog cancels whatever dialog is still open when the limit passes, so no test can
// hang in a modal loop.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

namespace quillon::test {

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
void PostClick(HWND dialog, int id);                       // WM_COMMAND BN_CLICKED, for buttons that open a modal
void SelectListEntry(HWND dialog, int id, int position);   // CB_SETCURSEL + the CBN_SELCHANGE it does not send
int ListSelection(HWND dialog, int id);
void SetPickerTime(HWND dialog, int id, int hour, int minute); // keeps the picker's date
void SetPickerDate(HWND dialog, int id, int year, int month, int day);
bool IsChecked(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);
bool IsShown(HWND dialog, int id);
std::string WindowTitle(HWND window);

} // namespace quillon::test
