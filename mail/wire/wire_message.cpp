#include "mail/wire/wire_message.h"

#include <cstring>

#include "common/text.h"

namespace quillon::wire {

namespace {

constexpr const char *kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr char kHexDigits[] = "0123456789ABCDEF";

// RFC 5322 2.1.1: a line must not exceed 998 characters without its CR LF.
constexpr size_t kMaxHeaderLine = 998;
// RFC 2047 2: an encoded word is at most 75 characters, and a header line that holds
// one at most 76.
constexpr size_t kMaxEncodedWord = 75;
constexpr size_t kMaxEncodedLine = 76;
// RFC 2045 6.7: an encoded line is at most 76 characters, the soft break's '=' included.
constexpr size_t kMaxQuotedPrintableLine = 76;

void AppendHex(std::string *out, unsigned char byte)
{
    out->push_back('=');
    out->push_back(kHexDigits[byte >> 4]);
    out->push_back(kHexDigits[byte & 15]);
}

bool IsDotAtomCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

std::string DotAtomPart(const char *text, size_t length)
{
    std::string kept;
    for (size_t i = 0; i < length; ++i)
        if (IsDotAtomCharacter(text[i]))
            kept.push_back(text[i]);
    while (!kept.empty() && kept.front() == '.')
        kept.erase(kept.begin());
    while (!kept.empty() && kept.back() == '.')
        kept.pop_back();
    return kept;
}

// Characters an encoded word of an unstructured header may carry as they are; the
// narrow set of RFC 2047 5 (3), so the word is also safe where a phrase is expected.
bool IsLiteralInEncodedWord(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '!' || c == '*' ||
           c == '+' || c == '-' || c == '/';
}

void AppendEncodedWordByte(std::string *out, unsigned char c)
{
    if (c == ' ')
        out->push_back('_');
    else if (IsLiteralInEncodedWord(c))
        out->push_back(static_cast<char>(c));
    else
        AppendHex(out, c);
}

bool NeedsEncodedWords(const char *subject, size_t length)
{
    if (std::strlen("SUBJECT: ") + length > kMaxHeaderLine)
        return true;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(subject[i]);
        if (c < 0x20 || c > 0x7e)
            return true;
        if (c == '=' && i + 1 < length && subject[i + 1] == '?')
            return true;
    }
    return false;
}

} // namespace

std::string MimeCharsetName(unsigned codePage)
{
    static const struct {
        unsigned codePage;
        const char *name;
    } kNames[] = {
        {874, "windows-874"},  {932, "Shift_JIS"},      {936, "GBK"},          {949, "ks_c_5601-1987"},
        {950, "Big5"},         {1250, "windows-1250"},  {1251, "windows-1251"}, {1252, "windows-1252"},
        {1253, "windows-1253"}, {1254, "windows-1254"}, {1255, "windows-1255"}, {1256, "windows-1256"},
        {1257, "windows-1257"}, {1258, "windows-1258"}, {20127, "US-ASCII"},   {20866, "KOI8-R"},
        {21866, "KOI8-U"},     {28591, "ISO-8859-1"},   {28592, "ISO-8859-2"},  {28595, "ISO-8859-5"},
        {28597, "ISO-8859-7"}, {28605, "ISO-8859-15"},  {51932, "EUC-JP"},      {51949, "EUC-KR"},
        {65001, "UTF-8"},
    };
    for (const auto &entry : kNames)
        if (entry.codePage == codePage)
            return entry.name;
    return FormatText("windows-%u", codePage);
}

size_t CharacterLength(const TextCharset &charset, const unsigned char *text, size_t remaining)
{
    if (remaining == 0)
        return 0;
    size_t length = 1;
    const unsigned char lead = text[0];
    if (charset.codePage == 65001) {
        if (lead >= 0xf0 && lead <= 0xf4)
            length = 4;
        else if (lead >= 0xe0)
            length = lead <= 0xef ? 3 : 1;
        else if (lead >= 0xc2)
            length = 2;
        // Only as far as continuation bytes go: a broken sequence is not swallowed whole.
        size_t whole = 1;
        while (whole < length && whole < remaining && (text[whole] & 0xc0) == 0x80)
            ++whole;
        return whole;
    }
    if (charset.leadByte[lead] && remaining >= 2)
        length = 2;
    return length;
}

