// The time format of the task editor's time pickers: the user's time format without its
// seconds field, so a picker shows "h:mm tt" where the locale says "h:mm:ss tt".
// Portable: the caller reads the locale's separator (LOCALE_STIME) and format
// (LOCALE_STIMEFORMAT) and passes them in.
#pragma once

#include <string>

namespace quillon {

// Removes the seconds field together with the separator that joins it to the rest:
//   - when `format` holds the separator followed by "s": the first separator + "ss" if
//     there is one, otherwise the first separator + "s";
//   - else, when it holds "s" followed by the separator: the first "ss" + separator if
//     there is one, otherwise the first "s" + separator;
//   - else the format is returned unchanged.
// An empty separator leaves the format unchanged: without it there is no way to tell a
// seconds field from any other "s".
std::string RemoveSecondsFromTimeFormat(const std::string &format, const std::string &separator);

} // namespace quillon
