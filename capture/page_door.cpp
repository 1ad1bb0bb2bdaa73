#include "capture/page_door.h"

#include <cstring>
#include <vector>

#include "capture/capture_text.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/text.h"
#include "resources/resource_ids.h"
#include "schedule/dialogs/dialog_support.h"
#include "schedule/dialogs/text_division.h"
#include "scheduler/config/config_registry.h"
#include "sender/webflat/webflat_loader.h"
#include "tasqui_h.h"

namespace quillon::capture {
namespace {

constexpr DWORD kPreviewHelpContext = 1004;
constexpr unsigned long kPageTaskTimeoutMs = 300000;
constexpr char kPageSenderProgram[] = "quillon.exe";

DWORD ReadDivideAnswer()
{
    RegistryKey root;
    DWORD value = 0;
    if (OpenUserKey(kRootKeyPath, &root) != ERROR_SUCCESS || root.ReadDword(root_values::kCaptureDivide, &value) != ERROR_SUCCESS)
        return 0;
    return value != 0 ? 1 : 0;
}

void KeepDivideAnswer(DWORD divide)
{
    RegistryKey root;
    if (CreateUserKey(kRootKeyPath, &root) == ERROR_SUCCESS)
        root.WriteDword(root_values::kCaptureDivide, divide);
}

struct PreviewData {
    const std::string *preview;
    long maxMessageLength;
    const char *helpFilePath;
    DWORD divide;
};

void ShowDivided(HWND dialog, const PreviewData &data)
{
    const std::string shown = DivideTextIntoMessages(*data.preview, data.maxMessageLength, data.divide != 0);
    SetDlgItemTextA(dialog, IDC_PREVIEW_TEXT, shown.c_str());
}

INT_PTR CALLBACK PreviewProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *data = reinterpret_cast<PreviewData *>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (data != nullptr && HandleContextHelp(dialog, message, wParam, data->helpFilePath, kPreviewHelpContext))
        return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        data = reinterpret_cast<PreviewData *>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        CheckDlgButton(dialog, IDC_PREVIEW_DIVIDE, data->divide != 0 ? BST_CHECKED : BST_UNCHECKED);
        ShowDivided(dialog, *data);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PREVIEW_DIVIDE:
            if (HIWORD(wParam) == BN_CLICKED && data != nullptr) {
                data->divide = IsDlgButtonChecked(dialog, IDC_PREVIEW_DIVIDE) == BST_CHECKED ? 1 : 0;
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

// Adds the page sender's values to the task stored under keyName.
bool WriteTaskValues(const char *keyName, const std::string &selection, DWORD divide)
{
    RegistryKey tasks;
    if (OpenUserKey(kTasksKeyPath, &tasks) != ERROR_SUCCESS)
        return false;
    RegistryKey task;
    if (keyName[0] == '\0' || task.Open(tasks.Get(), keyName) != ERROR_SUCCESS)
        return false;
    return task.WriteString(task_values::kCommandLine, keyName) == ERROR_SUCCESS &&
           task.WriteString(task_values::kSelection, selection) == ERROR_SUCCESS &&
           task.WriteDword(task_values::kChopMessage, divide) == ERROR_SUCCESS;
}

} // namespace

PageDoorSettings LoadPageDoorSettings()
{
    PageDoorSettings settings;
    char text[kTextBufferSize] = {};
    if (!ReadConfigText(config_values::kMaxMsgLen, text))
        return settings;
    settings.maxMessageLength = DecimalTextValue(text);
    if (ReadConfigText(config_values::kSender, text))
        settings.maxMessageLength -= static_cast<long>(std::strlen(text) + 1);
    settings.clipSubject = ReadConfigNumber(config_values::kClipSubject, 0);
    return settings;
}

PageExtraction ExtractPage(const std::string &address, const std::string *descriptor, long maxMessageLength)
{
    PageExtraction extraction;
    WebFlatLibrary library;
    if (!library.LoadBesideModule(nullptr))
        return extraction;
    ExtractedText text;
    extraction.result = library.WebFlat(address.c_str(), descriptor != nullptr ? descriptor->c_str() : nullptr,
                                        static_cast<int32_t>(maxMessageLength), &text);
    if (extraction.result >= 0) {
        extraction.body = text.Body() != nullptr ? text.Body() : "";
        extraction.heading = text.Heading() != nullptr ? text.Heading() : "";
    }
    return extraction;
}

int ShowDoorMessage(HWND owner, HMODULE resources, UINT textId, UINT type, const char *insert)
{
    std::string text = LoadResourceText(resources, textId);
    if (insert != nullptr)
        text = FormatText(text.c_str(), insert);
    const std::string caption = LoadResourceText(resources, IDS_APP_CAPTION);
    // A door runs beside the browser or from the notification icon: its questions must
    // come up in front of whatever the user is looking at.
    return MessageBoxA(owner, text.c_str(), caption.c_str(), type | MB_SETFOREGROUND);
}

PageDoorResult OfferPageTask(const PageDoorRequest &request)
{
    PageDoorResult result;
    try {
        const PageDoorSettings settings = LoadPageDoorSettings();
        char description[kDescriptionSize] = {};
        const std::string format = LoadResourceText(request.resources, IDS_TASK_DESCRIPTION_FORMAT);
        FormatBounded(description, format.c_str(), ShortLocation(request.address).c_str());
        result.description = description;

        PageExtraction extracted;
        if (request.extraction == nullptr)
            extracted = ExtractPage(request.address, request.descriptor, settings.maxMessageLength);
        const PageExtraction &page = request.extraction != nullptr ? *request.extraction : extracted;
        if (page.result < 0) {
            ShowDoorMessage(request.owner, request.resources, IDS_EXTRACT_ERROR, MB_OK | MB_ICONERROR);
            result.failure = LoadResourceText(request.resources, IDS_EXTRACT_ERROR);
            return result;
        }
        const std::string preview = settings.clipSubject == 0 ? page.body + page.heading + "\r\n" : page.body;

        DWORD divide = ReadDivideAnswer();
        if (static_cast<long long>(preview.size()) > settings.maxMessageLength && divide == 0) {
            switch (ShowDoorMessage(request.owner, request.resources, IDS_DIVIDE_QUESTION, MB_YESNOCANCEL)) {
            case IDYES:
                divide = 1;
                KeepDivideAnswer(divide);
                break;
            case IDNO:
                break;
            default:
                result.outcome = PageDoorOutcome::kCancelled;
                return result;
            }
        }
        PreviewData data{&preview, settings.maxMessageLength, request.helpFilePath.c_str(), divide};
        const INT_PTR chosen = DialogBoxParamA(request.resources, MAKEINTRESOURCEA(IDD_PREVIEW_DIVIDE), request.owner,
                                               PreviewProc, reinterpret_cast<LPARAM>(&data));
        if (data.divide != divide)
            KeepDivideAnswer(data.divide);
        divide = data.divide;
        if (chosen != IDOK) {
            result.outcome = PageDoorOutcome::kCancelled;
            return result;
        }

        ITasqeduleUI *schedule = request.schedule;
        ITasqeduleUI *created = nullptr;
        if (schedule == nullptr &&
            SUCCEEDED(CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                       IID_ITasqeduleUI, reinterpret_cast<void **>(&created))))
            schedule = created;
        if (schedule == nullptr) {
            ShowDoorMessage(request.owner, request.resources, IDS_CAPTURE_NO_SCHEDULER, MB_OK | MB_ICONERROR);
            result.failure = LoadResourceText(request.resources, IDS_CAPTURE_NO_SCHEDULER);
            return result;
        }
        const std::string selection = SelectionValue(request.address, request.descriptor);
        std::vector<char> commandLine(selection.begin(), selection.end());
        commandLine.push_back('\0');
        char program[sizeof kPageSenderProgram] = {};
        CopyBounded(program, kPageSenderProgram);
        char keyName[32] = {};
        const HRESULT submitted = schedule->SubmitApplication(request.owner, description, program, commandLine.data(), 1,
                                                              kPageTaskTimeoutMs, keyName);
        if (created != nullptr)
            created->Release();
        keyName[sizeof keyName - 1] = '\0';
        if (submitted != S_OK) {
            result.outcome = PageDoorOutcome::kCancelled;
            return result;
        }
        if (!WriteTaskValues(keyName, selection, divide)) {
            result.failure = LoadResourceText(request.resources, IDS_CAPTURE_NOT_STORED);
            ShowDoorMessage(request.owner, request.resources, IDS_CAPTURE_NOT_STORED, MB_OK | MB_ICONERROR);
            return result;
        }
        result.outcome = PageDoorOutcome::kScheduled;
        result.keyName = keyName;
    } catch (...) {
        result.outcome = PageDoorOutcome::kFailed;
        result.failure = "out of memory";
    }
    return result;
}

} // namespace quillon::capture
