// Call contract of the text-extraction library "WEBFLAT.DLL", shared by the library
// itself and by every caller (the page sender, the schedule component's preview and the
// browser add-in). Callers load the library by file name and look the functions up by
// name; nothing links against it.
//
// On success (result >= 0) *body and *heading are NUL-terminated ANSI texts allocated by
// the library and writable (the page sender cuts the body in place). The caller releases
// each of them exactly once with WebFlatFree, the heading first and then the body. On
// failure (result < 0) neither out-pointer holds anything to free.
//
// The body may contain break marks (kBreakMark, common/page_task.h) where the text may be divided between
// messages; callers turn the marks left inside a message into spaces. The heading is the
// page title. maxLen is the destination's maximum message length; blocks of text longer
// than it carry extra break marks at word boundaries.
//
// This header includes no Windows header: IHTMLDocument2 is only named.
#pragma once

#include <cstdint>

#include "common/page_task.h"  // kBreakMark

struct IHTMLDocument2;

namespace quillon {

constexpr char kWebFlatLibraryName[] = "WEBFLAT.DLL";
constexpr char kWebFlatExport[] = "WebFlat";
constexpr char kPageFlatExport[] = "PageFlat";
constexpr char kWebFlatFreeExport[] = "WebFlatFree";

} // namespace quillon

extern "C" {

// address: "http://..." / "https://..." URL, "file://..." URL or a local file path.
// selection: the selection argument of a task (a selection descriptor such as
// "<1,0,2>", "()" for the whole page), or null for the whole page.
typedef int32_t (*WebFlatFunction)(const char *address, const char *selection, char **body, char **heading,
                                   int32_t maxLen);

// The same extraction from a document the browser already holds.
typedef int32_t (*PageFlatFunction)(IHTMLDocument2 *document, const char *descriptor, char **body,
                                    char **heading, int32_t maxLen);

typedef void (*WebFlatFreeFunction)(char *text);

} // extern "C"
