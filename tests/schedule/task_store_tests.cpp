// The registry store under Wine: task keys loaded, written and saved, hand-written
// (hostile) keys, free key names within one second, SetLastRun, the FailedTasks retry
// queue, and GetTaskForTime's retry-first rule against the real queue.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "schedule/evaluation.h"
#include "schedule/log_trace_sink.h"
#include "schedule/registry_retry_queue.h"
#include "schedule/task_store.h"
#include "tests/schedule/schedule_test_util.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

using test::Local;
using test::MakeTask;
using test::Show;

namespace tv = task_values;

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override { test::ResetProductRegistry(); }
    void TearDown() override { test::ResetProductRegistry(); }

    // A complete task key as the component writes it, plus what the add-in adds.
    static void StoreTask(const char *name, TaskRecord task)
    {
        SetTaskKeyName(&task, name);
        RegistryKey tasks, key;
        ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(kTasksKeyPath, &tasks));
        ASSERT_EQ(ERROR_SUCCESS, key.Create(tasks.Get(), name));
        ASSERT_TRUE(WriteTask(key, task));
    }
    static RegistryKey OpenTask(const char *name)
    {
        RegistryKey tasks, key;
        EXPECT_EQ(ERROR_SUCCESS, OpenUserKey(kTasksKeyPath, &tasks));
        EXPECT_EQ(ERROR_SUCCESS, key.Open(tasks.Get(), name)) << name;
        return key;
    }
    static bool TaskKeyExists(const char *name)
    {
        RegistryKey tasks, key;
        return OpenUserKey(kTasksKeyPath, &tasks) == ERROR_SUCCESS && key.Open(tasks.Get(), name) == ERROR_SUCCESS;
    }
    static void SetRaw(const char *keyName, const char *value, DWORD type, const void *data, DWORD size)
    {
        RegistryKey key = OpenTask(keyName);
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), value, 0, type, static_cast<const BYTE *>(data), size));
    }
    static std::vector<std::string> Names(const std::vector<TaskRecord> &tasks)
    {
        std::vector<std::string> names;
        for (const TaskRecord &t : tasks)
            names.push_back(t.KeyName);
        return names;
    }
};

TaskRecord FullTask()
{
    TaskRecord task = MakeTask(7, 3, 545);
    task.Disabled = 1;
    task.NeedsInternet = 1;
    task.NotWeekend = 5;   // written back exactly as loaded
    task.DisplayName = "Send text from http://example.test/";
    task.AppName = "quillon.exe";
    task.CommandLine = "2000 7 4 9 5 3";
    task.HasDates = 1;
    task.HasTimes = 1;
    task.StartDate = Local(2000, 7, 4, 9, 5, 3);
    task.EndDate = Local(2000, 12, 31, 17, 30);
    task.LastRun = Local(2000, 7, 5, 9, 5, 41);
    task.DaysOfWeek = 0x3E;
    task.MonthsOfYear = 0xFBF;
    task.Timeout = 120000;
    return task;
}

