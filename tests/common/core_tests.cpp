// Portable core: bounded text, date-time arithmetic, timestamp names, scrambling.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <string>

#include "common/datetime.h"
#include "common/scramble.h"
#include "common/text.h"
#include "common/timestamp.h"
#include "tests/support/date_time_builder.h"

using namespace quillon;

namespace {

using test::At;

} // namespace

TEST(BoundedText, CopiesAndTerminatesWithinTheBuffer)
{
    struct Row {
        const char *label;
        const char *src;
        bool fits;
        const char *expected;
    } rows[] = {
        {"short", "abc", true, "abc"},
        {"exactly size-1", "abcdefg", true, "abcdefg"},
        {"one too long", "abcdefgh", false, "abcdefg"},
        {"null source", nullptr, true, ""},
        {"empty", "", true, ""},
    };
    for (const Row &row : rows) {
        char buffer[8];
        std::memset(buffer, 'X', sizeof buffer);
        EXPECT_EQ(row.fits, CopyBounded(buffer, row.src)) << row.label;
        EXPECT_STREQ(row.expected, buffer) << row.label;
    }
}

TEST(BoundedText, AppendAndFormatNeverOverrun)
{
    char buffer[6] = "ab";
    EXPECT_TRUE(AppendBounded(buffer, "cd"));
    EXPECT_FALSE(AppendBounded(buffer, "efgh"));
    EXPECT_STREQ("abcde", buffer);

    char formatted[5];
    EXPECT_FALSE(FormatBounded(formatted, "%d-%s", 123, "xyz"));
    EXPECT_STREQ("123-", formatted);
    EXPECT_EQ("7 items", FormatText("%d %s", 7, "items"));
}

TEST(BoundedText, DecimalValueUsesLeadingDigitsAndClamps)
{
    struct Row {
        const char *text;
        long value;
    } rows[] = {
        {"15", 15}, {"  42abc", 42}, {"abc", 0}, {"", 0}, {"-7", -7}, {"+8", 8},
        {"99999999999999999999", INT_MAX}, {"-99999999999999999999", INT_MIN},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.value, DecimalTextValue(row.text)) << '"' << row.text << '"';
    EXPECT_EQ(0, DecimalTextValue(nullptr));
}

TEST(DateTimeArithmetic, KnownTickCountsAndDaysOfWeek)
{
    struct Row {
        const char *label;
        DateTime dt;
        Ticks ticks;
        int dayOfWeek;
    } rows[] = {
        {"epoch", At(1601, 1, 1), 0, 1},
        {"unix epoch", At(1970, 1, 1), 116444736000000000ULL, 4},
        {"y2k", At(2000, 1, 1), 125911584000000000ULL, 6},
        {"leap day", At(2000, 2, 29, 12, 30, 15, 500), 125963010155000000ULL, 2},
        {"4 July 2000 09:05:03", At(2000, 7, 4, 9, 5, 3), 126071751030000000ULL, 2},
        {"end of 9999", At(9999, 12, 31, 23, 59, 59, 999), 2650467743999990000ULL, 5},
    };
    for (const Row &row : rows) {
        Ticks ticks = 0;
        ASSERT_TRUE(DateTimeToTicks(row.dt, &ticks)) << row.label;
        EXPECT_EQ(row.ticks, ticks) << row.label;
        DateTime back{};
        ASSERT_TRUE(TicksToDateTime(ticks, &back)) << row.label;
        EXPECT_EQ(0, CompareDateTime(row.dt, back)) << row.label;
        EXPECT_EQ(row.dayOfWeek, back.wDayOfWeek) << row.label;
        EXPECT_EQ(row.dayOfWeek, DayOfWeek(row.dt.wYear, row.dt.wMonth, row.dt.wDay)) << row.label;
    }
}

TEST(DateTimeArithmetic, RejectsInvalidFieldsAndWalksDaysWithoutGaps)
{
    const DateTime invalid[] = {At(1600, 12, 31), At(2001, 2, 29), At(2000, 13, 1), At(2000, 0, 1),
                                At(2000, 4, 31), At(2000, 1, 1, 24), At(2000, 1, 1, 0, 60),
                                At(2000, 1, 1, 0, 0, 60), At(2000, 1, 1, 0, 0, 0, 1000), At(30828, 1, 1)};
    for (const DateTime &dt : invalid) {
        Ticks ticks = 42;
        EXPECT_FALSE(DateTimeToTicks(dt, &ticks)) << dt.wYear << '-' << dt.wMonth << '-' << dt.wDay;
        EXPECT_EQ(42u, ticks);
    }
    // Adding one day at a time crosses month, leap and century ends one calendar day apart.
    Ticks ticks;
    ASSERT_TRUE(DateTimeToTicks(At(1899, 12, 25), &ticks));
    DateTime previous{};
    ASSERT_TRUE(TicksToDateTime(ticks, &previous));
    for (int i = 0; i < 365 * 402; ++i) {
        ticks += kTicksPerDay;
        DateTime next{};
        ASSERT_TRUE(TicksToDateTime(ticks, &next));
        ASSERT_EQ(DayNumber(previous.wYear, previous.wMonth, previous.wDay) + 1,
                  DayNumber(next.wYear, next.wMonth, next.wDay));
        ASSERT_EQ((previous.wDayOfWeek + 1) % 7, next.wDayOfWeek);
        previous = next;
    }
    DateTime beyond{};
    EXPECT_FALSE(TicksToDateTime(~0ULL, &beyond));
}

