// Character references ("&amp;", "&#233;", "&#x201C;") of HTML text and attributes.
// Portable.
#pragma once

#include <string>
#include <string_view>

namespace quillon::webflat {

// Decodes the character reference that starts at text[pos] (text[pos] == '&') and
// appends what it stands for to out as UTF-8. Returns the number of bytes consumed, or 0
// when there is no reference there (the caller then keeps the '&' as it stands).
// inAttribute applies the HTML rule that a legacy reference without ';' followed by a
// letter, digit or '=' is not decoded in attribute values. Numeric references follow
// the HTML standard: 0x80..0x9F are read as Windows-1252, 0, surrogates and values past
// U+10FFFF give U+FFFD, and any number of digits is accepted without overflow.
size_t DecodeCharacterReference(std::string_view text, size_t pos, bool inAttribute, std::string &out);

// Appends text with every character reference decoded.
void AppendDecoded(std::string_view text, bool inAttribute, std::string &out);

} // namespace quillon::webflat