TEST_F(StoreTest, WrittenTaskHasTheSeventeenValuesAndLoadsBackIdentically)
{
    StoreTask("2000 7 4 9 5 3", FullTask());
    RegistryKey key = OpenTask("2000 7 4 9 5 3");

    struct Expected {
        const char *name;
        DWORD type;
        DWORD size;
    };
    const Expected expected[] = {
        {tv::kNeedsInternet, REG_DWORD, 4}, {tv::kDisplayName, REG_SZ, 36}, {tv::kAppName, REG_SZ, 12},
        {tv::kCommandLine, REG_SZ, 15},     {tv::kHasDates, REG_DWORD, 4},  {tv::kHasTimes, REG_DWORD, 4},
        {tv::kNotWeekend, REG_DWORD, 4},    {tv::kDisabled, REG_DWORD, 4},  {tv::kStartDate, REG_BINARY, 16},
        {tv::kEndDate, REG_BINARY, 16},     {tv::kLastRun, REG_BINARY, 16}, {tv::kTaskType, REG_DWORD, 4},
        {tv::kValue, REG_DWORD, 4},         {tv::kValue2, REG_DWORD, 4},    {tv::kDaysOfWeek, REG_DWORD, 4},
        {tv::kMonthsOfYear, REG_DWORD, 4},  {tv::kTimeout, REG_DWORD, 4},
    };
    DWORD valueCount = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              &valueCount, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(valueCount, 17u) << "Logging, Selection and ChopMessage are never written";
    for (const Expected &e : expected) {
        DWORD type = 0, size = 0;
        ASSERT_EQ(ERROR_SUCCESS, key.QueryValueInfo(e.name, &type, &size)) << e.name;
        EXPECT_EQ(type, e.type) << e.name;
        EXPECT_EQ(size, e.size) << e.name;
    }

    std::vector<TaskRecord> tasks;
    ASSERT_TRUE(LoadTaskList(&tasks));
    ASSERT_EQ(tasks.size(), 1u);
    const TaskRecord &t = tasks[0];
    const TaskRecord want = FullTask();
    EXPECT_STREQ(t.KeyName, "2000 7 4 9 5 3");
    EXPECT_EQ(t.Deleted, 0u);
    EXPECT_EQ(t.Disabled, want.Disabled);
    EXPECT_EQ(t.NeedsInternet, want.NeedsInternet);
    EXPECT_EQ(t.NotWeekend, want.NotWeekend);
    EXPECT_EQ(t.DisplayName, want.DisplayName);
    EXPECT_EQ(t.AppName, want.AppName);
    EXPECT_EQ(t.CommandLine, want.CommandLine);
    EXPECT_EQ(t.HasDates, want.HasDates);
    EXPECT_EQ(t.HasTimes, want.HasTimes);
    EXPECT_EQ(0, memcmp(&t.StartDate, &want.StartDate, 16));
    EXPECT_EQ(0, memcmp(&t.EndDate, &want.EndDate, 16));
    EXPECT_EQ(0, memcmp(&t.LastRun, &want.LastRun, 16));
    EXPECT_EQ(t.TaskType, want.TaskType);
    EXPECT_EQ(t.Value, want.Value);
    EXPECT_EQ(t.Value2, want.Value2);
    EXPECT_EQ(t.DaysOfWeek, want.DaysOfWeek);
    EXPECT_EQ(t.MonthsOfYear, want.MonthsOfYear);
    EXPECT_EQ(t.Timeout, want.Timeout);
    EXPECT_EQ(t.Logging, 0u);
}

TEST_F(StoreTest, OptionalValuesTakeTheirDefaults)
{
    StoreTask("2026 1 1 0 0 1", FullTask());
    StoreTask("2026 1 1 0 0 2", FullTask());
    StoreTask("2026 1 1 0 0 3", FullTask());
    OpenTask("2026 1 1 0 0 1").DeleteValue(tv::kTimeout);
    const DWORD on = 1;
    SetRaw("2026 1 1 0 0 2", tv::kLogging, REG_DWORD, &on, sizeof on);
    const unsigned char eightBytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    SetRaw("2026 1 1 0 0 3", tv::kTimeout, REG_QWORD, eightBytes, sizeof eightBytes);
    SetRaw("2026 1 1 0 0 3", tv::kLogging, REG_QWORD, eightBytes, sizeof eightBytes);

    std::vector<TaskRecord> tasks;
    ASSERT_TRUE(LoadTaskList(&tasks));
    ASSERT_EQ(tasks.size(), 3u);
    EXPECT_EQ(tasks[0].Timeout, 300000u);
    EXPECT_EQ(tasks[0].Logging, 0u);
    EXPECT_EQ(tasks[1].Timeout, 120000u);
    EXPECT_EQ(tasks[1].Logging, 1u);
    EXPECT_EQ(tasks[2].Timeout, 300000u) << "an unreadable Timeout counts as missing";
    EXPECT_EQ(tasks[2].Logging, 0u);
}

struct BadKeyCase {
    std::string label;
    std::function<void()> spoil;   // spoils key "2026 1 1 0 0 2" of three
    bool loads;                    // whether the spoiled key still loads
    std::function<void(const TaskRecord &)> verify = nullptr;   // what it loads as
};

