// The task editor's rules without its window: how a task shows in the controls, when OK
// is allowed, which controls are enabled or shown, and how the controls are stored back
// into the task. The dialog procedure only copies EditorState to and from the controls.
// Portable: no Windows header.
#pragma once

#include <string>
#include <vector>

#include "common/datetime.h"
#include "schedule/task_record.h"

namespace quillon {

// Which of the three schedule radios is chosen.
enum class ScheduleRow {
    Every,    // "Every" n minutes/hours/days/weeks (types 1-4)
    Weekday,  // "On the" first..last weekday (types 6-11)
    Day,      // "On the" 1st..31st/last day (types 5 and 12)
};

// Positions in the drop-down lists.
constexpr int kUnitCount = 4;            // minutes, hours, days, weeks
constexpr int kWeekOrdinalCount = 6;     // first .. fifth, last
constexpr int kWeekdayCount = 7;         // Sunday .. Saturday
constexpr int kDayOfMonthCount = 32;     // 1st .. 31st, last
constexpr int kLastDayPosition = 31;

// Everything the controls show. Picker values are whole date-times (the pickers need a
// valid date even when they show only a time).
struct EditorState {
    std::string title;
    ScheduleRow row = ScheduleRow::Every;
    std::string intervalText;     // edit 1006
    int unitPosition = 0;         // list 1007
    int weekOrdinalPosition = 0;  // list 1010
    int weekdayPosition = 0;      // list 1011
    int dayPosition = 0;          // list 1012
    DateTime everyAt{};           // picker 1033
    DateTime weekdayAt{};         // picker 1039
    DateTime dayAt{};             // picker 1008
    bool dayExcepted[7] = {};     // boxes 1014..1020 checked
    bool monthExcepted[12] = {};  // boxes 1021..1032 checked
    bool hasDates = false;        // radio 1063 "From" (else 1064)
    DateTime startDate{};         // picker 1034
    DateTime endDate{};           // picker 1035
    bool hasTimes = false;        // radio 1065 "From" (else 1066)
    DateTime windowStart{};       // picker 1037
    DateTime windowEnd{};         // picker 1038
    bool showSendIfChanged = false;  // box 1320 shown: the task runs the page sender
    bool sendIfChanged = false;      // box 1320 checked
};

// Whether `appName` (a bare name or a path, perhaps in double quotes) names the page
// sender quillon.exe, ignoring case: only its tasks offer "Send only when the text has
// changed".
bool IsPageSenderProgram(const std::string &appName);

// The controls for `task`, given the current local time `now`. Changes the task as
// opening the editor does, and these changes stay even when the editor is cancelled:
// TaskType 0 becomes 1 (a new task starts as every N minutes); without HasDates the date
// parts of StartDate/EndDate become today's; without HasTimes their time parts become
// now's. A TaskType above 12 shows as "Every" with the unit list on "minutes"; list
// positions beyond a list's end show as its first entry.
EditorState LoadEditorState(TaskRecord *task, const DateTime &now);

// Whether OK may be pressed: with "Every", the first four characters of the interval
// read as a nonzero number; at least one weekday and one month not excepted; with a date
// range, start date not after end date; with a daily window, start time not after end
// time (hours and minutes).
bool EditorStateValid(const EditorState &state);

// Stores the controls into the task as OK does. Value2 is left alone for types 1 and 2;
// NotWeekend, Disabled, NeedsInternet, Timeout and the strings are never touched. When
// the shown box "Send only when the text has changed" differs from SendIfChanged, that is
// set and ForgetTextDigest marked, so saving the task drops the kept digest.
void StoreEditorState(const EditorState &state, TaskRecord *task);

// The enabled and visible state a control of the editor must have.
struct ControlState {
    int id;
    bool enabled;
    bool visible;
};

// States of every control that the radios, the unit list and the two range radios
// govern. The daily-window pickers are enabled only with "Every" and the window's
// "From" together; the date pickers only with the date range's "From".
std::vector<ControlState> EditorControlStates(const EditorState &state);

} // namespace quillon
