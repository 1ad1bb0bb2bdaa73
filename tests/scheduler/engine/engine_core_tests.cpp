// The engine's rules on doubles of everything outside it: the minute walk of a tick, the
// busy guard, the force-reload rule, task outcomes, the connection keeper and the
// dispatcher.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

#include "mail/mail_contract.h"

#include "common/scramble.h"
#include "scheduler/engine/task_engine.h"
#include "tests/scheduler/engine/engine_doubles.h"

namespace quillon::test {
namespace {

std::string Minute(const DateTime &t)
{
    char text[32];
    snprintf(text, sizeof text, "%02d:%02d", t.wHour, t.wMinute);
    return text;
}

// Every party of one engine, fresh per test or per table row.
struct Rig {
    Rig() : clock(At(2026, 12, 10, 10, 0, 12, 345)), launcher(clock) { settings.logging = true; }

    TaskEngine &Engine()
    {
        if (!engine)
            engine = std::make_unique<TaskEngine>(
                settings, shell, EngineServices{&clock, &log, &schedule, &launcher, &dialer, &queue, &loader});
        return *engine;
    }

    // Minutes asked for, in order, repeats folded.
    std::vector<std::string> QueriedMinutes() const
    {
        std::vector<std::string> minutes;
        for (const auto &q : schedule.queries)
            if (minutes.empty() || minutes.back() != Minute(q.minute))
                minutes.push_back(Minute(q.minute));
        return minutes;
    }

