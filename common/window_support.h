// Pieces the programs' windows and dialogs share: the About box, and the guards that keep
// an exception from leaving a window or dialog procedure.
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

// The dialog procedure around Body: no exception leaves it for the dialog manager; a
// message whose handling threw counts as not handled (FALSE).
template <INT_PTR (*Body)(HWND, UINT, WPARAM, LPARAM)>
INT_PTR CALLBACK GuardedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return Body(dialog, message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

} // namespace quillon
