// The task store killed in the middle of saving: a writer process (task_store_writer)
// stores new tasks and saves the schedule list in a loop and is terminated at random
// moments. After every kill the load must still return every task key, complete, with
// the seed tasks among them, and must not stop early.
#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/timestamp.h"
#include "schedule/task_store.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

constexpr char kReadyEvent[] = "quillon-task-store-writer-ready";

std::vector<std::string> SubkeyNames()
{
    std::vector<std::string> names;
    RegistryKey tasks;
    if (OpenUserKey(kTasksKeyPath, &tasks) != ERROR_SUCCESS)
        return names;
    std::string name;
    for (DWORD i = 0; tasks.EnumSubkeyName(i, &name) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    return names;
}

void SeedTasks(std::set<std::string> *seedNames)
{
    for (int i = 0; i < 4; ++i) {
        TaskRecord task{};
        task.DisplayName = "seed";
        task.AppName = "quillon.exe";
        task.CommandLine = "seed";
        task.TaskType = 1;
        task.Value = 1;
        task.DaysOfWeek = kAllDaysOfWeekMask;
        task.MonthsOfYear = kAllMonthsOfYearMask;
        task.Timeout = kDefaultTaskTimeoutMs;
        DateTime when{2001, 3, 0, static_cast<uint16_t>(1 + i), 8, 0, 0, 0};
        std::string name;
        ASSERT_TRUE(StoreNewTaskKey(when, task, &name));
        seedNames->insert(name);
        // A value the store does not own: it must survive every rewrite.
        RegistryKey tasks, key;
        ASSERT_EQ(ERROR_SUCCESS, OpenUserKey(kTasksKeyPath, &tasks));
        ASSERT_EQ(ERROR_SUCCESS, key.Open(tasks.Get(), name.c_str()));
        ASSERT_EQ(ERROR_SUCCESS, key.WriteString(task_values::kSelection, "\"http://seed.test/\""));
    }
}

struct Writer {
    UniqueHandle process;
    bool Start(const char *extraArgs)
    {
        std::string line = "\"" + test::BuildDir() + "\\tests\\task_store_writer.exe\" " + kReadyEvent + extraArgs;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &info)) {
                CloseHandle(info.hThread);
                process.Reset(info.hProcess);
                return true;
            }
            Sleep(250);
        }
        return false;
    }
};

TEST(TaskStoreKills, EveryTaskSavedBeforeAKillLoadsAndNoKeyIsLeftHalfWritten)
{
    test::ResetProductRegistry();
    std::set<std::string> seeds;
    SeedTasks(&seeds);
    UniqueHandle ready(CreateEventA(nullptr, TRUE, FALSE, kReadyEvent));
    ASSERT_TRUE(ready.Get() != nullptr);

    std::mt19937 random(1811);
    std::uniform_int_distribution<int> delayMs(0, 60);
    const int kills = 60;
    int stagingLeft = 0;
    for (int k = 0; k < kills; ++k) {
        std::vector<TaskRecord> before;
        ASSERT_TRUE(LoadTaskList(&before)) << "kill " << k;
        std::set<std::string> mustStay = seeds;

        ResetEvent(ready.Get());
        Writer writer;
        ASSERT_TRUE(writer.Start(""));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.Get(), 30000)) << "writer never finished a round";
        Sleep(delayMs(random));
        TerminateProcess(writer.process.Get(), 1);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writer.process.Get(), 10000));

        std::vector<TaskRecord> loaded;
        ASSERT_TRUE(LoadTaskList(&loaded)) << "the load stopped early after kill " << k;
        std::set<std::string> loadedNames;
        for (const TaskRecord &t : loaded)
            loadedNames.insert(t.KeyName);
        for (const std::string &name : mustStay)
            EXPECT_TRUE(loadedNames.count(name)) << name << " lost at kill " << k;
        size_t taskKeys = 0;
        for (const std::string &name : SubkeyNames()) {
            if (name[0] == '~')
                ++stagingLeft;
            else
                ++taskKeys;
        }
        EXPECT_EQ(taskKeys, loaded.size()) << "a task key that does not load (half written) after kill " << k;
        for (const TaskRecord &t : loaded)
            if (t.DisplayName == "seed") {
                RegistryKey tasks, key;
                ASSERT_EQ(ERROR_SUCCESS, OpenUserKey(kTasksKeyPath, &tasks));
                ASSERT_EQ(ERROR_SUCCESS, key.Open(tasks.Get(), t.KeyName));
                EXPECT_TRUE(key.HasValue(task_values::kSelection)) << t.KeyName;
            }
        if (HasFailure())
            break;
    }
    RecordProperty("staging_keys_seen_after_kills", stagingLeft);

    // A writer that runs to its end removes the staging keys the killed ones left.
    Writer last;
    ASSERT_TRUE(last.Start(" 1"));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(last.process.Get(), 30000));
    for (const std::string &name : SubkeyNames())
        EXPECT_NE('~', name[0]) << "abandoned staging key " << name << " left behind";
    std::vector<TaskRecord> loaded;
    EXPECT_TRUE(LoadTaskList(&loaded));
    test::ResetProductRegistry();
}

TEST(TaskStoreKills, StagingKeysAreSkippedByTheLoadWhateverTheyHold)
{
    test::ResetProductRegistry();
    TaskRecord task{};
    task.DisplayName = "kept";
    task.AppName = "quillon.exe";
    task.DaysOfWeek = kAllDaysOfWeekMask;
    task.MonthsOfYear = kAllMonthsOfYearMask;
    std::string first, second;
    ASSERT_TRUE(StoreNewTaskKey(DateTime{2001, 1, 0, 1, 0, 0, 0, 0}, task, &first));
    RegistryKey tasks, empty, complete;
    ASSERT_EQ(ERROR_SUCCESS, OpenUserKey(kTasksKeyPath, &tasks));
    // An empty staging key (killed before its first value) and a complete one (killed
    // before the rename) of a process that no longer exists.
    ASSERT_EQ(ERROR_SUCCESS, empty.Create(tasks.Get(), "~7ffffff00001"));
    ASSERT_EQ(ERROR_SUCCESS, complete.Create(tasks.Get(), "~7ffffff00002"));
    ASSERT_TRUE(WriteTask(complete, task));
    ASSERT_TRUE(StoreNewTaskKey(DateTime{2001, 1, 0, 2, 0, 0, 0, 0}, task, &second));

    std::vector<TaskRecord> loaded;
    EXPECT_TRUE(LoadTaskList(&loaded));
    ASSERT_EQ(2u, loaded.size());
    EXPECT_EQ(first, loaded[0].KeyName);
    EXPECT_EQ(second, loaded[1].KeyName);
    // The second store removed both: their process is gone.
    EXPECT_EQ((std::vector<std::string>{first, second}), SubkeyNames());
    test::ResetProductRegistry();
}

} // namespace
} // namespace quillon
