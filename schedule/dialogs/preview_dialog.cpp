// The preview of one task's page text, IDD_EXTRACTED_TEXT.
#include <windows.h>

#include <string>

#include "common/names.h"
#include "common/page_task.h"
#include "common/registry.h"
#include "common/text_division.h"
#include "resources/resource_ids.h"
#include "schedule/dialogs/dialog_support.h"
#include "schedule/dialogs/schedule_dialogs.h"
#include "webflat/webflat_loader.h"

namespace quillon {

namespace {

// A Selection longer than this is not a page address and a descriptor; it is refused
// rather than read into an unbounded buffer.
constexpr DWORD kMaxSelectionBytes = 64 * 1024;

INT_PTR CALLBACK PreviewDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_EXTRACTED_TEXT, reinterpret_cast<const char *>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

// Reads Selection and ChopMessage of the task's key. False when the key or Selection
// cannot be read.
bool ReadPageValues(const char *keyName, std::string *selection, DWORD *chopMessage)
{
    RegistryKey tasks;
    if (OpenUserKey(kTasksKeyPath, &tasks) != ERROR_SUCCESS)
        return false;
    RegistryKey key;
    if (keyName == nullptr || *keyName == '\0' || key.Open(tasks.Get(), keyName) != ERROR_SUCCESS)
        return false;
    if (key.ReadString(task_values::kSelection, selection, kMaxSelectionBytes) != ERROR_SUCCESS)
        return false;
    DWORD chop = 0;
    if (key.ReadDword(task_values::kChopMessage, &chop) != ERROR_SUCCESS)
        chop = 0;
    *chopMessage = chop;
    return true;
}

} // namespace

void RunPreviewDialog(HWND owner, const DialogEnvironment &env, const TaskRecord &task)
{
    try {
        std::string selection;
        DWORD chopMessage = 0;
        if (!ReadPageValues(task.KeyName, &selection, &chopMessage))
            return;
        SelectionParts parts;
        if (!SplitSelection(selection, &parts))
            return;

        // The library before the texts: texts are released through it (see the loader).
        WebFlatLibrary library;
        if (!library.LoadBesideModule(nullptr))
            return;
        std::string shown;
        {
            ExtractedText text;
            int32_t result = library.WebFlat(parts.address.c_str(), parts.hasDescriptor ? parts.descriptor.c_str() : nullptr,
                                             static_cast<int32_t>(env.maxMessageLength), &text);
            if (result < 0) {
                std::string error = LoadResourceText(env.resources, IDS_EXTRACT_ERROR);
                std::string caption = LoadResourceText(env.resources, IDS_APP_CAPTION);
                MessageBoxA(owner, error.c_str(), caption.c_str(), MB_OK);
                return;
            }
            std::string whole;
            if (!env.clipSubject && text.Heading() != nullptr)
                whole = text.Heading();
            if (text.Body() != nullptr)
                whole += text.Body();
            shown = DivideTextIntoMessages(whole, env.maxMessageLength, chopMessage != 0);
        }
        DialogBoxParamA(env.resources, MAKEINTRESOURCEA(IDD_EXTRACTED_TEXT), owner, PreviewDialogProc,
                        reinterpret_cast<LPARAM>(shown.c_str()));
    } catch (...) {
        // Nothing is shown when memory runs out.
    }
}

} // namespace quillon
