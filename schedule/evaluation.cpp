#include "schedule/evaluation.h"

#include <algorithm>
#include <string>

#include "common/text.h"

namespace quillon {

namespace {

// Writes the trace lines of one task: only when the component logs and the task asks.
class TaskTracer {
public:
    TaskTracer(TraceSink *sink, const TaskRecord &task) : sink_(task.Logging != 0 ? sink : nullptr) {}
    bool On() const { return sink_ != nullptr; }
    void Line(const std::string &line)
    {
        if (sink_ != nullptr)
            sink_->WriteLine(line);
    }

private:
    TraceSink *sink_;
};

int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if (a % b != 0 && a < 0)
        --q;
    return q;
}

int MinuteOfDay(const DateTime &dt) { return dt.wHour * 60 + dt.wMinute; }

bool IsWeekendDay(unsigned dayOfWeek) { return dayOfWeek == 0 || dayOfWeek == 6; }

// A mask of 0 allows everything; a bit beyond the mask's 32 counts as clear.
bool MaskAllows(uint32_t mask, unsigned bit)
{
    if (mask == 0)
        return true;
    return bit < 32 && ((mask >> bit) & 1u) != 0;
}

bool IsIntervalType(uint32_t type)
{
    return type == kTaskEveryMinutes || type == kTaskEveryHours || type == kTaskEveryDays ||
           type == kTaskEveryWeeks;
}

// Interval products wrap as unsigned 64-bit numbers; a wrapped time simply fails to
// convert back (or lands on a meaningless date) and never crashes the evaluation.
Ticks Times(uint64_t count, Ticks unit) { return count * unit; }

// The last run assumed for a task that never ran: the latest grid point of its interval
// before T (types 1 and 2) or one period before T. False when it cannot be represented.
bool AssumeLastRun(TaskRecord *task, const DateTime &t, Ticks tTicks)
{
    const int64_t now = MinuteOfDay(t);
    const Ticks midnight = tTicks - static_cast<Ticks>(now) * kTicksPerMinute;
    Ticks assumed = 0;
    switch (task->TaskType) {
    case kTaskEveryMinutes:
    case kTaskEveryHours: {
        const int64_t period = static_cast<int64_t>(task->Value) * (task->TaskType == kTaskEveryHours ? 60 : 1);
        int64_t offsetMinutes;
        if (task->HasTimes != 0) {
            const int64_t start = MinuteOfDay(task->StartDate);
            offsetMinutes = start + FloorDiv(now - start, period) * period;
        } else {
            offsetMinutes = FloorDiv(now - period, period) * period;
        }
        assumed = midnight + static_cast<Ticks>(offsetMinutes) * kTicksPerMinute;
        break;
    }
    case kTaskEveryDays:
        assumed = tTicks - Times(task->Value, kTicksPerDay);
        break;
    case kTaskEveryWeeks:
        assumed = tTicks - Times(task->Value, kTicksPerWeek);
        break;
    default:
        assumed = tTicks - kTicksPerDay;
        break;
    }
    DateTime lastRun;
    if (!TicksToDateTime(assumed, &lastRun))
        return false;
    task->LastRun = lastRun;
    return true;
}

bool InOtherMonth(Ticks later, const DateTime &t, bool *other)
{
    DateTime dt;
    if (!TicksToDateTime(later, &dt))
        return false;
    *other = dt.wMonth != t.wMonth;
    return true;
}

// The candidate of the type's rule. Returns false when the rule rejects the task
// (no candidate); otherwise *candidate is S.
bool CandidateTime(const TaskRecord &task, const DateTime &t, Ticks tTicks, Ticks last, Ticks *candidate)
{
    const Ticks midnight = tTicks - static_cast<Ticks>(MinuteOfDay(t)) * kTicksPerMinute;
    const Ticks at = midnight + static_cast<Ticks>(task.Value2 & 0xFFFFu) * kTicksPerMinute;
    const DateTime &lastDate = task.LastRun;
    const bool lastBeforeToday = CompareDate(lastDate, t) < 0;

    switch (task.TaskType) {
    case kTaskEveryMinutes:
        *candidate = last + Times(task.Value, kTicksPerMinute);
        return true;
    case kTaskEveryHours:
        *candidate = last + Times(task.Value, kTicksPerHour);
        return true;
    case kTaskEveryDays:
    case kTaskEveryWeeks: {
        const Ticks unit = task.TaskType == kTaskEveryDays ? kTicksPerDay : kTicksPerWeek;
        DateTime next;
        if (!TicksToDateTime(last + Times(task.Value, unit), &next) || CompareDate(next, t) > 0)
            return false;
        *candidate = at;
        return true;
    }
    case kTaskDayOfMonth: {
        // A day the month lacks (the 31st in April) falls on the month's last day.
        const uint64_t wanted = static_cast<uint64_t>(task.Value) + 1;
        const int lastDay = DaysInMonth(t.wYear, t.wMonth);
        DateTime target = t;
        target.wDay = static_cast<uint16_t>(std::min<uint64_t>(wanted, static_cast<uint64_t>(lastDay)));
        if (!lastBeforeToday || CompareDate(target, t) > 0 || CompareDate(target, lastDate) <= 0)
            return false;
        if (task.NotWeekend != 0 && IsWeekendDay(t.wDayOfWeek))
            return false;
        *candidate = at;
        return true;
    }
    case kTaskFirstWeekday:
    case kTaskSecondWeekday:
    case kTaskThirdWeekday:
    case kTaskFourthWeekday:
    case kTaskFifthWeekday: {
        const int first = static_cast<int>(task.TaskType - kTaskFirstWeekday) * 7 + 1;
        const int lastOfWeek = task.TaskType == kTaskFifthWeekday ? 31 : first + 6;
        if (t.wDayOfWeek != task.Value || !lastBeforeToday || t.wDay < first || t.wDay > lastOfWeek)
            return false;
        *candidate = at;
        return true;
    }
    case kTaskLastWeekday: {
        bool other = false;
        if (t.wDayOfWeek != task.Value || !lastBeforeToday || !InOtherMonth(tTicks + kTicksPerWeek, t, &other) || !other)
            return false;
        *candidate = at;
        return true;
    }
    case kTaskLastDayOfMonth: {
        if (!lastBeforeToday)
            return false;
        DateTime next1;
        if (!TicksToDateTime(tTicks + kTicksPerDay, &next1))
            return false;
        if (next1.wMonth != t.wMonth) {
            if (task.NotWeekend != 0 && IsWeekendDay(t.wDayOfWeek))
                return false;
            *candidate = at;
            return true;
        }
        // Today is not the last day: with NotWeekend, the last working day stands in for
        // a month that ends on a weekend. Today must itself be a working day, or a month
        // ending on a Sunday would also run on the Saturday before it.
        if (task.NotWeekend == 0 || IsWeekendDay(t.wDayOfWeek) || !IsWeekendDay(next1.wDayOfWeek))
            return false;
        DateTime next2;
        if (!TicksToDateTime(tTicks + 2 * kTicksPerDay, &next2))
            return false;
        if (next2.wMonth != t.wMonth) {
            *candidate = at;
            return true;
        }
        if (!IsWeekendDay(next2.wDayOfWeek))
            return false;
        bool other = false;
        if (!InOtherMonth(tTicks + 3 * kTicksPerDay, t, &other) || !other)
            return false;
        *candidate = at;
        return true;
    }
    default:
        return false;
    }
}

} // namespace

