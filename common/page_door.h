// Offering a page as a page task, for the doors that have no browser document of their
// own: the native host behind the browser extension (capture/host) and the scheduler's
// "Watch a page..." command (scheduler/shell). Both give an address (and the host a
// selection descriptor) with the text WEBFLAT.DLL extracted for it (ExtractPageTexts of
// webflat/webflat_loader.h); the door asks whether a long text is to be divided, shows
// it in the preview-and-divide dialog, opens the task editor through the schedule
// component with the texts the browser add-in uses, and has SubmitPageTask add
// CommandLine, Selection and ChopMessage to the stored task.
//
// The answer to the divide question is kept for the user between captures in the value
// CaptureDivide under the product's key (each capture is a new process, unlike the
// add-in, which keeps it for the life of the browser).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct ITasqeduleUI;

namespace quillon {

// What WEBFLAT.DLL gave for a page: result < 0 is a failure (texts empty).
struct PageExtraction {
    int32_t result = -1;
    std::string body;
    std::string heading;
};

// The settings a door reads from the Configuration key: MaxMsgLen less the stored size
// of Sender, and ClipSubject.
struct PageDoorSettings {
    long maxMessageLength = 500;
    uint32_t clipSubject = 0;
};
PageDoorSettings LoadPageDoorSettings();

enum class PageDoorOutcome { kScheduled, kCancelled, kFailed };

struct PageDoorResult {
    PageDoorOutcome outcome = PageDoorOutcome::kFailed;
    std::string keyName;     // kScheduled: the stored task's key
    std::string description; // the task's description ("Send text from ...")
    std::string failure;     // kFailed: what went wrong, for the user (ANSI)
};

struct PageDoorRequest {
    HWND owner = nullptr;               // owns every window the door opens (may be null)
    HMODULE resources = nullptr;        // the resource module
    std::string helpFilePath;           // quillon.chm, for the preview's context help
    std::string address;                // the page (http, https, file URL or path)
    const std::string *descriptor = nullptr; // the selection, or null for the whole page
    const PageExtraction *extraction = nullptr; // the text extracted with this descriptor (null counts as a failed extraction)
    ITasqeduleUI *schedule = nullptr;   // the schedule component; null: created for the call
};

// Runs the door. Failures are shown to the user in a message box (string 206 for a page
// that cannot be extracted) and reported in the result. Never throws.
PageDoorResult OfferPageTask(const PageDoorRequest &request);

// Shows a message box with the resource module's string `textId` (formatted with
// `insert` when given) and the caption string 103; returns the button chosen.
int ShowDoorMessage(HWND owner, HMODULE resources, UINT textId, UINT type, const char *insert = nullptr);

} // namespace quillon
