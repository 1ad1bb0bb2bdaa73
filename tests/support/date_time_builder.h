// The one way tests write a local date-time: At(2026, 12, 10, 9, 5) is 10 December 2026,
// 09:05:00.000, with its day of week filled in as the system would (0 for a date-time
// that is not valid, which tests build on purpose). Portable (no
// Windows header); Windows tests convert with ToSystemTime (common/win_datetime.h).
#pragma once

#include <cstdint>

#include "common/datetime.h"

namespace quillon::test {

inline DateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0)
{
    DateTime t = {};
    t.wYear = static_cast<uint16_t>(year);
    t.wMonth = static_cast<uint16_t>(month);
    t.wDay = static_cast<uint16_t>(day);
    t.wHour = static_cast<uint16_t>(hour);
    t.wMinute = static_cast<uint16_t>(minute);
    t.wSecond = static_cast<uint16_t>(second);
    t.wMilliseconds = static_cast<uint16_t>(ms);
    // Tests also build invalid date-times on purpose; those keep day of week 0.
    if (IsValidDateTime(t))
        t.wDayOfWeek = static_cast<uint16_t>(DayOfWeek(year, month, day));
    return t;
}

} // namespace quillon::test
