#include "common/datetime.h"

namespace quillon {

namespace {

constexpr int kMinYear = 1601;
constexpr int kMaxYear = 30827;

// Days from 1 January 1601 to 1 January of year (proleptic Gregorian).
int64_t DaysBeforeYear(int year)
{
    int64_t y = year - 1601;
    return y * 365 + y / 4 - y / 100 + y / 400;
}

int64_t DaysBeforeMonth(int year, int month)
{
    static const int kCumulative[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int64_t days = kCumulative[month - 1];
    if (month > 2 && IsLeapYear(year))
        ++days;
    return days;
}

} // namespace

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    if (month == 2 && IsLeapYear(year))
        return 29;
    return kDays[month - 1];
}

int64_t DayNumber(int year, int month, int day)
{
    return DaysBeforeYear(year) + DaysBeforeMonth(year, month) + (day - 1);
}

int DayOfWeek(int year, int month, int day)
{
    // 1 January 1601 was a Monday.
    return static_cast<int>((DayNumber(year, month, day) + 1) % 7);
}

bool IsValidDateTime(const DateTime &dt)
{
    if (dt.wYear < kMinYear || dt.wYear > kMaxYear)
        return false;
    if (dt.wMonth < 1 || dt.wMonth > 12)
        return false;
    if (dt.wDay < 1 || dt.wDay > DaysInMonth(dt.wYear, dt.wMonth))
        return false;
    return dt.wHour < 24 && dt.wMinute < 60 && dt.wSecond < 60 && dt.wMilliseconds < 1000;
}

bool DateTimeToTicks(const DateTime &dt, Ticks *ticks)
{
    if (!IsValidDateTime(dt))
        return false;
    Ticks days = static_cast<Ticks>(DayNumber(dt.wYear, dt.wMonth, dt.wDay));
    *ticks = days * kTicksPerDay + dt.wHour * kTicksPerHour + dt.wMinute * kTicksPerMinute +
             dt.wSecond * kTicksPerSecond + dt.wMilliseconds * kTicksPerMillisecond;
    return true;
}

bool TicksToDateTime(Ticks ticks, DateTime *dt)
{
    int64_t days = static_cast<int64_t>(ticks / kTicksPerDay);
    Ticks rest = ticks % kTicksPerDay;

    // Find the year by estimate and correction; 146097 days make 400 Gregorian years.
    int year = kMinYear + static_cast<int>(days * 400 / 146097);
    while (year > kMinYear && DaysBeforeYear(year) > days)
        --year;
    while (DaysBeforeYear(year + 1) <= days)
        ++year;
    if (year > kMaxYear)
        return false;
    int64_t dayOfYear = days - DaysBeforeYear(year);
    int month = 1;
    while (month < 12 && DaysBeforeMonth(year, month + 1) <= dayOfYear)
        ++month;

    DateTime out{};
    out.wYear = static_cast<uint16_t>(year);
    out.wMonth = static_cast<uint16_t>(month);
    out.wDay = static_cast<uint16_t>(dayOfYear - DaysBeforeMonth(year, month) + 1);
    out.wDayOfWeek = static_cast<uint16_t>((days + 1) % 7);
    out.wHour = static_cast<uint16_t>(rest / kTicksPerHour);
    rest %= kTicksPerHour;
    out.wMinute = static_cast<uint16_t>(rest / kTicksPerMinute);
    rest %= kTicksPerMinute;
    out.wSecond = static_cast<uint16_t>(rest / kTicksPerSecond);
    rest %= kTicksPerSecond;
    out.wMilliseconds = static_cast<uint16_t>(rest / kTicksPerMillisecond);
    *dt = out;
    return true;
}

DateTime TruncateToMinute(const DateTime &dt)
{
    DateTime out = dt;
    out.wSecond = 0;
    out.wMilliseconds = 0;
    return out;
}

namespace {
int Order(int a, int b) { return a < b ? -1 : (a > b ? 1 : 0); }
} // namespace

int CompareDate(const DateTime &a, const DateTime &b)
{
    if (int c = Order(a.wYear, b.wYear))
        return c;
    if (int c = Order(a.wMonth, b.wMonth))
        return c;
    return Order(a.wDay, b.wDay);
}

int CompareTimeOfDay(const DateTime &a, const DateTime &b)
{
    if (int c = Order(a.wHour, b.wHour))
        return c;
    return Order(a.wMinute, b.wMinute);
}

int CompareDateTime(const DateTime &a, const DateTime &b)
{
    if (int c = CompareDate(a, b))
        return c;
    if (int c = CompareTimeOfDay(a, b))
        return c;
    if (int c = Order(a.wSecond, b.wSecond))
        return c;
    return Order(a.wMilliseconds, b.wMilliseconds);
}

} // namespace quillon
