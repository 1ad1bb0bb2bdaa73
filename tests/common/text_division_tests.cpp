// The preview's division of extracted text into messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text_division.h"

namespace quillon {
namespace {

// A text of `length` letters (cycling a..z) with break marks at the given positions.
std::string TextWithMarks(size_t length, std::vector<size_t> marks)
{
    std::string text;
    for (size_t i = 0; i < length; ++i)
        text += static_cast<char>('a' + i % 26);
    for (size_t m : marks)
        text[m] = kBreakMark;
    return text;
}

std::string Header(int n) { return "\r\n---Message #" + std::to_string(n) + "---\r\n"; }

TEST(TextDivision, TwoMarksGiveThreeMessagesCutAtTheMarks)
{
    std::string text = TextWithMarks(400, {150, 300});
    std::string expected = text.substr(0, 150) + Header(2) + text.substr(151, 149) + Header(3) + text.substr(301);
    EXPECT_EQ(DivideTextIntoMessages(text, 156, true), expected);
    EXPECT_EQ(text.substr(301).size(), 99u);
}

TEST(TextDivision, Cases)
{
    struct Case {
        const char *label;
        std::string text;
        long maxLength;
        bool divide;
        std::string expected;
    };
    const std::string exact = TextWithMarks(10, {4});
    const std::string shorter = TextWithMarks(9, {4});
    const std::string noMarks = TextWithMarks(25, {});
    const Case cases[] = {
        {"exactly L with a mark is divided in two", exact, 10, true,
         exact.substr(0, 4) + Header(2) + exact.substr(5)},
        {"one shorter than L stays whole, mark shown as space", shorter, 10, true,
         shorter.substr(0, 4) + " " + shorter.substr(5)},
        {"divide flag 0 cuts to the first L characters", TextWithMarks(400, {3}), 156, false,
         TextWithMarks(156, {}).replace(3, 1, " ")},
        {"no marks: cut every L characters", noMarks, 10, true,
         noMarks.substr(0, 10) + Header(2) + noMarks.substr(10, 10) + Header(3) + noMarks.substr(20)},
        {"mark at position L itself is a cut point", TextWithMarks(15, {10}), 10, true,
         TextWithMarks(10, {}) + Header(2) + TextWithMarks(15, {}).substr(11)},
        {"mark at position 0 is never a cut point", TextWithMarks(12, {0}), 10, true,
         std::string(" ") + TextWithMarks(10, {}).substr(1) + Header(2) + TextWithMarks(12, {}).substr(10)},
        {"the last of several marks within reach wins", TextWithMarks(14, {2, 6}), 10, true,
         TextWithMarks(6, {2}).replace(2, 1, " ") + Header(2) + TextWithMarks(14, {}).substr(7)},
        {"exactly L without marks: no header before an empty message", TextWithMarks(10, {}), 10, true,
         TextWithMarks(10, {})},
        {"empty text", "", 10, true, ""},
        {"a length below 1 counts as 1 instead of stalling", "abc", 0, true,
         "a" + Header(2) + "b" + Header(3) + "c"},
        {"negative length with divide 0", "abc", -5, false, "a"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DivideTextIntoMessages(c.text, c.maxLength, c.divide), c.expected) << c.label;
}

TEST(TextDivision, EveryMessageHoldsAtMostLCharactersAndNoMark)
{
    std::string text = TextWithMarks(1000, {5, 40, 41, 200, 517, 518, 999});
    const long limit = 37;
    std::string result = DivideTextIntoMessages(text, limit, true);
    EXPECT_EQ(result.find(kBreakMark), std::string::npos);
    size_t start = 0;
    int number = 2;
    for (;;) {
        size_t header = result.find(Header(number), start);
        size_t end = header == std::string::npos ? result.size() : header;
        EXPECT_LE(end - start, static_cast<size_t>(limit)) << "message " << number - 1;
        if (header == std::string::npos)
            break;
        start = header + Header(number).size();
        ++number;
    }
}

} // namespace
} // namespace quillon