TEST_F(StoreTest, LoadStopsAtTheFirstMalformedKey)
{
    const char *middle = "2026 1 1 0 0 2";
    std::vector<BadKeyCase> cases;
    const char *mandatory[] = {tv::kNeedsInternet, tv::kDisplayName, tv::kAppName, tv::kCommandLine,
                               tv::kHasDates, tv::kHasTimes, tv::kNotWeekend, tv::kDisabled,
                               tv::kStartDate, tv::kEndDate, tv::kLastRun, tv::kTaskType,
                               tv::kValue, tv::kValue2, tv::kDaysOfWeek, tv::kMonthsOfYear};
    for (const char *name : mandatory)
        cases.push_back({std::string("without ") + name, [=] { OpenTask(middle).DeleteValue(name); }, false});

    const unsigned char bytes[17] = {0xD0, 0x07, 7, 0, 2, 0, 4, 0, 9, 0, 5, 0, 3, 0, 0, 0, 0xFF};
    cases.push_back({"StartDate of 15 bytes", [=] { SetRaw(middle, tv::kStartDate, REG_BINARY, bytes, 15); }, false});
    cases.push_back({"StartDate of 17 bytes", [=] { SetRaw(middle, tv::kStartDate, REG_BINARY, bytes, 17); }, false});
    cases.push_back({"LastRun as a string", [=] { SetRaw(middle, tv::kLastRun, REG_SZ, "2000-07-04", 11); }, false});
    cases.push_back({"TaskType of 8 bytes", [=] { SetRaw(middle, tv::kTaskType, REG_QWORD, bytes, 8); }, false});
    cases.push_back({"MonthsOfYear of 0 bytes", [=] { SetRaw(middle, tv::kMonthsOfYear, REG_DWORD, bytes, 0); }, false});
    std::string huge(200 * 1024, 'x');
    cases.push_back({"DisplayName of 200 KB",
                     [=] { SetRaw(middle, tv::kDisplayName, REG_SZ, huge.c_str(), static_cast<DWORD>(huge.size() + 1)); },
                     false});
    for (size_t length : {259u, 260u, 300u, 60u * 1024u}) {
        std::string text(length, 'd');
        cases.push_back({"DisplayName of " + std::to_string(length) + " characters loads whole",
                         [=] { SetRaw(middle, tv::kDisplayName, REG_SZ, text.c_str(), static_cast<DWORD>(length + 1)); },
                         true, [=](const TaskRecord &t) { EXPECT_EQ(t.DisplayName, text); }});
    }
    cases.push_back({"Value of 2 bytes reads zero-extended",
                     [=] { SetRaw(middle, tv::kValue, REG_BINARY, bytes, 2); }, true,
                     [](const TaskRecord &t) { EXPECT_EQ(t.Value, 0x07D0u); }});
    cases.push_back({"DisplayName without terminator", [=] { SetRaw(middle, tv::kDisplayName, REG_SZ, "abc", 3); }, true,
                     [](const TaskRecord &t) { EXPECT_EQ(t.DisplayName, "abc"); }});
    cases.push_back({"AppName stored as a number",
                     [=] { const DWORD n = 0x00636261; SetRaw(middle, tv::kAppName, REG_DWORD, &n, 4); }, true,
                     [](const TaskRecord &t) { EXPECT_EQ(t.AppName, "abc"); }});

    for (const BadKeyCase &c : cases) {
        test::ResetProductRegistry();
        StoreTask("2026 1 1 0 0 1", FullTask());
        StoreTask(middle, FullTask());
        StoreTask("2026 1 1 0 0 3", FullTask());
        c.spoil();
        std::vector<TaskRecord> tasks;
        EXPECT_EQ(LoadTaskList(&tasks), c.loads) << c.label;
        EXPECT_EQ(tasks.size(), c.loads ? 3u : 1u) << c.label;
        if (c.verify && tasks.size() == 3) {
            SCOPED_TRACE(c.label);
            c.verify(tasks[1]);
        }
    }
}

TEST_F(StoreTest, OneTaskLoadsByNameUnderTheSameRules)
{
    StoreTask("2026 1 1 0 0 1", FullTask());
    StoreTask("2026 1 1 0 0 2", FullTask());
    OpenTask("2026 1 1 0 0 1").DeleteValue(tv::kValue2);
    TaskRecord task{};
    EXPECT_TRUE(LoadTask("2026 1 1 0 0 2", &task));
    EXPECT_STREQ(task.KeyName, "2026 1 1 0 0 2");
    EXPECT_EQ(task.DisplayName, FullTask().DisplayName);
    EXPECT_FALSE(LoadTask("2026 1 1 0 0 1", &task)) << "malformed";
    EXPECT_STREQ(task.KeyName, "2026 1 1 0 0 2") << "a failed load leaves the record alone";
    EXPECT_FALSE(LoadTask("2026 1 1 0 0 3", &task)) << "missing";
    EXPECT_FALSE(LoadTask("", &task)) << "the Tasks key itself is no task";
    EXPECT_FALSE(LoadTask("2026 1 1 0 0 2 and more", &task)) << "too long";
}

