// Text work of the capture: the short location in a task's description (the task's
// Selection value is built by common/page_task.h). Portable.
#pragma once

#include <string>

namespace quillon::capture {

// The part of a page address a task description shows:
//   "file://" addresses: what follows the last backslash after it (C:\docs\page.htm ->
//   page.htm); other "://" addresses: host and file with a long path between them
//   shortened to "..." (host/a/b/page.htm -> host/.../page.htm; host/ab/page.htm stays);
//   anything else: what follows its last backslash, or all of it.
std::string ShortLocation(const std::string &address);

// The description buffer's size: a longer description is cut, which changes nothing
// but the text the schedule list shows.
constexpr size_t kDescriptionSize = 520;

} // namespace quillon::capture
