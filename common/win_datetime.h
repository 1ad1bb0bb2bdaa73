// Bridges DateTime and the Win32 SYSTEMTIME, which share one layout.
#pragma once

#include <windows.h>

#include <cstring>

#include "common/datetime.h"

namespace quillon {

static_assert(sizeof(SYSTEMTIME) == sizeof(DateTime), "SYSTEMTIME and DateTime must match");

inline DateTime FromSystemTime(const SYSTEMTIME &st)
{
    DateTime dt;
    std::memcpy(&dt, &st, sizeof dt);
    return dt;
}

inline SYSTEMTIME ToSystemTime(const DateTime &dt)
{
    SYSTEMTIME st;
    std::memcpy(&st, &dt, sizeof st);
    return st;
}

inline DateTime LocalNow()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return FromSystemTime(st);
}

} // namespace quillon