TEST_F(StoreTest, KeyNamesLongerThanFifteenCharactersEndTheLoad)
{
    StoreTask("123456789012345", FullTask());     // 15: fits the 16-byte buffer
    StoreTask("2026 1 1 0 0 1", FullTask());
    StoreTask("2026 1 1 0 0 10", FullTask());      // 15 as well
    StoreTask("2026 1 1 0 0 2xx", FullTask());     // 16: too long
    StoreTask("2026 1 1 0 0 3", FullTask());
    std::vector<TaskRecord> tasks;
    EXPECT_FALSE(LoadTaskList(&tasks));
    EXPECT_EQ(Names(tasks), (std::vector<std::string>{"123456789012345", "2026 1 1 0 0 1", "2026 1 1 0 0 10"}));

    test::ResetProductRegistry();
    EXPECT_FALSE(LoadTaskList(&tasks)) << "no Tasks key";
    EXPECT_TRUE(tasks.empty());
    RegistryKey created;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(kTasksKeyPath, &created));
    EXPECT_TRUE(LoadTaskList(&tasks)) << "an empty Tasks key";
    EXPECT_TRUE(tasks.empty());
}

TEST_F(StoreTest, ThousandsOfKeysLoadInOrderAndABadOneStillStopsThem)
{
    const int kCount = 2000;
    {
        RegistryKey tasks;
        ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(kTasksKeyPath, &tasks));
        TaskRecord task = FullTask();
        for (int i = 0; i < kCount; ++i) {
            RegistryKey key;
            std::string name = FormatText("%4d%2d%2d%2d%2d%2d", 2026, 1 + i / 1000, 1 + (i / 60) % 28, 0, 0, i % 60);
            ASSERT_EQ(ERROR_SUCCESS, key.Create(tasks.Get(), name.c_str()));
            ASSERT_TRUE(WriteTask(key, task));
        }
    }
    std::vector<TaskRecord> tasks;
    ASSERT_TRUE(LoadTaskList(&tasks));
    ASSERT_EQ(tasks.size(), static_cast<size_t>(kCount));
    for (size_t i = 1; i < tasks.size(); ++i)
        ASSERT_LT(std::string(tasks[i - 1].KeyName), std::string(tasks[i].KeyName)) << i;

    OpenTask(tasks[1500].KeyName).DeleteValue(tv::kAppName);
    std::vector<TaskRecord> partial;
    EXPECT_FALSE(LoadTaskList(&partial));
    EXPECT_EQ(partial.size(), 1500u);
}

TEST_F(StoreTest, SaveDeletesMarkedTasksAndRewritesTheOthers)
{
    StoreTask("2026 1 1 0 0 1", FullTask());
    StoreTask("2026 1 1 0 0 2", FullTask());
    StoreTask("2026 1 1 0 0 3", FullTask());
    SetRaw("2026 1 1 0 0 3", tv::kSelection, REG_SZ, "\"http://a.test/\"", 17);
    std::vector<TaskRecord> tasks;
    ASSERT_TRUE(LoadTaskList(&tasks));
    tasks[1].Deleted = 1;
    tasks[2].DisplayName = "Renamed";
    tasks[2].Disabled = 0;
    std::vector<TaskRecord *> pointers = {&tasks[0], &tasks[1], &tasks[2]};
    ASSERT_TRUE(SaveTaskList(pointers));

    std::vector<TaskRecord> reloaded;
    ASSERT_TRUE(LoadTaskList(&reloaded));
    EXPECT_EQ(Names(reloaded), (std::vector<std::string>{"2026 1 1 0 0 1", "2026 1 1 0 0 3"}));
    EXPECT_EQ(reloaded[1].DisplayName, "Renamed");
    EXPECT_EQ(reloaded[1].Disabled, 0u);
    std::string selection;
    EXPECT_EQ(ERROR_SUCCESS, OpenTask("2026 1 1 0 0 3").ReadString(tv::kSelection, &selection));
    EXPECT_EQ(selection, "\"http://a.test/\"") << "values the store does not own survive a save";

    // Every task deleted: the keys go, the Tasks key stays.
    for (TaskRecord &t : reloaded)
        t.Deleted = 1;
    ASSERT_TRUE(SaveTaskList(std::vector<TaskRecord *>{&reloaded[0], &reloaded[1]}));
    EXPECT_TRUE(LoadTaskList(&tasks));
    EXPECT_TRUE(tasks.empty());
}

