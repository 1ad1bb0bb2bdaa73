// How a preview shows extracted text divided into the messages it will be sent as: the
// one rule the schedule component's preview and the preview-and-divide dialog of every
// page-task door (preview_divide_dialog.h) show. The page sender's own cut is
// sender/page_text.h's and follows its own rule. Portable: no Windows header.
#pragma once

#include <string>

#include "common/page_task.h"  // kBreakMark

namespace quillon {

// Header put between two messages of divided text; %d is the number of the message that
// follows (the first message has no header, so the first header reads #2).
constexpr char kMessageHeaderFormat[] = "\r\n---Message #%d---\r\n";

// The text as the preview shows it for a maximum message length `maxLength`:
//  - shorter than maxLength: whole;
//  - otherwise, with `divide` false: its first maxLength characters;
//  - otherwise divided into messages of at most maxLength characters, each cut at the
//    last break mark within reach (the mark itself is dropped) or, without one, at
//    maxLength, with kMessageHeaderFormat before every message after the first.
// Break marks left in the result show as spaces. A maxLength below 1 counts as 1, so a
// misconfigured length can never stall the division. No header is written for an empty
// last message (a mark-free text of exactly maxLength characters stays whole).
std::string DivideTextIntoMessages(const std::string &text, long maxLength, bool divide);

} // namespace quillon
