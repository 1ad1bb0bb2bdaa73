// cliphost.exe: the native host of the page-capture browser extension. The browser
// starts it for each capture with the caller's identity on the command line, sends one
// request on standard input and reads one reply from standard output (native_message.h,
// capture_request.h). The host checks the caller, builds the selection descriptor over
// the markup the extension sent, checks that the text library's extraction with it is
// the selection (refusing plainly and offering the whole page when it is not), and then
// runs the page door: preview, divide question, task editor, page values.
//
// Every failure becomes an error reply and a line on standard error; the exit code is 0
// after a reply of "scheduled" or "cancelled", 1 after an error.
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "capture/host/capture_request.h"
#include "capture/host/native_message.h"
#include "capture_extension_ids.h"
#include "common/page_door.h"
#include "common/resource_module.h"
#include "common/text.h"
#include "resources/resource_ids.h"
#include "webflat/webflat_loader.h"
#include "common/resource_text.h"

using namespace quillon;
using namespace quillon::capture;

namespace {

class StandardInput : public ByteSource {
public:
    size_t Read(void *buffer, size_t size) override
    {
        DWORD got = 0;
        const DWORD ask = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
        if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, ask, &got, nullptr))
            return 0;
        return got;
    }
};

void WriteAll(DWORD which, const std::string &bytes)
{
    const HANDLE handle = GetStdHandle(which);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD wrote = 0;
        if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote, nullptr) || wrote == 0)
            return;
        done += wrote;
    }
}

std::string Convert(UINT from, UINT to, const std::string &text)
{
    if (text.empty())
        return text;
    const int wide = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wide <= 0)
        return std::string();
    std::wstring units(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), &units[0], wide);
    const int bytes = WideCharToMultiByte(to, 0, units.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(to, 0, units.data(), wide, &out[0], bytes, nullptr, nullptr);
    return out;
}

std::string AnsiToUtf8(const std::string &text) { return Convert(CP_ACP, CP_UTF8, text); }
std::string Utf8ToAnsi(const std::string &text) { return Convert(CP_UTF8, CP_ACP, text); }

// A text of the resource module, with English words when the module is missing (the
// browser must still hear why nothing happened).
std::string Text(HMODULE resources, UINT id, const char *fallback, const std::string &insert = std::string())
{
    std::string format = resources != nullptr ? LoadResourceText(resources, id) : std::string();
    if (format.empty())
        format = fallback;
    return format.find("%s") != std::string::npos ? FormatText(format.c_str(), insert.c_str()) : format;
}

int Reply(ReplyStatus status, const std::string &ansiMessage, const std::string &task = std::string())
{
    WriteAll(STD_OUTPUT_HANDLE, FrameNativeMessage(MakeReply(status, AnsiToUtf8(ansiMessage), task)));
    if (status == ReplyStatus::kError)
        WriteAll(STD_ERROR_HANDLE, "cliphost: " + ansiMessage + "\n");
    return status == ReplyStatus::kError ? 1 : 0;
}

