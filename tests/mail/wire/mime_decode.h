// Test-side readers of what the message builder writes, kept apart from the builder so
// that a fault in one is not mirrored by the other: quoted-printable body decoding and
// RFC 2047 encoded-word ("Q") header decoding, both as RFC 2045/2047 define them.
#pragma once

#include <string>
#include <vector>

namespace quillon::test {

inline int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;   // the builder writes upper-case digits only
}

// The CR LF separated lines of `text`; false when a line ends without CR LF or a bare CR
// or LF stands inside.
inline bool SplitCrLfLines(const std::string &text, std::vector<std::string> *lines)
{
    lines->clear();
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos)
            return false;
        std::string line = text.substr(at, end - at);
        if (line.find_first_of("\r\n") != std::string::npos)
            return false;
        lines->push_back(line);
        at = end + 2;
    }
    return true;
}

// Decodes a quoted-printable body whose lines end in CR LF; hard line breaks come back as
// "\n". False on a malformed escape.
inline bool DecodeQuotedPrintable(const std::string &encoded, std::string *decoded)
{
    decoded->clear();
    std::vector<std::string> lines;
    if (!SplitCrLfLines(encoded, &lines))
        return false;
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string &line = lines[n];
        bool soft = !line.empty() && line.back() == '=';
        size_t length = soft ? line.size() - 1 : line.size();
        for (size_t i = 0; i < length; ++i) {
            if (line[i] != '=') {
                decoded->push_back(line[i]);
                continue;
            }
            if (i + 2 >= length)
                return false;
            int high = HexValue(line[i + 1]), low = HexValue(line[i + 2]);
            if (high < 0 || low < 0)
                return false;
            decoded->push_back(static_cast<char>(high * 16 + low));
            i += 2;
        }
        if (!soft)
            decoded->push_back('\n');
    }
    return true;
}

// Decodes one "=?charset?Q?text?=" word; false when it is not one.
inline bool DecodeEncodedWord(const std::string &word, std::string *charset, std::string *decoded)
{
    if (word.size() < 8 || word.compare(0, 2, "=?") != 0 || word.compare(word.size() - 2, 2, "?=") != 0)
        return false;
    size_t q = word.find("?Q?", 2);
    if (q == std::string::npos)
        return false;
    *charset = word.substr(2, q - 2);
    decoded->clear();
    const std::string text = word.substr(q + 3, word.size() - q - 5);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '_') {
            decoded->push_back(' ');
        } else if (c == '=') {
            if (i + 2 >= text.size())
                return false;
            int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            decoded->push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else if (c == '?' || c == ' ' || static_cast<unsigned char>(c) < 33 || static_cast<unsigned char>(c) > 126) {
            return false;
        } else {
            decoded->push_back(c);
        }
    }
    return true;
}

} // namespace quillon::test
