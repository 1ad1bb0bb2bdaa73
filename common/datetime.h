// Local date-times as the registry stores them, and arithmetic on them.
//
// DateTime has exactly the layout of the Win32 SYSTEMTIME (eight 16-bit fields, 16
// bytes), so a REG_BINARY value reads straight into it and Windows code may pass it
// where a SYSTEMTIME is expected (see common/win_datetime.h). Arithmetic happens on
// "ticks": the 64-bit count of 100-nanosecond units since 1 January 1601, as the Win32
// FILETIME counts them. This file includes no Windows header.
#pragma once

#include <cstdint>

namespace quillon {

struct DateTime {
    uint16_t wYear;
    uint16_t wMonth;        // 1..12
    uint16_t wDayOfWeek;    // 0 = Sunday .. 6 = Saturday
    uint16_t wDay;          // 1..31
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};
static_assert(sizeof(DateTime) == 16, "DateTime must match SYSTEMTIME");

using Ticks = uint64_t;

constexpr Ticks kTicksPerMillisecond = 10000ULL;
constexpr Ticks kTicksPerSecond = 10000000ULL;
constexpr Ticks kTicksPerMinute = 600000000ULL;
constexpr Ticks kTicksPerHour = 36000000000ULL;
constexpr Ticks kTicksPerDay = 864000000000ULL;
constexpr Ticks kTicksPerWeek = 6048000000000ULL;

bool IsLeapYear(int year);
// Days in the month, 0 for a month outside 1..12.
int DaysInMonth(int year, int month);
// Day of week (0 = Sunday) of a Gregorian date; the date must be valid.
int DayOfWeek(int year, int month, int day);

// True when the fields form a date-time that SystemTimeToFileTime would accept:
// year 1601..30827, month 1..12, day within the month, hour < 24, minute < 60,
// second < 60, milliseconds < 1000. wDayOfWeek is not checked, as Win32 ignores it.
bool IsValidDateTime(const DateTime &dt);

// Converts to ticks; false (and *ticks untouched) for a date-time that is not valid.
bool DateTimeToTicks(const DateTime &dt, Ticks *ticks);
// Converts ticks back, filling wDayOfWeek. False when ticks lie beyond year 30827.
bool TicksToDateTime(Ticks ticks, DateTime *dt);

// Calendar day number (days since 1 January 1601) of the date part; the date must be valid.
int64_t DayNumber(int year, int month, int day);

// The same moment with seconds and milliseconds cleared.
DateTime TruncateToMinute(const DateTime &dt);

// Orders by date part only (year, month, day): <0, 0, >0.
int CompareDate(const DateTime &a, const DateTime &b);
// Orders by time of day to the minute (hour, minute): <0, 0, >0.
int CompareTimeOfDay(const DateTime &a, const DateTime &b);
// Orders whole date-times (date, then hour, minute, second, milliseconds).
int CompareDateTime(const DateTime &a, const DateTime &b);

// wYear 0 marks a never-set date (for example a LastRun of a task that never ran).
inline bool IsZeroDateTime(const DateTime &dt) { return dt.wYear == 0; }

} // namespace quillon