// The host is started in the background by the browser, which keeps the foreground: its
// windows are made topmost as they are created, so that they come up in front of the
// browser window the user is looking at, and take the foreground when they can.
LRESULT CALLBACK FrontHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        auto *create = reinterpret_cast<CBT_CREATEWNDA *>(lParam);
        if (create != nullptr && create->lpcs != nullptr && (create->lpcs->style & WS_CHILD) == 0)
            create->lpcs->dwExStyle |= WS_EX_TOPMOST;
    } else if (code == HCBT_ACTIVATE) {
        SetForegroundWindow(reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::string HelpFilePath()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return std::string();
    std::string text(path, length);
    return text.substr(0, text.rfind('\\') + 1) + "quillon.chm";
}

int Capture(const CaptureRequest &request, HWND owner, HMODULE resources)
{
    const std::string address = Utf8ToAnsi(request.address);
    std::string descriptor;
    bool useDescriptor = false;
    PageExtraction extraction;
    bool extracted = false;

    if (request.hasSelection) {
        const DescribeResult described = DescribeCapturedSelection(request, &descriptor);
        bool isSelection = false;
        if (described == DescribeResult::kDescribed) {
            extraction.result = ExtractPageTexts(address, &descriptor,
                                                 static_cast<int32_t>(LoadPageDoorSettings().maxMessageLength),
                                                 &extraction.body, &extraction.heading);
            extracted = true;
            // A page the library cannot read at all is reported by the door (string 206).
            isSelection = extraction.result < 0 ||
                          ExtractedTextIsSelection(extraction.body, Utf8ToAnsi(request.selection.text));
        }
        if (isSelection) {
            useDescriptor = true;
        } else {
            if (ShowDoorMessage(owner, resources, IDS_CAPTURE_NOT_IN_PAGE, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK)
                return Reply(ReplyStatus::kCancelled, Text(resources, IDS_CAPTURE_CANCELLED, "Nothing was scheduled."));
            extracted = false;
        }
    } else if (request.unreadableFrame) {
        if (ShowDoorMessage(owner, resources, IDS_CAPTURE_FRAME_UNREADABLE, MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
            return Reply(ReplyStatus::kCancelled, Text(resources, IDS_CAPTURE_CANCELLED, "Nothing was scheduled."));
    }

    PageDoorRequest door;
    door.owner = owner;
    door.resources = resources;
    door.helpFilePath = HelpFilePath();
    door.address = address;
    door.descriptor = useDescriptor ? &descriptor : nullptr;
    if (!extracted)
        extraction.result = ExtractPageTexts(address, door.descriptor,
                                             static_cast<int32_t>(LoadPageDoorSettings().maxMessageLength),
                                             &extraction.body, &extraction.heading);
    door.extraction = &extraction;
    const PageDoorResult result = OfferPageTask(door);
    switch (result.outcome) {
    case PageDoorOutcome::kScheduled:
        return Reply(ReplyStatus::kScheduled, Text(resources, IDS_CAPTURE_SCHEDULED, "Scheduled: %s", result.description),
                     result.keyName);
    case PageDoorOutcome::kCancelled:
        return Reply(ReplyStatus::kCancelled, Text(resources, IDS_CAPTURE_CANCELLED, "Nothing was scheduled."));
    case PageDoorOutcome::kFailed:
        break;
    }
    return Reply(ReplyStatus::kError, result.failure.empty() ? std::string("the task could not be created") : result.failure);
}

int Run(int argc, char **argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);

    UniqueModule resources;
    LoadResourceModule(ResourceModuleSearch::SystemSearch, nullptr, resources);
    const HMODULE texts = resources.Get();

    const HostCaller caller = IdentifyCaller(arguments, kChromiumExtensionOrigin, kFirefoxAddonId);
    if (!caller.accepted)
        return Reply(ReplyStatus::kError, Text(texts, IDS_CAPTURE_WRONG_CALLER, "Quillon does not take requests from %s.",
                                               caller.caller.empty() ? std::string("an unknown caller") : caller.caller));

    StandardInput input;
    std::string payload;
    const ReadStatus status = ReadNativeMessage(input, &payload);
    if (status != ReadStatus::kMessage)
        return Reply(ReplyStatus::kError, Text(texts, IDS_CAPTURE_BAD_REQUEST, "Quillon could not read the browser's request: %s.",
                                               DescribeReadStatus(status)));
    CaptureRequest request;
    std::string error;
    if (!ParseCaptureRequest(payload, &request, &error))
        return Reply(ReplyStatus::kError,
                     Text(texts, IDS_CAPTURE_BAD_REQUEST, "Quillon could not read the browser's request: %s.", error));
    if (texts == nullptr)
        return Reply(ReplyStatus::kError, "Quillon's resource module is missing; reinstall Quillon.");

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_DATE_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return Reply(ReplyStatus::kError, Text(texts, IDS_CAPTURE_NO_SCHEDULER, "The schedule component could not be started."));
    HWND owner = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(caller.parentWindow));
    if (owner != nullptr && !IsWindow(owner))
        owner = nullptr;
    HHOOK hook = SetWindowsHookExA(WH_CBT, FrontHook, nullptr, GetCurrentThreadId());
    const int code = Capture(request, owner, texts);
    if (hook != nullptr)
        UnhookWindowsHookEx(hook);
    CoUninitialize();
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return Run(argc, argv);
    } catch (...) {
        return Reply(ReplyStatus::kError, "out of memory");
    }
}