std::string DateLine(const DateTime &now, int utcOffsetMinutes)
{
    const char *month = now.wMonth >= 1 && now.wMonth <= 12 ? kMonthNames[now.wMonth - 1] : "Jan";
    // A zone more than a day away from UTC does not exist; keep the field well formed.
    if (utcOffsetMinutes <= -24 * 60 || utcOffsetMinutes >= 24 * 60)
        utcOffsetMinutes = 0;
    const char sign = utcOffsetMinutes < 0 ? '-' : '+';
    const int offset = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
    return FormatText("DATE: %d %s %04d %02d:%02d:%02d %c%02d%02d\r\n", now.wDay, month, now.wYear, now.wHour,
                      now.wMinute, now.wSecond, sign, offset / 60, offset % 60);
}

std::string MessageIdLine(const char *sender, const char *localHost, const std::string &unique)
{
    std::string domain;
    if (sender != nullptr) {
        const char *at = std::strrchr(sender, '@');
        if (at != nullptr)
            domain = DotAtomPart(at + 1, std::strlen(at + 1));
    }
    if (domain.empty() && localHost != nullptr)
        domain = DotAtomPart(localHost, std::strlen(localHost));
    if (domain.empty())
        domain = "localhost";
    std::string left = DotAtomPart(unique.data(), unique.size());
    if (left.empty())
        left = "message";
    return "Message-ID: <" + left + "@" + domain + ">\r\n";
}

std::string SubjectLines(const char *subject, const TextCharset &charset)
{
    const char *text = subject != nullptr ? subject : "";
    const size_t length = std::strlen(text);
    if (!NeedsEncodedWords(text, length))
        return "SUBJECT: " + std::string(text, length) + "\r\n";

    const std::string opening = "=?" + charset.mimeName + "?Q?";
    const std::string closing = "?=";
    std::string lines = "SUBJECT: ";
    size_t lineLength = lines.size();
    std::string word;
    auto flush = [&]() {
        lines += opening + word + closing;
        word.clear();
    };
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text);
    size_t at = 0;
    while (at < length) {
        const size_t characterLength = CharacterLength(charset, bytes + at, length - at);
        std::string encoded;
        for (size_t i = 0; i < characterLength; ++i)
            AppendEncodedWordByte(&encoded, bytes[at + i]);
        // The word must stay within 75 characters, and the line that holds it within 76.
        const size_t roomOnLine = kMaxEncodedLine - lineLength;
        const size_t room = (roomOnLine < kMaxEncodedWord ? roomOnLine : kMaxEncodedWord) - opening.size() -
                            closing.size();
        if (!word.empty() && word.size() + encoded.size() > room) {
            flush();
            lines += "\r\n ";
            lineLength = 1;
        }
        word += encoded;
        at += characterLength;
    }
    flush();
    return lines + "\r\n";
}

std::vector<std::string> MimeHeaderLines(const TextCharset &charset)
{
    return {"MIME-Version: 1.0\r\n", "Content-Type: text/plain; charset=" + charset.mimeName + "\r\n",
            "Content-Transfer-Encoding: quoted-printable\r\n"};
}

std::string QuotedPrintableBody(const char *body)
{
    const char *text = body != nullptr ? body : "";
    std::string out;
    out.reserve(std::strlen(text) * 11 / 10 + 16);
    size_t lineLength = 0;
    bool lineOpen = false;   // something of the current line has been taken
    auto append = [&](const char *token, size_t tokenLength) {
        // Room for the soft break's '=' behind the token.
        if (lineLength + tokenLength > kMaxQuotedPrintableLine - 1) {
            out += "=\r\n";
            lineLength = 0;
        }
        out.append(token, tokenLength);
        lineLength += tokenLength;
    };
    for (size_t i = 0; text[i] != '\0'; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && text[i + 1] == '\n')
                ++i;
            out += "\r\n";
            lineLength = 0;
            lineOpen = false;
            continue;
        }
        lineOpen = true;
        const char next = text[i + 1];
        const bool atLineEnd = next == '\0' || next == '\r' || next == '\n';
        const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !atLineEnd);
        if (literal) {
            const char token = static_cast<char>(c);
            append(&token, 1);
        } else {
            char token[3] = {'=', kHexDigits[c >> 4], kHexDigits[c & 15]};
            append(token, 3);
        }
    }
    if (lineOpen)
        out += "\r\n";
    return out;
}

std::string DotStuffed(const std::string &data)
{
    std::string out;
    out.reserve(data.size() + 8);
    bool lineStart = true;
    for (char c : data) {
        if (lineStart && c == '.')
            out.push_back('.');
        out.push_back(c);
        lineStart = c == '\n';
    }
    return out;
}

} // namespace quillon::wire
