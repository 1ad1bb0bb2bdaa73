#include "common/preview_divide_dialog.h"

#include "common/html_help.h"
#include "common/text_division.h"
#include "common/window_support.h"
#include "resources/resource_ids.h"

namespace quillon {
namespace {

void ShowDivided(HWND dialog, const PreviewDivideDialogData &data)
{
    const std::string shown = DivideTextIntoMessages(data.text, data.maxMessageLength, data.divide);
    SetDlgItemTextA(dialog, IDC_PREVIEW_TEXT, shown.c_str());
}

INT_PTR PreviewDivideProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *data = reinterpret_cast<PreviewDivideDialogData *>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (data != nullptr && HandleContextHelp(dialog, message, wParam, data->helpFilePath, kPreviewDivideHelpContext))
        return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        data = reinterpret_cast<PreviewDivideDialogData *>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        CheckDlgButton(dialog, IDC_PREVIEW_DIVIDE, data->divide ? BST_CHECKED : BST_UNCHECKED);
        ShowDivided(dialog, *data);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PREVIEW_DIVIDE:
            if (HIWORD(wParam) == BN_CLICKED && data != nullptr) {
                data->divide = IsDlgButtonChecked(dialog, IDC_PREVIEW_DIVIDE) == BST_CHECKED;
                ShowDivided(dialog, *data);
            }
            return TRUE;
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        default:
            break;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace

INT_PTR RunPreviewDivideDialog(HWND owner, HINSTANCE resources, PreviewDivideDialogData *data)
{
    if (data == nullptr)
        return -1;
    return DialogBoxParamA(resources, MAKEINTRESOURCEA(IDD_PREVIEW_DIVIDE), owner,
                           GuardedDialogProc<PreviewDivideProcBody>, reinterpret_cast<LPARAM>(data));
}

} // namespace quillon
