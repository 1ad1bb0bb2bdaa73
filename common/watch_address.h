// The address a user types into "Watch a page...": a web page (http or https) or a
// local file, as the text library can read it. Portable.
#pragma once

#include <string>

namespace quillon {

// The address as a page task stores it, with the white space around it removed; empty
// when the text names nothing the page sender can fetch: an http:// or https:// address
// with a host, a file:// URL, or a Windows path (drive letter and colon, or a UNC path
// \\server\share\...). Double quotes are refused: the task's Selection value ends its
// address at the last one.
std::string WatchableAddress(const std::string &typed);

} // namespace quillon
