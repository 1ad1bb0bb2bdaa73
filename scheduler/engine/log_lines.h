// The scheduler's log lines, exactly as other tools and people read them. Dates are
// month/day/year hour:minute, two digits with leading zero except the four-digit year.
// None of the texts carries the CR LF; the writer adds it.
#pragma once

#include <string>

#include "common/datetime.h"

namespace quillon {

// "    MM/DD/YYYY hh:mm (busy)": a tick arrived while the previous one still ran.
std::string BusyTickLine(const DateTime &minute);
// "TASQED.EXE: MM/DD/YYYY hh:mm " (with the trailing blank): start of a tick.
std::string TickStartLine(const DateTime &minute);
// "    Task <key>: MM/DD/YYYY hh:mm": a task is due at the minute examined.
std::string TaskDueLine(const std::string &taskKey, const DateTime &minute);
// "TASQED.EXE: CreateProcess "<command line>" failed."
std::string CreateProcessFailedLine(const std::string &commandLine);
// "    Task <key>: MM/DD/YYYY hh:mm prevents hangup"
std::string PreventsHangupLine(const std::string &taskKey, const DateTime &minute);

constexpr char kProcessTimedOutLine[] = "    Process timed out.";
constexpr char kTaskSucceededLine[] = "Task completed successfully";
constexpr char kTaskFailedLine[] = "Task failed";
constexpr char kConnectionFailedLine[] = "    Internet Connection Failed";
constexpr char kSentLine[] = "Succeeded in sending message";
constexpr char kGaveUpLine[] = "Gave up on sending message";
// The mail library did not try the message (its server or service is unavailable for
// now): this message and the ones after it stay queued as they were, retries untouched,
// and the next minute's tick tries them again.
constexpr char kDeferredLine[] = "Deferred sending message and those after it to the next minute";
// "Cannot delete message <key>; it stays in the queue until the scheduler starts again":
// a sent or given-up message whose key could not be deleted (logged once per process).
std::string MessageNotDeletedLine(const std::string &messageKey);

} // namespace quillon
