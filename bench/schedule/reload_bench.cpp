// A forced reload of 10,000 task keys from the registry (GetTaskForTime with
// bForceReload), under Wine. Writes the keys into this prefix's product tree first and
// removes the tree again afterwards; do not run it while tests use the same prefix.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/schedule/bench_tasks.h"
#include "common/names.h"
#include "common/registry.h"
#include "schedule/evaluation.h"
#include "schedule/task_store.h"

using namespace quillon;

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void RemoveProductTree()
{
    RegistryKey parent;
    if (parent.Open(HKEY_CURRENT_USER, "Software\\Kestrova") == ERROR_SUCCESS)
        parent.DeleteSubkeyTree("Tasqeduler");
}

} // namespace

int main()
{
    RemoveProductTree();
    std::vector<TaskRecord> tasks = bench::MakeBenchTasks();

    auto writeStart = Clock::now();
    {
        RegistryKey tasksKey;
        if (CreateUserKey(kTasksKeyPath, &tasksKey) != ERROR_SUCCESS) {
            std::printf("cannot create the Tasks key\n");
            return 1;
        }
        for (const TaskRecord &task : tasks) {
            RegistryKey key;
            if (key.Create(tasksKey.Get(), task.KeyName) != ERROR_SUCCESS || !WriteTask(key, task)) {
                std::printf("cannot write task %s\n", task.KeyName);
                RemoveProductTree();
                return 1;
            }
        }
    }
    const double writeMs = MillisecondsSince(writeStart);

    const int kReloads = 5;
    std::vector<double> reloadMs, reloadAndEvaluateMs;
    size_t loaded = 0;
    bool ok = true;
    for (int i = 0; i < kReloads; ++i) {
        std::vector<TaskRecord> list;
        auto start = Clock::now();
        ok = LoadTaskList(&list) && ok;
        reloadMs.push_back(MillisecondsSince(start));
        loaded = list.size();

        std::vector<TaskRecord *> pointers;
        for (TaskRecord &task : list)
            pointers.push_back(&task);
        DateTime st = bench::BenchTime();
        size_t index = 0;
        FindDueTask(pointers, &st, nullptr, nullptr, &index);
        reloadAndEvaluateMs.push_back(MillisecondsSince(start));
    }
    RemoveProductTree();

    std::sort(reloadMs.begin(), reloadMs.end());
    std::sort(reloadAndEvaluateMs.begin(), reloadAndEvaluateMs.end());
    std::printf("task store under Wine: %d task keys written in %.0f ms\n", bench::kBenchTaskCount, writeMs);
    std::printf("  forced reload (%zu tasks loaded%s): min %.1f ms, median %.1f ms over %d reloads\n", loaded,
                ok ? "" : ", load reported a failure", reloadMs.front(), reloadMs[reloadMs.size() / 2], kReloads);
    std::printf("  reload plus one evaluation pass: median %.1f ms\n",
                reloadAndEvaluateMs[reloadAndEvaluateMs.size() / 2]);
    return ok && loaded == tasks.size() ? 0 : 1;
}