TEST(DateTimeArithmetic, ComparesDatesAndTimesSeparately)
{
    DateTime morning = At(2024, 3, 5, 8, 15);
    DateTime evening = At(2024, 3, 5, 20, 0);
    DateTime nextDay = At(2024, 3, 6, 1, 0);
    EXPECT_EQ(0, CompareDate(morning, evening));
    EXPECT_LT(CompareTimeOfDay(morning, evening), 0);
    EXPECT_LT(CompareDate(evening, nextDay), 0);
    EXPECT_GT(CompareTimeOfDay(evening, nextDay), 0);
    EXPECT_LT(CompareDateTime(evening, nextDay), 0);
    EXPECT_EQ(0, CompareTimeOfDay(At(2024, 1, 1, 8, 15, 59), morning));
    DateTime truncated = TruncateToMinute(At(2024, 1, 1, 8, 15, 59, 999));
    EXPECT_EQ(0, truncated.wSecond);
    EXPECT_EQ(0, truncated.wMilliseconds);
}

TEST(TimestampNames, SpacePaddedNamesSortInTimeOrder)
{
    EXPECT_EQ("2000 7 4 9 5 3", TimestampKeyName(At(2000, 7, 4, 9, 5, 3)));
    EXPECT_EQ("20261231235959", TimestampKeyName(At(2026, 12, 31, 23, 59, 59)));
    EXPECT_EQ(14u, TimestampKeyName(At(2000, 1, 1)).size());
    EXPECT_LT(TimestampKeyName(At(2000, 7, 4, 9, 5, 9)), TimestampKeyName(At(2000, 7, 4, 9, 5, 10)));
    EXPECT_LT(TimestampKeyName(At(2000, 9, 30)), TimestampKeyName(At(2000, 10, 1)));

    DateTime parsed{};
    ASSERT_TRUE(ParseTimestampKeyName("2000 7 4 9 5 3", &parsed));
    EXPECT_EQ(0, CompareDateTime(At(2000, 7, 4, 9, 5, 3), parsed));
    for (const char *bad : {"", "2000 7 4 9 5 ", "2000 7 4 9 5 60", "200007 4 9 5 3", "2000 7 4 9 5 3x",
                            "2001 229 0 0 0", "abcdefghijklmn", "2000 7 4 9 5 3 "})
        EXPECT_FALSE(ParseTimestampKeyName(bad, &parsed)) << '"' << bad << '"';

    std::string next;
    ASSERT_TRUE(NextTimestampKeyName("19991231235959", &next));
    EXPECT_EQ("2000 1 1 0 0 0", next);
    EXPECT_FALSE(NextTimestampKeyName("not a name", &next));
}

TEST(PasswordScrambling, KeyMeetsItsPromisesAndRoundTrips)
{
    const unsigned char *key = ScrambleKey();
    for (size_t i = 0; i < 45; ++i)
        EXPECT_TRUE(std::isprint(key[i])) << "key byte " << i;
    for (size_t i = 0; i < kScrambleKeyLength; ++i)
        EXPECT_NE(0, key[i]) << "key byte " << i;
    EXPECT_GE(kScrambleKeyLength, 259u);

    std::string password(259, 'p');
    for (size_t i = 0; i < password.size(); ++i)
        password[i] = static_cast<char>(1 + i % 250);
    std::string scrambled = ScrambleText(password);
    EXPECT_NE(password, scrambled);
    EXPECT_EQ(password, ScrambleText(scrambled));

    // A password byte equal to the key byte scrambles to 0.
    std::string collide(1, static_cast<char>(key[0]));
    EXPECT_EQ(std::string(1, '\0'), ScrambleText(collide));
}

// The one unscrambler goes by the stored length: a scrambled zero byte (a password byte
// equal to the key byte) does not end the password, and the plain buffer bounds it.
TEST(PasswordScrambling, UnscrambleGoesByTheStoredLength)
{
    const unsigned char *key = ScrambleKey();
    std::string password = "ab";
    password += static_cast<char>(key[2]);
    password += "cd";
    std::string scrambled = ScrambleText(password);
    ASSERT_EQ('\0', scrambled[2]);
    char plain[260];
    EXPECT_EQ(5u, UnscramblePassword(scrambled.data(), scrambled.size(), plain, sizeof plain));
    EXPECT_EQ(password, std::string(plain));

    std::string longest(259, 'x');
    std::string tooLong = ScrambleText(longest) + std::string(41, 'y');
    EXPECT_EQ(259u, UnscramblePassword(tooLong.data(), tooLong.size(), plain, sizeof plain));
    EXPECT_EQ(longest, std::string(plain));

    char small[4] = {'z', 'z', 'z', 'z'};
    EXPECT_EQ(0u, UnscramblePassword("", 0, small, sizeof small));
    EXPECT_EQ('\0', small[0]);
    EXPECT_EQ(3u, UnscramblePassword(scrambled.data(), scrambled.size(), small, sizeof small));
    EXPECT_EQ(password.substr(0, 3), std::string(small, 3));
    EXPECT_EQ('\0', small[3]);
}
