// The task records in the registry: HKCU\Software\Kestrova\Tasqeduler\Tasks, one subkey
// per task named after its submission time.
//
// API
//   LoadTaskList      reload: every task key in enumeration order.
//   WriteTask         the 17 schedule values of one task into an open key.
//   SaveTaskList      delete keys of tasks marked Deleted, rewrite all others.
//   WriteLastRun      SetLastRun: record a run in memory and in the task's key.
//   StoreNewTaskKey   a new task, written whole under a never-used key name.
//   CreateTaskKey     a new, never-used, empty task key named after a local time.
//
// Results: true stands for S_OK, false for E_FAIL. Keys are opened per operation and
// closed before returning. No function throws (bad_alloc aside).
#pragma once

#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/registry.h"
#include "schedule/task_record.h"

namespace quillon {

// Clears *tasks, then reads every subkey of Tasks in enumeration order. False when the
// Tasks key cannot be opened (list empty), or at the first key that cannot be opened,
// lacks a mandatory value or has a name longer than 15 characters: the tasks read before
// it stay in *tasks and later keys are not read. A value that cannot be read as expected
// (a binary date of another size than 16 bytes, a number larger than 4 bytes, an
// oversized string) counts as missing. `Timeout` defaults to 300000, `Logging` and
// `SendIfChanged` to 0. Staging keys (names beginning with '~': a new task being written
// into the store, or left by a writer that was killed) are skipped: they are not tasks.
bool LoadTaskList(std::vector<TaskRecord> *tasks);

// Reads the task key `keyName` alone (same rules as the load). False when it is missing
// or malformed.
bool LoadTask(const char *keyName, TaskRecord *task);

// Writes NeedsInternet, DisplayName, AppName, CommandLine, HasDates, HasTimes, NotWeekend,
// Disabled, StartDate, EndDate, LastRun, TaskType, Value, Value2, DaysOfWeek,
// MonthsOfYear, Timeout in that order; the first failed write ends it with false (the
// values before it stay written). Then, only when task.ForgetTextDigest is set (the
// editor changed the setting), SendIfChanged is written and LastTextDigest deleted.
// Logging, Selection, ChopMessage and LastTextDigest are never written, and no value the
// store does not know is touched.
bool WriteTask(const RegistryKey &taskKey, const TaskRecord &task);

// Saves the list in order: a task marked Deleted has its key deleted (failure ignored),
// any other has its key written: an existing key value by value in place (it stays
// complete at every moment and keeps the values the store does not own), a missing key
// built whole aside and renamed into place, so that a save stopped at any point (the
// process killed) leaves every task key complete. An empty list is true at once.
// False when Tasks cannot be opened, or a key cannot be created or written (later tasks
// are then not saved), or a task to write has no key name. The caller reloads afterwards.
bool SaveTaskList(const TaskRecord *const *tasks, size_t count);
inline bool SaveTaskList(const std::vector<TaskRecord *> &tasks)
{
    return SaveTaskList(tasks.data(), tasks.size());
}

// SetLastRun: copies `lastRun` into task->LastRun, then sets `LastRun` in the task's key.
// The key is opened, never created: a task whose key was deleted meanwhile (or that has
// no key name) gets no key holding LastRun alone, and the result is false. The result of
// the value write itself is not checked.
bool WriteLastRun(TaskRecord *task, const DateTime &lastRun);

// Stores a new task: its values are written into a staging key, which is then renamed to
// the task's name, `submitted` (TimestampKeyName) or, when that is taken, the next free
// second after it. A writer killed at any point leaves no incomplete task key. False
// (nothing stored) when Tasks cannot be created, a write fails or no free name was
// found; on success *keyName holds the name.
bool StoreNewTaskKey(const DateTime &submitted, const TaskRecord &task, std::string *keyName);

// Creates an empty task key named after `submitted` (TimestampKeyName). When that name is taken
// (a second submission within the same second, from any process), the next free second
// after it is used, so a stored task is never overwritten and names keep time order.
// On success *key holds the new, empty key and *keyName its name; false when the Tasks key
// cannot be created or no free name was found. Until the caller has written it, the key
// lacks every mandatory value and ends any load at its position: new tasks are stored
// with StoreNewTaskKey.
bool CreateTaskKey(const DateTime &submitted, RegistryKey *key, std::string *keyName);

} // namespace quillon
