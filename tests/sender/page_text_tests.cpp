// The page sender's portable text work: task key name, the length limit and the cutting
// of a page into messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sender/page_text.h"

using namespace quillon;

namespace {

// '|' in a table row stands for the break mark, which is unreadable in a literal.
std::string Marks(std::string text)
{
    for (char &c : text)
        if (c == '|')
            c = '\x01';
    return text;
}

std::string Repeat(char c, size_t n) { return std::string(n, c); }

struct Expected {
    std::string subject;
    std::string body;
};

} // namespace

TEST(TaskKeyName, IsEverythingAfterTheProgramNameAndOneBlank)
{
    struct Row {
        const char *label;
        const char *commandLine;
        const char *expected;
    } rows[] = {
        {"as the scheduler starts it", "quillon.exe 2000 7 5 9 3 7", "2000 7 5 9 3 7"},
        {"quoted program path", "\"C:\\Program Files\\Q\\quillon.exe\" 2026 12 10 9 5 0", "2026 12 10 9 5 0"},
        {"trailing blanks belong to the name", "quillon.exe key  ", "key  "},
        {"second blank belongs to the name", "quillon.exe  key", " key"},
        {"tab separator", "quillon.exe\tkey", "key"},
        {"nothing after the program", "quillon.exe", ""},
        {"only the separator", "quillon.exe ", ""},
        {"unterminated quote", "\"C:\\quillon.exe", ""},
        {"null", nullptr, ""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.expected, TaskKeyNameFromCommandLine(row.commandLine)) << row.label;
}

TEST(MessageLengthLimit, AcceptsPositiveNumbersOnly)
{
    struct Row {
        const char *label;
        const char *text;
        bool ok;
        int32_t limit;
    } rows[] = {
        {"plain", "160", true, 160},
        {"leading blanks and trailing text", "  40 chars", true, 40},
        {"one", "1", true, 1},
        {"huge is clamped", "99999999999999", true, 2147483647},
        {"zero", "0", false, 0},
        {"negative", "-5", false, 0},
        {"not a number", "many", false, 0},
        {"empty", "", false, 0},
        {"null", nullptr, false, 0},
    };
    for (const Row &row : rows) {
        int32_t limit = -77;
        EXPECT_EQ(row.ok, ParseMessageLengthLimit(row.text, &limit)) << row.label;
        EXPECT_EQ(row.ok ? row.limit : -77, limit) << row.label;
    }
}

TEST(CutPageText, CutsAtBreakMarksOrHardAtTheLimit)
{
    struct Row {
        const char *label;
        std::string subject;
        std::string body;  // '|' is a break mark
        int32_t limit;
        bool chop;
        std::vector<Expected> expected;
    } rows[] = {
        {"fits with its subject", Repeat('s', 10), Repeat('x', 30), 50, true, {{Repeat('s', 10), Repeat('x', 30)}}},
        {"mark, then hard cut, then the rest", "S", "aaaa|" + Repeat('b', 15), 10, true,
         {{"S", "aaaa"}, {"", Repeat('b', 10)}, {"", Repeat('b', 5)}}},
        {"only the first without ChopMessage", "S", "aaaa|" + Repeat('b', 15), 10, false, {{"S", "aaaa"}}},
        {"exactly the limit, no mark, no subject", "", Repeat('x', 10), 10, true, {{"", Repeat('x', 10)}}},
        {"one below the limit goes whole", "", Repeat('x', 9), 10, true, {{"", Repeat('x', 9)}}},
        {"one over the limit: hard cut and one left", "", Repeat('x', 11), 10, true,
         {{"", Repeat('x', 10)}, {"", "x"}}},
        {"mark right at the limit gives a full message", "", Repeat('a', 10) + "|bbb", 10, true,
         {{"", Repeat('a', 10)}, {"", "bbb"}}},
        {"mark just past the limit is out of reach", "", Repeat('a', 11) + "|bb", 10, true,
         {{"", Repeat('a', 10)}, {"", "a bb"}}},
        {"the last mark in reach is taken", "", "ab|cd|ef|" + Repeat('g', 10), 10, true,
         {{"", "ab|cd|ef"}, {"", Repeat('g', 10)}}},
        {"mark as the first character is never a cut", "", "|" + Repeat('a', 12), 10, true,
         {{"", " " + Repeat('a', 9)}, {"", "aaa"}}},
        {"mark at the second character", "", "a|" + Repeat('b', 12), 10, true,
         {{"", "a"}, {"", Repeat('b', 10)}, {"", "bb"}}},
        {"marks inside a message become spaces", "T", "one|two|three", 50, true, {{"T", "one two three"}}},
        {"trailing mark at a cut leaves no empty message", "", Repeat('a', 10) + "|", 10, true,
         {{"", Repeat('a', 10)}}},
        {"limit 1 cuts every character", "", "abc", 1, true, {{"", "a"}, {"", "b"}, {"", "c"}}},
        {"limit 1 with marks", "", "a|b", 1, true, {{"", "a"}, {"", "b"}}},
        {"subject counts only for the whole-remainder test", "Title", Repeat('a', 4) + "|" + Repeat('b', 4), 10, true,
         {{"Title", "aaaa"}, {"", "bbbb"}}},
        {"subject pushes a short body over: cut at its last mark", Repeat('s', 8), "aaa|bbb|cc", 12, true,
         {{Repeat('s', 8), "aaa bbb"}, {"", "cc"}}},
        {"subject pushes a short body over: no mark, body whole", Repeat('s', 8), "abcdef", 10, true,
         {{Repeat('s', 8), "abcdef"}}},
        {"subject alone is over the limit", Repeat('s', 40), "hello", 10, true, {{Repeat('s', 40), "hello"}}},
        {"empty body queues nothing", "Title", "", 10, true, {}},
        {"only marks", "", "|||", 10, true, {{"", "   "}}},
        {"ChopMessage 0 with a long text", "", Repeat('z', 100), 7, false, {{"", Repeat('z', 7)}}},
    };
    for (const Row &row : rows) {
        std::vector<PageMessage> got = CutPageText(row.subject, Marks(row.body), row.limit, row.chop);
        ASSERT_EQ(row.expected.size(), got.size()) << row.label;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(row.expected[i].subject, got[i].subject) << row.label << ", message " << i;
            // Expected bodies are written with '|' where a kept mark became a space.
            std::string body = row.expected[i].body;
            for (char &c : body)
                if (c == '|')
                    c = ' ';
            EXPECT_EQ(body, got[i].body) << row.label << ", message " << i;
        }
    }
}

