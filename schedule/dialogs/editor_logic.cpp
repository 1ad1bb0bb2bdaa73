#include "schedule/dialogs/editor_logic.h"

#include <cstring>

#include "common/page_task.h"
#include "common/text.h"
#include "resources/resource_ids.h"

namespace quillon {

namespace {

// `base` (a valid date) with the hour and minute of Value2 (minutes after midnight; only
// the low 16 bits count, and an hour beyond the day wraps so the picker stays valid).
DateTime TimeFromValue2(const DateTime &base, uint32_t value2)
{
    uint32_t minutes = (value2 & 0xFFFF) % (24 * 60);
    DateTime dt = base;
    dt.wHour = static_cast<uint16_t>(minutes / 60);
    dt.wMinute = static_cast<uint16_t>(minutes % 60);
    return dt;
}

uint32_t Value2FromTime(const DateTime &dt)
{
    return static_cast<uint32_t>(dt.wHour) * 60 + dt.wMinute;
}

int PositionOrFirst(uint32_t position, int count)
{
    return position < static_cast<uint32_t>(count) ? static_cast<int>(position) : 0;
}

void SetDatePart(DateTime *dt, const DateTime &from)
{
    dt->wYear = from.wYear;
    dt->wMonth = from.wMonth;
    dt->wDayOfWeek = from.wDayOfWeek;
    dt->wDay = from.wDay;
}

void SetTimePart(DateTime *dt, const DateTime &from)
{
    dt->wHour = from.wHour;
    dt->wMinute = from.wMinute;
    dt->wSecond = from.wSecond;
    dt->wMilliseconds = from.wMilliseconds;
}

} // namespace

bool IsPageSenderProgram(const std::string &appName)
{
    std::string name = appName;
    if (!name.empty() && name.back() == '"')
        name.pop_back();
    size_t slash = name.find_last_of("\\/\":");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    // The program is compared in lower case: kPageSenderProgram is all lower case.
    if (name.size() != sizeof kPageSenderProgram - 1)
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kPageSenderProgram[i])
            return false;
    }
    return true;
}

EditorState LoadEditorState(TaskRecord *task, const DateTime &now)
{
    EditorState state;
    state.title = task->DisplayName;
    if (task->TaskType == 0)
        task->TaskType = kTaskEveryMinutes;

    state.everyAt = now;
    state.weekdayAt = now;
    state.dayAt = now;
    const uint32_t type = task->TaskType;
    if (type == kTaskDayOfMonth || type == kTaskLastDayOfMonth) {
        state.row = ScheduleRow::Day;
        state.intervalText = "0";
        state.dayPosition = PositionOrFirst(task->Value, kDayOfMonthCount);
        state.dayAt = TimeFromValue2(now, task->Value2);
    } else if (type >= kTaskFirstWeekday && type <= kTaskLastWeekday) {
        state.row = ScheduleRow::Weekday;
        state.intervalText = "0";
        state.weekOrdinalPosition = static_cast<int>(type - kTaskFirstWeekday);
        state.weekdayPosition = PositionOrFirst(task->Value, kWeekdayCount);
        state.weekdayAt = TimeFromValue2(now, task->Value2);
    } else {
        state.row = ScheduleRow::Every;
        state.intervalText = std::to_string(task->Value);
        state.unitPosition = type <= kTaskEveryWeeks ? static_cast<int>(type - 1) : 0;
        if (type == kTaskEveryDays || type == kTaskEveryWeeks)
            state.everyAt = TimeFromValue2(now, task->Value2);
    }

    for (int d = 0; d < 7; ++d)
        state.dayExcepted[d] = (task->DaysOfWeek & (1u << d)) == 0;
    for (int m = 0; m < 12; ++m)
        state.monthExcepted[m] = (task->MonthsOfYear & (1u << m)) == 0;

    state.hasDates = task->HasDates != 0;
    if (!state.hasDates) {
        SetDatePart(&task->StartDate, now);
        SetDatePart(&task->EndDate, now);
    }
    state.hasTimes = task->HasTimes != 0;
    if (!state.hasTimes) {
        SetTimePart(&task->StartDate, now);
        SetTimePart(&task->EndDate, now);
    }
    state.startDate = task->StartDate;
    state.endDate = task->EndDate;
    state.windowStart = task->StartDate;
    state.windowEnd = task->EndDate;
    state.showSendIfChanged = IsPageSenderProgram(task->AppName);
    state.sendIfChanged = state.showSendIfChanged && task->SendIfChanged != 0;
    return state;
}

bool EditorStateValid(const EditorState &state)
{
    if (state.row == ScheduleRow::Every) {
        std::string firstFour = state.intervalText.substr(0, 4);
        if (DecimalTextValue(firstFour.c_str()) == 0)
            return false;
    }
    bool anyDay = false;
    for (bool excepted : state.dayExcepted)
        anyDay = anyDay || !excepted;
    bool anyMonth = false;
    for (bool excepted : state.monthExcepted)
        anyMonth = anyMonth || !excepted;
    if (!anyDay || !anyMonth)
        return false;
    if (state.hasDates && CompareDate(state.startDate, state.endDate) > 0)
        return false;
    if (state.hasTimes && CompareTimeOfDay(state.windowStart, state.windowEnd) > 0)
        return false;
    return true;
}