    SchedulerSettings settings;
    ShellState shell;
    FakeClock clock;
    RecordingLog log;
    ScriptedSchedule schedule;
    ScriptedLauncher launcher;
    ScriptedDialer dialer;
    MemoryMailQueue queue;
    RecordingLoader loader;
    std::unique_ptr<TaskEngine> engine;
};

class EngineTest : public ::testing::Test, public Rig {
};

// ---- MinuteTick: the walk over minutes ----------------------------------------

TEST(MinuteTickTest, SlowPassesAreFollowedByPassesForTheMinutesAfter)
{
    struct Case {
        const char *label;
        int firstRunSeconds;    // the 10:00 task
        int secondRunSeconds;   // the 10:01 task
        std::vector<std::string> examined;
        std::vector<std::string> ran;
    };
    const Case cases[] = {
        {"quick pass examines one minute", 5, 5, {"10:00"}, {"prog.exe A"}},
        {"pass 10:00-10:07, then 10:01 ends before 10:08", 7 * 60, 30, {"10:00", "10:01"},
         {"prog.exe A", "prog.exe B"}},
        {"10:01 pass runs on to 10:09: next is 10:08", 7 * 60, 2 * 60, {"10:00", "10:01", "10:08"},
         {"prog.exe A", "prog.exe B"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        Rig r;
        r.schedule.Add(At(2026, 12, 10, 10, 0), "A");
        r.schedule.Add(At(2026, 12, 10, 10, 1), "B");
        r.schedule.Add(At(2026, 12, 10, 10, 2), "C");
        r.schedule.Add(At(2026, 12, 10, 10, 7), "H");
        r.launcher.scripts["prog.exe A"].duration = c.firstRunSeconds * kTicksPerSecond;
        r.launcher.scripts["prog.exe B"].duration = c.secondRunSeconds * kTicksPerSecond;

        r.Engine().MinuteTick();

        EXPECT_EQ(r.QueriedMinutes(), c.examined);
        EXPECT_EQ(r.launcher.commandLines, c.ran);
        EXPECT_FALSE(r.shell.tickBusy);
    }
}

TEST_F(EngineTest, TickStartsWithItsLineAndANestedTickOnlyLogsBusy)
{
    schedule.Add(At(2026, 12, 10, 10, 0), "A");
    // A modal loop inside the running task dispatches another timer message.
    launcher.during = [this] {
        clock.AdvanceMinutes(1);
        Engine().MinuteTick();
    };
    Engine().MinuteTick();

    std::vector<std::string> expected = {
        "TASQED.EXE: 12/10/2026 10:00 ",
        "    Task A: 12/10/2026 10:00",
        "    12/10/2026 10:01 (busy)",
        "Task completed successfully",
    };
    EXPECT_EQ(log.Lines(), expected);
    EXPECT_EQ(launcher.commandLines.size(), 1u);
    EXPECT_FALSE(shell.tickBusy);
}

TEST_F(EngineTest, LoggingOffWritesNothing)
{
    settings.logging = false;
    schedule.Add(At(2026, 12, 10, 10, 0), "A");
    launcher.scripts["prog.exe A"].outcome = {false, false, 0};
    queue.Add("m1", At(2026, 12, 10, 9, 0));
    loader.sendResult = [](const std::string &) { return -1; };
    Engine().MinuteTick();
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(loader.calls.loads.size(), 1u);
}

TEST_F(EngineTest, ForceReloadFollowsTheChangeFlagUnlessTheScheduleListIsOpen)
{
    struct Case {
        const char *label;
        unsigned viewCount;
        bool changed;
        bool forced;
    };
    const Case cases[] = {
        {"no change", 0, false, false},
        {"change arrived", 0, true, true},
        {"change while the list is open", 1, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        schedule.queries.clear();
        shell.scheduleViewCount = c.viewCount;
        shell.taskListChanged = c.changed;
        Engine().MinuteTick();
        EXPECT_FALSE(shell.taskListChanged) << "the flag is consumed";
        ASSERT_FALSE(schedule.queries.empty());
        EXPECT_EQ(schedule.queries[0].force, c.forced);

        schedule.queries.clear();
        Engine().MinuteTick();
        EXPECT_FALSE(schedule.queries[0].force) << "the next tick does not force again";
    }
}

// A task-change notice that arrives during a long tick, followed by a nested (busy)
// tick, still forces the reload of the tick after the long one.
TEST_F(EngineTest, AChangeNoticeDuringABusyTickReachesTheNextTick)
{
    schedule.Add(At(2026, 12, 10, 10, 0), "A");
    launcher.during = [this] {
        shell.taskListChanged = true;
        clock.AdvanceMinutes(1);
        Engine().MinuteTick();   // only "(busy)"
    };
    Engine().MinuteTick();
    EXPECT_TRUE(shell.taskListChanged);
    launcher.during = nullptr;
    schedule.queries.clear();
    clock.AdvanceMinutes(1);
    Engine().MinuteTick();
    ASSERT_FALSE(schedule.queries.empty());
    EXPECT_TRUE(schedule.queries[0].force);
}

TEST_F(EngineTest, OnlyTheFirstCallOfATickForcesTheReload)
{
    schedule.Add(At(2026, 12, 10, 10, 0), "A");
    schedule.Add(At(2026, 12, 10, 10, 0), "B");
    launcher.scripts["prog.exe A"].duration = 2 * kTicksPerMinute;
    shell.taskListChanged = true;
    Engine().MinuteTick();
    ASSERT_GE(schedule.queries.size(), 3u);
    EXPECT_TRUE(schedule.queries[0].force);
    for (size_t i = 1; i < schedule.queries.size(); ++i)
        EXPECT_FALSE(schedule.queries[i].force) << "query " << i;
}

// ---- Task outcomes ---------------------------------------------------------------

TEST_F(EngineTest, TwoTasksDueInOneMinuteRunOneAfterTheOtherInOnePass)
{
    schedule.Add(At(2026, 12, 10, 10, 0), "A");
    schedule.Add(At(2026, 12, 10, 10, 0), "B");
    launcher.scripts["prog.exe B"].outcome = {true, false, 0};
    Engine().MinuteTick();
    std::vector<std::string> expected = {
        "TASQED.EXE: 12/10/2026 10:00 ", "    Task A: 12/10/2026 10:00", "Task completed successfully",
        "    Task B: 12/10/2026 10:00",   "Task failed",
    };
    EXPECT_EQ(log.Lines(), expected);
    ASSERT_EQ(schedule.requeues.size(), 2u);
    EXPECT_TRUE(schedule.requeues[0].unqueue);
    EXPECT_FALSE(schedule.requeues[1].unqueue);
}

TEST_F(EngineTest, OnlyExitCodeMinusOneIsSuccess)
{
    struct Case {
        const char *label;
        ProcessOutcome outcome;
        bool succeeded;
        std::vector<std::string> lines;   // after the task line
    };
    const Case cases[] = {
        {"exit -1", {true, false, 0xFFFFFFFFu}, true, {"Task completed successfully"}},
        {"exit 0", {true, false, 0}, false, {"Task failed"}},
        {"exit 1", {true, false, 1}, false, {"Task failed"}},
        {"still running when read", {true, false, 259}, false, {"Task failed"}},
        {"timed out", {true, true, 0xDEADDEADu}, false, {"    Process timed out.", "Task failed"}},
        {"cannot start", {false, false, 0}, false,
         {"TASQED.EXE: CreateProcess \"prog.exe K\" failed.", "Task failed"}},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        clock.Set(At(2026, 12, 10, 10, 0 + 2 * n, 30));
        DateTime minute = At(2026, 12, 10, 10, 0 + 2 * n);
        ++n;
        FakeTask &task = schedule.Add(minute, "K");
        launcher.scripts["prog.exe K"].outcome = c.outcome;
        launcher.scripts["prog.exe K"].duration = 20 * kTicksPerSecond;
        size_t before = log.Lines().size();
        schedule.requeues.clear();

        Engine().MinuteTick();

        std::vector<std::string> lines = log.Lines();
        lines.erase(lines.begin(), lines.begin() + static_cast<long>(before) + 2);
        EXPECT_EQ(lines, c.lines);
        ASSERT_EQ(schedule.requeues.size(), 1u);
        const auto &requeue = schedule.requeues[0];
        EXPECT_EQ(requeue.unqueue, c.succeeded);
        EXPECT_EQ(requeue.maxRetries, 1u);
        // The retry time is the end of the run (seconds kept) plus the task retry minutes.
        DateTime ended = At(2026, 12, 10, minute.wHour, minute.wMinute, 50);
        EXPECT_EQ(TicksOf(requeue.retryTime), TicksOf(ended) + 15 * kTicksPerMinute);
        EXPECT_EQ(task.lastRunCalls, 1);
        EXPECT_EQ(TicksOf(task.lastRun), TicksOf(ended));
    }
}

TEST_F(EngineTest, CommandLineIsProgramBlankArgumentsEvenWhenArgumentsAreEmpty)
{
    schedule.Add(At(2026, 12, 10, 10, 0), "", false, "quillon.exe");
    schedule.Add(At(2026, 12, 10, 10, 0), "2026121010 0 0", false, "quillon.exe", 1234);
    Engine().MinuteTick();
    std::vector<std::string> expected = {"quillon.exe ", "quillon.exe 2026121010 0 0"};
    EXPECT_EQ(launcher.commandLines, expected);
}

TEST_F(EngineTest, TaskRetrySettingsReachTheRetryQueue)
{
    settings.taskRetryCount = 4;
    settings.taskRetryMinutes = 7;
    schedule.Add(At(2026, 12, 10, 10, 0), "A");
    launcher.scripts["prog.exe A"].outcome = {true, false, 0};
    Engine().MinuteTick();
    ASSERT_EQ(schedule.requeues.size(), 1u);
    EXPECT_EQ(schedule.requeues[0].maxRetries, 4u);
    EXPECT_EQ(TicksOf(schedule.requeues[0].retryTime), TicksOf(At(2026, 12, 10, 10, 0, 12, 345)) + 7 * kTicksPerMinute);
}

TEST_F(EngineTest, ATaskHandedOutAgainInThePassRunsOnce)
{
    schedule.handOutAgain = true;
    schedule.Add(At(2026, 12, 10, 10, 0), "A");
    Engine().MinuteTick();
    EXPECT_EQ(launcher.commandLines.size(), 1u);
}

TEST_F(EngineTest, TaskNeedingTheInternetIsNotStartedWhenDialAndProbeFail)
{
    settings.dialUp = true;
    settings.dialupName = "Modem line";
    dialer.dialResult = 668;
    dialer.probeResult = false;
    schedule.Add(At(2026, 12, 10, 10, 0), "A", true);
    Engine().MinuteTick();

    EXPECT_TRUE(launcher.commandLines.empty());
    ASSERT_EQ(dialer.dialled.size(), 1u);
    EXPECT_EQ(dialer.dialled[0], "Modem line");
    EXPECT_EQ(dialer.probes, 1);
    std::vector<std::string> expected = {"TASQED.EXE: 12/10/2026 10:00 ", "    Task A: 12/10/2026 10:00",
                                         "    Internet Connection Failed", "Task failed"};
    EXPECT_EQ(log.Lines(), expected);
    ASSERT_EQ(schedule.requeues.size(), 1u);
    EXPECT_FALSE(schedule.requeues[0].unqueue);
    EXPECT_TRUE(dialer.hungUp.empty());
}

TEST_F(EngineTest, DueMessageWithoutTaskIsDeliveredAndThePassAsksAgain)
{
    queue.Add("m1", At(2026, 12, 10, 9, 59));
    Engine().MinuteTick();
    EXPECT_TRUE(queue.entries.empty());
    ASSERT_EQ(schedule.queries.size(), 2u) << "asks, delivers, asks again";
    EXPECT_EQ(loader.calls.loads.size(), 1u);
}

TEST(MinuteTickTest, MessagesThatKeepFailingDoNotSpinThePass)
{
    struct Case {
        const char *label;
        std::function<void(Rig &)> arrange;
        size_t loadsAMinuteLater;   // 1: tried again; 0: never again from this scheduler
    };
    const Case cases[] = {
        {"send fails, retry minutes 0", [](Rig &r) { r.loader.sendResult = [](const std::string &) { return -5; }; },
         1},
        {"logon fails, retry minutes 0", [](Rig &r) { r.loader.logonResult = -1; }, 1},
        {"library missing", [](Rig &r) { r.loader.available = false; }, 1},
        {"count unreadable", [](Rig &r) {
             r.queue.entries["m1"].hasCount = false;
             r.loader.sendResult = [](const std::string &) { return -5; };
         }, 1},
        {"body unreadable, write fails", [](Rig &r) {
             r.queue.entries["m1"].hasBody = false;
             r.queue.failWrites = true;
         }, 1},
        {"sent but cannot be deleted", [](Rig &r) { r.queue.entries["m1"].deletable = false; }, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        Rig r;
        r.settings.retryCount = 1000;
        r.settings.retryMinutes = 0;
        r.queue.Add("m1", At(2026, 12, 10, 9, 59));
        c.arrange(r);

        r.Engine().MinuteTick();
        EXPECT_EQ(r.loader.calls.loads.size(), 1u);
        EXPECT_EQ(r.schedule.queries.size(), 2u);

        // A minute later the entry is tried again, unless the library took it.
        r.clock.AdvanceMinutes(1);
        r.clock.Advance(kTicksPerSecond);
        r.loader.calls = MailCalls();
        r.Engine().MinuteTick();
        EXPECT_EQ(r.loader.calls.loads.size(), c.loadsAMinuteLater);
    }
}

// A clock that stands still for its first calls, as a coarse system clock does within
// one of its steps, and then moves on a millisecond per call.
class SteppingClock : public Clock {
public:
    explicit SteppingClock(const DateTime &start) : base_(start) {}
    DateTime Now() override
    {
        if (++calls_ > 2000)
            base_.Advance(kTicksPerSecond / 1000);
        return base_.Now();
    }

private:
    FakeClock base_;
    int calls_ = 0;
};

TEST(MinuteTickTest, AnEntryDueAtTheVeryMomentOfTheTickIsNotTriedOverAndOver)
{
    Rig r;
    SteppingClock clock(At(2026, 12, 10, 10, 0, 12, 345));
    r.queue.Add("m1", clock.Now());
    TaskEngine engine(r.settings, r.shell,
                      EngineServices{&clock, &r.log, &r.schedule, &r.launcher, &r.dialer, &r.queue, &r.loader});
    engine.MinuteTick();
    EXPECT_LE(r.loader.calls.loads.size(), 1u) << "the library was loaded again and again within one tick";
}

// ---- What bounds a tick ---------------------------------------------------------------

// A task due every minute whose run takes two minutes, and a message whose every send
// takes three minutes and fails, with one retry minute: each failure's new retry time and
// each run's next period have passed when the pass or tick looks again. The tick still
// ends: each task runs once and each message is tried once, while the passes over the
// minutes that went by still run the task that fell due in them.
TEST(MinuteTickTest, ATickRunsEachTaskOnceAndTriesEachMessageOnceHoweverLongItTakes)
{
    Rig r;
    r.settings.retryCount = 1000;
    r.settings.retryMinutes = 1;
    r.schedule.AddEveryMinute(At(2026, 12, 10, 10, 0), "E");
    r.schedule.Add(At(2026, 12, 10, 10, 1), "B");
    r.launcher.scripts["prog.exe E"].duration = 2 * 60 * kTicksPerSecond;
    r.launcher.scripts["prog.exe B"].duration = 2 * 60 * kTicksPerSecond;
    r.queue.Add("m1", At(2026, 12, 10, 9, 59));
    int sends = 0;
    r.loader.sendResult = [&](const std::string &) -> int32_t {
        // Without the bound the tick would not end; the test must.
        if (++sends > 20)
            throw std::runtime_error("the tick keeps sending the same message");
        r.clock.AdvanceMinutes(3);
        return kMailFailed;
    };
    r.launcher.during = [&] {
        if (r.launcher.commandLines.size() > 20)
            throw std::runtime_error("the tick keeps running the same task");
    };

    r.Engine().MinuteTick();

    EXPECT_EQ(r.launcher.commandLines, (std::vector<std::string>{"prog.exe E", "prog.exe B"}));
    EXPECT_EQ(sends, 1);
    EXPECT_EQ(r.QueriedMinutes(), (std::vector<std::string>{"10:00", "10:01", "10:06"}))
        << "the pass over the minute that went by runs the task due in it";
    ASSERT_EQ(r.queue.entries.count("m1"), 1u);
    EXPECT_EQ(r.queue.entries["m1"].count, 1u);
    EXPECT_FALSE(r.shell.tickBusy);

    // The next tick tries the message again and runs the every-minute task again.
    r.clock.AdvanceMinutes(1);
    r.loader.sendResult = [](const std::string &) { return 0; };
    r.Engine().MinuteTick();
    EXPECT_TRUE(r.queue.entries.empty());
    EXPECT_EQ(r.launcher.commandLines.size(), 3u);
}

// The deferral rule: the library answers "not attempted" for one message of five.
TEST(MinuteTickTest, AMessageTheLibraryDidNotAttemptDefersItAndEveryLaterOneToTheNextTick)
{
    struct Case {
        const char *label;
        std::map<std::string, int32_t> results;   // by subject; others succeed
        const char *notAttempted;
        std::vector<std::string> left;
        std::vector<uint32_t> countsLeft;
    };
    const Case cases[] = {
        {"second of five", {{"s2", kMailNotAttempted}}, "s2", {"m2", "m3", "m4", "m5"}, {0, 0, 0, 0}},
        {"first of five", {{"s1", kMailNotAttempted}}, "s1", {"m1", "m2", "m3", "m4", "m5"}, {0, 0, 0, 0, 0}},
        {"fifth of five", {{"s5", kMailNotAttempted}}, "s5", {"m5"}, {0}},
        {"first fails, second not attempted", {{"s1", kMailFailed}, {"s2", kMailNotAttempted}}, "s2",
         {"m1", "m2", "m3", "m4", "m5"}, {1, 0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        Rig r;
        r.settings.retryCount = 3;
        for (int i = 1; i <= 5; ++i)
            r.queue.Add("m" + std::to_string(i), At(2026, 12, 10, 9, 50, i), "s" + std::to_string(i));
        // A task in the same minute after the delivery: its pass would dispatch again.
        r.schedule.Add(At(2026, 12, 10, 10, 0), "A");
        std::vector<std::string> sent;
        r.loader.sendResult = [&](const std::string &subject) {
            sent.push_back(subject);
            auto found = c.results.find(subject);
            return found == c.results.end() ? 0 : found->second;
        };
        const DateTime before = At(2026, 12, 10, 9, 50, 0);

        r.Engine().MinuteTick();

        std::vector<std::string> left;
        std::vector<uint32_t> counts;
        for (const auto &entry : r.queue.entries) {
            left.push_back(entry.first);
            counts.push_back(entry.second.count);
            if (entry.second.count == 0) {
                EXPECT_EQ(TicksOf(entry.second.retryTime) - TicksOf(before),
                          (entry.first.back() - '0') * kTicksPerSecond)
                    << entry.first << ": an untried message keeps its RetryTime";
            }
        }
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(counts, c.countsLeft);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back(), c.notAttempted) << "nothing is sent after the message not attempted";
        EXPECT_EQ(r.loader.calls.loads.size(), 1u) << "no further dispatch in this tick";
        EXPECT_FALSE(r.engine->Dispatcher().IsMailDue());
        EXPECT_EQ(r.launcher.commandLines.size(), 1u) << "the tick's task still runs";
        size_t deferrals = 0;
        for (const auto &line : r.log.Lines())
            deferrals += line == "Deferred sending message and those after it to the next minute";
        EXPECT_EQ(deferrals, 1u) << r.log.Text();

        // The next tick tries every deferred message, once, with a server that takes
        // them; one that failed waits for its retry time.
        r.clock.AdvanceMinutes(1);
        sent.clear();
        r.loader.sendResult = [&](const std::string &subject) {
            sent.push_back(subject);
            return 0;
        };
        r.Engine().MinuteTick();
        size_t deferred = static_cast<size_t>(std::count(c.countsLeft.begin(), c.countsLeft.end(), 0u));
        EXPECT_EQ(sent.size(), deferred);
        EXPECT_EQ(r.queue.entries.size(), c.left.size() - deferred);
    }
}

TEST(MinuteTickTest, ExitRequestedEndsTheTickAfterTheCurrentTaskOrMessage)
{
    {
        SCOPED_TRACE("during a task");
        Rig r;
        r.schedule.Add(At(2026, 12, 10, 10, 0), "A");
        r.schedule.Add(At(2026, 12, 10, 10, 0), "B");
        r.queue.Add("m1", At(2026, 12, 10, 9, 59));
        r.launcher.during = [&] { r.shell.exitRequested = true; };
        r.Engine().MinuteTick();
        EXPECT_EQ(r.launcher.commandLines, std::vector<std::string>{"prog.exe A"});
        ASSERT_EQ(r.schedule.requeues.size(), 1u) << "the task that ran is reported";
        EXPECT_TRUE(r.schedule.requeues[0].unqueue);
        EXPECT_TRUE(r.loader.calls.loads.empty()) << "no delivery after the exit request";
        EXPECT_EQ(r.queue.entries.size(), 1u);
        EXPECT_FALSE(r.shell.tickBusy);
    }
    {
        SCOPED_TRACE("during a message");
        Rig r;
        for (int i = 1; i <= 3; ++i)
            r.queue.Add("m" + std::to_string(i), At(2026, 12, 10, 9, 50, i), "s" + std::to_string(i));
        r.loader.sendResult = [&](const std::string &) {
            r.shell.exitRequested = true;
            return 0;
        };
        r.Engine().MinuteTick();
        EXPECT_EQ(r.queue.entries.size(), 2u) << "the message in hand is finished, the others wait";
        EXPECT_EQ(r.queue.entries["m2"].count, 0u);
        EXPECT_EQ(r.queue.entries["m3"].count, 0u);
        EXPECT_EQ(r.loader.calls.calls.back(), "logoff 77");
        EXPECT_EQ(r.log.Text().find("Deferred"), std::string::npos) << r.log.Text();
        EXPECT_FALSE(r.shell.tickBusy);
    }
}

// ---- Connection ---------------------------------------------------------------------

TEST(ConnectionTest, EnsureConnectionDialsOnlyWhenConfiguredAndNeeded)
{
    struct Case {
        const char *label;
        bool dialUp, dontDial, needs;
        uint32_t dialResult;
        bool probe;
        int dials, probes;
        bool connected, dialled, failLine;
    };
    const Case cases[] = {
        {"always connected", false, false, true, 0, false, 0, 0, false, false, false},
        {"task does not need it", true, false, false, 0, false, 0, 0, false, false, false},
        {"never-dial assumes it", true, true, true, 5, false, 0, 0, true, false, false},
        {"dial succeeds", true, false, true, 0, false, 1, 0, true, true, false},
        {"dial fails, probe reaches", true, false, true, 5, true, 1, 1, true, false, false},
        {"dial and probe fail", true, false, true, 5, false, 1, 1, false, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        Rig r;
        r.settings.dialUp = c.dialUp;
        r.settings.dontDial = c.dontDial;
        r.dialer.dialResult = c.dialResult;
        r.dialer.probeResult = c.probe;
        r.Engine().Connection().EnsureConnection(c.needs);
        EXPECT_EQ(static_cast<int>(r.dialer.dialled.size()), c.dials);
        EXPECT_EQ(r.dialer.probes, c.probes);
        EXPECT_EQ(r.Engine().Connection().Connected(), c.connected);
        EXPECT_EQ(r.Engine().Connection().Dialled(), c.dialled);
        EXPECT_EQ(r.log.Text(), c.failLine ? "    Internet Connection Failed\r\n" : "");
        // Once up, nothing more is dialled.
        r.Engine().Connection().EnsureConnection(c.needs);
        EXPECT_EQ(static_cast<int>(r.dialer.dialled.size()), c.dials + (c.dials == 1 && !c.connected ? 1 : 0));
    }
}

TEST_F(EngineTest, DialledLineIsKeptForATaskWithinTheHangUpMinutesThenHungUp)
{
    settings.dialUp = true;
    settings.hangUpMinutes = 5;
    schedule.Add(At(2026, 12, 10, 10, 0), "A", true);
    schedule.Add(At(2026, 12, 10, 10, 3), "B", true);

    Engine().MinuteTick();
    EXPECT_EQ(dialer.dialled.size(), 1u);
    EXPECT_TRUE(dialer.hungUp.empty());
    EXPECT_NE(log.Text().find("    Task B: 12/10/2026 10:03 prevents hangup\r\n"), std::string::npos);

    for (int minute = 1; minute <= 3; ++minute) {
        clock.Set(At(2026, 12, 10, 10, minute, 1));
        Engine().MinuteTick();
    }
    EXPECT_EQ(dialer.dialled.size(), 1u) << "the line stayed up for B";
    ASSERT_EQ(dialer.hungUp.size(), 1u) << "nothing due by 10:08 after the 10:03 pass";
    EXPECT_EQ(dialer.hungUp[0], 0x1234u);
    EXPECT_FALSE(Engine().Connection().Connected());
}

TEST(ConnectionTest, HangUpRules)
{
    struct Case {
        const char *label;
        bool dontDial;
        uint32_t dialResult;
        bool probe;
        uint32_t hangUpMinutes;
        bool mailDueAfter;
        size_t hangUps;
        bool connectedAfter;
    };
    const Case cases[] = {
        {"hang-up minutes 0: right after the pass", false, 0, false, 0, false, 1, false},
        {"never-dial: forgotten, not hung up", true, 0, false, 0, false, 0, false},
        {"only probed: forgotten, not hung up", false, 9, true, 0, false, 0, false},
        {"mail still due keeps the line", false, 0, false, 0, true, 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        Rig r;
        r.settings.dialUp = true;
        r.settings.dontDial = c.dontDial;
        r.settings.hangUpMinutes = c.hangUpMinutes;
        r.dialer.dialResult = c.dialResult;
        r.dialer.probeResult = c.probe;
        r.Engine().Connection().EnsureConnection(true);
        ASSERT_TRUE(r.Engine().Connection().Connected());
        if (c.mailDueAfter)
            r.queue.Add("m", At(2026, 12, 10, 9, 0));
        r.Engine().Connection().HangUpDecision(At(2026, 12, 10, 10, 0));
        EXPECT_EQ(r.dialer.hungUp.size(), c.hangUps);
        EXPECT_EQ(r.Engine().Connection().Connected(), c.connectedAfter);
    }
}

// ---- Dispatch --------------------------------------------------------------------

class DispatchTest : public EngineTest {
protected:
    DispatchTest()
    {
        settings.sender = "me@example.org";
        settings.destination = "pager@example.org";
        settings.mailLibrary = "mailwire.dll";
        settings.logFile = "quillon.log";
    }
    MailDispatcher &Dispatcher() { return Engine().Dispatcher(); }
};

TEST_F(DispatchTest, TwoDueEntriesAreSentInOneLogonInEnumerationOrder)
{
    queue.Add("2026121010 0 1", At(2026, 12, 10, 10, 0, 1), "Title", "first");
    queue.Add("2026121010 0 2", At(2026, 12, 10, 10, 0, 2), "", "second");
    queue.Add("2026121010 5 0", At(2026, 12, 10, 10, 5, 0), "", "later");
    EXPECT_TRUE(Dispatcher().IsMailDue());
    Dispatcher().DispatchMail();

    std::vector<std::string> calls = {
        "logon /" "/1/quillon.log",
        "send 77 me@example.org pager@example.org Title/first",
        "send 77 me@example.org pager@example.org /second",
        "logoff 77",
    };
    EXPECT_EQ(loader.calls.calls, calls);
    EXPECT_EQ(loader.calls.loads, std::vector<std::string>{"mailwire.dll"});
    EXPECT_EQ(loader.calls.unloads, 1);
    ASSERT_EQ(queue.entries.size(), 1u);
    EXPECT_EQ(queue.entries.begin()->first, "2026121010 5 0") << "the future entry is untouched";
    EXPECT_EQ(queue.entries.begin()->second.count, 0u);
    std::vector<std::string> lines = {
        "From: me@example.org", "To: pager@example.org", "Subject: Title", "Text: first", "Succeeded in sending message",
        "From: me@example.org", "To: pager@example.org", "Subject: ",      "Text: second", "Succeeded in sending message",
    };
    EXPECT_EQ(log.Lines(), lines);
    EXPECT_FALSE(Dispatcher().IsMailDue());
}

TEST_F(DispatchTest, FailedEntryIsRescheduledThenGivenUp)
{
    queue.Add("m", At(2026, 12, 10, 9, 0));
    loader.sendResult = [](const std::string &) { return -2147467259; };
    Dispatcher().DispatchMail();
    ASSERT_EQ(queue.entries.size(), 1u);
    EXPECT_EQ(queue.entries["m"].count, 1u);
    EXPECT_EQ(TicksOf(queue.entries["m"].retryTime), TicksOf(At(2026, 12, 10, 10, 0, 12, 345)) + 15 * kTicksPerMinute);
    EXPECT_EQ(log.Text().find("Gave up"), std::string::npos);
    EXPECT_EQ(log.Text().find("Succeeded"), std::string::npos);

    clock.AdvanceMinutes(14);
    EXPECT_FALSE(Dispatcher().IsMailDue());
    Dispatcher().DispatchMail();
    EXPECT_EQ(queue.entries["m"].count, 1u) << "not tried again before its time";

    clock.AdvanceMinutes(2);
    EXPECT_TRUE(Dispatcher().IsMailDue());
    Dispatcher().DispatchMail();
    EXPECT_TRUE(queue.entries.empty());
    EXPECT_EQ(log.Lines().back(), "Gave up on sending message");
}

TEST_F(DispatchTest, RetryCountZeroGivesUpAtTheFirstFailure)
{
    settings.retryCount = 0;
    queue.Add("m", At(2026, 12, 10, 9, 0));
    loader.sendResult = [](const std::string &) { return -1; };
    Dispatcher().DispatchMail();
    EXPECT_TRUE(queue.entries.empty());
}

TEST_F(DispatchTest, FailedLogonHoldsTheQueueOffForTheRetryMinutes)
{
    queue.Add("m", At(2026, 12, 10, 9, 0));
    loader.logonResult = -1;
    Dispatcher().DispatchMail();
    EXPECT_EQ(loader.calls.calls.size(), 1u) << "no send, no logoff";
    EXPECT_EQ(queue.entries["m"].count, 0u);
    EXPECT_EQ(loader.calls.unloads, 1);

    clock.Set(At(2026, 12, 10, 10, 15, 0));
    EXPECT_FALSE(Dispatcher().IsMailDue()) << "held off until 10:15:12";
    clock.Set(At(2026, 12, 10, 10, 15, 13));
    EXPECT_TRUE(Dispatcher().IsMailDue());
}

TEST_F(DispatchTest, DontSendLogsAndDeletesWithoutCallingTheLibrary)
{
    settings.dontSend = true;
    queue.Add("m", At(2026, 12, 10, 9, 0), "S", "B");
    Dispatcher().DispatchMail();
    EXPECT_TRUE(loader.calls.calls.empty());
    EXPECT_EQ(loader.calls.loads.size(), 1u) << "the library is still loaded";
    EXPECT_TRUE(queue.entries.empty());
    std::vector<std::string> lines = {"From: me@example.org", "To: pager@example.org", "Subject: S", "Text: B",
                                      "Succeeded in sending message"};
    EXPECT_EQ(log.Lines(), lines);
}

TEST_F(DispatchTest, LibraryNameAndMissingLibrary)
{
    settings.mailLibrary = "";
    loader.available = false;
    queue.Add("m", At(2026, 12, 10, 9, 0));
    Dispatcher().DispatchMail();
    EXPECT_EQ(loader.calls.loads, std::vector<std::string>{"MAILSIMPLE.DLL"});
    EXPECT_EQ(queue.entries["m"].count, 0u) << "the queue is unchanged";
    EXPECT_FALSE(Dispatcher().IsMailDue()) << "held off, so the tick's pass ends";
}

TEST_F(DispatchTest, EntryWithoutSubjectOrBodyCountsAsFailedWithoutLines)
{
    queue.Add("a", At(2026, 12, 10, 9, 0)).hasSubject = false;
    queue.Add("b", At(2026, 12, 10, 9, 0)).hasBody = false;
    Dispatcher().DispatchMail();
    EXPECT_EQ(queue.entries["a"].count, 1u);
    EXPECT_EQ(queue.entries["b"].count, 1u);
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(loader.calls.calls.size(), 2u) << "logon and logoff only";
}

TEST_F(DispatchTest, EntriesThatCannotBeReadOrOpenedAreLeftAlone)
{
    queue.Add("a", At(2026, 12, 10, 9, 0)).hasRetryTime = false;
    queue.Add("b", At(2026, 12, 10, 9, 0)).openable = false;
    DateTime bad = At(2026, 12, 10, 9, 0);
    bad.wMonth = 13;
    queue.Add("c", bad);
    EXPECT_FALSE(Dispatcher().IsMailDue());
    Dispatcher().DispatchMail();
    EXPECT_EQ(queue.entries.size(), 3u);
    EXPECT_EQ(loader.calls.calls.size(), 2u);
}

// Staging entries ('~' names) are messages still being written, or left by a killed
// writer: whole or not, the dispatcher never reads, sends, retries or deletes them.
TEST_F(DispatchTest, StagingEntriesAreNeverSentRetriedOrDeleted)
{
    MemoryMailQueue::Entry &live = queue.Add("~000000200001", At(2026, 12, 10, 9, 0));
    live.hasSubject = live.hasBody = live.hasCount = false;
    queue.Add("~000000210001", At(2026, 12, 10, 9, 0), "S", "staged");
    EXPECT_FALSE(Dispatcher().IsMailDue());
    queue.Add("2026121010 0 1", At(2026, 12, 10, 10, 0, 1), "", "real");
    EXPECT_TRUE(Dispatcher().IsMailDue());
    loader.sendResult = [](const std::string &) { return -1; };
    Dispatcher().DispatchMail();
    ASSERT_EQ(loader.calls.calls.size(), 3u);
    EXPECT_EQ(loader.calls.calls[1], "send 77 me@example.org pager@example.org /real");

    clock.AdvanceMinutes(60);   // its second failure gives the real message up
    Dispatcher().DispatchMail();
    ASSERT_EQ(queue.entries.size(), 2u) << "the real message was given up";
    for (const auto &[name, entry] : queue.entries) {
        EXPECT_EQ(name[0], '~');
        EXPECT_EQ(entry.count, 0u) << name;
        EXPECT_EQ(TicksOf(entry.retryTime), TicksOf(At(2026, 12, 10, 9, 0))) << name;
    }
    EXPECT_FALSE(Dispatcher().IsMailDue());
}

// A message the mail library accepted is never sent again by the same scheduler, even
// when its key cannot be deleted; that is logged once. Once the key is gone, the name is
// forgotten: a new message of the same name is sent.
TEST_F(DispatchTest, AcceptedMessageThatCannotBeDeletedIsNeverSentAgain)
{
    queue.Add("m", At(2026, 12, 10, 9, 0), "S", "once").deletable = false;
    Dispatcher().DispatchMail();
    ASSERT_EQ(loader.calls.calls.size(), 3u);
    EXPECT_EQ(loader.calls.calls[1], "send 77 me@example.org pager@example.org S/once");
    std::vector<std::string> lines = {"From: me@example.org", "To: pager@example.org", "Subject: S", "Text: once",
                                      "Succeeded in sending message",
                                      "Cannot delete message m; it stays in the queue until the scheduler starts again"};
    EXPECT_EQ(log.Lines(), lines);

    for (int hour = 1; hour <= 3; ++hour) {
        clock.AdvanceMinutes(60);
        EXPECT_FALSE(Dispatcher().IsMailDue()) << hour;
        loader.calls = MailCalls();
        Dispatcher().DispatchMail();
        EXPECT_EQ(loader.calls.calls.size(), 2u) << "logon and logoff only, hour " << hour;
    }
    EXPECT_EQ(log.Lines(), lines) << "logged once";
    EXPECT_EQ(queue.entries.size(), 1u);

    // Someone removes the key by hand; a later message takes the same name.
    queue.entries.clear();
    EXPECT_FALSE(Dispatcher().IsMailDue());
    EXPECT_EQ(Dispatcher().HeldBackCount(), 0u);
    queue.Add("m", At(2026, 12, 10, 12, 0), "S", "new");
    EXPECT_TRUE(Dispatcher().IsMailDue());
    loader.calls = MailCalls();
    Dispatcher().DispatchMail();
    ASSERT_EQ(loader.calls.calls.size(), 3u);
    EXPECT_EQ(loader.calls.calls[1], "send 77 me@example.org pager@example.org S/new");
}

// An entry held back for a while (its count cannot be read) is forgotten once it is gone.
TEST_F(DispatchTest, HeldBackSetForgetsEntriesThatNoLongerExist)
{
    loader.sendResult = [](const std::string &) { return -5; };
    queue.Add("a", At(2026, 12, 10, 9, 0)).hasCount = false;
    queue.Add("b", At(2026, 12, 10, 9, 0)).hasCount = false;
    Dispatcher().DispatchMail();
    EXPECT_EQ(Dispatcher().HeldBackCount(), 2u);
    queue.entries.erase("a");
    EXPECT_FALSE(Dispatcher().IsMailDue());
    EXPECT_EQ(Dispatcher().HeldBackCount(), 1u);
    queue.exists = false;
    Dispatcher().DispatchMail();
    EXPECT_EQ(Dispatcher().HeldBackCount(), 0u);
}

TEST_F(DispatchTest, PasswordWithAByteThatScramblesToZeroIsPassedWhole)
{
    std::string password = "pw";
    password.push_back(static_cast<char>(ScrambleKey()[2]));
    password += "tail";
    std::string scrambled = ScrambleText(password);
    ASSERT_EQ(scrambled[2], '\0');
    settings.profile = "MS Exchange";
    settings.scrambledPassword = scrambled;
    settings.logging = false;
    queue.Add("m", At(2026, 12, 10, 9, 0));
    Dispatcher().DispatchMail();
    ASSERT_FALSE(loader.calls.calls.empty());
    EXPECT_EQ(loader.calls.calls[0], "logon MS Exchange/" + password + "/0/quillon.log");
}

TEST_F(DispatchTest, MissingQueueIsEmpty)
{
    queue.exists = false;
    EXPECT_FALSE(Dispatcher().IsMailDue());
    Dispatcher().DispatchMail();
    EXPECT_EQ(loader.calls.calls.size(), 2u) << "logon and logoff";
}

} // namespace
} // namespace quillon::test