TEST_F(StoreTest, SaveFailsWithoutTasksKeyOrKeyNameAndNeverWritesIntoTasksItself)
{
    EXPECT_TRUE(SaveTaskList(std::vector<TaskRecord *>{})) << "an empty list needs no key";

    TaskRecord named = FullTask();
    SetTaskKeyName(&named, "2026 1 1 0 0 1");
    EXPECT_FALSE(SaveTaskList(std::vector<TaskRecord *>{&named})) << "Tasks key missing";

    RegistryKey tasksKey;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(kTasksKeyPath, &tasksKey));
    TaskRecord unnamed = FullTask();
    unnamed.KeyName[0] = '\0';
    EXPECT_FALSE(SaveTaskList(std::vector<TaskRecord *>{&named, &unnamed}));
    EXPECT_TRUE(TaskKeyExists("2026 1 1 0 0 1")) << "tasks before the failure are saved";
    EXPECT_FALSE(tasksKey.HasValue(tv::kDisplayName)) << "nothing lands in the Tasks key itself";
}

TEST_F(StoreTest, SetLastRunWritesAnExistingKeyButNeverRecreatesADeletedOne)
{
    StoreTask("2026 1 1 0 0 1", FullTask());
    std::vector<TaskRecord> tasks;
    ASSERT_TRUE(LoadTaskList(&tasks));
    const DateTime run = Local(2026, 3, 3, 10, 7, 40);
    EXPECT_TRUE(WriteLastRun(&tasks[0], run));
    DateTime stored{};
    ASSERT_EQ(ERROR_SUCCESS, OpenTask("2026 1 1 0 0 1").ReadBinary(tv::kLastRun, &stored, sizeof stored));
    EXPECT_EQ(Show(stored), Show(run));

    // The schedule list deleted the key after the task was handed out.
    RegistryKey tasksKey;
    ASSERT_EQ(ERROR_SUCCESS, OpenUserKey(kTasksKeyPath, &tasksKey));
    ASSERT_EQ(ERROR_SUCCESS, tasksKey.DeleteSubkeyTree("2026 1 1 0 0 1"));
    const DateTime later = Local(2026, 3, 3, 10, 12, 5);
    EXPECT_FALSE(WriteLastRun(&tasks[0], later));
    EXPECT_EQ(Show(tasks[0].LastRun), Show(later)) << "memory is updated all the same";
    EXPECT_FALSE(TaskKeyExists("2026 1 1 0 0 1"));
    StoreTask("2026 1 1 0 0 2", FullTask());
    std::vector<TaskRecord> reloaded;
    EXPECT_TRUE(LoadTaskList(&reloaded)) << "no LastRun-only key blocks the load";

    TaskRecord unnamed = FullTask();
    unnamed.KeyName[0] = '\0';
    EXPECT_FALSE(WriteLastRun(&unnamed, later));
    EXPECT_FALSE(tasksKey.HasValue(tv::kLastRun));
}

