#include "webflat/core/entities.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "webflat/core/charset.h"

namespace quillon::webflat {
namespace {

// Names and texts with their lengths known at compile time, so that a look-up compares
// bytes and never measures strings.
struct NamedReference {
    std::string_view name;
    std::string_view utf8;
};

constexpr NamedReference kNamedReferences[] = {
#include "webflat/core/entity_table.inc"
};

// The longest name in the table ("CounterClockwiseContourIntegral;") is 32 bytes; the
// longest of the legacy names written without ';' ("middot") is 6.
constexpr size_t kLongestName = 32;
constexpr size_t kLongestLegacyName = 6;

constexpr bool LegacyNamesFit()
{
    for (const NamedReference &ref : kNamedReferences)
        if (ref.name.back() != ';' && ref.name.size() > kLongestLegacyName)
            return false;
    return true;
}
static_assert(LegacyNamesFit(), "a name without ';' is longer than kLongestLegacyName");

constexpr uint16_t kNumericC1[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The entry for name, followed by ';' when withSemicolon, read in place (no copy).
const NamedReference *FindName(std::string_view name, bool withSemicolon)
{
    const size_t length = name.size() + (withSemicolon ? 1 : 0);
    // Compares an entry's name with the key; negative, zero or positive.
    auto compare = [&](std::string_view entry) {
        const size_t common = std::min(entry.size(), name.size());
        if (int c = std::memcmp(entry.data(), name.data(), common))
            return c;
        if (entry.size() <= name.size())
            return entry.size() == name.size() ? (withSemicolon ? -1 : 0) : -1;
        if (!withSemicolon)
            return 1;
        // The entry goes on past name: compare its next byte with ';'.
        if (int c = static_cast<unsigned char>(entry[name.size()]) - static_cast<unsigned char>(';'))
            return c;
        return entry.size() == length ? 0 : 1;
    };
    auto it = std::lower_bound(std::begin(kNamedReferences), std::end(kNamedReferences), 0,
                               [&](const NamedReference &ref, int) { return compare(ref.name) < 0; });
    if (it != std::end(kNamedReferences) && compare(it->name) == 0)
        return it;
    return nullptr;
}

size_t DecodeNumeric(std::string_view text, size_t pos, std::string &out)
{
    size_t i = pos + 2; // past "&#"
    bool hex = false;
    if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    }
    const size_t digitsStart = i;
    uint32_t value = 0;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else
            break;
        if (!overflow) {
            value = value * (hex ? 16 : 10) + digit;
            if (value > 0x10FFFF)
                overflow = true;
        }
    }
    if (i == digitsStart)
        return 0;
    if (i < text.size() && text[i] == ';')
        ++i;
    uint32_t cp = overflow ? 0xFFFD : value;
    if (cp == 0)
        cp = 0xFFFD;
    else if (cp >= 0x80 && cp <= 0x9F)
        cp = kNumericC1[cp - 0x80];
    AppendUtf8(out, cp);
    return i - pos;
}

} // namespace

size_t DecodeCharacterReference(std::string_view text, size_t pos, bool inAttribute, std::string &out)
{
    if (pos + 1 >= text.size())
        return 0;
    if (text[pos + 1] == '#')
        return DecodeNumeric(text, pos, out);
    size_t end = pos + 1;
    while (end < text.size() && end - pos - 1 < kLongestName && IsAlnum(text[end]))
        ++end;
    if (end == pos + 1)
        return 0;
    std::string_view name = text.substr(pos + 1, end - pos - 1);
    if (end < text.size() && text[end] == ';') {
        if (const NamedReference *ref = FindName(name, true)) {
            out.append(ref->utf8);
            return end + 1 - pos;
        }
    }
    // Legacy references without ';' ("&copy 2009", "&ampx"): the longest known prefix.
    for (size_t length = std::min(name.size(), kLongestLegacyName); length > 0; --length) {
        const NamedReference *ref = FindName(name.substr(0, length), false);
        if (ref == nullptr)
            continue;
        const size_t after = pos + 1 + length;
        if (inAttribute && after < text.size() && (IsAlnum(text[after]) || text[after] == '='))
            return 0;
        out.append(ref->utf8);
        return length + 1;
    }
    return 0;
}

void AppendDecoded(std::string_view text, bool inAttribute, std::string &out)
{
    size_t i = 0;
    while (i < text.size()) {
        size_t amp = text.find('&', i);
        if (amp == std::string_view::npos) {
            out.append(text.data() + i, text.size() - i);
            return;
        }
        out.append(text.data() + i, amp - i);
        size_t used = DecodeCharacterReference(text, amp, inAttribute, out);
        if (used == 0) {
            out.push_back('&');
            i = amp + 1;
        } else {
            i = amp + used;
        }
    }
}

} // namespace quillon::webflat
