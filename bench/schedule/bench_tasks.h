// The 10,000 tasks both benchmarks use: every schedule kind, with and without date range
// and time window, some excepted days and months, some never run, the rest run recently.
// Built so that no task is due at kBenchTime, so one pass evaluates the whole list.
#pragma once

#include <cstdio>
#include <vector>

#include "common/datetime.h"
#include "schedule/task_record.h"

namespace quillon::bench {

constexpr int kBenchTaskCount = 10000;

inline DateTime BenchLocal(int year, int month, int day, int hour, int minute, int second = 0)
{
    DateTime dt{};
    dt.wYear = static_cast<uint16_t>(year);
    dt.wMonth = static_cast<uint16_t>(month);
    dt.wDay = static_cast<uint16_t>(day);
    dt.wHour = static_cast<uint16_t>(hour);
    dt.wMinute = static_cast<uint16_t>(minute);
    dt.wSecond = static_cast<uint16_t>(second);
    dt.wDayOfWeek = static_cast<uint16_t>(DayOfWeek(year, month, day));
    return dt;
}

// Wednesday 15 July 2026, 10:07.
inline DateTime BenchTime() { return BenchLocal(2026, 7, 15, 10, 7); }

inline std::vector<TaskRecord> MakeBenchTasks()
{
    std::vector<TaskRecord> tasks;
    tasks.reserve(kBenchTaskCount);
    for (int i = 0; i < kBenchTaskCount; ++i) {
        TaskRecord task{};
        char name[kTaskKeyNameSize];
        std::snprintf(name, sizeof name, "%4d%2d%2d%2d%2d%2d", 2026, 1 + i / 2000, 1 + (i / 60) % 28, (i / 1680) % 24,
                      0, i % 60);
        SetTaskKeyName(&task, name);
        task.DisplayName = "Send text from http://www.example.test/page.html";
        task.AppName = "quillon.exe";
        task.CommandLine = name;
        task.NeedsInternet = 1;
        task.TaskType = 1 + static_cast<uint32_t>(i % 12);
        task.Value = task.TaskType <= 4 ? 5 + static_cast<uint32_t>(i % 7) : static_cast<uint32_t>(i % 7);
        task.Value2 = 10 * 60 + 30;   // 10:30, after kBenchTime
        task.DaysOfWeek = (i % 5 == 0) ? 0x3E : kAllDaysOfWeekMask;
        task.MonthsOfYear = (i % 7 == 0) ? 0xEFF : kAllMonthsOfYearMask;
        task.Timeout = kDefaultTaskTimeoutMs;
        if (i % 3 == 0) {
            task.HasDates = 1;
            task.StartDate = BenchLocal(2026, 1, 1, 8, 0);
            task.EndDate = BenchLocal(2026, 12, 31, 18, 0);
            task.HasTimes = (i % 6 == 0) ? 1 : 0;
        }
        // Most ran a minute ago; every fourth never ran (its last run is assumed).
        if (i % 4 != 0)
            task.LastRun = BenchLocal(2026, 7, 15, 10, 6, 30);
        tasks.push_back(task);
    }
    return tasks;
}

} // namespace quillon::bench
