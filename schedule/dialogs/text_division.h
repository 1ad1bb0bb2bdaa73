// The preview's view of a task's page text: how the `Selection` value of a task splits
// into the page address and the selection descriptor, and how extracted text is divided
// into the messages the page sender would queue. Portable: no Windows header.
#pragma once

#include <string>

namespace quillon {

// The byte that marks where extracted text may be divided between messages.
constexpr char kMessageBreakMark = '\x01';

// Header put between two messages of divided text; %d is the number of the message that
// follows (the first message has no header, so the first header reads #2).
constexpr char kMessageHeaderFormat[] = "\r\n---Message #%d---\r\n";

// Splits a `Selection` value: it must start with a double quote; the address runs from
// the character after it up to the LAST double quote of the value, and whatever follows
// that closing quote, after spaces, is the descriptor (*hasDescriptor false when nothing
// follows). False, with the outputs untouched, when the value does not start with a quote
// or has no second one.
bool SplitSelectionValue(const std::string &selection, std::string *address, std::string *descriptor,
                         bool *hasDescriptor);

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
