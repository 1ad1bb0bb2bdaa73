// Schedule evaluation: every task type over simulated days and months, the checks before
// the type rule with their trace lines, the assumed last run of never-run tasks, and the
// retry-queue-first order of FindDueTask.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "schedule/evaluation.h"
#include "tests/schedule/memory_retry_queue.h"
#include "tests/schedule/schedule_test_util.h"

namespace quillon {
namespace {

using test::Local;
using test::MakeTask;
using test::MemoryRetryQueue;
using test::RecordingTraceSink;
using test::Show;

// Evaluates `task` at every step from `from` to `to` (inclusive), as the scheduler would:
// a due task is run and its run recorded 40 seconds into the minute. Returns the minutes
// at which it was due.
std::vector<std::string> SimulateRuns(TaskRecord task, const DateTime &from, const DateTime &to, Ticks step)
{
    std::vector<std::string> runs;
    Ticks first = 0, last = 0;
    EXPECT_TRUE(DateTimeToTicks(from, &first));
    EXPECT_TRUE(DateTimeToTicks(to, &last));
    for (Ticks at = first; at <= last; at += step) {
        DateTime t;
        if (!TicksToDateTime(at, &t))
            break;
        if (EvaluateTask(&task, t, nullptr)) {
            runs.push_back(Show(t));
            task.LastRun = t;
            task.LastRun.wSecond = 40;
        }
    }
    return runs;
}

struct SimulationCase {
    const char *label;
    std::function<void(TaskRecord &)> setup;
    TaskRecord base;
    DateTime from;
    DateTime to;
    Ticks step;
    std::vector<std::string> expectedRuns;
};

TEST(ScheduleSimulation, EachTaskTypeRunsWhenItsRuleSays)
{
    auto window = [](int startHour, int startMinute, int endHour, int endMinute) {
        return [=](TaskRecord &t) {
            t.HasTimes = 1;
            t.StartDate = Local(2026, 1, 1, startHour, startMinute);
            t.EndDate = Local(2026, 12, 31, endHour, endMinute);
        };
    };
    auto lastRun = [](DateTime when) { return [=](TaskRecord &t) { t.LastRun = when; }; };
    auto notWeekend = [](TaskRecord &t) { t.NotWeekend = 1; };
    auto nothing = [](TaskRecord &) {};
    const Ticks minute = kTicksPerMinute, hour = kTicksPerHour;

    const std::vector<SimulationCase> cases = {
        {"every 5 min, never run, first seen 10:07", nothing, MakeTask(1, 5),
         Local(2026, 3, 3, 10, 7), Local(2026, 3, 3, 10, 30), minute,
         {"2026-03-03 10:07", "2026-03-03 10:12", "2026-03-03 10:17", "2026-03-03 10:22", "2026-03-03 10:27"}},
        {"every 5 min, first seen just after midnight", nothing, MakeTask(1, 5),
         Local(2026, 3, 3, 0, 3), Local(2026, 3, 3, 0, 10), minute,
         {"2026-03-03 00:03", "2026-03-03 00:08"}},
        {"every 5 min in 08:00-17:00, first seen 10:07", window(8, 0, 17, 0), MakeTask(1, 5),
         Local(2026, 3, 3, 10, 7), Local(2026, 3, 3, 10, 21), minute,
         {"2026-03-03 10:10", "2026-03-03 10:15", "2026-03-03 10:20"}},
        {"every 5 min in 08:00-17:00, from before the window", window(8, 0, 17, 0), MakeTask(1, 5),
         Local(2026, 3, 3, 7, 55), Local(2026, 3, 3, 8, 11), minute,
         {"2026-03-03 08:05", "2026-03-03 08:10"}},
        {"window end minute is inside", window(8, 0, 17, 0), MakeTask(1, 5),
         Local(2026, 3, 3, 16, 58), Local(2026, 3, 3, 17, 10), minute, {"2026-03-03 17:00"}},
        {"every hour, never run, first seen 10:07", nothing, MakeTask(2, 1),
         Local(2026, 3, 3, 10, 7), Local(2026, 3, 3, 12, 30), minute,
         {"2026-03-03 10:07", "2026-03-03 11:07", "2026-03-03 12:07"}},
        {"every 2 days at 09:00 after a Monday run", lastRun(Local(2026, 3, 2, 9, 0, 30)), MakeTask(3, 2, 540),
         Local(2026, 3, 3, 0, 0), Local(2026, 3, 5, 23, 59), minute, {"2026-03-04 09:00"}},
        {"every week at 09:00 after a Monday run", lastRun(Local(2026, 3, 2, 9, 0)), MakeTask(4, 1, 540),
         Local(2026, 3, 3, 0, 0), Local(2026, 3, 16, 23, 0), hour, {"2026-03-09 09:00", "2026-03-16 09:00"}},
        {"15th of the month at 08:00", nothing, MakeTask(5, 14, 480),
         Local(2026, 1, 1), Local(2026, 3, 31, 23, 0), hour,
         {"2026-01-15 08:00", "2026-02-15 08:00", "2026-03-15 08:00"}},
        {"15th, weekend moves to Monday", notWeekend, MakeTask(5, 14, 480),
         Local(2026, 1, 1), Local(2026, 3, 31, 23, 0), hour,
         {"2026-01-15 08:00", "2026-02-16 08:00", "2026-03-16 08:00"}},
        {"15th missed on an excepted Sunday is made up on Monday",
         [](TaskRecord &t) { t.DaysOfWeek = 0x7E; }, MakeTask(5, 14, 480),
         Local(2026, 2, 1), Local(2026, 2, 28, 23, 0), hour, {"2026-02-16 08:00"}},
        {"31st in a 30-day month falls on its last day", nothing, MakeTask(5, 30, 480),
         Local(2026, 4, 1), Local(2026, 5, 31, 23, 0), hour, {"2026-04-30 08:00", "2026-05-31 08:00"}},
        {"31st in February", nothing, MakeTask(5, 30, 480),
         Local(2026, 2, 1), Local(2026, 3, 1, 23, 0), hour, {"2026-02-28 08:00"}},
        {"first Monday", nothing, MakeTask(6, 1, 480),
         Local(2026, 1, 1), Local(2026, 3, 31, 23, 0), hour,
         {"2026-01-05 08:00", "2026-02-02 08:00", "2026-03-02 08:00"}},
        {"second Tuesday", nothing, MakeTask(7, 2, 480),
         Local(2026, 1, 1), Local(2026, 2, 28, 23, 0), hour, {"2026-01-13 08:00", "2026-02-10 08:00"}},
        {"fourth Sunday", nothing, MakeTask(9, 0, 480),
         Local(2026, 2, 1), Local(2026, 3, 31, 23, 0), hour, {"2026-02-22 08:00", "2026-03-22 08:00"}},
        {"fifth Friday only where a month has one", nothing, MakeTask(10, 5, 480),
         Local(2026, 1, 1), Local(2026, 5, 31, 23, 0), hour, {"2026-01-30 08:00", "2026-05-29 08:00"}},
        {"last Friday of December", nothing, MakeTask(11, 5, 480),
         Local(2026, 12, 1), Local(2026, 12, 31, 23, 0), hour, {"2026-12-25 08:00"}},
        {"last day of each month", nothing, MakeTask(12, 31, 480),
         Local(2026, 1, 1), Local(2026, 3, 31, 23, 0), hour,
         {"2026-01-31 08:00", "2026-02-28 08:00", "2026-03-31 08:00"}},
        {"last day of December, not New Year's Day", nothing, MakeTask(12, 31, 480),
         Local(2026, 12, 1), Local(2027, 1, 2, 23, 0), hour, {"2026-12-31 08:00"}},
        {"last working day of each month", notWeekend, MakeTask(12, 31, 480),
         Local(2026, 1, 1), Local(2026, 5, 31, 23, 0), hour,
         {"2026-01-30 08:00", "2026-02-27 08:00", "2026-03-31 08:00", "2026-04-30 08:00", "2026-05-29 08:00"}},
        {"only the low 16 bits of Value2 count", lastRun(Local(2026, 3, 2, 9, 0)), MakeTask(3, 1, 0x10000u | 540u),
         Local(2026, 3, 3, 8, 0), Local(2026, 3, 3, 10, 0), minute, {"2026-03-03 09:00"}},
        {"date range bounds both ends",
         [](TaskRecord &t) {
             t.HasDates = 1;
             t.StartDate = Local(2026, 3, 4, 23, 59);
             t.EndDate = Local(2026, 3, 5, 0, 0);
         },
         MakeTask(3, 1, 480), Local(2026, 3, 1), Local(2026, 3, 8), hour, {"2026-03-04 08:00", "2026-03-05 08:00"}},
    };

    for (const SimulationCase &c : cases) {
        TaskRecord task = c.base;
        c.setup(task);
        EXPECT_EQ(SimulateRuns(task, c.from, c.to, c.step), c.expectedRuns) << c.label;
    }
}

TEST(ScheduleSimulation, RunRecordedLateInTheMinuteCountsFromItsMinute)
{
    TaskRecord task = MakeTask(1, 5);
    EXPECT_TRUE(EvaluateTask(&task, Local(2026, 3, 3, 10, 7), nullptr));
    task.LastRun = Local(2026, 3, 3, 10, 7, 40);
    for (int minute = 8; minute <= 11; ++minute)
        EXPECT_FALSE(EvaluateTask(&task, Local(2026, 3, 3, 10, minute), nullptr)) << "10:" << minute;
    EXPECT_TRUE(EvaluateTask(&task, Local(2026, 3, 3, 10, 12), nullptr));
    EXPECT_EQ(task.LastRun.wSecond, 0) << "seconds of LastRun are cleared in memory";
}

struct AssumedRunCase {
    const char *label;
    TaskRecord task;
    DateTime t;
    DateTime expected;
};

TEST(AssumedLastRun, NeverRunTaskGetsTheRunBeforeT)
{
    TaskRecord windowed = MakeTask(1, 5);
    windowed.HasTimes = 1;
    windowed.StartDate = Local(2026, 1, 1, 8, 0);
    windowed.EndDate = Local(2026, 1, 1, 17, 0);

    const std::vector<AssumedRunCase> cases = {
        {"every 5 min at 10:07", MakeTask(1, 5), Local(2026, 3, 3, 10, 7), Local(2026, 3, 3, 10, 0)},
        {"every 5 min at 00:03: previous day", MakeTask(1, 5), Local(2026, 3, 3, 0, 3), Local(2026, 3, 2, 23, 55)},
        {"every 5 min at 00:03 on New Year's Day", MakeTask(1, 5), Local(2026, 1, 1, 0, 3), Local(2025, 12, 31, 23, 55)},
        {"every 5 min in a window at 10:07", windowed, Local(2026, 3, 3, 10, 7), Local(2026, 3, 3, 10, 5)},
        {"every 5 min in a window at its start", windowed, Local(2026, 3, 3, 8, 0), Local(2026, 3, 3, 8, 0)},
        {"every hour at 10:07", MakeTask(2, 1), Local(2026, 3, 3, 10, 7), Local(2026, 3, 3, 9, 0)},
        {"every 3 hours at 10:07", MakeTask(2, 3), Local(2026, 3, 3, 10, 7), Local(2026, 3, 3, 6, 0)},
        {"every hour at 00:30", MakeTask(2, 1), Local(2026, 3, 3, 0, 30), Local(2026, 3, 2, 23, 0)},
        {"every 2 days", MakeTask(3, 2, 540), Local(2026, 3, 1, 10, 7), Local(2026, 2, 27, 10, 7)},
        {"every 3 weeks", MakeTask(4, 3, 540), Local(2026, 3, 3, 10, 7), Local(2026, 2, 10, 10, 7)},
        {"day of month", MakeTask(5, 0, 540), Local(2026, 3, 1, 10, 7), Local(2026, 2, 28, 10, 7)},
        {"last day of month", MakeTask(12, 31, 540), Local(2026, 3, 3, 10, 7), Local(2026, 3, 2, 10, 7)},
    };
    for (const AssumedRunCase &c : cases) {
        TaskRecord task = c.task;
        EvaluateTask(&task, c.t, nullptr);
        DateTime expected = c.expected;
        EXPECT_EQ(Show(task.LastRun), Show(expected)) << c.label;
        EXPECT_EQ(task.LastRun.wDayOfWeek, expected.wDayOfWeek) << c.label;
    }
}

struct CheckCase {
    const char *label;
    std::function<void(TaskRecord &)> setup;
    DateTime t;
    bool due;
    std::vector<std::string> trace;   // every line after "Task <key>:"
};

TEST(TaskChecks, EachCheckRejectsWithItsTraceLine)
{
    // Monday 6 July 2026, 10:00. Tasks start as "every 5 minutes, last run 09:00".
    const DateTime monday = Local(2026, 7, 6, 10, 0);
    auto dates = [](DateTime start, DateTime end) {
        return [=](TaskRecord &t) {
            t.HasDates = 1;
            t.StartDate = start;
            t.EndDate = end;
        };
    };
    auto times = [](int sh, int sm, int eh, int em) {
        return [=](TaskRecord &t) {
            t.HasTimes = 1;
            t.StartDate = Local(2026, 7, 6, sh, sm);
            t.EndDate = Local(2026, 7, 6, eh, em);
        };
    };
    const std::string now = "  is scheduled to run now";
    DateTime oddWeekday = monday;
    oddWeekday.wDayOfWeek = 40;

    const std::vector<CheckCase> cases = {
        {"deleted", [](TaskRecord &t) { t.Deleted = 1; t.Disabled = 1; }, monday, false, {"  is marked as deleted"}},
        {"disabled", [](TaskRecord &t) { t.Disabled = 1; }, monday, false, {"  is marked as disabled"}},
        {"before the date range", dates(Local(2026, 7, 7), Local(2026, 7, 31)), monday, false,
         {"  is outside of date range"}},
        {"after the date range", dates(Local(2026, 6, 1), Local(2026, 7, 5, 23, 59)), monday, false,
         {"  is outside of date range"}},
        {"first day of the range, whatever its time", dates(Local(2026, 7, 6, 23, 59), Local(2026, 7, 31)), monday,
         true, {now}},
        {"last day of the range, whatever its time", dates(Local(2026, 6, 1), Local(2026, 7, 6, 0, 0)), monday, true,
         {now}},
        {"window starting this minute", times(10, 0, 11, 0), monday, true, {now}},
        {"window ending this minute", times(9, 0, 10, 0), monday, true, {now}},
        {"window starting a minute later", times(10, 1, 11, 0), monday, false, {"  is outside of time range"}},
        {"window ended a minute ago", times(8, 0, 9, 59), monday, false, {"  is outside of time range"}},
        {"July excepted", [](TaskRecord &t) { t.MonthsOfYear = 0xFFF & ~(1u << 6); }, monday, false,
         {"  is disabled for this month"}},
        {"only July", [](TaskRecord &t) { t.MonthsOfYear = 1u << 6; }, monday, true, {now}},
        {"Monday excepted", [](TaskRecord &t) { t.DaysOfWeek = 0x7F & ~(1u << 1); }, monday, false,
         {"  is disabled for this day of the week"}},
        {"weekday number beyond the mask", [](TaskRecord &) {}, oddWeekday, false,
         {"  is disabled for this day of the week"}},
        {"masks of 0 restrict nothing", [](TaskRecord &t) { t.DaysOfWeek = 0; t.MonthsOfYear = 0; }, oddWeekday, true,
         {now}},
        {"already run this minute", [](TaskRecord &t) { t.LastRun = Local(2026, 7, 6, 10, 0, 45); }, monday, false,
         {"  has already been run"}},
        {"next run later today",
         [](TaskRecord &t) { t.LastRun = Local(2026, 7, 6, 9, 58); }, monday, false,
         {"  is scheduled to run on 6/7/2026 at 10:3"}},
        {"every 0 minutes never runs", [](TaskRecord &t) { t.Value = 0; }, monday, false, {}},
        {"every 0 hours never runs", [](TaskRecord &t) { t.TaskType = 2; t.Value = 0; }, monday, false, {}},
        {"every 0 days never runs", [](TaskRecord &t) { t.TaskType = 3; t.Value = 0; t.Value2 = 0; }, monday, false,
         {}},
        {"unknown type 0", [](TaskRecord &t) { t.TaskType = 0; }, monday, false, {}},
        {"unknown type 13", [](TaskRecord &t) { t.TaskType = 13; }, monday, false, {}},
        {"LastRun that is no date", [](TaskRecord &t) { t.LastRun = Local(2026, 7, 6); t.LastRun.wMonth = 13; },
         monday, false, {}},
    };

    for (const CheckCase &c : cases) {
        TaskRecord task = MakeTask(1, 5, 0, "2026 7 1 9 5 3");
        task.LastRun = Local(2026, 7, 6, 9, 0);
        task.Logging = 1;
        c.setup(task);
        RecordingTraceSink sink;
        EXPECT_EQ(EvaluateTask(&task, c.t, &sink), c.due) << c.label;
        std::vector<std::string> expected = {"Task 2026 7 1 9 5 3:"};
        expected.insert(expected.end(), c.trace.begin(), c.trace.end());
        EXPECT_EQ(sink.lines, expected) << c.label;
    }
}

TEST(TaskChecks, CandidateLineHasNoLeadingZeros)
{
    TaskRecord task = MakeTask(3, 1, 9 * 60 + 5, "2000 7 4 9 5 3");
    task.Logging = 1;
    task.LastRun = Local(2000, 7, 3, 9, 5);
    RecordingTraceSink sink;
    EXPECT_FALSE(EvaluateTask(&task, Local(2000, 7, 4, 8, 0), &sink));
    EXPECT_EQ(sink.lines, (std::vector<std::string>{"Task 2000 7 4 9 5 3:", "  is scheduled to run on 4/7/2000 at 9:5"}));
}

TEST(TaskChecks, TracesOnlyForTasksWithLoggingAndOnlyWithASink)
{
    TaskRecord quiet = MakeTask(1, 5);
    RecordingTraceSink sink;
    EXPECT_TRUE(EvaluateTask(&quiet, Local(2026, 3, 3, 10, 7), &sink));
    EXPECT_TRUE(sink.lines.empty());

    TaskRecord loud = MakeTask(1, 5);
    loud.Logging = 1;
    EXPECT_TRUE(EvaluateTask(&loud, Local(2026, 3, 3, 10, 7), nullptr));
}

// Values only hand editing can produce must never crash or trip the sanitizers.
TEST(TaskChecks, ExtremeHandWrittenValuesAreSafe)
{
    const uint32_t values[] = {0, 1, 6, 30, 31, 0x7FFFFFFFu, 0xFFFFFFFFu};
    const uint32_t values2[] = {0, 1439, 0xFFFFu, 0xFFFFFFFFu};
    const DateTime times[] = {Local(1601, 1, 1, 0, 0), Local(2026, 12, 31, 23, 59), Local(30827, 12, 31, 23, 59)};
    DateTime oddStart = Local(2026, 1, 1);
    oddStart.wHour = 0xFFFF;
    oddStart.wMinute = 0xFFFF;
    for (uint32_t type = 0; type <= 13; ++type) {
        for (uint32_t value : values) {
            for (uint32_t value2 : values2) {
                for (const DateTime &t : times) {
                    for (int variant = 0; variant < 3; ++variant) {
                        TaskRecord task = MakeTask(type, value, value2);
                        task.Logging = 1;
                        task.NotWeekend = 1;
                        if (variant == 1) {
                            task.HasTimes = 1;
                            task.StartDate = Local(2026, 1, 1, 0, 0);
                            task.EndDate = oddStart;
                        }
                        if (variant == 2)
                            task.LastRun = Local(1601, 1, 1);
                        const TaskRecord original = task;
                        RecordingTraceSink sink;
                        const bool due = EvaluateTask(&task, t, &sink);
                        // The same record at the same minute gives the same answer and trace.
                        TaskRecord again = original;
                        RecordingTraceSink againSink;
                        EXPECT_EQ(EvaluateTask(&again, t, &againSink), due) << type << "/" << value << "/" << value2;
                        EXPECT_EQ(againSink.lines, sink.lines);
                        // Traced, as its Logging asks, starting with the task's own line.
                        ASSERT_FALSE(sink.lines.empty());
                        EXPECT_EQ(sink.lines[0].rfind("Task ", 0), 0u) << sink.lines[0];
                        // A kind of schedule that does not exist is never due.
                        if (type == 0 || type > kTaskLastDayOfMonth) {
                            EXPECT_FALSE(due) << type;
                        }
                        // Whatever it assumed about the last run is a real date-time.
                        if (task.LastRun.wYear != 0) {
                            EXPECT_TRUE(IsValidDateTime(task.LastRun)) << type << "/" << value << "/" << value2;
                        }
                        // Disabled, the same record is never due.
                        TaskRecord disabled = original;
                        disabled.Disabled = 1;
                        EXPECT_FALSE(EvaluateTask(&disabled, t, nullptr));
                    }
                }
            }
        }
    }
}

// ---- FindDueTask: list order, retries first, results ----

struct TaskList {
    std::vector<TaskRecord> records;
    std::vector<TaskRecord *> Pointers()
    {
        std::vector<TaskRecord *> pointers;
        for (TaskRecord &r : records)
            pointers.push_back(&r);
        return pointers;
    }
};

TEST(FindDueTask, EmptyListMeansNoTasksWithoutAskingTheQueue)
{
    MemoryRetryQueue queue;
    queue.Add("2026 1 1 0 0 0", Local(2000, 1, 1));
    DateTime st = Local(2026, 3, 3, 10, 7, 12);
    size_t index = 99;
    EXPECT_EQ(FindDueTask(std::vector<TaskRecord *>{}, &st, &queue, nullptr, &index), TaskQueryResult::kNoTasks);
    EXPECT_EQ(queue.findCalls, 0);
    EXPECT_EQ(ResultCode(TaskQueryResult::kNoTasks), 259);
    EXPECT_EQ(ResultCode(TaskQueryResult::kNothingDue), static_cast<int32_t>(0x80004005u));
    EXPECT_EQ(ResultCode(TaskQueryResult::kDue), 0);
}

TEST(FindDueTask, FirstDueInListOrderThenTheNextAfterItsRun)
{
    TaskList list;
    list.records = {MakeTask(3, 1, 540, "2026 1 1 0 0 1"), MakeTask(1, 5, 0, "2026 1 1 0 0 2"),
                    MakeTask(1, 5, 0, "2026 1 1 0 0 3")};
    list.records[0].LastRun = Local(2026, 3, 3, 9, 0);   // not due again today
    auto pointers = list.Pointers();

    DateTime st = Local(2026, 3, 3, 10, 7, 31);
    st.wMilliseconds = 250;
    size_t index = 99;
    ASSERT_EQ(FindDueTask(pointers, &st, nullptr, nullptr, &index), TaskQueryResult::kDue);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(st.wSecond, 0) << "the caller's seconds are cleared";
    EXPECT_EQ(st.wMilliseconds, 0);

    list.records[1].LastRun = Local(2026, 3, 3, 10, 7, 35);
    st = Local(2026, 3, 3, 10, 7, 50);
    ASSERT_EQ(FindDueTask(pointers, &st, nullptr, nullptr, &index), TaskQueryResult::kDue);
    EXPECT_EQ(index, 2u);

    list.records[2].LastRun = Local(2026, 3, 3, 10, 7, 55);
    st = Local(2026, 3, 3, 10, 7, 58);
    EXPECT_EQ(FindDueTask(pointers, &st, nullptr, nullptr, &index), TaskQueryResult::kNothingDue);
}

TEST(FindDueTask, DueRetryComesFirstWhateverTheTaskState)
{
    TaskList list;
    list.records = {MakeTask(1, 5, 0, "2026 1 1 0 0 1"), MakeTask(1, 5, 0, "2026 1 1 0 0 2")};
    list.records[1].Disabled = 1;
    list.records[1].Deleted = 1;
    auto pointers = list.Pointers();

    MemoryRetryQueue queue;
    queue.now = Local(2026, 3, 3, 10, 7);
    queue.Add("2026 1 1 0 0 2", Local(2026, 3, 3, 10, 5));
    DateTime st = Local(2026, 3, 3, 10, 7);
    size_t index = 99;
    ASSERT_EQ(FindDueTask(pointers, &st, &queue, nullptr, &index), TaskQueryResult::kDue);
    EXPECT_EQ(index, 1u);

    // Not yet due: the schedule decides.
    queue.entries[0].retryTime = Local(2026, 3, 3, 10, 8);
    ASSERT_EQ(FindDueTask(pointers, &st, &queue, nullptr, &index), TaskQueryResult::kDue);
    EXPECT_EQ(index, 0u);
}

TEST(FindDueTask, RetryNamesMatchIgnoringCase)
{
    TaskList list;
    list.records = {MakeTask(99, 0, 0, "Nightly"), MakeTask(99, 0, 0, "Weekly")};
    auto pointers = list.Pointers();
    MemoryRetryQueue queue;
    queue.now = Local(2026, 3, 3, 10, 7);
    queue.Add("WEEKLY", Local(2026, 3, 3, 10, 7));
    DateTime st = Local(2026, 3, 3, 10, 7);
    size_t index = 99;
    ASSERT_EQ(FindDueTask(pointers, &st, &queue, nullptr, &index), TaskQueryResult::kDue);
    EXPECT_EQ(index, 1u);
}

TEST(FindDueTask, StaleRetryEntriesAreDroppedAndTheSearchGoesOn)
{
    TaskList list;
    list.records = {MakeTask(99, 0, 0, "2026 1 1 0 0 1"), MakeTask(99, 0, 0, "2026 1 1 0 0 2")};
    auto pointers = list.Pointers();
    MemoryRetryQueue queue;
    queue.now = Local(2026, 3, 3, 10, 7);
    queue.Add("2025 1 1 0 0 0", Local(2026, 3, 3, 9, 0));   // task deleted meanwhile
    queue.Add("2025 1 1 0 0 9", Local(2026, 3, 3, 9, 30));  // likewise
    queue.Add("2026 1 1 0 0 2", Local(2026, 3, 3, 10, 0));
    DateTime st = Local(2026, 3, 3, 10, 7);
    size_t index = 99;
    ASSERT_EQ(FindDueTask(pointers, &st, &queue, nullptr, &index), TaskQueryResult::kDue);
    EXPECT_EQ(index, 1u);
    ASSERT_EQ(queue.entries.size(), 1u);
    EXPECT_EQ(queue.entries[0].name, "2026 1 1 0 0 2");

    // Only stale entries: all go, and nothing is returned for them.
    queue.entries.clear();
    queue.Add("2025 1 1 0 0 0", Local(2026, 3, 3, 9, 0));
    EXPECT_EQ(FindDueTask(pointers, &st, &queue, nullptr, &index), TaskQueryResult::kNothingDue);
    EXPECT_TRUE(queue.entries.empty());
}

TEST(FindDueTask, EntryThatCannotBeRemovedDoesNotTrapTheSearch)
{
    TaskList list;
    list.records = {MakeTask(1, 5, 0, "2026 1 1 0 0 1")};
    auto pointers = list.Pointers();
    MemoryRetryQueue queue;
    queue.now = Local(2026, 3, 3, 10, 7);
    queue.failRemoval = true;
    queue.Add("2025 1 1 0 0 0", Local(2026, 3, 3, 9, 0));
    DateTime st = Local(2026, 3, 3, 10, 7);
    size_t index = 99;
    ASSERT_EQ(FindDueTask(pointers, &st, &queue, nullptr, &index), TaskQueryResult::kDue);
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(queue.removeCalls, 1);
}

TEST(FindDueTask, InvalidTimeRunsNoScheduledTask)
{
    TaskList list;
    list.records = {MakeTask(1, 5)};
    auto pointers = list.Pointers();
    DateTime st = Local(2026, 3, 3, 10, 7);
    st.wMonth = 0;
    size_t index = 99;
    EXPECT_EQ(FindDueTask(pointers, &st, nullptr, nullptr, &index), TaskQueryResult::kNothingDue);
}

// ---- The counting rule of RequeueTask ----

TEST(DecideRequeue, FailuresCountUpUntilTheRetriesAreUsedUp)
{
    struct Step {
        bool hasCount;
        uint32_t stored;
        uint32_t maxRetries;
        bool queued;
        uint32_t newCount;
    };
    const struct {
        const char *label;
        Step step;
    } cases[] = {
        {"first failure", {false, 0, 3, true, 1}},
        {"second failure", {true, 1, 3, true, 2}},
        {"third failure", {true, 2, 3, true, 3}},
        {"fourth failure of 3 allowed", {true, 3, 3, false, 0}},
        {"first failure with 0 allowed", {false, 0, 0, true, 1}},
        {"second failure with 0 allowed", {true, 1, 0, false, 0}},
        {"count at the 32-bit limit", {true, 0xFFFFFFFFu, 0xFFFFFFFFu, false, 0}},
    };
    for (const auto &c : cases) {
        uint32_t count = 0;
        EXPECT_EQ(DecideRequeue(c.step.hasCount, c.step.stored, c.step.maxRetries, &count), c.step.queued) << c.label;
        if (c.step.queued) {
            EXPECT_EQ(count, c.step.newCount) << c.label;
        }
    }
}

TEST(TaskRecordNames, KeyNameIsBoundedAndComparedWithoutCase)
{
    TaskRecord task{};
    EXPECT_TRUE(SetTaskKeyName(&task, "2000 7 4 9 5 3"));
    EXPECT_TRUE(SetTaskKeyName(&task, "123456789012345"));
    EXPECT_FALSE(SetTaskKeyName(&task, "1234567890123456"));
    EXPECT_STREQ(task.KeyName, "123456789012345");
    EXPECT_FALSE(SetTaskKeyName(&task, nullptr));
    EXPECT_TRUE(SetTaskKeyName(&task, "Abc"));
    EXPECT_TRUE(TaskKeyNameEquals(task, "aBC"));
    EXPECT_FALSE(TaskKeyNameEquals(task, "abcd"));
    EXPECT_FALSE(TaskKeyNameEquals(task, "ab"));
    EXPECT_FALSE(TaskKeyNameEquals(task, nullptr));
}

} // namespace
} // namespace quillon
