#include "capture/capture_selection.h"

#include <mshtml.h>

#include <vector>

#include "capture/browser_document.h"
#include "capture/capture_text.h"
#include "capture/clip_obj.h"
#include "capture/clipnet_module.h"
#include "common/com_owners.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/text.h"
#include "resources/resource_ids.h"
#include "schedule/dialogs/dialog_support.h"
#include "schedule/dialogs/text_division.h"
#include "webflat/webflat_contract.h"

namespace quillon::capture {
namespace {

constexpr DWORD kPreviewHelpContext = 1004;
constexpr unsigned long kPageTaskTimeoutMs = 300000;
constexpr char kPageSenderProgram[] = "quillon.exe";

struct PreviewDialogData {
    const std::string *preview;
    DWORD *divideFlag;
};

void ShowDivided(HWND dialog, const PreviewDialogData &data)
{
    const std::string shown =
        DivideTextIntoMessages(*data.preview, Module().settings.maxMessageLength, *data.divideFlag != 0);
    SetDlgItemTextA(dialog, IDC_PREVIEW_TEXT, shown.c_str());
}

INT_PTR CALLBACK PreviewDivideProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *data = reinterpret_cast<PreviewDialogData *>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (HandleContextHelp(dialog, message, wParam, Module().helpFilePath, kPreviewHelpContext))
        return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        data = reinterpret_cast<PreviewDialogData *>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        CheckDlgButton(dialog, IDC_PREVIEW_DIVIDE, *data->divideFlag != 0 ? BST_CHECKED : BST_UNCHECKED);
        ShowDivided(dialog, *data);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PREVIEW_DIVIDE:
            if (HIWORD(wParam) == BN_CLICKED && data != nullptr) {
                *data->divideFlag = IsDlgButtonChecked(dialog, IDC_PREVIEW_DIVIDE) == BST_CHECKED ? 1 : 0;
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

void Message(HWND owner, UINT textId, UINT type)
{
    const std::string text = LoadResourceText(Module().resources, textId);
    const std::string caption = LoadResourceText(Module().resources, IDS_APP_CAPTION);
    MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}

// Adds the page sender's values to the task the submission stored under keyName. After a
// cancel in the task editor the key does not exist and nothing is written.
void WriteTaskValues(const char *keyName, const std::string &selection, DWORD divideFlag)
{
    RegistryKey tasks;
    if (OpenUserKey(kTasksKeyPath, &tasks) != ERROR_SUCCESS)
        return;
    RegistryKey task;
    if (keyName[0] == '\0' || task.Open(tasks.Get(), keyName) != ERROR_SUCCESS)
        return;
    task.WriteString(task_values::kCommandLine, keyName);
    task.WriteString(task_values::kSelection, selection);
    task.WriteDword(task_values::kChopMessage, divideFlag);
}

} // namespace

INT_PTR RunPreviewDivideDialog(HWND owner, const std::string &preview, DWORD *divideFlag)
{
    PreviewDialogData data{&preview, divideFlag};
    return DialogBoxParamA(Module().resources, MAKEINTRESOURCEA(IDD_PREVIEW_DIVIDE), owner, PreviewDivideProc,
                           reinterpret_cast<LPARAM>(&data));
}

void CaptureSelection(ClipObj &object)
{
    ClipnetModule &module = Module();
    const HWND frame = object.Frame();
    // SetSite only keeps a library that has both functions; the object keeps it loaded.
    const auto pageFlat = reinterpret_cast<PageFlatFunction>(
        reinterpret_cast<void *>(GetProcAddress(object.TextLibrary(), kPageFlatExport)));
    const auto webFlatFree = reinterpret_cast<WebFlatFreeFunction>(
        reinterpret_cast<void *>(GetProcAddress(object.TextLibrary(), kWebFlatFreeExport)));
    if (pageFlat == nullptr || webFlatFree == nullptr || object.Browser() == nullptr)
        return;

    ComPtr<IDispatch> dispatch;
    ComPtr<IHTMLDocument2> document;
    if (FAILED(object.Browser()->get_Document(dispatch.Put())) || !dispatch ||
        FAILED(dispatch->QueryInterface(IID_IHTMLDocument2, document.PutVoid())) || !document)
        return;

    UniqueBstr url;
    std::string address;
    if (SUCCEEDED(document->get_URL(url.Out())))
        address = NarrowBstr(url.Get());
    char description[kDescriptionSize] = {};
    const std::string format = LoadResourceText(module.resources, IDS_TASK_DESCRIPTION_FORMAT);
    FormatBounded(description, format.c_str(), ShortLocation(address).c_str());

    std::string descriptor;
    const DescriptorStatus status =
        BuildSelectionDescriptor(*BrowserPageDocument(document.Get(), frame, module.resources), &descriptor);
    const std::string selection =
        SelectionValue(address, status == DescriptorStatus::kSuccess ? &descriptor : nullptr);

    char *text = nullptr;
    char *heading = nullptr;
    pageFlat(document.Get(), status == DescriptorStatus::kAborted ? nullptr : descriptor.c_str(), &text, &heading,
             static_cast<int32_t>(module.settings.maxMessageLength));
    const std::string body = text != nullptr ? text : "";
    const std::string title = heading != nullptr ? heading : "";
    if (heading != nullptr)
        webFlatFree(heading);
    if (text != nullptr)
        webFlatFree(text);
    const std::string preview = module.settings.clipSubject == 0 ? body + title + "\r\n" : body;
    if (status == DescriptorStatus::kAborted)
        return;

    if (static_cast<long long>(preview.size()) > module.settings.maxMessageLength && module.divideFlag == 0) {
        const std::string question = LoadResourceText(module.resources, IDS_DIVIDE_QUESTION);
        const std::string caption = LoadResourceText(module.resources, IDS_APP_CAPTION);
        switch (MessageBoxA(frame, question.c_str(), caption.c_str(), MB_YESNOCANCEL)) {
        case IDYES:
            module.divideFlag = 1;
            break;
        case IDNO:
            break;
        default:
            return;
        }
    }
    if (RunPreviewDivideDialog(frame, preview, &module.divideFlag) != IDOK)
        return;

    ITasqeduleUI *schedule = object.Schedule();
    if (schedule == nullptr) {
        Message(frame, IDS_CAPTURE_NO_SCHEDULER, MB_OK | MB_ICONERROR);
        return;
    }
    char keyName[32] = {};
    std::vector<char> commandLine(selection.begin(), selection.end());
    commandLine.push_back('\0');
    char program[sizeof kPageSenderProgram] = {};
    CopyBounded(program, kPageSenderProgram);
    const HRESULT submitted =
        schedule->SubmitApplication(frame, description, program, commandLine.data(), 1, kPageTaskTimeoutMs, keyName);
    keyName[sizeof keyName - 1] = '\0';
    // Only a stored task gets the values: after a cancel the name may, in a rare race, be
    // that of another task stored meanwhile, which must not be overwritten.
    if (submitted == S_OK)
        WriteTaskValues(keyName, selection, module.divideFlag);
}

} // namespace quillon::capture