// The change watch's values belong to the editor (SendIfChanged) and the page sender
// (LastTextDigest). Each path that writes a task key leaves them as they are unless the
// editor changed the setting, and then the digest goes with the old setting.
TEST_F(StoreTest, ChangeWatchValuesSurviveLoadSaveAndSetLastRun)
{
    const unsigned char digest[32] = {0xde, 0xad, 0xbe, 0xef, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
                                      13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 0xff};
    const DWORD on = 1;
    auto storeWatched = [&](const char *name) {
        StoreTask(name, FullTask());
        SetRaw(name, tv::kSendIfChanged, REG_DWORD, &on, sizeof on);
        SetRaw(name, tv::kLastTextDigest, REG_BINARY, digest, sizeof digest);
        SetRaw(name, "LaterVersionValue", REG_SZ, "kept", 5);
    };
    auto expectKept = [&](const char *name, const char *path) {
        SCOPED_TRACE(path);
        RegistryKey key = OpenTask(name);
        DWORD sendIfChanged = 0;
        EXPECT_EQ(ERROR_SUCCESS, key.ReadDword(tv::kSendIfChanged, &sendIfChanged));
        EXPECT_EQ(sendIfChanged, 1u);
        unsigned char stored[32] = {};
        EXPECT_EQ(ERROR_SUCCESS, key.ReadBinary(tv::kLastTextDigest, stored, sizeof stored));
        EXPECT_EQ(0, memcmp(stored, digest, sizeof digest));
        std::string later;
        EXPECT_EQ(ERROR_SUCCESS, key.ReadString("LaterVersionValue", &later));
        EXPECT_EQ(later, "kept");
    };
    storeWatched("2026 1 1 0 0 1");
    storeWatched("2026 1 1 0 0 2");

    // Load: the setting is read, the digest is the sender's and stays in the registry.
    std::vector<TaskRecord> tasks;
    ASSERT_TRUE(LoadTaskList(&tasks));
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0].SendIfChanged, 1u);
    EXPECT_EQ(tasks[0].ForgetTextDigest, 0u);
    expectKept("2026 1 1 0 0 1", "load");

    // An edit of the schedule (the box untouched), then the save of the list.
    tasks[0].TaskType = kTaskEveryHours;
    tasks[0].Value = 3;
    tasks[0].Disabled = 0;
    ASSERT_TRUE(SaveTaskList(std::vector<TaskRecord *>{&tasks[0], &tasks[1]}));
    expectKept("2026 1 1 0 0 1", "save after an edit");
    expectKept("2026 1 1 0 0 2", "save unchanged");

    // SetLastRun.
    ASSERT_TRUE(LoadTaskList(&tasks));
    EXPECT_EQ(tasks[0].TaskType, static_cast<uint32_t>(kTaskEveryHours));
    ASSERT_TRUE(WriteLastRun(&tasks[0], Local(2026, 3, 3, 10, 7, 40)));
    expectKept("2026 1 1 0 0 1", "SetLastRun");

    // The editor changed the setting: it is written and the digest dropped; other values
    // still stay. A task that never had the setting does not get one written.
    tasks[1].SendIfChanged = 0;
    tasks[1].ForgetTextDigest = 1;
    ASSERT_TRUE(SaveTaskList(std::vector<TaskRecord *>{&tasks[0], &tasks[1]}));
    expectKept("2026 1 1 0 0 1", "save beside a changed task");
    RegistryKey changed = OpenTask("2026 1 1 0 0 2");
    DWORD sendIfChanged = 7;
    EXPECT_EQ(ERROR_SUCCESS, changed.ReadDword(tv::kSendIfChanged, &sendIfChanged));
    EXPECT_EQ(sendIfChanged, 0u);
    EXPECT_FALSE(changed.HasValue(tv::kLastTextDigest));
    EXPECT_TRUE(changed.HasValue("LaterVersionValue"));

    StoreTask("2026 1 1 0 0 3", FullTask());
    EXPECT_FALSE(OpenTask("2026 1 1 0 0 3").HasValue(tv::kSendIfChanged)) << "an old-style task stays old-style";
    ASSERT_TRUE(LoadTaskList(&tasks));
    EXPECT_EQ(tasks[2].SendIfChanged, 0u);
}

TEST_F(StoreTest, SubmissionsInOneSecondGetDistinctNamesInTimeOrder)
{
    const DateTime second = Local(2000, 7, 4, 9, 5, 3);
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        RegistryKey key;
        std::string name;
        ASSERT_TRUE(CreateTaskKey(second, &key, &name));
        TaskRecord task = FullTask();
        task.DisplayName = "submission " + std::to_string(i);
        ASSERT_TRUE(WriteTask(key, task));
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"2000 7 4 9 5 3", "2000 7 4 9 5 4", "2000 7 4 9 5 5"}));

    // A submission made in the following second finds its own name taken and moves on.
    RegistryKey key;
    std::string name;
    ASSERT_TRUE(CreateTaskKey(Local(2000, 7, 4, 9, 5, 4), &key, &name));
    EXPECT_EQ(name, "2000 7 4 9 5 6");
    // Minute and day roll over like the clock.
    StoreTask(TimestampKeyName(Local(2000, 7, 4, 23, 59, 59)).c_str(), FullTask());
    ASSERT_TRUE(CreateTaskKey(Local(2000, 7, 4, 23, 59, 59), &key, &name));
    EXPECT_EQ(name, "2000 7 5 0 0 0");

    // The key made for the last submission is still empty, so the load stops there.
    std::vector<TaskRecord> tasks;
    EXPECT_FALSE(LoadTaskList(&tasks));
    ASSERT_EQ(tasks.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(tasks[i].DisplayName, "submission " + std::to_string(i)) << "no task was overwritten";
}

