// The time pickers' format: the user's time format with its seconds field removed.
#include <gtest/gtest.h>

#include <string>

#include "schedule/component/time_format.h"

using quillon::RemoveSecondsFromTimeFormat;

TEST(PickerTimeFormat, SecondsAndTheirSeparatorAreRemoved)
{
    struct Case {
        const char *label;
        const char *format;
        const char *separator;
        const char *expected;
    } cases[] = {
        {"US English", "h:mm:ss tt", ":", "h:mm tt"},
        {"24-hour British/German", "HH:mm:ss", ":", "HH:mm"},
        {"single s after separator", "H:mm:s", ":", "H:mm"},
        {"dot separator", "HH.mm.ss", ".", "HH.mm"},
        {"space separator", "HH h mm min ss", " ", "HH h mm min"},
        {"seconds first, then separator", "ss:mm:HH", ":", "mm:HH"},
        {"single s first", "s:mm:H", ":", "mm:H"},
        {"marker before the time", "tt h:mm:ss", ":", "tt h:mm"},
        {"no seconds at all", "h:mm tt", ":", "h:mm tt"},
        {"seconds but another separator", "HH.mm.ss", ":", "HH.mm.ss"},
        {"empty format", "", ":", ""},
        {"empty separator leaves the format alone", "h:mm:ss tt", "", "h:mm:ss tt"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, RemoveSecondsFromTimeFormat(c.format, c.separator)) << c.label;
}

TEST(PickerTimeFormat, SeparatorBeforeSecondsWinsOverSeparatorAfter)
{
    // Both "s:" and ":ss" occur: the separator in front of the seconds goes with them.
    EXPECT_EQ("ss:mm", RemoveSecondsFromTimeFormat("ss:mm:ss", ":"));
}
