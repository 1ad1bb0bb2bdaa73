// The reminder file's name, content and subject limit.
#include "reminder/reminder_file.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillon;

namespace {

const std::string kFolder = "C:\\users\\me\\My Documents";

struct NameCase {
    const char *label;
    const char *subject;
    int number;
    const char *expected;   // the part after the folder and its backslash
};

TEST(ReminderFileName, CleansTheNamePartOnly)
{
    const NameCase cases[] = {
        {"plain", "Rent", 0, "Rent.htm"},
        {"question mark", "Rent?", 0, "Rent-.htm"},
        {"star", "a*b", 0, "a-b.htm"},
        {"backslash cannot name a folder", "a\\b", 0, "a-b.htm"},
        {"slash", "a/b", 0, "a-b.htm"},
        {"angle brackets", "Pay <rent>", 0, "Pay -rent-.htm"},
        {"colon cannot name a stream", "Call at 10:30", 0, "Call at 10-30.htm"},
        {"quote and bar", "\"x\"|y", 0, "-x--y.htm"},
        {"only refused characters", "?*\\", 0, "---.htm"},
        {"other punctuation stays", "Bill #3 (50%) & more; ok.", 0, "Bill #3 (50%) & more; ok..htm"},
        {"number", "Rent", 2, "Rent2.htm"},
        {"two-digit number", "Rent?", 99, "Rent-99.htm"},
    };
    for (const NameCase &c : cases)
        EXPECT_EQ(ReminderFilePath(kFolder, c.subject, c.number), kFolder + "\\" + c.expected) << c.label;
}

TEST(ReminderFileName, KeepsTheFolderAndItsDriveColonButCleansItsWildcards)
{
    // The folder's colon and backslashes are the path itself; only ? and * are cleaned
    // everywhere, as before.
    EXPECT_EQ(ReminderFilePath("D:\\odd?dir", "x:y", 0), "D:\\odd-dir\\x-y.htm");
    EXPECT_EQ(SafeFileName("C:\\a\\b\\c.htm", 4), "C:\\a\\b-c.htm");
    // Without a Personal folder the file goes to the root of the current drive.
    EXPECT_EQ(ReminderFilePath("", "a\\b", 0), "\\a-b.htm");
}

TEST(ReminderFileName, APathBeyondTheLimitIsNeverCreated)
{
    const std::string folder(30, 'f');
    const std::string longest(224, 's');
    const std::string path = ReminderFilePath(folder, longest, 0);
    EXPECT_EQ(path.size(), kMaxReminderPathLength);
    // A numbered name adds digits beyond the limit: refused rather than cut.
    EXPECT_EQ(ReminderFilePath(folder, longest, 1), "");
    EXPECT_EQ(ReminderFilePath(folder, longest.substr(1), 9).size(), kMaxReminderPathLength);
    EXPECT_EQ(ReminderFilePath(folder, longest.substr(1), 10), "");
}

TEST(ReminderFileName, SubjectLimitLeavesRoomForFolderSeparatorAndExtension)
{
    EXPECT_EQ(SubjectCharacterLimit(30), 224);
    EXPECT_EQ(SubjectCharacterLimit(0), 254);
    EXPECT_EQ(SubjectCharacterLimit(252), 2);
    // Never 0 or less: the edit control would take 0 as no limit at all.
    EXPECT_EQ(SubjectCharacterLimit(253), 1);
    EXPECT_EQ(SubjectCharacterLimit(254), 1);
    EXPECT_EQ(SubjectCharacterLimit(259), 1);
}

TEST(ReminderFileName, NumberedSubjectNamesTheDescription)
{
    EXPECT_EQ(NumberedSubject("Rent", 0), "Rent");
    EXPECT_EQ(NumberedSubject("Rent", 2), "Rent2");
    EXPECT_EQ(NumberedSubject("Rent", 99), "Rent99");
}

TEST(ReminderFileName, TaskDescriptionPutsTheSubjectInTheResourceText)
{
    EXPECT_EQ(TaskDescription("Send text from %s", "Rent2"), "Send text from Rent2");
    EXPECT_EQ(TaskDescription("Send text from %s", "50% of %s <a> & b"), "Send text from 50% of %s <a> & b");
    EXPECT_EQ(TaskDescription("Send text", "Rent"), "Send text");
}

TEST(ReminderFileContent, IsTheFrameWithSubjectAndMessageAndNoAddedLineBreak)
{
    const std::string expected =
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\"><HTML><HEAD><TITLE>Rent"
        "</TITLE><META content=\"text/html; charset=windows-1252\" http-equiv=Content-Type><META "
        "content=\"MSHTML 5.00.3105.105\" name=GENERATOR></HEAD><BODY>Pay the rent\r\ntoday</BODY></HTML>";
    EXPECT_EQ(ReminderFileContent("Rent", "Pay the rent\r\ntoday"), expected);
}

TEST(ReminderFileContent, EscapesTheThreeCharactersThatHtmlWouldSwallow)
{
    const struct {
        const char *typed;
        const char *written;
    } cases[] = {
        {"<rent>", "&lt;rent&gt;"},
        {"A & B", "A &amp; B"},
        {"&amp;", "&amp;amp;"},
        {"5 > 3 < 4", "5 &gt; 3 &lt; 4"},
        {"\"quoted\" 'x' \xE9", "\"quoted\" 'x' \xE9"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(EscapeReminderText(c.typed), c.written) << c.typed;
        const std::string content = ReminderFileContent(c.typed, c.typed);
        EXPECT_NE(content.find(std::string("<TITLE>") + c.written + "</TITLE>"), std::string::npos) << c.typed;
        EXPECT_NE(content.find(std::string("<BODY>") + c.written + "</BODY>"), std::string::npos) << c.typed;
    }
}

} // namespace