// ---- The retry queue in FailedTasks ----

class RetryQueueTest : public StoreTest {
protected:
    static bool EntryExists(const char *name, DWORD *count = nullptr, DateTime *time = nullptr)
    {
        RegistryKey queueKey, entry;
        if (OpenUserKey(kFailedTasksKeyPath, &queueKey) != ERROR_SUCCESS || entry.Open(queueKey.Get(), name) != ERROR_SUCCESS)
            return false;
        if (count != nullptr) {
            EXPECT_EQ(ERROR_SUCCESS, entry.ReadDword(failed_task_values::kTaskRetryCount, count));
        }
        if (time != nullptr) {
            EXPECT_EQ(ERROR_SUCCESS, entry.ReadBinary(failed_task_values::kTaskRetryTime, time, sizeof *time));
        }
        return true;
    }
    static void PutEntry(const char *name, const void *time, DWORD timeSize)
    {
        RegistryKey queueKey, entry;
        ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(kFailedTasksKeyPath, &queueKey));
        ASSERT_EQ(ERROR_SUCCESS, entry.Create(queueKey.Get(), name));
        if (time != nullptr) {
            ASSERT_EQ(ERROR_SUCCESS, entry.WriteBinary(failed_task_values::kTaskRetryTime, time, timeSize));
        }
    }
    RegistryRetryQueue queue;
};

TEST_F(RetryQueueTest, FailuresAreCountedUntilTheRetriesAreUsedUp)
{
    struct Step {
        const char *label;
        uint32_t maxRetries;
        bool unqueue;
        RequeueResult result;
        DWORD countAfter;   // 0: no entry afterwards
    };
    const struct {
        const char *label;
        std::vector<Step> steps;
    } sequences[] = {
        {"three retries allowed",
         {{"1st", 3, false, RequeueResult::kDone, 1}, {"2nd", 3, false, RequeueResult::kDone, 2},
          {"3rd", 3, false, RequeueResult::kDone, 3}, {"4th", 3, false, RequeueResult::kRetriesUsedUp, 0},
          {"5th starts again", 3, false, RequeueResult::kDone, 1}}},
        {"no retries allowed",
         {{"1st", 0, false, RequeueResult::kDone, 1}, {"2nd", 0, false, RequeueResult::kRetriesUsedUp, 0}}},
        {"success in between",
         {{"1st", 3, false, RequeueResult::kDone, 1}, {"2nd", 3, false, RequeueResult::kDone, 2},
          {"success", 3, true, RequeueResult::kDone, 0}, {"success again", 3, true, RequeueResult::kDone, 0},
          {"failure after", 3, false, RequeueResult::kDone, 1}}},
    };
    for (const auto &sequence : sequences) {
        test::ResetProductRegistry();
        int minute = 0;
        for (const Step &step : sequence.steps) {
            const DateTime retryAt = Local(2026, 3, 3, 10, ++minute);
            EXPECT_EQ(queue.Requeue("2026 1 1 0 0 1", retryAt, step.maxRetries, step.unqueue), step.result)
                << sequence.label << ": " << step.label;
            DWORD count = 0;
            DateTime stored{};
            bool exists = EntryExists("2026 1 1 0 0 1", step.countAfter != 0 ? &count : nullptr,
                                      step.countAfter != 0 ? &stored : nullptr);
            EXPECT_EQ(exists, step.countAfter != 0) << sequence.label << ": " << step.label;
            if (exists && step.countAfter != 0) {
                EXPECT_EQ(count, step.countAfter) << sequence.label << ": " << step.label;
                EXPECT_EQ(Show(stored), Show(retryAt)) << sequence.label << ": " << step.label;
            }
        }
    }
}

TEST_F(RetryQueueTest, EmptyNameChangesNothing)
{
    EXPECT_EQ(queue.Requeue("", Local(2026, 3, 3, 10, 0), 3, false), RequeueResult::kDone);
    RegistryKey queueKey;
    ASSERT_EQ(ERROR_SUCCESS, OpenUserKey(kFailedTasksKeyPath, &queueKey));
    EXPECT_FALSE(queueKey.HasValue(failed_task_values::kTaskRetryCount));
    EXPECT_FALSE(queueKey.HasValue(failed_task_values::kTaskRetryTime));
}