void StoreEditorState(const EditorState &state, TaskRecord *task)
{
    switch (state.row) {
    case ScheduleRow::Every: {
        task->TaskType = static_cast<uint32_t>(PositionOrFirst(state.unitPosition, kUnitCount) + 1);
        // Read as the edit's whole text, bounded like every text the dialog reads.
        std::string interval = state.intervalText.substr(0, kTextBufferSize - 1);
        task->Value = static_cast<uint32_t>(DecimalTextValue(interval.c_str()));
        if (task->TaskType == kTaskEveryDays || task->TaskType == kTaskEveryWeeks)
            task->Value2 = Value2FromTime(state.everyAt);
        break;
    }
    case ScheduleRow::Day: {
        int position = PositionOrFirst(state.dayPosition, kDayOfMonthCount);
        task->Value = static_cast<uint32_t>(position);
        task->TaskType = position == kLastDayPosition ? kTaskLastDayOfMonth : kTaskDayOfMonth;
        task->Value2 = Value2FromTime(state.dayAt);
        break;
    }
    case ScheduleRow::Weekday:
        task->TaskType = static_cast<uint32_t>(PositionOrFirst(state.weekOrdinalPosition, kWeekOrdinalCount)) +
                         kTaskFirstWeekday;
        task->Value = static_cast<uint32_t>(PositionOrFirst(state.weekdayPosition, kWeekdayCount));
        task->Value2 = Value2FromTime(state.weekdayAt);
        break;
    }

    task->DaysOfWeek = 0;
    for (int d = 0; d < 7; ++d)
        if (!state.dayExcepted[d])
            task->DaysOfWeek |= 1u << d;
    task->MonthsOfYear = 0;
    for (int m = 0; m < 12; ++m)
        if (!state.monthExcepted[m])
            task->MonthsOfYear |= 1u << m;

    task->HasDates = state.hasDates ? 1 : 0;
    if (state.hasDates) {
        SetDatePart(&task->StartDate, state.startDate);
        SetDatePart(&task->EndDate, state.endDate);
    }
    task->HasTimes = state.hasTimes ? 1 : 0;
    if (state.hasTimes) {
        SetTimePart(&task->StartDate, state.windowStart);
        SetTimePart(&task->EndDate, state.windowEnd);
    }
    if (state.showSendIfChanged && state.sendIfChanged != (task->SendIfChanged != 0)) {
        task->SendIfChanged = state.sendIfChanged ? 1 : 0;
        task->ForgetTextDigest = 1;
    }
}

std::vector<ControlState> EditorControlStates(const EditorState &state)
{
    const bool every = state.row == ScheduleRow::Every;
    const bool weekday = state.row == ScheduleRow::Weekday;
    const bool day = state.row == ScheduleRow::Day;
    // Minutes and hours run within the daily window; days and weeks run at a time.
    const bool atTime = state.unitPosition >= 2;
    return {
        {IDC_TASK_INTERVAL, every, true},
        {IDC_TASK_UNIT, every, true},
        {IDC_TASK_EVERY_AT_LABEL, every, atTime},
        {IDC_TASK_EVERY_AT, every, atTime},
        {IDC_TASK_ALL_DAY, every, !atTime},
        {IDC_TASK_WINDOW, every, !atTime},
        {IDC_TASK_WINDOW_FROM, every && state.hasTimes, !atTime},
        {IDC_TASK_WINDOW_TO_LABEL, every, !atTime},
        {IDC_TASK_WINDOW_TO, every && state.hasTimes, !atTime},
        {IDC_TASK_WEEK_ORDINAL, weekday, true},
        {IDC_TASK_WEEKDAY, weekday, true},
        {IDC_TASK_WEEKDAY_AT_LABEL, weekday, true},
        {IDC_TASK_WEEKDAY_AT, weekday, true},
        {IDC_TASK_DAY_OF_MONTH, day, true},
        {IDC_TASK_DAY_AT_LABEL, day, true},
        {IDC_TASK_DAY_AT, day, true},
        {IDC_TASK_START_DATE, state.hasDates, true},
        {IDC_TASK_END_DATE, state.hasDates, true},
        {IDC_TASK_DAY_SUNDAY + 0, !weekday, true},
        {IDC_TASK_DAY_SUNDAY + 1, !weekday, true},
        {IDC_TASK_DAY_SUNDAY + 2, !weekday, true},
        {IDC_TASK_DAY_SUNDAY + 3, !weekday, true},
        {IDC_TASK_DAY_SUNDAY + 4, !weekday, true},
        {IDC_TASK_DAY_SUNDAY + 5, !weekday, true},
        {IDC_TASK_DAY_SUNDAY + 6, !weekday, true},
    };
}

} // namespace quillon
