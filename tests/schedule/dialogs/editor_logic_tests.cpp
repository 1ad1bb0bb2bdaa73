#include <gtest/gtest.h>

#include <algorithm>

#include "resources/resource_ids.h"
#include "schedule/dialogs/editor_logic.h"

namespace quillon {
namespace {

const DateTime kNow = {2026, 12, 4, 10, 14, 25, 33, 0};  // Thursday 10 December 2026, 14:25:33

TaskRecord NewSubmittedTask()
{
    TaskRecord task{};
    task.DisplayName = "Send text from page";
    task.DaysOfWeek = 0xFFFFFFFF;
    task.MonthsOfYear = 0xFFFFFFFF;
    return task;
}

TEST(EditorLogic, NewTaskOpensAsEveryZeroMinutesWithOkDisabled)
{
    TaskRecord task = NewSubmittedTask();
    EditorState state = LoadEditorState(&task, kNow);
    EXPECT_EQ(task.TaskType, 1u);
    EXPECT_EQ(state.title, "Send text from page");
    EXPECT_EQ(state.row, ScheduleRow::Every);
    EXPECT_EQ(state.intervalText, "0");
    EXPECT_EQ(state.unitPosition, 0);
    EXPECT_FALSE(EditorStateValid(state));
    state.intervalText = "5";
    EXPECT_TRUE(EditorStateValid(state));
    // Loading put today into the date parts and now into the time parts of the object.
    EXPECT_EQ(task.StartDate.wYear, 2026);
    EXPECT_EQ(task.EndDate.wDay, 10);
    EXPECT_EQ(task.StartDate.wHour, 14);
    EXPECT_EQ(task.EndDate.wMinute, 25);
}

TEST(EditorLogic, LoadShowsEachRowOfTheTask)
{
    struct Case {
        const char *label;
        uint32_t type, value, value2;
        ScheduleRow row;
        const char *interval;
        int unit, ordinal, weekday, day;
        int atHour, atMinute;  // of the row's picker
    };
    const Case cases[] = {
        {"every 5 minutes", 1, 5, 0, ScheduleRow::Every, "5", 0, 0, 0, 0, 14, 25},
        {"every 2 days at 9:30", 3, 2, 570, ScheduleRow::Every, "2", 2, 0, 0, 0, 9, 30},
        {"every 3 weeks at 23:59", 4, 3, 1439, ScheduleRow::Every, "3", 3, 0, 0, 0, 23, 59},
        {"15th at 6:05", 5, 14, 365, ScheduleRow::Day, "0", 0, 0, 0, 14, 6, 5},
        {"last day at 0:00", 12, 31, 0, ScheduleRow::Day, "0", 0, 0, 0, 31, 0, 0},
        {"third Wednesday at 12:00", 8, 3, 720, ScheduleRow::Weekday, "0", 0, 2, 3, 0, 12, 0},
        {"last Saturday", 11, 6, 60, ScheduleRow::Weekday, "0", 0, 5, 6, 0, 1, 0},
        {"unknown type shows as minutes", 13, 4, 0, ScheduleRow::Every, "4", 0, 0, 0, 0, 14, 25},
        {"weekday out of range shows the first", 6, 9, 0, ScheduleRow::Weekday, "0", 0, 0, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        TaskRecord task = NewSubmittedTask();
        task.TaskType = c.type;
        task.Value = c.value;
        task.Value2 = c.value2;
        EditorState s = LoadEditorState(&task, kNow);
        EXPECT_EQ(s.row, c.row) << c.label;
        EXPECT_EQ(s.intervalText, c.interval) << c.label;
        EXPECT_EQ(s.unitPosition, c.unit) << c.label;
        EXPECT_EQ(s.weekOrdinalPosition, c.ordinal) << c.label;
        EXPECT_EQ(s.weekdayPosition, c.weekday) << c.label;
        EXPECT_EQ(s.dayPosition, c.day) << c.label;
        const DateTime &at = c.row == ScheduleRow::Every ? s.everyAt
                             : c.row == ScheduleRow::Day ? s.dayAt
                                                         : s.weekdayAt;
        EXPECT_EQ(at.wHour, c.atHour) << c.label;
        EXPECT_EQ(at.wMinute, c.atMinute) << c.label;
        EXPECT_EQ(at.wYear, 2026) << c.label;  // a whole, valid date-time for the picker
    }
}

TEST(EditorLogic, StoreWritesTypeValueAndValue2)
{
    struct Case {
        const char *label;
        ScheduleRow row;
        const char *interval;
        int unit, ordinal, weekday, day;
        uint32_t type, value, value2;
    };
    const Case cases[] = {
        {"every 2 days at 09:30", ScheduleRow::Every, "2", 2, 0, 0, 0, 3, 2, 570},
        {"every 10 minutes keeps Value2", ScheduleRow::Every, "10", 0, 0, 0, 0, 1, 10, 7777},
        {"interval read as leading digits", ScheduleRow::Every, "12x", 1, 0, 0, 0, 2, 12, 7777},
        {"last in the day list", ScheduleRow::Day, "0", 0, 0, 0, 31, 12, 31, 570},
        {"15th", ScheduleRow::Day, "0", 0, 0, 0, 14, 5, 14, 570},
        {"third Wednesday", ScheduleRow::Weekday, "0", 0, 2, 3, 0, 8, 3, 570},
        {"last Sunday", ScheduleRow::Weekday, "0", 0, 5, 0, 0, 11, 0, 570},
    };
    for (const Case &c : cases) {
        TaskRecord task = NewSubmittedTask();
        task.Value2 = 7777;
        EditorState s = LoadEditorState(&task, kNow);
        s.row = c.row;
        s.intervalText = c.interval;
        s.unitPosition = c.unit;
        s.weekOrdinalPosition = c.ordinal;
        s.weekdayPosition = c.weekday;
        s.dayPosition = c.day;
        for (DateTime *at : {&s.everyAt, &s.dayAt, &s.weekdayAt}) {
            at->wHour = 9;
            at->wMinute = 30;
        }
        StoreEditorState(s, &task);
        EXPECT_EQ(task.TaskType, c.type) << c.label;
        EXPECT_EQ(task.Value, c.value) << c.label;
        EXPECT_EQ(task.Value2, c.value2) << c.label;
    }
}

TEST(EditorLogic, MasksAndRangesRoundTrip)
{
    TaskRecord task = NewSubmittedTask();
    task.NotWeekend = 1;
    task.Disabled = 1;
    task.NeedsInternet = 1;
    task.Timeout = 300000;
    EditorState s = LoadEditorState(&task, kNow);
    s.intervalText = "1";
    StoreEditorState(s, &task);
    EXPECT_EQ(task.DaysOfWeek, 0x7Fu) << "no box checked";
    EXPECT_EQ(task.MonthsOfYear, 0xFFFu) << "no box checked";
    EXPECT_EQ(task.NotWeekend, 1u);
    EXPECT_EQ(task.Disabled, 1u);
    EXPECT_EQ(task.NeedsInternet, 1u);
    EXPECT_EQ(task.Timeout, 300000u);
    EXPECT_EQ(task.HasDates, 0u);
    EXPECT_EQ(task.HasTimes, 0u);

    s = LoadEditorState(&task, kNow);
    s.dayExcepted[0] = s.dayExcepted[6] = true;  // Sunday, Saturday
    s.monthExcepted[11] = true;                  // December
    s.hasDates = true;
    s.startDate = {2027, 1, 5, 1, 0, 0, 0, 0};
    s.endDate = {2027, 3, 3, 31, 0, 0, 0, 0};
    s.hasTimes = true;
    s.windowStart = {2026, 12, 4, 10, 8, 15, 0, 0};
    s.windowEnd = {2026, 12, 4, 10, 17, 45, 0, 0};
    StoreEditorState(s, &task);
    EXPECT_EQ(task.DaysOfWeek, 0x3Eu);
    EXPECT_EQ(task.MonthsOfYear, 0x7FFu);
    EXPECT_EQ(task.HasDates, 1u);
    EXPECT_EQ(task.HasTimes, 1u);
    // Date parts from the date pickers, time parts from the window pickers.
    EXPECT_EQ(task.StartDate.wYear, 2027);
    EXPECT_EQ(task.StartDate.wMonth, 1);
    EXPECT_EQ(task.StartDate.wHour, 8);
    EXPECT_EQ(task.StartDate.wMinute, 15);
    EXPECT_EQ(task.EndDate.wDay, 31);
    EXPECT_EQ(task.EndDate.wHour, 17);

    EditorState again = LoadEditorState(&task, kNow);
    EXPECT_TRUE(again.dayExcepted[0]);
    EXPECT_FALSE(again.dayExcepted[1]);
    EXPECT_TRUE(again.monthExcepted[11]);
    EXPECT_TRUE(again.hasDates);
    EXPECT_EQ(again.startDate.wYear, 2027) << "a stored range is not replaced by today";
    EXPECT_EQ(again.windowStart.wHour, 8) << "a stored window is not replaced by now";
}

TEST(EditorLogic, Validation)
{
    struct Case {
        const char *label;
        void (*change)(EditorState *);
        bool valid;
    };
    const Case cases[] = {
        {"baseline", [](EditorState *) {}, true},
        {"interval 0", [](EditorState *s) { s->intervalText = "0"; }, false},
        {"interval empty", [](EditorState *s) { s->intervalText = ""; }, false},
        {"only the first four characters count", [](EditorState *s) { s->intervalText = "00001"; }, false},
        {"interval 0 is fine on the day row", [](EditorState *s) { s->intervalText = "0"; s->row = ScheduleRow::Day; },
         true},
        {"all weekdays checked", [](EditorState *s) { std::fill(std::begin(s->dayExcepted), std::end(s->dayExcepted), true); },
         false},
        {"six weekdays checked", [](EditorState *s) { std::fill(s->dayExcepted, s->dayExcepted + 6, true); }, true},
        {"all months checked",
         [](EditorState *s) { std::fill(std::begin(s->monthExcepted), std::end(s->monthExcepted), true); }, false},
        {"end date before start", [](EditorState *s) { s->hasDates = true; s->endDate.wDay = 9; }, false},
        {"end date before start ignored without the range",
         [](EditorState *s) { s->hasDates = false; s->endDate.wDay = 9; }, true},
        {"equal dates allowed", [](EditorState *s) { s->hasDates = true; }, true},
        {"window end before start", [](EditorState *s) { s->hasTimes = true; s->windowEnd.wMinute = 24; }, false},
        {"equal window ends allowed, seconds ignored",
         [](EditorState *s) { s->hasTimes = true; s->windowEnd.wSecond = 0; s->windowStart.wSecond = 59; }, true},
    };
    for (const Case &c : cases) {
        TaskRecord task = NewSubmittedTask();
        EditorState s = LoadEditorState(&task, kNow);
        s.intervalText = "3";
        c.change(&s);
        EXPECT_EQ(EditorStateValid(s), c.valid) << c.label;
    }
}

bool Enabled(const std::vector<ControlState> &states, int id)
{
    for (const ControlState &c : states)
        if (c.id == id)
            return c.enabled;
    ADD_FAILURE() << "no state for control " << id;
    return false;
}

bool Visible(const std::vector<ControlState> &states, int id)
{
    for (const ControlState &c : states)
        if (c.id == id)
            return c.visible;
    ADD_FAILURE() << "no state for control " << id;
    return false;
}

TEST(EditorLogic, SendIfChangedIsOfferedForThePageSenderOnly)
{
    const struct {
        const char *app;
        bool pageSender;
    } rows[] = {
        {"quillon.exe", true},
        {"QUILLON.EXE", true},
        {"C:\\Program Files\\Quillon\\Quillon.exe", true},
        {"\"C:\\Program Files\\Quillon\\quillon.exe\"", true},
        {"C:/suite/quillon.exe", true},
        {"notepad.exe", false},
        {"quillon.exe.bak", false},
        {"myquillon.exe", false},
        {"", false},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(IsPageSenderProgram(row.app), row.pageSender) << row.app;
        TaskRecord task = NewSubmittedTask();
        task.AppName = row.app;
        EXPECT_EQ(LoadEditorState(&task, kNow).showSendIfChanged, row.pageSender) << row.app;
    }
}

TEST(EditorLogic, ChangingSendIfChangedMarksTheDigestForgotten)
{
    const struct {
        const char *label;
        uint32_t stored;
        bool shown, ticked;
        uint32_t wantValue, wantForget;
    } rows[] = {
        {"new task left off", 0, true, false, 0, 0},
        {"ticked", 0, true, true, 1, 1},
        {"cleared", 1, true, false, 0, 1},
        {"kept on", 1, true, true, 1, 0},
        {"other program: box hidden, value untouched", 1, false, false, 1, 0},
    };
    for (const auto &row : rows) {
        TaskRecord task = NewSubmittedTask();
        task.AppName = row.shown ? "quillon.exe" : "notepad.exe";
        task.SendIfChanged = row.stored;
        EditorState state = LoadEditorState(&task, kNow);
        EXPECT_EQ(state.sendIfChanged, row.shown && row.stored != 0) << row.label;
        state.intervalText = "5";
        state.sendIfChanged = row.ticked;
        StoreEditorState(state, &task);
        EXPECT_EQ(task.SendIfChanged, row.wantValue) << row.label;
        EXPECT_EQ(task.ForgetTextDigest, row.wantForget) << row.label;
    }
}

TEST(EditorLogic, ControlStatesFollowTheRowsAndTheUnit)
{
    TaskRecord task = NewSubmittedTask();
    EditorState s = LoadEditorState(&task, kNow);

    s.unitPosition = 2;  // days: "at" time instead of the window
    auto st = EditorControlStates(s);
    EXPECT_TRUE(Visible(st, IDC_TASK_EVERY_AT));
    EXPECT_FALSE(Visible(st, IDC_TASK_WINDOW));
    EXPECT_FALSE(Visible(st, IDC_TASK_WINDOW_FROM));
    s.unitPosition = 1;  // hours: the window instead of the "at" time
    st = EditorControlStates(s);
    EXPECT_FALSE(Visible(st, IDC_TASK_EVERY_AT_LABEL));
    EXPECT_FALSE(Visible(st, IDC_TASK_EVERY_AT));
    for (int id : {IDC_TASK_ALL_DAY, IDC_TASK_WINDOW, IDC_TASK_WINDOW_FROM, IDC_TASK_WINDOW_TO_LABEL, IDC_TASK_WINDOW_TO})
        EXPECT_TRUE(Visible(st, id)) << id;
    EXPECT_TRUE(Enabled(st, IDC_TASK_INTERVAL));
    EXPECT_FALSE(Enabled(st, IDC_TASK_WINDOW_FROM)) << "24 hours a day";
    EXPECT_FALSE(Enabled(st, IDC_TASK_WEEKDAY));
    EXPECT_FALSE(Enabled(st, IDC_TASK_DAY_OF_MONTH));
    EXPECT_FALSE(Enabled(st, IDC_TASK_START_DATE)) << "starting now";
    EXPECT_TRUE(Enabled(st, IDC_TASK_DAY_SUNDAY));

    s.hasTimes = true;
    s.hasDates = true;
    st = EditorControlStates(s);
    EXPECT_TRUE(Enabled(st, IDC_TASK_WINDOW_FROM));
    EXPECT_TRUE(Enabled(st, IDC_TASK_END_DATE));

    s.row = ScheduleRow::Weekday;
    st = EditorControlStates(s);
    EXPECT_TRUE(Enabled(st, IDC_TASK_WEEK_ORDINAL));
    EXPECT_TRUE(Enabled(st, IDC_TASK_WEEKDAY_AT));
    EXPECT_FALSE(Enabled(st, IDC_TASK_INTERVAL));
    EXPECT_FALSE(Enabled(st, IDC_TASK_WINDOW_FROM));
    EXPECT_FALSE(Enabled(st, IDC_TASK_DAY_SUNDAY)) << "weekday boxes are off on the weekday row";
    EXPECT_FALSE(Enabled(st, IDC_TASK_DAY_SATURDAY));

    s.row = ScheduleRow::Day;
    st = EditorControlStates(s);
    EXPECT_TRUE(Enabled(st, IDC_TASK_DAY_OF_MONTH));
    EXPECT_TRUE(Enabled(st, IDC_TASK_DAY_AT));
    EXPECT_FALSE(Enabled(st, IDC_TASK_WEEKDAY));
    EXPECT_TRUE(Enabled(st, IDC_TASK_DAY_SATURDAY));
}

} // namespace
} // namespace quillon
