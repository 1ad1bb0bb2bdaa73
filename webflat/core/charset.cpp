#include "webflat/core/charset.h"

#include <algorithm>
#include <cstring>

namespace quillon::webflat {
namespace {

// Windows-1252 differs from ISO-8859-1 only in 0x80..0x9F; browsers read both labels
// with this table. Undefined positions map to the C1 control of the same value.
constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = LowerAscii(c);
    return out;
}

// Case-insensitive search for an ASCII needle (given in lower case) from pos.
size_t FindNoCase(std::string_view hay, std::string_view lowerNeedle, size_t pos)
{
    if (lowerNeedle.empty() || hay.size() < lowerNeedle.size())
        return std::string_view::npos;
    for (size_t i = pos; i + lowerNeedle.size() <= hay.size(); ++i) {
        size_t k = 0;
        while (k < lowerNeedle.size() && LowerAscii(hay[i + k]) == lowerNeedle[k])
            ++k;
        if (k == lowerNeedle.size())
            return i;
    }
    return std::string_view::npos;
}

// The value after "charset" in text such as a meta content attribute: optional spaces,
// "=", optional spaces, then a quoted or bare token.
std::string CharsetParameter(std::string_view text)
{
    size_t pos = 0;
    while ((pos = FindNoCase(text, "charset", pos)) != std::string_view::npos) {
        size_t i = pos + 7;
        while (i < text.size() && IsSpace(text[i]))
            ++i;
        if (i >= text.size() || text[i] != '=') {
            pos = i;
            continue;
        }
        ++i;
        while (i < text.size() && IsSpace(text[i]))
            ++i;
        char quote = 0;
        if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
            quote = text[i];
            ++i;
        }
        size_t start = i;
        while (i < text.size() && text[i] != quote && text[i] != ';' && text[i] != ',' &&
               (quote != 0 || !IsSpace(text[i])) && text[i] != '"' && text[i] != '\'')
            ++i;
        return Lower(text.substr(start, i - start));
    }
    return std::string();
}

bool HasUtf8Bom(std::string_view b) { return b.size() >= 3 && b.compare(0, 3, "\xEF\xBB\xBF") == 0; }
bool HasUtf16LeBom(std::string_view b) { return b.size() >= 2 && b[0] == '\xFF' && b[1] == '\xFE'; }
bool HasUtf16BeBom(std::string_view b) { return b.size() >= 2 && b[0] == '\xFE' && b[1] == '\xFF'; }

// A <meta> declaration among the first bytes of the page, found the way the HTML
// standard's prescan does it in spirit: meta tags outside comments, with a charset
// attribute or a content attribute carrying charset=.
std::string MetaCharset(std::string_view bytes)
{
    std::string_view head = bytes.substr(0, std::min<size_t>(bytes.size(), 4096));
    size_t pos = 0;
    while (pos < head.size()) {
        size_t lt = head.find('<', pos);
        if (lt == std::string_view::npos)
            break;
        if (head.compare(lt, 4, "<!--") == 0) {
            size_t end = head.find("-->", lt + 4);
            if (end == std::string_view::npos)
                break;
            pos = end + 3;
            continue;
        }
        size_t gt = head.find('>', lt);
        if (gt == std::string_view::npos)
            break;
        std::string_view tag = head.substr(lt, gt - lt);
        if (tag.size() > 5 && LowerAscii(tag[1]) == 'm' && Lower(tag.substr(1, 4)) == "meta" &&
            (IsSpace(tag[5]) || tag[5] == '/')) {
            std::string found = CharsetParameter(tag);
            if (!found.empty())
                return found;
        }
        pos = gt + 1;
    }
    return std::string();
}

// Where the run of ASCII bytes that starts at b[i] ends, eight bytes at a time.
size_t SkipAscii(std::string_view b, size_t i)
{
    constexpr uint64_t kHighBits = 0x8080808080808080ull;
    while (i + 8 <= b.size()) {
        uint64_t word;
        std::memcpy(&word, b.data() + i, sizeof word);
        if ((word & kHighBits) != 0)
            break;
        i += 8;
    }
    while (i < b.size() && static_cast<unsigned char>(b[i]) < 0x80)
        ++i;
    return i;
}

// Whether the sequence at b[i] (a non-ASCII byte) is well-formed UTF-8; length is set
// to the bytes it takes, as DecodeUtf8 sets it. U+FFFD written as such is well-formed.
bool IsWellFormedAt(std::string_view b, size_t i, size_t &length)
{
    return DecodeUtf8(b, i, length) != 0xFFFD || (length == 3 && b.compare(i, 3, "\xEF\xBF\xBD") == 0);
}

bool IsValidUtf8WithNonAscii(std::string_view b)
{
    bool nonAscii = false;
    for (size_t i = SkipAscii(b, 0); i < b.size(); i = SkipAscii(b, i)) {
        size_t length = 0;
        if (!IsWellFormedAt(b, i, length))
            return false;
        nonAscii = true;
        i += length;
    }
    return nonAscii;
}

