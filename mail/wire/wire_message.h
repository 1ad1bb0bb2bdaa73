// The message mailwire hands to the SMTP server between DATA and the end-of-data line:
// the header lines and the body, built so that the text arrives as queued. The texts
// are 8-bit in the system's ANSI code page, so the message declares that code page's
// MIME name, carries the body in quoted-printable (no line longer than 76 characters,
// every byte back as it was sent) and writes a subject with bytes outside printable
// ASCII as RFC 2047 encoded words. Includes no Windows header: the shell supplies the
// code page's name and lead bytes, the clock's zone offset and a unique part.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/datetime.h"

namespace quillon::wire {

// The system's ANSI code page as the message declares it. A double-byte code page
// (932, 936, 949, 950) marks its lead bytes: a lead byte and the byte after it are one
// character, which an encoded word never splits. UTF-8 (65001) is known by its own rules.
struct TextCharset {
    unsigned codePage = 1252;
    std::string mimeName = "windows-1252";
    bool leadByte[256] = {};
};

// The MIME charset name for a Windows code page ("windows-1252", "Shift_JIS", "UTF-8",
// ...); an unknown code page is named "windows-<number>", as mail programs know them.
std::string MimeCharsetName(unsigned codePage);

// The length in bytes of the character that starts at text[0], at most `remaining`
// (1 for single-byte code pages; a lead byte with no byte behind it counts alone).
size_t CharacterLength(const TextCharset &charset, const unsigned char *text, size_t remaining);

// "DATE: 5 Jul 2000 09:03:07 +0200\r\n": the local time, its year in four digits, and the
// local zone's offset from UTC at that moment (daylight saving included), in minutes
// east of Greenwich.
std::string DateLine(const DateTime &now, int utcOffsetMinutes);

// "Message-ID: <unique@domain>\r\n". The domain is the sender address's (the text after
// its last '@'), or the local host name when the sender has none, or "localhost"; only
// characters allowed in a dot-atom are kept. `unique` must differ for every message the
// machine sends (the shell makes it from the time, the process and a counter).
std::string MessageIdLine(const char *sender, const char *localHost, const std::string &unique);

// "SUBJECT: ...\r\n", folded onto continuation lines when needed. A subject of printable
// ASCII that fits one line goes out as it is; any other one (bytes outside printable
// ASCII, an "=?" that a mail program would take for an encoded word, or one too long
// for a line) as quoted encoded words in `charset`, each at most 75 characters and
// holding whole characters, one per line.
std::string SubjectLines(const char *subject, const TextCharset &charset);

// The three lines that declare the body: MIME-Version, Content-Type with the charset,
// Content-Transfer-Encoding quoted-printable. Each ends with CR LF.
std::vector<std::string> MimeHeaderLines(const TextCharset &charset);

// The body in quoted-printable with CR LF line ends: each line end of the text (CR LF,
// LF or CR alone) is one line break; every encoded line is at most 76 characters; '=',
// control bytes and bytes above 126 are written =XX, as are a space or tab before a line
// end. Every line, the last included, ends with CR LF (an empty text gives nothing).
std::string QuotedPrintableBody(const char *body);

// SMTP transparency (RFC 5321 4.5.2): a line that begins with '.' gets one more in front,
// so no line of the message can be taken for the end-of-data line.
std::string DotStuffed(const std::string &data);

} // namespace quillon::wire
