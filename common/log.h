// The shared log file: every writer opens it for appending without sharing, writes one
// piece of text and closes it again. Lines end with CR LF; the caller supplies them.
// When the file cannot be opened or written, the text is dropped silently: logging must
// never disturb the work it reports on.
#pragma once

#include <string>

namespace quillon {

// Appends `text` to the file named `path` (created when missing). A null or empty path
// writes nothing. A file that another writer holds open is retried briefly first.
void AppendLogText(const char *path, const char *text);
inline void AppendLogText(const char *path, const std::string &text) { AppendLogText(path, text.c_str()); }

} // namespace quillon
