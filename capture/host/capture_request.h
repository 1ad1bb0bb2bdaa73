// What the browser extension asks the native host, and what the host answers: the
// request's JSON read into plain data, the selection descriptor built from it with the
// capture core, the check that the text library's extraction is the selection, and the
// reply. Portable (nlohmann/json); the host program does the Windows side.
//
// Request (one per start of the host), UTF-8 JSON:
//   {"kind": "capture", "address": top page URL, "title": page title,
//    "unreadableFrame": true when the selection lies in a frame the extension may not read,
//    "selection": null (nothing selected: the whole page) or
//      {"text": the selected text, "frameAddress": URL of the frame holding it,
//       "frame": [{"index": i, "count": n}, ...]  the frame's place, from the top page down
//                (i among the n frames of the document above; [] for the top page),
//       "markup": the frame document's markup (null when too large to send),
//       "start"/"end": {"path": [element-child indices below BODY], "offset": UTF-16 units
//                       of that element's text before the point} (null outside BODY)}}
// Reply: {"status": "scheduled" | "cancelled" | "error", "message": text for the user,
//         "task": key name of the stored task (when scheduled)}
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::capture {

struct TextPoint {
    std::vector<long> path;
    long offset = 0;
};

struct FrameStep {
    long index = -1;
    long count = 0;
};

struct CapturedSelection {
    std::string text;
    std::string frameAddress;
    std::vector<FrameStep> frame;
    bool hasMarkup = false;
    std::string markup;
    bool hasStart = false;
    bool hasEnd = false;
    TextPoint start;
    TextPoint end;
};

struct CaptureRequest {
    std::string address;
    std::string title;
    bool unreadableFrame = false;
    bool hasSelection = false;
    CapturedSelection selection;
};

// Reads a request. False, with a reason in *error, for JSON that does not parse or does
// not have the request's shape (wrong kind, missing address, wrong types).
bool ParseCaptureRequest(std::string_view json, CaptureRequest *request, std::string *error);

enum class ReplyStatus { kScheduled, kCancelled, kError };

// The reply's JSON text. The message is cut (at a character boundary) so that the reply
// stays below kMaxReplyBytes; bytes that are not UTF-8 are replaced.
std::string MakeReply(ReplyStatus status, std::string_view messageUtf8, std::string_view taskKey = {});

enum class DescribeResult {
    kWholePage,     // nothing selected: the task sends the whole page (no descriptor)
    kDescribed,     // *descriptor names the selection
    kUndescribable, // the selection cannot be put into a descriptor over the sent markup
};

// The descriptor of the request's selection, built with the capture core over the page
// model of the markup the extension sent, wrapped in the frame lists of the top page.
DescribeResult DescribeCapturedSelection(const CaptureRequest &request, std::string *descriptor);

// Text compared as a reader sees it: break marks, white space (ASCII, and the byte 0xA0,
// the no-break space of the Western code pages and Latin-1) collapsed to single spaces,
// none at either end.
std::string CollapseForComparison(std::string_view text);

// Whether text the library extracted with a descriptor is the selection: it holds the
// selected text, and little else (a descriptor the page no longer fits makes the library
// fall back to the whole page, which holds the selection too). Both in one encoding.
bool ExtractedTextIsSelection(std::string_view extracted, std::string_view selected);

// Who started the host, from its arguments (after the program name).
//  Chromium browsers: the caller's origin "chrome-extension://<id>/", then, on Windows,
//  "--parent-window=<HWND>" (0 when there is none); Firefox: the host manifest's path,
//  then the add-on's id.
struct HostCaller {
    bool accepted = false;
    std::string caller;        // the origin or add-on id given (empty when none)
    uint64_t parentWindow = 0; // the browser window that owns the host's windows, or 0
};
HostCaller IdentifyCaller(const std::vector<std::string> &arguments, std::string_view chromiumOrigin,
                          std::string_view firefoxAddonId);

} // namespace quillon::capture
