// What every door that creates a page task agrees on: the program the task runs, its
// time-out, the break mark in extracted text, and the task's `Selection` value (the page
// address in double quotes, optionally followed by a selection descriptor). The add-in,
// the reminder, the page sender, the schedule component's preview and the text library
// all read these from here. Portable: no Windows header.
#pragma once

#include <cstddef>
#include <string>

namespace quillon {

// The page sender, as a page task names it (found beside the scheduler; no path).
constexpr char kPageSenderProgram[] = "quillon.exe";
// How long the scheduler lets one run of the page sender take.
constexpr unsigned long kPageTaskTimeoutMs = 300000;
// Page tasks fetch a page, so they need the connection.
constexpr long kPageTaskNeedsInternet = 1;

// The byte that marks a place where extracted text may be divided between messages.
// The text library writes it; whoever shows or sends the text turns the marks left
// inside a message into spaces.
constexpr char kBreakMark = '\x01';

// A task's Selection taken apart.
struct SelectionParts {
    std::string address;
    bool hasDescriptor = false;  // false: the text library gets no descriptor (null)
    std::string descriptor;
};

// The Selection value for `address`: the address in double quotes, then, when
// `descriptor` is not null, one space and the descriptor. Any length: readers take the
// stored value at whatever size it has, and a cut descriptor would no longer parse.
std::string SelectionValue(const std::string &address, const std::string *descriptor);

// Splits `selection`. The address runs from after the first character (which must be a
// double quote) to the LAST double quote of the text, so quotes inside the address stay
// part of it. Spaces after the closing quote are skipped; whatever follows is the
// descriptor (hasDescriptor false when nothing follows). False, with *parts untouched,
// when the text does not start with a quote or has no closing quote after it.
bool SplitSelection(const std::string &selection, SelectionParts *parts);

// The part of a page address a task's description ("Send text from %s") shows:
//   "file://" addresses: what follows the last backslash after it (C:\docs\page.htm ->
//   page.htm); other "://" addresses: host and file with a long path between them
//   shortened to "..." (host/a/b/page.htm -> host/.../page.htm; host/ab/page.htm stays);
//   anything else: what follows its last backslash, or all of it.
std::string ShortLocation(const std::string &address);

// The description buffer's size: a longer description is cut, which changes nothing
// but the text the schedule list shows.
constexpr size_t kDescriptionSize = 520;

} // namespace quillon
