#include "common/page_door.h"

#include "common/config/configuration_key.h"
#include "common/config/shared_settings.h"
#include "common/names.h"
#include "common/page_task.h"
#include "common/preview_divide_dialog.h"
#include "common/registry.h"
#include "common/resource_text.h"
#include "common/submit_page_task.h"
#include "common/text.h"
#include "resources/resource_ids.h"
#include "tasqui_h.h"

namespace quillon {
namespace {

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

// Whether the task's values are in its key: SubmitPageTask does not report it.
bool TaskHasSelection(const std::string &keyName, const std::string &selection)
{
    RegistryKey tasks;
    RegistryKey task;
    std::string stored;
    return OpenUserKey(kTasksKeyPath, &tasks) == ERROR_SUCCESS && task.Open(tasks.Get(), keyName.c_str()) == ERROR_SUCCESS &&
           task.ReadString(task_values::kSelection, &stored) == ERROR_SUCCESS && stored == selection;
}

} // namespace

PageDoorSettings LoadPageDoorSettings()
{
    // As the add-in reads them (capture/capture_settings.cpp).
    PageDoorSettings settings;
    ConfigurationKey key;
    key.Open();
    ReadMessageRoom(key, &settings.maxMessageLength);
    bool clipSubject = false;
    if (ReadClipSubject(key, &clipSubject))
        settings.clipSubject = clipSubject ? 1 : 0;
    return settings;
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

        static const PageExtraction kNoPage;
        const PageExtraction &page = request.extraction != nullptr ? *request.extraction : kNoPage;
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
        PreviewDivideDialogData shown;
        shown.text = preview;
        shown.maxMessageLength = settings.maxMessageLength;
        shown.helpFilePath = request.helpFilePath.c_str();
        shown.divide = divide != 0;
        const INT_PTR chosen = RunPreviewDivideDialog(request.owner, request.resources, &shown);
        if ((chosen == IDOK || chosen == IDCANCEL) && (shown.divide ? 1u : 0u) != divide) {
            divide = shown.divide ? 1 : 0;
            KeepDivideAnswer(divide);
        }
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
        PageTaskRequest task;
        task.description = description;
        task.selection = SelectionValue(request.address, request.descriptor);
        task.commandLine = task.selection;
        task.writeChopMessage = true;
        task.chopMessage = divide;
        std::string keyName;
        const HRESULT submitted = SubmitPageTask(schedule, request.owner, task, &keyName);
        if (created != nullptr)
            created->Release();
        if (submitted != S_OK) {
            result.outcome = PageDoorOutcome::kCancelled;
            return result;
        }
        if (!TaskHasSelection(keyName, task.selection)) {
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

} // namespace quillon
