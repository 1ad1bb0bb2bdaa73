#include <gtest/gtest.h>

#include <map>
#include <string>

#include "resources/resource_ids.h"
#include "schedule/dialogs/schedule_text.h"

namespace quillon {
namespace {

// The English module's strings the schedule texts use.
std::string EnglishString(unsigned id)
{
    static const std::map<unsigned, std::string> strings = [] {
        std::map<unsigned, std::string> s = {
            {IDS_EVERY, "Every "}, {IDS_MINUTES, "minutes"}, {IDS_HOURS, "hours"}, {IDS_DAYS, "days"},
            {IDS_WEEKS, "weeks"}, {IDS_ON_THE, "On the "}, {IDS_FIRST, "first "}, {IDS_SECOND, "second "},
            {IDS_THIRD, "third "}, {IDS_FOURTH, "fourth "}, {IDS_FIFTH, "fifth "}, {IDS_LAST, "last "},
            {IDS_DAY, "day "}, {IDS_OF_THE_MONTH, "of the month"}, {IDS_AT, "at "},
            {IDS_SCHEDULE_FORMAT5, "%1 %2 %3 %4 %5"}, {IDS_SCHEDULE_FORMAT6, "%1 %2 %3 %4 %5 %6"},
        };
        const char *days[] = {"Sunday ", "Monday ", "Tuesday ", "Wednesday ", "Thursday ", "Friday ", "Saturday "};
        for (unsigned d = 0; d < 7; ++d)
            s[IDS_SUNDAY + d] = days[d];
        const char *ordinals[] = {"1st", "2nd", "3rd"};
        for (unsigned n = 1; n <= 31; ++n)
            s[IDS_ORDINAL_BASE + n] = n <= 3 ? ordinals[n - 1] : std::to_string(n) + "th";
        return s;
    }();
    auto it = strings.find(id);
    return it == strings.end() ? std::string() : it->second;
}

TaskRecord Task(uint32_t type, uint32_t value)
{
    TaskRecord task{};
    task.TaskType = type;
    task.Value = value;
    return task;
}

TEST(ScheduleText, EachTaskTypeFillsItsTemplate)
{
    struct Case {
        const char *label;
        uint32_t type;
        uint32_t value;
        const char *expected;
    };
    // The trailing spaces of the strings and the empty %4 %5 leave inner double spaces;
    // only the ends are trimmed.
    const Case cases[] = {
        {"every 15 minutes", 1, 15, "Every  15 minutes"},
        {"every 2 hours", 2, 2, "Every  2 hours"},
        {"every 2 days at", 3, 2, "Every  2 days at  9:00 AM"},
        {"every 1 week at", 4, 1, "Every  1 weeks at  9:00 AM"},
        {"day 15 (Value 14)", 5, 14, "On the  15th day  of the month at  9:00 AM"},
        {"first Sunday", 6, 0, "On the  first  Sunday  of the month at  9:00 AM"},
        {"third Wednesday", 8, 3, "On the  third  Wednesday  of the month at  9:00 AM"},
        {"last Saturday", 11, 6, "On the  last  Saturday  of the month at  9:00 AM"},
        {"last day", 12, 31, "On the  last  day  of the month at  9:00 AM"},
        {"type 0 has no text", 0, 1, ""},
        {"type 13 has no text", 13, 1, ""},
        {"weekday beyond Saturday has no text", 7, 7, ""},
        {"day beyond the 31st has no text", 5, 31, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(BuildScheduleText(Task(c.type, c.value), EnglishString, "9:00 AM"), c.expected) << c.label;
}

TEST(ScheduleText, TemplateFilling)
{
    struct Case {
        const char *label;
        const char *templ;
        std::vector<std::string> args;
        const char *expected;
    };
    const Case cases[] = {
        {"trimmed at both ends only", "  %1 %2  ", {"a", "b"}, "a b"},
        {"each marker replaced once", "%1 %1", {"x"}, "x %1"},
        {"missing arguments are empty", "%1 %2 %3", {"a"}, "a"},
        {"order follows the numbers", "%2-%1", {"a", "b"}, "b-a"},
        {"inserted text is not rescanned", "%1 %2", {"%2", "b"}, "%2 b"},
        {"percent before a non-digit stays", "100% %1", {"x"}, "100% x"},
        {"all spaces give the empty text", "%1 %2", {"", ""}, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FillScheduleTemplate(c.templ, c.args), c.expected) << c.label;
}

TEST(ScheduleText, ExceptionsColumn)
{
    struct Case {
        const char *label;
        uint32_t days;
        uint32_t months;
        const char *expected;
    };
    const Case cases[] = {
        {"nothing excepted", 0x7F, 0xFFF, " "},
        {"bits above the masks are ignored", 0xFFFFFFFF, 0xFFFFFFFF, " "},
        {"one weekday excepted", 0x7E, 0xFFF, "Yes"},
        {"one month excepted", 0x7F, 0x7FF, "Yes"},
        {"masks of 0 (older records) count as excepting", 0, 0, "Yes"},
    };
    for (const Case &c : cases) {
        TaskRecord task{};
        task.DaysOfWeek = c.days;
        task.MonthsOfYear = c.months;
        EXPECT_EQ(ExceptionsText(task, "Yes"), c.expected) << c.label;
    }
}

TEST(ScheduleText, ColumnTitles)
{
    struct Case {
        const char *text;
        bool ok;
        const char *title;
        int width;
    };
    const Case cases[] = {
        {"Description/160", true, "Description", 160},
        {"Start/End/60", true, "Start/End", 60},
        {"NoWidth/", true, "NoWidth", 0},
        {"No slash", false, "", 0},
    };
    for (const Case &c : cases) {
        std::string title;
        int width = -1;
        ASSERT_EQ(SplitColumnTitle(c.text, &title, &width), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(title, c.title) << c.text;
            EXPECT_EQ(width, c.width) << c.text;
        }
    }
}

TEST(ScheduleText, TasksRemovedFromRows)
{
    struct Case {
        const char *label;
        size_t count;
        std::vector<size_t> rows;
        std::vector<bool> removed;
    };
    const Case cases[] = {
        {"nothing removed", 3, {0, 1, 2}, {false, false, false}},
        {"first removed", 3, {1, 2}, {true, false, false}},
        {"middle removed", 4, {0, 3}, {false, true, true, false}},
        {"tail removed", 3, {0}, {false, true, true}},
        {"all removed", 2, {}, {true, true}},
        {"empty list", 0, {}, {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TasksRemovedFromRows(c.count, c.rows), c.removed) << c.label;
}

} // namespace
} // namespace quillon
