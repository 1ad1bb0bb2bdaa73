// The message queue in the registry: writer names and values, two writers in one
// second, and the dispatch pass (send, reschedule, give up, interrupted writers).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "common/timestamp.h"
#include "common/timestamp_key.h"
#include "queue/message_queue.h"
#include "scheduler/engine/queue_pass.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

const DateTime k090307 = {2000, 7, 3, 5, 9, 3, 7, 125};

DateTime Plus(const DateTime &t, Ticks ticks)
{
    Ticks base;
    DateTime out = {};
    EXPECT_TRUE(DateTimeToTicks(t, &base));
    EXPECT_TRUE(TicksToDateTime(base + ticks, &out));
    return out;
}

bool Same(const DateTime &a, const DateTime &b) { return CompareDateTime(a, b) == 0 && a.wDayOfWeek == b.wDayOfWeek; }

class RecordingHandler : public QueuePassHandler {
public:
    std::vector<bool> results;   // what Send returns, in call order (then: false)
    std::vector<std::string> sentBodies;
    int sentEvents = 0;
    int gaveUpEvents = 0;
    bool Send(const std::string &subject, const std::string &body) override
    {
        bool ok = sentBodies.size() < results.size() ? results[sentBodies.size()] : false;
        sentBodies.push_back(body);
        return ok;
    }
    void OnSent() override { ++sentEvents; }
    void OnGaveUp() override { ++gaveUpEvents; }
};

// The queue walk the dispatcher runs, over the registry, with a hold-back that lives as
// long as the test (as the dispatcher's lives as long as the scheduler).
class MessageQueue : public ::testing::Test {
protected:
    void SetUp() override { test::ResetProductRegistry(); }
    void TearDown() override { test::ResetProductRegistry(); }

    QueuePassResult Pass(const DateTime &dispatchTime, uint32_t retryLimit, uint32_t retryMinutes,
                         QueuePassHandler &handler)
    {
        return RunQueuePass(registry_, holdBack_, dispatchTime, retryLimit, retryMinutes, handler);
    }
    bool IsDue(const DateTime &now) { return IsAnyMessageDue(registry_, holdBack_, now); }

    RegistryMailQueue registry_;
    QueueHoldBack holdBack_;

    // A key as an interrupted or hand-working writer left it.
    static void WritePartial(const std::string &name, const DateTime *retryTime, const DWORD *count,
                             const char *subject, const char *body)
    {
        RegistryKey key;
        ASSERT_EQ(CreateUserKey((std::string(kMailKeyPath) + "\\" + name).c_str(), &key), ERROR_SUCCESS);
        if (count != nullptr)
            key.WriteDword(mail_values::kRetryCount, *count);
        if (retryTime != nullptr)
            key.WriteBinary(mail_values::kRetryTime, retryTime, sizeof *retryTime);
        if (subject != nullptr)
            key.WriteString(mail_values::kSubject, subject);
        if (body != nullptr)
            key.WriteString(mail_values::kBody, body);
    }
};

TEST_F(MessageQueue, RunOfThreeMessagesOneSecondApart)
{
    DateTime when = k090307;
    for (const char *body : {"one", "two", "three"}) {
        DateTime queuedAt;
        ASSERT_TRUE(QueueMessage(when, body[0] == 'o' ? "Title" : "", body, &queuedAt)) << body;
        when = Plus(queuedAt, kTicksPerSecond);
    }
    std::vector<QueuedMessageRecord> queue = ReadWholeQueue();
    ASSERT_EQ(queue.size(), 3u);
    const char *names[] = {"2000 7 5 9 3 7", "2000 7 5 9 3 8", "2000 7 5 9 3 9"};
    const char *bodies[] = {"one", "two", "three"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(queue[i].keyName, names[i]);
        EXPECT_TRUE(queue[i].hasRetryCount);
        EXPECT_EQ(queue[i].retryCount, 0u);
        ASSERT_TRUE(queue[i].hasRetryTime);
        EXPECT_TRUE(Same(queue[i].retryTime, Plus(k090307, i * kTicksPerSecond))) << i;
        EXPECT_EQ(queue[i].subject, i == 0 ? "Title" : "");
        EXPECT_EQ(queue[i].body, bodies[i]);
    }
}

