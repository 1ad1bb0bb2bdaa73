// Which task is due at a given minute: the portable heart of GetTaskForTime.
//
// API
//   FindDueTask     GetTaskForTime over a loaded task list: zero the
//                   seconds of *st, serve a due retry first, else the first task in list
//                   order whose schedule makes it due. The caller has already (re)loaded
//                   the list; an empty list gives kNoTasks without asking the queue.
//   EvaluateTask    the per-task evaluation at minute `t` (seconds already zero).
//   ResultCode      the HRESULT value of a TaskQueryResult (0, E_FAIL, 259).
//
// Evaluation changes memory only: the assumed LastRun of never-run tasks and the zeroed
// seconds of LastRun. Trace lines go to `trace` (null: logging off) for tasks whose
// `Logging` flag is set. Nothing here includes a Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/datetime.h"
#include "schedule/retry_queue.h"
#include "schedule/task_record.h"
#include "schedule/trace_sink.h"

namespace quillon {

enum class TaskQueryResult {
    kDue,         // S_OK: *dueIndex names the task
    kNothingDue,  // E_FAIL
    kNoTasks,     // 259, a success code: the list is empty
};

constexpr int32_t kResultDue = 0;
constexpr int32_t kResultNothingDue = static_cast<int32_t>(0x80004005u);
constexpr int32_t kResultNoTasks = 259;

int32_t ResultCode(TaskQueryResult result);

// tasks[0..count) in list order (non-null). *st is the local time to evaluate, every field
// filled by the caller (wDayOfWeek is used as given); its seconds and milliseconds are set
// to 0. queue may be null (no retry queue). On kDue, *dueIndex is the index of the task.
// A retry entry whose task is not in the list is removed from the queue.
// A *st that is not a valid date-time makes no scheduled task due (retries still are).
TaskQueryResult FindDueTask(TaskRecord *const *tasks, size_t count, DateTime *st,
                            RetryQueue *queue, TraceSink *trace, size_t *dueIndex);
inline TaskQueryResult FindDueTask(const std::vector<TaskRecord *> &tasks, DateTime *st,
                                   RetryQueue *queue, TraceSink *trace, size_t *dueIndex)
{
    return FindDueTask(tasks.data(), tasks.size(), st, queue, trace, dueIndex);
}

// True when `task` is due at `t` (a valid date-time with second and millisecond 0).
// May set task->LastRun (assumed last run of a never-run task; seconds zeroed).
bool EvaluateTask(TaskRecord *task, const DateTime &t, TraceSink *trace);

} // namespace quillon
