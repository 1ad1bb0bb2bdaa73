// Pieces the programs' main windows share (tasqed.exe, Nagnote.exe).
#pragma once

#include <windows.h>

namespace quillon {

// The dialog procedure of an About box: nothing to set up; OK or Cancel closes it.
inline INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// The window procedure around Handle: no exception leaves it for the system's message
// dispatch; a message whose handling threw answers 0.
template <LRESULT (*Handle)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK GuardedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return Handle(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

} // namespace quillon
