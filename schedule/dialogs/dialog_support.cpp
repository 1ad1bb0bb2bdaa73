#include "schedule/dialogs/dialog_support.h"

#include "common/text.h"
#include "common/win_datetime.h"

namespace quillon {

std::string FormatShortDate(const DateTime &dt)
{
    if (!IsValidDateTime(dt))
        return std::string();
    SYSTEMTIME st = ToSystemTime(dt);
    char buffer[kTextBufferSize] = {};
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, sizeof buffer) <= 0)
        return std::string();
    return buffer;
}

std::string FormatTimeNoSeconds(const DateTime &dt)
{
    if (!IsValidDateTime(dt))
        return std::string();
    SYSTEMTIME st = ToSystemTime(dt);
    char buffer[kTextBufferSize] = {};
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, buffer, sizeof buffer) <= 0)
        return std::string();
    return buffer;
}

} // namespace quillon
