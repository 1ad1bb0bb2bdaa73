// One evaluation pass over 10,000 loaded tasks, as a GetTaskForTime that finds nothing
// due performs it (the worst case: every task is evaluated). Target: under 2 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/schedule/bench_tasks.h"
#include "schedule/evaluation.h"

using namespace quillon;

int main()
{
    std::vector<TaskRecord> tasks = bench::MakeBenchTasks();
    std::vector<TaskRecord *> pointers;
    for (TaskRecord &task : tasks)
        pointers.push_back(&task);

    const int kPasses = 200;
    std::vector<double> ms;
    size_t dueCount = 0;
    for (int pass = 0; pass < kPasses; ++pass) {
        DateTime st = bench::BenchTime();
        size_t index = 0;
        auto start = std::chrono::steady_clock::now();
        TaskQueryResult result = FindDueTask(pointers, &st, nullptr, nullptr, &index);
        auto stop = std::chrono::steady_clock::now();
        if (result == TaskQueryResult::kDue)
            ++dueCount;
        ms.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("schedule evaluation: %d tasks, %d passes, nothing due in %d of them\n", bench::kBenchTaskCount,
                kPasses, kPasses - static_cast<int>(dueCount));
    std::printf("  one pass: min %.3f ms, median %.3f ms, max %.3f ms (target < 2 ms)\n", ms.front(),
                ms[ms.size() / 2], ms.back());
    return dueCount == 0 ? 0 : 1;
}