void Utf16ToUtf8(std::string_view b, bool bigEndian, std::string &out)
{
    size_t i = 0;
    auto unitAt = [&](size_t at) {
        unsigned char lo = static_cast<unsigned char>(b[at + (bigEndian ? 1 : 0)]);
        unsigned char hi = static_cast<unsigned char>(b[at + (bigEndian ? 0 : 1)]);
        return static_cast<uint32_t>(hi << 8 | lo);
    };
    for (; i + 1 < b.size(); i += 2) {
        uint32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < b.size()) {
            uint32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, unit);
    }
    if (i < b.size())
        AppendUtf8(out, 0xFFFD);
}

} // namespace

void AppendUtf8(std::string &out, uint32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

uint32_t DecodeUtf8(std::string_view text, size_t pos, size_t &length)
{
    const unsigned char lead = static_cast<unsigned char>(text[pos]);
    length = 1;
    if (lead < 0x80)
        return lead;
    size_t need;
    uint32_t cp;
    uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return 0xFFFD;
    }
    for (size_t k = 1; k <= need; ++k) {
        if (pos + k >= text.size())
            return 0xFFFD;
        const unsigned char c = static_cast<unsigned char>(text[pos + k]);
        if ((c & 0xC0) != 0x80)
            return 0xFFFD; // the byte that broke the sequence starts the next one
        cp = cp << 6 | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        length = need + 1;
        return 0xFFFD;
    }
    length = need + 1;
    return cp;
}

std::string NormalizeCharsetLabel(std::string_view label)
{
    size_t start = 0;
    size_t end = label.size();
    while (start < end && (IsSpace(label[start]) || label[start] == '"' || label[start] == '\''))
        ++start;
    while (end > start && (IsSpace(label[end - 1]) || label[end - 1] == '"' || label[end - 1] == '\''))
        --end;
    std::string name = Lower(label.substr(start, end - start));
    if (name == "utf8" || name == "unicode-1-1-utf-8" || name == "x-unicode20utf8")
        return "utf-8";
    if (name == "latin1" || name == "iso-8859-1" || name == "iso8859-1" || name == "l1" ||
        name == "iso_8859-1" || name == "cp1252" || name == "x-cp1252" || name == "cp819" ||
        name == "ibm819" || name == "iso-ir-100" || name == "us-ascii" || name == "ascii" ||
        name == "ansi_x3.4-1968")
        return "windows-1252";
    if (name == "utf-16" || name == "unicode" || name == "ucs-2")
        return "utf-16le";
    if (name == "x-sjis" || name == "sjis" || name == "ms_kanji" || name == "csshiftjis" || name == "windows-31j")
        return "shift_jis";
    if (name == "gb2312" || name == "x-gbk" || name == "cp936" || name == "chinese")
        return "gbk";
    return name;
}

std::string CharsetFromContentType(std::string_view contentType)
{
    return NormalizeCharsetLabel(CharsetParameter(contentType));
}

std::string DetectCharset(std::string_view bytes, std::string_view headerCharset)
{
    if (HasUtf8Bom(bytes))
        return "utf-8";
    if (HasUtf16LeBom(bytes))
        return "utf-16le";
    if (HasUtf16BeBom(bytes))
        return "utf-16be";
    if (!headerCharset.empty())
        return NormalizeCharsetLabel(headerCharset);
    std::string meta = NormalizeCharsetLabel(MetaCharset(bytes));
    // A page that reached us as bytes cannot really be UTF-16 when its meta says so: the
    // meta itself was readable as ASCII. Browsers read such pages as UTF-8.
    if (meta == "utf-16le" || meta == "utf-16be")
        meta = "utf-8";
    if (!meta.empty())
        return meta;
    return IsValidUtf8WithNonAscii(bytes.substr(0, std::min<size_t>(bytes.size(), 1 << 20))) ? "utf-8"
                                                                                                : "windows-1252";
}

bool ConvertToUtf8(std::string_view bytes, std::string_view charset, std::string &out)
{
    const std::string name = NormalizeCharsetLabel(charset);
    if (name == "utf-8") {
        if (HasUtf8Bom(bytes))
            bytes.remove_prefix(3);
        out.reserve(out.size() + bytes.size());
        // Well-formed stretches are copied whole; only a bad sequence breaks one.
        size_t copied = 0;
        for (size_t i = SkipAscii(bytes, 0); i < bytes.size(); i = SkipAscii(bytes, i)) {
            size_t length = 0;
            if (!IsWellFormedAt(bytes, i, length)) {
                out.append(bytes.data() + copied, i - copied);
                out.append("\xEF\xBF\xBD");
                copied = i + length;
            }
            i += length;
        }
        out.append(bytes.data() + copied, bytes.size() - copied);
        return true;
    }
    if (name == "utf-16le" || name == "utf-16be") {
        bool bigEndian = name == "utf-16be";
        if (HasUtf16LeBom(bytes)) {
            bigEndian = false;
            bytes.remove_prefix(2);
        } else if (HasUtf16BeBom(bytes)) {
            bigEndian = true;
            bytes.remove_prefix(2);
        }
        Utf16ToUtf8(bytes, bigEndian, out);
        return true;
    }
    if (name == "windows-1252") {
        out.reserve(out.size() + bytes.size());
        for (char c : bytes) {
            const unsigned char b = static_cast<unsigned char>(c);
            if (b < 0x80)
                out.push_back(c);
            else if (b < 0xA0)
                AppendUtf8(out, kWindows1252High[b - 0x80]);
            else
                AppendUtf8(out, b);
        }
        return true;
    }
    return false;
}

} // namespace quillon::webflat
