// The in-memory record of one scheduled task: the values of one key under
// HKCU\Software\Kestrova\Tasqeduler\Tasks plus the in-memory-only `Deleted` mark.
//
// API
//   TaskRecord            plain data, copyable; a value-initialised record ({}) is the
//                         "new object": empty key name, empty strings, zero dates and masks.
//   SetTaskKeyName        bounded copy of a key name into the record (false when too long).
//   TaskKeyNameEquals     key-name comparison ignoring case (retry-queue lookups).
//
// Field names are those of the registry values. Flags stay 32-bit numbers rather than
// bools because `NotWeekend` and the others are written back exactly as they were loaded.
// The record owns its strings. This header includes no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/datetime.h"
#include "common/timestamp.h"

namespace quillon {

// Time-out given to a task whose key has no readable `Timeout` value, in milliseconds.
constexpr uint32_t kDefaultTaskTimeoutMs = 300000;

// A key name is held inside the record: at most 15 characters and the NUL.
constexpr size_t kTaskKeyNameSize = kTimestampNameBufferSize;

// `TaskType` values (see EvaluateTask for what each means).
enum TaskTypeValue : uint32_t {
    kTaskEveryMinutes = 1,      // every Value minutes
    kTaskEveryHours = 2,        // every Value hours
    kTaskEveryDays = 3,         // every Value days at Value2
    kTaskEveryWeeks = 4,        // every Value weeks at Value2
    kTaskDayOfMonth = 5,        // on day Value+1 of each month at Value2
    kTaskFirstWeekday = 6,      // first weekday Value of the month at Value2
    kTaskSecondWeekday = 7,
    kTaskThirdWeekday = 8,
    kTaskFourthWeekday = 9,
    kTaskFifthWeekday = 10,
    kTaskLastWeekday = 11,      // last weekday Value of the month at Value2
    kTaskLastDayOfMonth = 12,   // last day of the month at Value2
};

// Masks that mean "nothing excepted" as the task editor writes them.
constexpr uint32_t kAllDaysOfWeekMask = 0x7F;
constexpr uint32_t kAllMonthsOfYearMask = 0xFFF;

struct TaskRecord {
    uint32_t Deleted;               // in memory only: saving the list deletes the key
    uint32_t Disabled;
    char KeyName[kTaskKeyNameSize]; // always NUL-terminated; empty for a task never stored
    uint32_t NeedsInternet;
    uint32_t NotWeekend;
    std::string DisplayName;
    std::string AppName;
    std::string CommandLine;
    uint32_t HasDates;
    uint32_t HasTimes;
    DateTime StartDate;             // date: first day of the range; hour:minute: window start
    DateTime EndDate;               // date: last day of the range; hour:minute: window end
    DateTime LastRun;               // wYear 0: never run
    uint32_t TaskType;
    uint32_t Value;
    uint32_t Value2;                // minutes after midnight; only the low 16 bits count
    uint32_t DaysOfWeek;            // bit d = wDayOfWeek d allowed; 0 = no restriction
    uint32_t MonthsOfYear;          // bit m-1 = month m allowed; 0 = no restriction
    uint32_t Timeout;               // milliseconds
    uint32_t Logging;               // nonzero: evaluation traces this task
    uint32_t SendIfChanged;         // nonzero: the page sender queues only changed text
    // In memory only: the editor changed SendIfChanged. Writing the task then stores it
    // and deletes LastTextDigest, so a digest from an earlier period of the setting never
    // holds back the first run after it. Without it, writing leaves both values alone.
    uint32_t ForgetTextDigest;
};

// Copies `name` into task->KeyName. False (and KeyName unchanged) when `name` is null or
// longer than 15 characters.
bool SetTaskKeyName(TaskRecord *task, const char *name);

// ASCII case-insensitive comparison of a record's key name with `name`.
bool TaskKeyNameEquals(const TaskRecord &task, const char *name);

} // namespace quillon
