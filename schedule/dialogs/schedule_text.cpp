#include "schedule/dialogs/schedule_text.h"

#include "common/text.h"

// The string ids come from the resource module's header, which is plain #defines.
#include "resources/resource_ids.h"

namespace quillon {

std::string FillScheduleTemplate(const std::string &templ, const std::vector<std::string> &args)
{
    // One pass over the template, so an inserted text is never scanned for markers.
    std::string text;
    bool used[10] = {};
    for (size_t i = 0; i < templ.size(); ++i) {
        char next = i + 1 < templ.size() ? templ[i + 1] : '\0';
        if (templ[i] == '%' && next >= '1' && next <= '9' && !used[next - '0']) {
            size_t n = static_cast<size_t>(next - '0');
            used[n] = true;
            if (n <= args.size())
                text += args[n - 1];
            ++i;
        } else {
            text += templ[i];
        }
    }
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string BuildScheduleText(const TaskRecord &task, const StringLookup &strings, const std::string &timeText)
{
    const uint32_t type = task.TaskType;
    const uint32_t value = task.Value;
    switch (type) {
    case kTaskEveryMinutes:
    case kTaskEveryHours:
        return FillScheduleTemplate(strings(IDS_SCHEDULE_FORMAT5),
                                    {strings(IDS_EVERY), std::to_string(value),
                                     strings(type == kTaskEveryMinutes ? IDS_MINUTES : IDS_HOURS), "", ""});
    case kTaskEveryDays:
    case kTaskEveryWeeks:
        return FillScheduleTemplate(strings(IDS_SCHEDULE_FORMAT5),
                                    {strings(IDS_EVERY), std::to_string(value),
                                     strings(type == kTaskEveryDays ? IDS_DAYS : IDS_WEEKS), strings(IDS_AT),
                                     timeText});
    case kTaskDayOfMonth:
        if (value > 30)
            return std::string();
        return FillScheduleTemplate(strings(IDS_SCHEDULE_FORMAT6),
                                    {strings(IDS_ON_THE), strings(IDS_ORDINAL_1ST + value), strings(IDS_DAY),
                                     strings(IDS_OF_THE_MONTH), strings(IDS_AT), timeText});
    case kTaskFirstWeekday:
    case kTaskSecondWeekday:
    case kTaskThirdWeekday:
    case kTaskFourthWeekday:
    case kTaskFifthWeekday:
    case kTaskLastWeekday:
        if (value > 6)
            return std::string();
        return FillScheduleTemplate(strings(IDS_SCHEDULE_FORMAT6),
                                    {strings(IDS_ON_THE), strings(IDS_FIRST + (type - kTaskFirstWeekday)),
                                     strings(IDS_SUNDAY + value), strings(IDS_OF_THE_MONTH), strings(IDS_AT),
                                     timeText});
    case kTaskLastDayOfMonth:
        return FillScheduleTemplate(strings(IDS_SCHEDULE_FORMAT6),
                                    {strings(IDS_ON_THE), strings(IDS_LAST), strings(IDS_DAY),
                                     strings(IDS_OF_THE_MONTH), strings(IDS_AT), timeText});
    default:
        return std::string();
    }
}

std::string ExceptionsText(const TaskRecord &task, const std::string &yes)
{
    bool excepts = (task.DaysOfWeek & kAllDaysOfWeekMask) != kAllDaysOfWeekMask ||
                   (task.MonthsOfYear & kAllMonthsOfYearMask) != kAllMonthsOfYearMask;
    return excepts ? yes : std::string(" ");
}

bool SplitColumnTitle(const std::string &text, std::string *title, int *width)
{
    size_t slash = text.rfind('/');
    if (slash == std::string::npos)
        return false;
    *title = text.substr(0, slash);
    *width = static_cast<int>(DecimalTextValue(text.c_str() + slash + 1));
    return true;
}

std::vector<bool> TasksRemovedFromRows(size_t taskCount, const std::vector<size_t> &rows)
{
    std::vector<bool> removed(taskCount, false);
    size_t task = 0;
    for (size_t row : rows) {
        while (task < taskCount && task < row)
            removed[task++] = true;
        if (task < taskCount && task == row)
            ++task;
    }
    while (task < taskCount)
        removed[task++] = true;
    return removed;
}

} // namespace quillon
