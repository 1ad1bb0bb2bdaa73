// Character sets of fetched pages: finding which one a page uses and turning its bytes
// into UTF-8, the one encoding the rest of the extraction works in. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon::webflat {

// The charset parameter of a Content-Type header value ("text/html; charset=UTF-8" gives
// "utf-8"), lower-case, quotes removed; empty when there is none.
std::string CharsetFromContentType(std::string_view contentType);

// The character set a page's bytes are in, as a lower-case label with its common aliases
// folded ("latin1" and "iso-8859-1" both give "windows-1252", as browsers read them).
// In the order browsers use: a byte-order mark, then headerCharset (from the HTTP header,
// may be empty), then a <meta charset> or <meta http-equiv content> declaration within
// the first 4096 bytes; without any, "utf-8" when the bytes are valid UTF-8 holding some
// non-ASCII text, else "windows-1252".
std::string DetectCharset(std::string_view bytes, std::string_view headerCharset);

// Folds a charset label to the name DetectCharset returns ("UTF8" -> "utf-8").
std::string NormalizeCharsetLabel(std::string_view label);

// Converts bytes in charset to UTF-8, appending to out. Knows utf-8, utf-16le/be,
// us-ascii and windows-1252 (and so ISO-8859-1); returns false without touching out for
// any other charset, which the caller converts with the platform's tables. A byte-order
// mark is dropped; invalid sequences become U+FFFD, never an error.
bool ConvertToUtf8(std::string_view bytes, std::string_view charset, std::string &out);

// Appends code point cp as UTF-8 (surrogates and values past U+10FFFF as U+FFFD).
void AppendUtf8(std::string &out, uint32_t cp);

// Decodes one UTF-8 sequence at text[pos] (pos < text.size()). Sets length to the bytes
// used (at least 1) and returns the code point, or U+FFFD for an invalid sequence.
uint32_t DecodeUtf8(std::string_view text, size_t pos, size_t &length);

} // namespace quillon::webflat
