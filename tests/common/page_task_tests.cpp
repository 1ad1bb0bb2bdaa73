// The page task's Selection value: built by the doors that create page tasks, split by
// the page sender and the preview.
#include <gtest/gtest.h>

#include <string>

#include "common/page_task.h"

namespace quillon {
namespace {

TEST(SelectionValue, QuotesTheAddressAndAddsTheDescriptor)
{
    const std::string descriptor = "(<,<0,-1>>)";
    EXPECT_EQ(SelectionValue("http://h/p.htm", nullptr), "\"http://h/p.htm\"");
    EXPECT_EQ(SelectionValue("http://h/p.htm", &descriptor), "\"http://h/p.htm\" (<,<0,-1>>)");
    // Longer than the add-in's old 1,040-byte buffer: kept whole, so it still parses.
    const std::string address = "http://h/" + std::string(2000, 'a');
    EXPECT_EQ(SelectionValue(address, &descriptor).size(), address.size() + 3 + descriptor.size());
}

TEST(SelectionValue, SplitsAddressAndDescriptor)
{
    struct Row {
        const char *label;
        const char *selection;
        bool ok;
        const char *address;
        bool hasDescriptor;
        const char *descriptor;
    } rows[] = {
        {"address only", "\"http://example.test/a\"", true, "http://example.test/a", false, ""},
        {"spaces then descriptor", "\"http://x/\"    <1,0,2>", true, "http://x/", true, "<1,0,2>"},
        {"descriptor right after the quote", "\"http://x/\"()", true, "http://x/", true, "()"},
        {"only spaces after the quote", "\"C:\\notes\\r.htm\"   ", true, "C:\\notes\\r.htm", false, ""},
        {"quote inside the address", "\"http://x/?q=\"a\"\" (1)", true, "http://x/?q=\"a\"", true, "(1)"},
        {"quote inside the descriptor", "\"a\" x\"y", true, "a\" x", true, "y"},
        {"empty address", "\"\"", true, "", false, ""},
        {"descriptor keeps its inner spaces", "\"a\"  <1, 2>  ", true, "a", true, "<1, 2>  "},
        {"no opening quote", "http://x/\" (1)", false, "", false, ""},
        {"leading space before the quote", " \"http://x/\"", false, "", false, ""},
        {"no closing quote", "\"http://x/", false, "", false, ""},
        {"a lone quote", "\"", false, "", false, ""},
        {"empty", "", false, "", false, ""},
        {"address with a path only", "\"http://host/page\"", true, "http://host/page", false, ""},
        {"address, trailing spaces only", "\"http://host/\"   ", true, "http://host/", false, ""},
        {"spaces inside address and descriptor", "\"C:\\a b\\file.htm\" 3 1 9", true, "C:\\a b\\file.htm", true, "3 1 9"},
        {"address runs to the last quote", "\"a\"b\" rest", true, "a\"b", true, "rest"},
        {"no leading quote at all", "http://host/", false, "", false, ""},
        {"single quote only", "\"http://host/", false, "", false, ""},
    };
    for (const Row &row : rows) {
        SelectionParts parts;
        parts.address = "untouched";
        parts.descriptor = "untouched";
        parts.hasDescriptor = true;
        ASSERT_EQ(row.ok, SplitSelection(row.selection, &parts)) << row.label;
        if (!row.ok) {
            EXPECT_EQ("untouched", parts.address) << row.label;
            EXPECT_EQ("untouched", parts.descriptor) << row.label;
            EXPECT_TRUE(parts.hasDescriptor) << row.label;
            continue;
        }
        EXPECT_EQ(row.address, parts.address) << row.label;
        EXPECT_EQ(row.hasDescriptor, parts.hasDescriptor) << row.label;
        EXPECT_EQ(row.descriptor, parts.descriptor) << row.label;
    }
}

} // namespace
} // namespace quillon