TEST_F(MessageQueue, WritersInOneSecondKeepEveryMessage)
{
    // Someone else's message already holds 09:03:08.
    DateTime otherTime = Plus(k090307, kTicksPerSecond);
    DWORD three = 3;
    WritePartial("2000 7 5 9 3 8", &otherTime, &three, "other", "other body");

    DateTime first, second;
    ASSERT_TRUE(QueueMessage(k090307, "A", "first", &first));
    ASSERT_TRUE(QueueMessage(k090307, "B", "second", &second));
    EXPECT_TRUE(Same(first, k090307));
    EXPECT_TRUE(Same(second, Plus(k090307, 2 * kTicksPerSecond)));   // 07 and 08 taken

    std::vector<QueuedMessageRecord> queue = ReadWholeQueue();
    ASSERT_EQ(queue.size(), 3u);
    EXPECT_EQ(queue[0].keyName, "2000 7 5 9 3 7");
    EXPECT_EQ(queue[0].body, "first");
    EXPECT_EQ(queue[1].keyName, "2000 7 5 9 3 8");
    EXPECT_EQ(queue[1].body, "other body");
    EXPECT_EQ(queue[1].retryCount, 3u);
    EXPECT_EQ(queue[2].keyName, "2000 7 5 9 3 9");
    EXPECT_EQ(queue[2].body, "second");
    EXPECT_TRUE(Same(queue[2].retryTime, second));
}

TEST_F(MessageQueue, DueChecks)
{
    EXPECT_FALSE(IsDue(k090307));   // no Mail key at all
    DateTime future = Plus(k090307, kTicksPerHour);
    ASSERT_TRUE(QueueMessage(future, "", "later", nullptr));
    EXPECT_FALSE(IsDue(k090307));
    // Due by the dispatch pass's rule: strictly before now.
    EXPECT_FALSE(IsDue(ReadWholeQueue()[0].retryTime));
    EXPECT_TRUE(IsDue(Plus(ReadWholeQueue()[0].retryTime, kTicksPerSecond / 1000)));

    RecordingHandler handler;
    QueuePassResult result = Pass(k090307, 1, 15, handler);
    EXPECT_EQ(result.sent + result.gaveUp + result.rescheduled + result.heldBack, 0);
    EXPECT_TRUE(handler.sentBodies.empty());
    // At exactly its RetryTime the pass does not take it yet (strictly before).
    result = Pass(ReadWholeQueue()[0].retryTime, 1, 15, handler);
    EXPECT_TRUE(handler.sentBodies.empty());
    EXPECT_EQ(ReadWholeQueue().size(), 1u);
}

TEST_F(MessageQueue, PassSendsInQueueOrderAndDeletes)
{
    ASSERT_TRUE(QueueMessage(k090307, "S1", "first", nullptr));
    ASSERT_TRUE(QueueMessage(k090307, "", "second", nullptr));
    ASSERT_TRUE(QueueMessage(Plus(k090307, kTicksPerDay), "", "tomorrow", nullptr));
    RecordingHandler handler;
    handler.results = {true, true};
    QueuePassResult result = Pass(Plus(k090307, kTicksPerMinute), 1, 15, handler);
    EXPECT_EQ(result.sent, 2);
    EXPECT_EQ(handler.sentEvents, 2);
    EXPECT_EQ(handler.sentBodies, (std::vector<std::string>{"first", "second"}));
    std::vector<QueuedMessageRecord> left = ReadWholeQueue();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].body, "tomorrow");
}

TEST_F(MessageQueue, FailuresRescheduleThenGiveUp)
{
    struct Case {
        const char *label;
        uint32_t limit;
        int failuresUntilGone;   // passes that fail before the key is deleted
    } cases[] = {{"limit 0", 0, 1}, {"limit 1", 1, 2}, {"limit 3", 3, 4}};
    for (const Case &c : cases) {
        test::ResetProductRegistry();
        ASSERT_TRUE(QueueMessage(k090307, "", "body", nullptr)) << c.label;
        DateTime dispatch = Plus(k090307, kTicksPerSecond);
        for (int pass = 1; pass <= c.failuresUntilGone; ++pass) {
            RecordingHandler handler;   // every send fails
            QueuePassResult result = Pass(dispatch, c.limit, 15, handler);
            EXPECT_EQ(handler.sentBodies.size(), 1u) << c.label << " pass " << pass;
            std::vector<QueuedMessageRecord> queue = ReadWholeQueue();
            if (pass < c.failuresUntilGone) {
                EXPECT_EQ(result.rescheduled, 1) << c.label << " pass " << pass;
                ASSERT_EQ(queue.size(), 1u) << c.label << " pass " << pass;
                EXPECT_EQ(queue[0].retryCount, static_cast<DWORD>(pass)) << c.label;
                EXPECT_TRUE(Same(queue[0].retryTime, Plus(dispatch, 15 * kTicksPerMinute))) << c.label;
                // Not sent again before its new time.
                RecordingHandler early;
                Pass(Plus(dispatch, 14 * kTicksPerMinute), c.limit, 15, early);
                EXPECT_TRUE(early.sentBodies.empty()) << c.label;
                dispatch = Plus(dispatch, 16 * kTicksPerMinute);
            } else {
                EXPECT_EQ(result.gaveUp, 1) << c.label;
                EXPECT_EQ(handler.gaveUpEvents, 1) << c.label;
                EXPECT_TRUE(queue.empty()) << c.label;
            }
        }
    }
}

