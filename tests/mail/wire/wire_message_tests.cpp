// The message mailwire builds: date line, Message-ID, MIME declaration, encoded and
// folded subjects, quoted-printable bodies and dot-stuffing. Each encoded text is read
// back with the test's own decoders (mime_decode.h) and must give the original bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/wire/wire_message.h"
#include "tests/support/date_time_builder.h"
#include "tests/mail/wire/mime_decode.h"

namespace quillon {
namespace {

using test::At;

wire::TextCharset Windows1252() { return wire::TextCharset(); }

// Shift_JIS: lead bytes 0x81-0x9F and 0xE0-0xFC.
wire::TextCharset ShiftJis()
{
    wire::TextCharset charset;
    charset.codePage = 932;
    charset.mimeName = wire::MimeCharsetName(932);
    for (int b = 0x81; b <= 0x9f; ++b)
        charset.leadByte[b] = true;
    for (int b = 0xe0; b <= 0xfc; ++b)
        charset.leadByte[b] = true;
    return charset;
}

wire::TextCharset Utf8()
{
    wire::TextCharset charset;
    charset.codePage = 65001;
    charset.mimeName = wire::MimeCharsetName(65001);
    return charset;
}

TEST(MessageDateLine, FourDigitYearAndZoneOffset)
{
    struct {
        DateTime when;
        int offset;
        const char *line;
    } cases[] = {
        {At(2000, 7, 5, 9, 3, 7), 120, "DATE: 5 Jul 2000 09:03:07 +0200\r\n"},
        {At(2026, 12, 31, 23, 59, 59), -300, "DATE: 31 Dec 2026 23:59:59 -0500\r\n"},
        {At(1999, 1, 1, 0, 0, 0), 0, "DATE: 1 Jan 1999 00:00:00 +0000\r\n"},
        {At(2024, 3, 10, 12, 30, 0), 330, "DATE: 10 Mar 2024 12:30:00 +0530\r\n"},
        {At(2024, 11, 3, 1, 2, 3), -210, "DATE: 3 Nov 2024 01:02:03 -0330\r\n"},
        {At(2024, 6, 1, 1, 2, 3), 825, "DATE: 1 Jun 2024 01:02:03 +1345\r\n"},
        // A clock that reports nonsense still gives a well-formed line.
        {At(2024, 13, 1, 1, 2, 3), 100000, "DATE: 1 Jan 2024 01:02:03 +0000\r\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(wire::DateLine(c.when, c.offset), c.line);
}

TEST(MessageIdLine, DomainFromSenderElseHost)
{
    struct {
        const char *sender;
        const char *host;
        const char *unique;
        const char *line;
    } cases[] = {
        {"me@example.net", "desk", "20260101.1a2b", "Message-ID: <20260101.1a2b@example.net>\r\n"},
        {"Me <me@Mail.Example.NET>", "desk", "x", "Message-ID: <x@Mail.Example.NET>\r\n"},
        {"pager", "desk-7.lan", "u1", "Message-ID: <u1@desk-7.lan>\r\n"},
        {"", "", "u1", "Message-ID: <u1@localhost>\r\n"},
        {nullptr, nullptr, "", "Message-ID: <message@localhost>\r\n"},
        {"a@b@c.example", "h", "u <1>", "Message-ID: <u1@c.example>\r\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(wire::MessageIdLine(c.sender, c.host, c.unique), c.line) << (c.sender ? c.sender : "(null)");
}

TEST(MimeHeaderLines, DeclareCharsetAndEncoding)
{
    std::vector<std::string> lines = wire::MimeHeaderLines(Windows1252());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "MIME-Version: 1.0\r\n");
    EXPECT_EQ(lines[1], "Content-Type: text/plain; charset=windows-1252\r\n");
    EXPECT_EQ(lines[2], "Content-Transfer-Encoding: quoted-printable\r\n");
    EXPECT_EQ(wire::MimeHeaderLines(ShiftJis())[1], "Content-Type: text/plain; charset=Shift_JIS\r\n");
}

TEST(MimeCharsetName, KnownAndUnknownCodePages)
{
    EXPECT_EQ(wire::MimeCharsetName(1252), "windows-1252");
    EXPECT_EQ(wire::MimeCharsetName(1251), "windows-1251");
    EXPECT_EQ(wire::MimeCharsetName(936), "GBK");
    EXPECT_EQ(wire::MimeCharsetName(65001), "UTF-8");
    EXPECT_EQ(wire::MimeCharsetName(12345), "windows-12345");
}

// Reads a folded subject back: each line of at most 76 characters, each word at most 75
// and decodable, whole characters in every word; returns the decoded subject.
std::string ReadSubject(const std::string &lines, const wire::TextCharset &charset, const char *label)
{
    std::vector<std::string> split;
    EXPECT_TRUE(test::SplitCrLfLines(lines, &split)) << label;
    std::string decoded;
    for (size_t n = 0; n < split.size(); ++n) {
        std::string line = split[n];
        EXPECT_LE(line.size(), 76u) << label << " line " << n;
        if (n == 0) {
            EXPECT_EQ(line.compare(0, 9, "SUBJECT: "), 0) << label;
            line = line.substr(9);
        } else {
            EXPECT_EQ(line[0], ' ') << label << " continuation " << n;
            line = line.substr(1);
        }
        EXPECT_LE(line.size(), 75u) << label;
        std::string name, word;
        EXPECT_TRUE(test::DecodeEncodedWord(line, &name, &word)) << label << ": " << line;
        EXPECT_EQ(name, charset.mimeName) << label;
        // Whole characters: walking the word by the charset's rules ends exactly at its end.
        size_t at = 0;
        while (at < word.size()) {
            size_t length = wire::CharacterLength(charset, reinterpret_cast<const unsigned char *>(word.data()) + at,
                                                  word.size() - at);
            if (charset.codePage != 65001 && charset.leadByte[static_cast<unsigned char>(word[at])]) {
                EXPECT_EQ(length, 2u) << label << ": a lead byte ends word " << n;
            }
            at += length;
        }
        decoded += word;
    }
    return decoded;
}

TEST(SubjectLines, PrintableAsciiStaysAsItIs)
{
    EXPECT_EQ(wire::SubjectLines("Headlines", Windows1252()), "SUBJECT: Headlines\r\n");
    EXPECT_EQ(wire::SubjectLines("", Windows1252()), "SUBJECT: \r\n");
    EXPECT_EQ(wire::SubjectLines(nullptr, Windows1252()), "SUBJECT: \r\n");
    EXPECT_EQ(wire::SubjectLines("a = b? yes", Windows1252()), "SUBJECT: a = b? yes\r\n");
}

TEST(SubjectLines, EncodedWordsGiveTheSubjectBack)
{
    const std::string longAccented = [] {
        std::string s;
        for (int i = 0; i < 40; ++i)
            s += "Caf\xe9 cr\xe8me ";
        return s;
    }();
    const std::string japanese = [] {
        std::string s;
        for (int i = 0; i < 60; ++i)
            s += "\x93\xfa\x96\x7b";   // two double-byte characters, trail bytes incl. '{'
        return s;
    }();
    const std::string utf8 = [] {
        std::string s;
        for (int i = 0; i < 50; ++i)
            s += "\xe2\x82\xac \xc3\xa9";   // euro sign, space, e acute
        return s;
    }();
    struct {
        const char *label;
        std::string subject;
        wire::TextCharset charset;
    } cases[] = {
        {"Cafe", "Caf\xe9", Windows1252()},
        {"curly apostrophe and euro", "Don\x92t pay \x80 5", Windows1252()},
        {"long accented", longAccented, Windows1252()},
        {"looks encoded", "=?utf-8?Q?x?=", Windows1252()},
        {"control bytes", "tab\there\r\nnext", Windows1252()},
        {"1200 ASCII characters", std::string(1200, 'a'), Windows1252()},
        {"double-byte", japanese, ShiftJis()},
        {"double-byte after one ASCII", "x" + japanese, ShiftJis()},
        {"UTF-8", utf8, Utf8()},
        {"symbols", "100% = ?_!*+-/\"() \xe9", Windows1252()},
    };
    for (const auto &c : cases) {
        const std::string lines = wire::SubjectLines(c.subject.c_str(), c.charset);
        EXPECT_EQ(ReadSubject(lines, c.charset, c.label), c.subject) << c.label << "\n" << lines;
    }
    EXPECT_EQ(wire::SubjectLines("Caf\xe9", Windows1252()), "SUBJECT: =?windows-1252?Q?Caf=E9?=\r\n");
}

std::string Decoded(const std::string &encoded)
{
    std::string decoded;
    EXPECT_TRUE(test::DecodeQuotedPrintable(encoded, &decoded)) << encoded;
    return decoded;
}

TEST(QuotedPrintableBody, ExactEncodings)
{
    struct {
        const char *body;
        const char *encoded;
    } cases[] = {
        {"", ""},
        {"plain", "plain\r\n"},
        {"Gr\xfc\xdf" "e", "Gr=FC=DFe\r\n"},
        {"a=b", "a=3Db\r\n"},
        {"one\ntwo\r\nthree\rfour\n", "one\r\ntwo\r\nthree\r\nfour\r\n"},
        {"trailing space \nand tab\t", "trailing space=20\r\nand tab=09\r\n"},
        {"\n\n", "\r\n\r\n"},
        {"Note: the ferry is cancelled", "Note: the ferry is cancelled\r\n"},
        {".NET 9 is out\n.\nafter", ".NET 9 is out\r\n.\r\nafter\r\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(wire::QuotedPrintableBody(c.body), c.encoded) << c.body;
}

TEST(QuotedPrintableBody, LongTextsComeBackByteForByte)
{
    std::string everyByte;
    for (int b = 1; b < 256; ++b)
        everyByte.push_back(static_cast<char>(b));
    std::string paragraphs;
    for (int i = 0; i < 300; ++i)
        paragraphs += "Line " + std::to_string(i) + " of the page, with \xe9 and = signs  \n";
    const std::string cases[] = {
        std::string(999, 'x'),
        std::string(5000, '\xe9'),
        std::string(3000, ' '),
        everyByte,
        paragraphs,
        std::string(75, 'a') + "=",
        std::string(74, 'a') + " \n",
    };
    for (const std::string &body : cases) {
        const std::string encoded = wire::QuotedPrintableBody(body.c_str());
        std::vector<std::string> lines;
        ASSERT_TRUE(test::SplitCrLfLines(encoded, &lines));
        for (const std::string &line : lines) {
            EXPECT_LE(line.size(), 76u);
            if (!line.empty()) {
                EXPECT_NE(line.back(), ' ');
                EXPECT_NE(line.back(), '\t');
            }
        }
        // Line ends come back as LF; a text that does not end with one gains one.
        std::string expected;
        for (size_t i = 0; i < body.size(); ++i) {
            if (body[i] == '\r') {
                expected.push_back('\n');
                if (i + 1 < body.size() && body[i + 1] == '\n')
                    ++i;
            } else {
                expected.push_back(body[i]);
            }
        }
        if (!expected.empty() && expected.back() != '\n')
            expected.push_back('\n');
        EXPECT_EQ(Decoded(encoded), expected) << body.substr(0, 40);
    }
}

TEST(DotStuffed, EveryLineThatBeginsWithADot)
{
    EXPECT_EQ(wire::DotStuffed(".NET 9\r\n.\r\nmiddle . dot\r\n..two\r\n"), "..NET 9\r\n..\r\nmiddle . dot\r\n...two\r\n");
    EXPECT_EQ(wire::DotStuffed("no dots\r\n"), "no dots\r\n");
    EXPECT_EQ(wire::DotStuffed(""), "");
}

TEST(CharacterLength, WholeCharactersOnly)
{
    const wire::TextCharset sjis = ShiftJis(), utf8 = Utf8(), latin = Windows1252();
    const unsigned char lead[] = {0x93, 0xfa};
    EXPECT_EQ(wire::CharacterLength(sjis, lead, 2), 2u);
    EXPECT_EQ(wire::CharacterLength(sjis, lead, 1), 1u);   // a lead byte at the very end
    EXPECT_EQ(wire::CharacterLength(latin, lead, 2), 1u);
    const unsigned char euro[] = {0xe2, 0x82, 0xac};
    EXPECT_EQ(wire::CharacterLength(utf8, euro, 3), 3u);
    const unsigned char broken[] = {0xe2, 0x41, 0x42};
    EXPECT_EQ(wire::CharacterLength(utf8, broken, 3), 1u);
    EXPECT_EQ(wire::CharacterLength(utf8, euro, 0), 0u);
}

} // namespace
} // namespace quillon
