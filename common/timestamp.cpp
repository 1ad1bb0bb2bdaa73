#include "common/timestamp.h"

#include <cstdio>

namespace quillon {

std::string TimestampKeyName(const DateTime &dt)
{
    char name[64];
    std::snprintf(name, sizeof name, "%4d%2d%2d%2d%2d%2d", dt.wYear, dt.wMonth, dt.wDay, dt.wHour,
                  dt.wMinute, dt.wSecond);
    return name;
}

bool ParseTimestampKeyName(const std::string &name, DateTime *dt)
{
    if (name.size() != 14)
        return false;
    static const int kWidths[6] = {4, 2, 2, 2, 2, 2};
    int fields[6];
    size_t pos = 0;
    for (int f = 0; f < 6; ++f) {
        int value = 0;
        bool digits = false;
        for (int i = 0; i < kWidths[f]; ++i, ++pos) {
            char c = name[pos];
            if (c == ' ') {
                if (digits)
                    return false; // padding only before the digits
            } else if (c >= '0' && c <= '9') {
                digits = true;
                value = value * 10 + (c - '0');
            } else {
                return false;
            }
        }
        if (!digits)
            return false;
        fields[f] = value;
    }
    DateTime out{};
    out.wYear = static_cast<uint16_t>(fields[0]);
    out.wMonth = static_cast<uint16_t>(fields[1]);
    out.wDay = static_cast<uint16_t>(fields[2]);
    out.wHour = static_cast<uint16_t>(fields[3]);
    out.wMinute = static_cast<uint16_t>(fields[4]);
    out.wSecond = static_cast<uint16_t>(fields[5]);
    if (!IsValidDateTime(out))
        return false;
    out.wDayOfWeek = static_cast<uint16_t>(DayOfWeek(out.wYear, out.wMonth, out.wDay));
    if (TimestampKeyName(out) != name)
        return false;
    *dt = out;
    return true;
}

bool NextTimestampKeyName(const std::string &name, std::string *next)
{
    DateTime dt;
    Ticks ticks;
    if (!ParseTimestampKeyName(name, &dt) || !DateTimeToTicks(dt, &ticks))
        return false;
    DateTime later;
    if (!TicksToDateTime(ticks + kTicksPerSecond, &later))
        return false;
    *next = TimestampKeyName(later);
    return true;
}

} // namespace quillon
