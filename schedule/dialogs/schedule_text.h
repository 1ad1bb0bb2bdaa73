// Texts of the schedule list's columns, built from the resource module's strings.
// Portable: the caller supplies the strings (by id) and the already formatted time, so
// the rules can be tested without a window or a locale.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "schedule/task_record.h"

namespace quillon {

// Loads a resource string by id; the empty text when the module lacks it.
using StringLookup = std::function<std::string(unsigned id)>;

// Replaces each %1 .. %9 of `templ` once, the first occurrence of %n by args[n-1] (a
// missing argument counts as empty), then trims spaces at both ends. "%%" and a % before
// anything else stay as they stand.
std::string FillScheduleTemplate(const std::string &templ, const std::vector<std::string> &args);

// The schedule column of a task: templates 182/183 filled with the unit, ordinal and
// weekday strings of its TaskType. `timeText` is Value2 formatted as the user's time
// without seconds (the caller formats it). A TaskType outside 1..12, which the editor
// never writes, gives the empty text rather than a half-filled template; so do weekday
// and day-of-month values beyond their lists.
std::string BuildScheduleText(const TaskRecord &task, const StringLookup &strings, const std::string &timeText);

// "Yes" (IDS_YES) when the task excepts any weekday or month, that is when
// (DaysOfWeek AND 0x7F) != 0x7F or (MonthsOfYear AND 0xFFF) != 0xFFF; otherwise " ".
std::string ExceptionsText(const TaskRecord &task, const std::string &yes);

// A column title string "title/width", split at its LAST slash. False when it has no
// slash (the list then stops inserting columns); a width that is not a number gives 0.
bool SplitColumnTitle(const std::string &text, std::string *title, int *width);

// Which tasks to mark Deleted when the list closes with OK: `rows` holds, in row order,
// the index into the task list of every row still in the view (rows are never sorted, so
// the indices ascend). Every task before the next remaining row and every task after the
// last row is removed. The result has `taskCount` entries, true for a removed task.
std::vector<bool> TasksRemovedFromRows(size_t taskCount, const std::vector<size_t> &rows);

} // namespace quillon