int32_t ResultCode(TaskQueryResult result)
{
    switch (result) {
    case TaskQueryResult::kDue:
        return kResultDue;
    case TaskQueryResult::kNoTasks:
        return kResultNoTasks;
    case TaskQueryResult::kNothingDue:
    default:
        return kResultNothingDue;
    }
}

bool EvaluateTask(TaskRecord *task, const DateTime &t, TraceSink *trace)
{
    TaskTracer tracer(trace, *task);
    if (tracer.On())
        tracer.Line(std::string("Task ") + task->KeyName + ":");

    if (task->Deleted != 0) {
        tracer.Line("  is marked as deleted");
        return false;
    }
    if (task->Disabled != 0) {
        tracer.Line("  is marked as disabled");
        return false;
    }
    if (task->HasDates != 0 && (CompareDate(task->StartDate, t) > 0 || CompareDate(task->EndDate, t) < 0)) {
        tracer.Line("  is outside of date range");
        return false;
    }
    if (task->HasTimes != 0) {
        const int now = MinuteOfDay(t);
        if (MinuteOfDay(task->StartDate) > now || now > MinuteOfDay(task->EndDate)) {
            tracer.Line("  is outside of time range");
            return false;
        }
    }
    if (!MaskAllows(task->MonthsOfYear, t.wMonth - 1u)) {
        tracer.Line("  is disabled for this month");
        return false;
    }
    if (!MaskAllows(task->DaysOfWeek, t.wDayOfWeek)) {
        tracer.Line("  is disabled for this day of the week");
        return false;
    }
    // An interval of 0 can only be written by hand; it would divide by zero below (types
    // 1 and 2) or make the task due at every tick (types 3 and 4). Such a task never runs.
    if (IsIntervalType(task->TaskType) && task->Value == 0)
        return false;

    Ticks tTicks = 0;
    if (!DateTimeToTicks(t, &tTicks))
        return false;
    if (IsZeroDateTime(task->LastRun) && !AssumeLastRun(task, t, tTicks))
        return false;
    task->LastRun.wSecond = 0;
    task->LastRun.wMilliseconds = 0;
    Ticks last = 0;
    if (!DateTimeToTicks(task->LastRun, &last))
        return false;   // a hand-written LastRun that is no date: never due
    if (last == tTicks) {
        tracer.Line("  has already been run");
        return false;
    }

    Ticks candidate = 0;
    if (!CandidateTime(*task, t, tTicks, last, &candidate))
        return false;
    const bool due = candidate <= tTicks;
    if (tracer.On()) {
        DateTime s;
        if (due) {
            tracer.Line("  is scheduled to run now");
        } else if (TicksToDateTime(candidate, &s)) {
            tracer.Line(FormatText("  is scheduled to run on %d/%d/%d at %d:%d", s.wDay, s.wMonth, s.wYear,
                                   s.wHour, s.wMinute));
        }
    }
    return due;
}