TEST_F(MessageQueue, InterruptedWritersAndDamagedKeys)
{
    DateTime due = k090307;
    DWORD zero = 0;
    DWORD huge = 0xFFFFFFFFu;
    WritePartial("2000 7 5 9 3 1", &due, &zero, nullptr, nullptr);       // stopped after RetryTime
    WritePartial("2000 7 5 9 3 2", &due, &zero, "Title", nullptr);       // stopped before Body
    WritePartial("2000 7 5 9 3 3", &due, nullptr, "x", nullptr);         // no RetryCount at all
    WritePartial("2000 7 5 9 3 4", nullptr, &zero, "x", "y");            // no RetryTime: never due
    WritePartial("2000 7 5 9 3 5", &due, &huge, "x", nullptr);           // count at its limit
    {
        RegistryKey key;   // RetryTime of the wrong size
        ASSERT_EQ(CreateUserKey((std::string(kMailKeyPath) + "\\2000 7 5 9 3 6").c_str(), &key), ERROR_SUCCESS);
        key.WriteBinary(mail_values::kRetryTime, &due, 8);
        key.WriteString(mail_values::kSubject, "x");
        key.WriteString(mail_values::kBody, "y");
    }
    DateTime dispatch = Plus(k090307, kTicksPerMinute);
    RecordingHandler handler;
    handler.results = {true, true, true};
    QueuePassResult result = Pass(dispatch, 1, 15, handler);
    EXPECT_TRUE(handler.sentBodies.empty());   // nothing readable was due
    EXPECT_EQ(result.rescheduled, 2);
    EXPECT_EQ(result.heldBack, 1);
    EXPECT_EQ(result.gaveUp, 1);

    std::vector<QueuedMessageRecord> queue = ReadWholeQueue();
    ASSERT_EQ(queue.size(), 5u);
    EXPECT_EQ(queue[0].keyName, "2000 7 5 9 3 1");
    EXPECT_EQ(queue[0].retryCount, 1u);
    EXPECT_EQ(queue[1].retryCount, 1u);
    EXPECT_FALSE(queue[2].hasRetryCount);
    EXPECT_TRUE(Same(queue[2].retryTime, due));   // unchanged
    EXPECT_EQ(queue[3].keyName, "2000 7 5 9 3 4");
    EXPECT_EQ(queue[4].keyName, "2000 7 5 9 3 6");

    // The next pass after the retry time gives the two interrupted ones up.
    RecordingHandler second;
    result = Pass(Plus(dispatch, 16 * kTicksPerMinute), 1, 15, second);
    EXPECT_EQ(result.gaveUp, 2);
    EXPECT_EQ(ReadWholeQueue().size(), 3u);
}

TEST_F(MessageQueue, SubkeysBelowAMessageDoNotStopThePass)
{
    ASSERT_TRUE(QueueMessage(k090307, "", "body", nullptr));
    RegistryKey stray;
    ASSERT_EQ(CreateUserKey((std::string(kMailKeyPath) + "\\2000 7 5 9 3 7\\stray").c_str(), &stray), ERROR_SUCCESS);
    stray.Close();
    RecordingHandler handler;
    handler.results = {true};
    QueuePassResult result = Pass(Plus(k090307, kTicksPerMinute), 1, 15, handler);
    EXPECT_EQ(result.sent, 1);
    EXPECT_TRUE(ReadWholeQueue().empty());
}

