#include "scheduler/engine/log_lines.h"

#include "common/text.h"

namespace quillon {

namespace {

std::string DateText(const DateTime &t)
{
    return FormatText("%02d/%02d/%04d %02d:%02d", t.wMonth, t.wDay, t.wYear, t.wHour, t.wMinute);
}

} // namespace

std::string BusyTickLine(const DateTime &minute) { return "    " + DateText(minute) + " (busy)"; }

std::string TickStartLine(const DateTime &minute) { return "TASQED.EXE: " + DateText(minute) + " "; }

std::string TaskDueLine(const std::string &taskKey, const DateTime &minute)
{
    return "    Task " + taskKey + ": " + DateText(minute);
}

std::string CreateProcessFailedLine(const std::string &commandLine)
{
    return "TASQED.EXE: CreateProcess \"" + commandLine + "\" failed.";
}

std::string PreventsHangupLine(const std::string &taskKey, const DateTime &minute)
{
    return TaskDueLine(taskKey, minute) + " prevents hangup";
}

std::string MessageNotDeletedLine(const std::string &messageKey)
{
    return "Cannot delete message " + messageKey + "; it stays in the queue until the scheduler starts again";
}

} // namespace quillon