TaskQueryResult FindDueTask(TaskRecord *const *tasks, size_t count, DateTime *st, RetryQueue *queue,
                            TraceSink *trace, size_t *dueIndex)
{
    if (count == 0)
        return TaskQueryResult::kNoTasks;
    st->wSecond = 0;
    st->wMilliseconds = 0;

    if (queue != nullptr) {
        // A due retry comes first, whatever the task's schedule or state. Entries of tasks
        // that no longer exist are dropped; an entry that cannot be dropped (or comes back)
        // ends the search instead of looping for ever.
        std::vector<std::string> removed;
        std::string name;
        while (queue->FindDueEntry(&name)) {
            for (size_t i = 0; i < count; ++i) {
                if (TaskKeyNameEquals(*tasks[i], name.c_str())) {
                    *dueIndex = i;
                    return TaskQueryResult::kDue;
                }
            }
            if (std::find(removed.begin(), removed.end(), name) != removed.end() || !queue->RemoveEntry(name))
                break;
            removed.push_back(name);
        }
    }

    if (!IsValidDateTime(*st))
        return TaskQueryResult::kNothingDue;
    for (size_t i = 0; i < count; ++i) {
        if (EvaluateTask(tasks[i], *st, trace)) {
            *dueIndex = i;
            return TaskQueryResult::kDue;
        }
    }
    return TaskQueryResult::kNothingDue;
}

} // namespace quillon