// Staging keys: a message still being written by a live writer, and one written whole
// whose rename never came. The walk never reads, sends, retries or deletes either, and
// the message behind them still goes out.
TEST_F(MessageQueue, WalkPassesOverStagingKeys)
{
    DateTime due = k090307;
    DWORD zero = 0;
    const std::string live = NewStagingKeyName();       // this process: still writing
    const std::string complete = NewStagingKeyName();
    WritePartial(live, &due, &zero, nullptr, nullptr);
    WritePartial(complete, &due, &zero, "staged", "staged body");
    const DateTime dispatch = Plus(k090307, kTicksPerMinute);
    EXPECT_FALSE(IsDue(dispatch)) << "only staging keys are due";

    ASSERT_TRUE(QueueMessage(k090307, "", "real", nullptr));
    EXPECT_TRUE(IsDue(dispatch));
    RecordingHandler handler;
    handler.results = {true, true, true};
    QueuePassResult result = Pass(dispatch, 0, 15, handler);
    EXPECT_EQ(handler.sentBodies, (std::vector<std::string>{"real"}));
    EXPECT_EQ(result.sent, 1);
    EXPECT_EQ(result.gaveUp + result.rescheduled + result.heldBack, 0);

    // A failing handler does not reschedule or give them up either.
    RecordingHandler failing;
    result = Pass(Plus(dispatch, kTicksPerHour), 0, 15, failing);
    EXPECT_TRUE(failing.sentBodies.empty());
    std::vector<QueuedMessageRecord> queue = ReadWholeQueue();
    ASSERT_EQ(queue.size(), 2u);
    for (const QueuedMessageRecord &r : queue) {
        EXPECT_TRUE(IsStagingKeyName(r.keyName.c_str())) << r.keyName;
        EXPECT_EQ(r.retryCount, 0u) << r.keyName;
        EXPECT_TRUE(Same(r.retryTime, due)) << r.keyName;
    }
    EXPECT_FALSE(IsDue(Plus(dispatch, kTicksPerHour)));
}

// The id of a process that has ended and whose handle is closed.
DWORD EndedProcessId()
{
    std::string commandLine = "\"" + test::BuildDir() + "\\tests\\queue_message_tool.exe\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process))
        return 0;
    WaitForSingleObject(process.hProcess, 20000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return process.dwProcessId;
}

// A writer removes the staging keys of ended writers (killed ones) and keeps those of
// live ones; its own message is whole, under its timestamp name.
TEST_F(MessageQueue, NextWriterRemovesAbandonedStagingKeys)
{
    const DWORD ended = EndedProcessId();
    ASSERT_NE(ended, 0u);
    char abandoned[16], abandonedWhole[16];
    snprintf(abandoned, sizeof abandoned, "~%08lx0001", static_cast<unsigned long>(ended));
    snprintf(abandonedWhole, sizeof abandonedWhole, "~%08lx0002", static_cast<unsigned long>(ended));
    DateTime due = k090307;
    DWORD zero = 0;
    WritePartial(abandoned, nullptr, &zero, nullptr, nullptr);
    WritePartial(abandonedWhole, &due, &zero, "x", "y");
    {
        RegistryKey below;   // a subkey does not keep it alive
        ASSERT_EQ(CreateUserKey((std::string(kMailKeyPath) + "\\" + abandoned + "\\stray").c_str(), &below),
                  ERROR_SUCCESS);
    }
    const std::string live = NewStagingKeyName();
    WritePartial(live, &due, nullptr, nullptr, nullptr);

    DateTime queuedAt;
    ASSERT_TRUE(QueueMessage(k090307, "S", "whole", &queuedAt));
    std::vector<QueuedMessageRecord> queue = ReadWholeQueue();
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue[0].keyName, "2000 7 5 9 3 7");
    EXPECT_TRUE(queue[0].hasRetryCount && queue[0].hasRetryTime && queue[0].hasSubject && queue[0].hasBody);
    EXPECT_TRUE(Same(queue[0].retryTime, queuedAt));
    EXPECT_EQ(queue[1].keyName, live);
}

} // namespace
} // namespace quillon

namespace quillon {
namespace {

// Writers in separate processes, all told the same second: every message survives, in
// names that keep time order.
TEST_F(MessageQueue, WriterProcessesInOneSecond)
{
    const std::string tool = test::BuildDir() + "\\tests\\queue_message_tool.exe";
    std::vector<PROCESS_INFORMATION> processes;
    for (int i = 0; i < 4; ++i) {
        std::string commandLine = "\"" + tool + "\" subject body" + std::to_string(i) + " 2000 7 5 9 3 7";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                   nullptr, &startup, &process));
        processes.push_back(process);
    }
    for (PROCESS_INFORMATION &process : processes) {
        DWORD exitCode = 99;
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
        GetExitCodeProcess(process.hProcess, &exitCode);
        EXPECT_EQ(exitCode, 0u);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    std::vector<QueuedMessageRecord> queue = ReadWholeQueue();
    ASSERT_EQ(queue.size(), 4u);
    std::vector<bool> seen(4, false);
    for (size_t i = 0; i < queue.size(); ++i) {
        EXPECT_EQ(queue[i].keyName, TimestampKeyName(Plus(k090307, i * kTicksPerSecond)));
        ASSERT_EQ(queue[i].body.size(), 5u);
        int which = queue[i].body[4] - '0';
        ASSERT_TRUE(which >= 0 && which < 4);
        EXPECT_FALSE(seen[which]);
        seen[which] = true;
        EXPECT_TRUE(queue[i].hasSubject && queue[i].hasRetryTime && queue[i].hasRetryCount);
    }
}

} // namespace
} // namespace quillon
