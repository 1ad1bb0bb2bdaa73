// Finding and working the windows of another thread (or process) from a test, with a
// time limit on every wait. Windows are looked up on the thread that owns them only, so
// tests running side by side never drive each other's dialogs.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace quillon::test {

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

// Clicks a button of a dialog without waiting for what the click starts (a click that
// opens a modal dialog would otherwise block the caller until that dialog ends).
void PostClick(HWND dialog, int buttonId);

} // namespace quillon::test
