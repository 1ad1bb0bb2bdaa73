#include "capture/capture_selection.h"

#include <mshtml.h>

#include "capture/browser_document.h"
#include "capture/capture_text.h"
#include "capture/clip_obj.h"
#include "capture/clipnet_module.h"
#include "common/com_owners.h"
#include "common/page_task.h"
#include "common/preview_divide_dialog.h"
#include "common/resource_text.h"
#include "common/submit_page_task.h"
#include "common/text.h"
#include "resources/resource_ids.h"
#include "webflat/webflat_loader.h"

namespace quillon::capture {
namespace {

void Message(HWND owner, UINT textId, UINT type)
{
    const std::string text = LoadResourceText(Module().resources, textId);
    const std::string caption = LoadResourceText(Module().resources, IDS_APP_CAPTION);
    MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}

} // namespace

void CaptureSelection(ClipObj &object)
{
    ClipnetModule &module = Module();
    const HWND frame = object.Frame();
    // SetSite only keeps a library with PageFlat; the object keeps it loaded past the
    // texts below.
    const WebFlatLibrary &library = object.TextLibrary();
    if (!library.HasPageFlat() || object.Browser() == nullptr)
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

    std::string body;
    std::string title;
    {
        ExtractedText extracted;
        library.PageFlat(document.Get(), status == DescriptorStatus::kAborted ? nullptr : descriptor.c_str(),
                         static_cast<int32_t>(module.settings.maxMessageLength), &extracted);
        if (extracted.Body() != nullptr)
            body = extracted.Body();
        if (extracted.Heading() != nullptr)
            title = extracted.Heading();
    }
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
    PreviewDivideDialogData shown;
    shown.text = preview;
    shown.maxMessageLength = module.settings.maxMessageLength;
    shown.helpFilePath = module.helpFilePath;
    shown.divide = module.divideFlag != 0;
    const INT_PTR closed = RunPreviewDivideDialog(frame, module.resources, &shown);
    if (closed == IDOK || closed == IDCANCEL)
        module.divideFlag = shown.divide ? 1 : 0;
    if (closed != IDOK)
        return;

    ITasqeduleUI *schedule = object.Schedule();
    if (schedule == nullptr) {
        Message(frame, IDS_CAPTURE_NO_SCHEDULER, MB_OK | MB_ICONERROR);
        return;
    }
    PageTaskRequest request;
    request.description = description;
    request.commandLine = selection;
    request.selection = selection;
    request.writeChopMessage = true;
    request.chopMessage = module.divideFlag;
    SubmitPageTask(schedule, frame, request, nullptr);
}

} // namespace quillon::capture
