// The preview-and-divide dialog (IDD_PREVIEW_DIVIDE, dialog 110 of the resource module):
// the text of a page as it will be sent, with the box IDC_PREVIEW_DIVIDE that switches
// between one message cut at the length limit and the text divided into several (shown
// with DivideTextIntoMessages, common/text_division.h). Every door that creates a page
// task from a page the user is looking at shows it before submitting: the browser
// add-in today, the browser's native host and the tray's page door alike.
//
// Usage, from any program that has loaded the resource module (LoadResourceModule):
//
//     PreviewDivideDialogData preview;
//     preview.text = extractedText;            // heading included when the door sends it
//     preview.maxMessageLength = roomForOneMessage;
//     preview.helpFilePath = helpFile;         // "" when there is none
//     preview.divide = lastChoice;
//     if (RunPreviewDivideDialog(owner, resources, &preview) == IDOK)
//         ... submit, with preview.divide as the task's ChopMessage ...
#pragma once

#include <windows.h>

#include <string>

namespace quillon {

// Help context of the dialog in the help file.
constexpr DWORD kPreviewDivideHelpContext = 1004;

struct PreviewDivideDialogData {
    std::string text;                // in: the whole text as it would be sent
    long maxMessageLength = 500;     // in: the room for one message; below 1 counts as 1
    const char *helpFilePath = "";   // in: the title bar's "?" opens it; "" or null: no help
    // in: the box's state at opening; out: the box's state when the dialog closed. It
    // follows the box as the user clicks, so it changes on Cancel too: the doors keep
    // the user's last choice for the next preview either way.
    bool divide = false;
};

// Shows the dialog from `resources`, owned by `owner` (may be null), and blocks the
// calling thread in its modal loop. IDOK or IDCANCEL as the user closed it; -1 (and
// *data unchanged) when the dialog could not be created, for instance when `resources`
// lacks the template. Never throws; an exception inside the dialog's handling (memory
// running out while dividing) leaves that message unhandled and the dialog open.
INT_PTR RunPreviewDivideDialog(HWND owner, HINSTANCE resources, PreviewDivideDialogData *data);

} // namespace quillon
