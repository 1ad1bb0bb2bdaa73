// The queue's registry-free rules: the two due checks and the retry decision.
#include <gtest/gtest.h>

#include "queue/queue_rules.h"

namespace quillon {
namespace {

TEST(QueueRules, DueChecksDifferAtTheExactMoment)
{
    const DateTime at = {2000, 7, 3, 5, 9, 3, 7, 0};
    DateTime later = at;
    later.wMilliseconds = 1;
    DateTime invalid = {};
    EXPECT_FALSE(IsDueForDispatch(at, at));     // strictly before the dispatch time
    EXPECT_TRUE(IsDueAtOrBefore(at, at));       // not later than now
    EXPECT_TRUE(IsDueForDispatch(at, later));
    EXPECT_FALSE(IsDueAtOrBefore(later, at));
    EXPECT_FALSE(IsDueForDispatch(invalid, at)); // an unreadable time is never due
    EXPECT_FALSE(IsDueAtOrBefore(invalid, at));
}

TEST(QueueRules, RetryDecision)
{
    struct {
        uint32_t count, limit;
        FailedAttempt expected;
    } cases[] = {
        {0, 0, FailedAttempt::kGiveUp},     {0, 1, FailedAttempt::kReschedule},
        {1, 1, FailedAttempt::kGiveUp},     {2, 5, FailedAttempt::kReschedule},
        {5, 5, FailedAttempt::kGiveUp},     {0xFFFFFFFFu, 0xFFFFFFFFu, FailedAttempt::kGiveUp},
        {0xFFFFFFFEu, 0xFFFFFFFFu, FailedAttempt::kReschedule},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DecideAfterFailure(c.count, c.limit), c.expected) << c.count << " of " << c.limit;
}

TEST(QueueRules, RetryTimeCrossesDaysAndYears)
{
    DateTime next;
    ASSERT_TRUE(RetryTimeAfter({1999, 12, 5, 31, 23, 50, 30, 250}, 15, &next));
    EXPECT_EQ(next.wYear, 2000);
    EXPECT_EQ(next.wMonth, 1);
    EXPECT_EQ(next.wDay, 1);
    EXPECT_EQ(next.wHour, 0);
    EXPECT_EQ(next.wMinute, 5);
    EXPECT_EQ(next.wSecond, 30);
    EXPECT_EQ(next.wMilliseconds, 250);
    EXPECT_EQ(next.wDayOfWeek, 6);
    EXPECT_FALSE(RetryTimeAfter({}, 15, &next));
}

} // namespace
} // namespace quillon
