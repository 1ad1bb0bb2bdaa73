// Text work of the capture: the short location in a task's description and the
// selection value stored as the task's Selection. Portable.
#pragma once

#include <string>

namespace quillon::capture {

// The part of a page address a task description shows:
//   "file://" addresses: what follows the last backslash after it (C:\docs\page.htm ->
//   page.htm); other "://" addresses: host and file with a long path between them
//   shortened to "..." (host/a/b/page.htm -> host/.../page.htm; host/ab/page.htm stays);
//   anything else: what follows its last backslash, or all of it.
std::string ShortLocation(const std::string &address);

// The task's Selection: the address in double quotes, then, when a descriptor was built,
// one space and the descriptor. Any length: the page sender and the preview read the
// stored value at whatever size it has, and a cut descriptor would no longer parse.
std::string SelectionValue(const std::string &address, const std::string *descriptor);

// The description buffer's size: a longer description is cut, which changes nothing
// but the text the schedule list shows.
constexpr size_t kDescriptionSize = 520;

} // namespace quillon::capture
