// The folding behind a change-watching task's digest: layout differences vanish, every
// change of a word, of the heading, or of text moving between heading and body stays.
#include <gtest/gtest.h>

#include <string>

#include "sender/text_digest.h"

namespace quillon {
namespace {

std::string Fold(const std::string &subject, const std::string &body) { return FoldedTextForDigest(subject, body); }

TEST(TextDigestFolding, LayoutFoldsAway)
{
    const struct {
        const char *label;
        std::string subject, body, want;
    } rows[] = {
        {"plain", "Title", "one two", std::string("Title\0one two", 13)},
        {"runs of every kind", "Ti\ttle", "one \r\n\t\v\f  two", std::string("Ti tle\0one two", 14)},
        {"break marks are white space", "T", "one\x01two\x01 \x01three", std::string("T\0one two three", 15)},
        {"ends trimmed", "  T  ", "\n\n one two \r\n", std::string("T\0one two", 9)},
        {"empty", "", "", std::string("\0", 1)},
        {"only white space", " \t", " \x01 ", std::string("\0", 1)},
    };
    for (const auto &row : rows)
        EXPECT_EQ(Fold(row.subject, row.body), row.want) << row.label;
}

TEST(TextDigestFolding, ReflowIsNoChangeButWordsAndPartsAre)
{
    const std::string base = Fold("Harbour news", "Ferry times change\nFrom Monday at 7:15.");
    EXPECT_EQ(Fold("Harbour news", "  Ferry   times\tchange From\r\nMonday at\x01" "7:15.\n"), base);
    EXPECT_NE(Fold("Harbour news", "Ferry times change From Monday at 7:20."), base);
    EXPECT_NE(Fold("Harbour News", "Ferry times change From Monday at 7:15."), base);
    EXPECT_NE(Fold("Harbour news Ferry", "times change From Monday at 7:15."), base)
        << "a word moving from body to heading";
    EXPECT_NE(Fold("Harbour news", "Ferrytimes change From Monday at 7:15."), base) << "a space removed";
    // Bytes above 127 are text, not white space.
    EXPECT_EQ(Fold("", "caf\xe9\xa0 bar"), std::string("\0caf\xe9\xa0 bar", 10));
}

} // namespace
} // namespace quillon