TEST_F(RetryQueueTest, DueSearchComparesWithTheClockAndSkipsBrokenEntries)
{
    std::string name;
    EXPECT_FALSE(queue.FindDueEntry(&name)) << "no FailedTasks key";

    const DateTime past = Local(2001, 1, 1, 0, 0);
    const DateTime future = Local(9999, 1, 1, 0, 0);
    PutEntry("2026 1 1 0 0 1", &future, 16);   // not yet due
    PutEntry("2026 1 1 0 0 2", nullptr, 0);    // no TaskRetryTime
    PutEntry("2026 1 1 0 0 3", &past, 15);     // wrong size
    DateTime invalid = past;
    invalid.wMonth = 13;
    PutEntry("2026 1 1 0 0 4", &invalid, 16);  // no date
    EXPECT_FALSE(queue.FindDueEntry(&name));

    std::string longName(200, 'z');
    PutEntry(longName.c_str(), &past, 16);
    PutEntry("2026 1 1 0 0 5", &past, 16);
    PutEntry("2026 1 1 0 0 6", &past, 16);
    ASSERT_TRUE(queue.FindDueEntry(&name));
    EXPECT_EQ(name, "2026 1 1 0 0 5") << "first due entry in enumeration order";

    const DateTime now = LocalNow();
    PutEntry("2026 1 1 0 0 0", &now, 16);
    ASSERT_TRUE(queue.FindDueEntry(&name));
    EXPECT_EQ(name, "2026 1 1 0 0 0") << "a retry time equal to the clock is due";

    EXPECT_TRUE(queue.RemoveEntry("2026 1 1 0 0 0"));
    EXPECT_TRUE(queue.RemoveEntry("2026 1 1 0 0 0")) << "a missing entry is no error";
    EXPECT_FALSE(EntryExists("2026 1 1 0 0 0"));
}

TEST_F(RetryQueueTest, GetTaskForTimeServesRetriesFirstAndDropsStaleOnes)
{
    StoreTask("2026 1 1 0 0 1", MakeTask(1, 5));
    TaskRecord disabled = MakeTask(1, 5);
    disabled.Disabled = 1;
    StoreTask("2026 1 1 0 0 2", disabled);
    std::vector<TaskRecord> tasks;
    ASSERT_TRUE(LoadTaskList(&tasks));
    std::vector<TaskRecord *> pointers = {&tasks[0], &tasks[1]};

    const DateTime past = Local(2001, 1, 1);
    PutEntry("2025 1 1 0 0 0", &past, 16);   // its task was deleted
    queue.Requeue("2026 1 1 0 0 2", past, 3, false);

    DateTime st = Local(2026, 3, 3, 10, 7, 20);
    size_t index = 99;
    ASSERT_EQ(FindDueTask(pointers, &st, &queue, nullptr, &index), TaskQueryResult::kDue);
    EXPECT_EQ(index, 1u) << "the disabled task is retried";
    EXPECT_FALSE(EntryExists("2025 1 1 0 0 0")) << "stale entry removed";
    EXPECT_TRUE(EntryExists("2026 1 1 0 0 2")) << "served entries stay until requeued";

    queue.Requeue("2026 1 1 0 0 2", past, 3, true);
    ASSERT_EQ(FindDueTask(pointers, &st, &queue, nullptr, &index), TaskQueryResult::kDue);
    EXPECT_EQ(index, 0u);
}

TEST_F(StoreTest, TraceLinesGoToTheLogFileWithLineEnds)
{
    const std::string dir = test::MakeScratchDir("schedule_trace");
    const std::string path = dir + "\\trace.log";
    LogFileTraceSink sink(path);
    TaskRecord task = MakeTask(1, 5, 0, "2026 7 1 9 5 3");
    task.Logging = 1;
    task.Disabled = 1;
    EvaluateTask(&task, Local(2026, 7, 6, 10, 0), &sink);
    EXPECT_EQ(test::ReadWholeFile(path), "Task 2026 7 1 9 5 3:\r\n  is marked as disabled\r\n");
}

} // namespace
} // namespace quillon