TEST(CutPageText, EveryMessageHasTextAndTheWholeBodyIsKept)
{
    // Whatever the limit and mark layout, chopped messages are non-empty, within the
    // limit, free of marks, and together give back the body minus the marks at cuts.
    const std::string body = Marks("The quick|brown fox|jumps over||the lazy dog.|A|B||||C" + Repeat('x', 37));
    for (int32_t limit = 1; limit <= 60; ++limit) {
        for (const char *subjectText : {"", "Page title"}) {
            const std::string subject = subjectText;
            std::vector<PageMessage> got = CutPageText(subject, body, limit, true);
            ASSERT_FALSE(got.empty()) << "limit " << limit;
            size_t consumed = 0;
            for (size_t i = 0; i < got.size(); ++i) {
                const PageMessage &m = got[i];
                EXPECT_FALSE(m.body.empty()) << "limit " << limit << ", message " << i;
                EXPECT_LE(m.body.size(), static_cast<size_t>(limit)) << "limit " << limit << ", message " << i;
                EXPECT_EQ(std::string::npos, m.body.find('\x01')) << "limit " << limit;
                EXPECT_EQ(i == 0 ? subject : std::string(), m.subject) << "limit " << limit;
                consumed += m.body.size();
                if (consumed < body.size() && body[consumed] == '\x01' && i + 1 < got.size())
                    ++consumed;  // the mark dropped at this cut
            }
            EXPECT_EQ(body.size(), consumed) << "limit " << limit << (subject.empty() ? "" : " with subject");
        }
    }
}

TEST(CutPageText, RefusesALimitBelowOne)
{
    EXPECT_TRUE(CutPageText("S", "text", 0, true).empty());
    EXPECT_TRUE(CutPageText("S", "text", -3, true).empty());
}
