// Small builders shared by the schedule tests (portable).
#pragma once

#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/text.h"
#include "schedule/task_record.h"
#include "schedule/trace_sink.h"
#include "tests/support/date_time_builder.h"

namespace quillon::test {

// A local date-time with the right day of the week.
inline DateTime Local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return At(year, month, day, hour, minute, second);
}

// "2026-01-31 08:05" (seconds shown only when set), for readable failures.
inline std::string Show(const DateTime &dt)
{
    std::string text = FormatText("%04d-%02d-%02d %02d:%02d", dt.wYear, dt.wMonth, dt.wDay, dt.wHour, dt.wMinute);
    if (dt.wSecond != 0 || dt.wMilliseconds != 0)
        text += FormatText(":%02d.%03d", dt.wSecond, dt.wMilliseconds);
    return text;
}

// An enabled, never-run task as the editor would write it, nothing excepted.
inline TaskRecord MakeTask(uint32_t type, uint32_t value, uint32_t value2 = 0, const char *keyName = "2026 1 1 0 0 0")
{
    TaskRecord task{};
    SetTaskKeyName(&task, keyName);
    task.DisplayName = "Send text from test";
    task.AppName = "quillon.exe";
    task.TaskType = type;
    task.Value = value;
    task.Value2 = value2;
    task.DaysOfWeek = kAllDaysOfWeekMask;
    task.MonthsOfYear = kAllMonthsOfYearMask;
    task.Timeout = kDefaultTaskTimeoutMs;
    return task;
}

class RecordingTraceSink : public TraceSink {
public:
    std::vector<std::string> lines;
    void WriteLine(const std::string &line) override { lines.push_back(line); }
};

} // namespace quillon::test
