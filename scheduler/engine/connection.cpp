#include "scheduler/engine/connection.h"

#include <algorithm>
#include <string>

#include "scheduler/engine/log_lines.h"

namespace quillon {

ConnectionKeeper::ConnectionKeeper(const SchedulerSettings &settings, EngineLog &log, Dialer &dialer,
                                   ScheduleSource &schedule, MailDispatcher &dispatcher)
    : settings_(settings), log_(log), dialer_(dialer), schedule_(schedule), dispatcher_(dispatcher)
{
}

void ConnectionKeeper::EnsureConnection(bool needsInternet)
{
    if (!settings_.dialUp || !needsInternet || connected_)
        return;
    if (settings_.dontDial) {
        connected_ = true;
        return;
    }
    uint64_t handle = 0;
    uint32_t result = dialer_.Dial(settings_.dialupName, &handle);
    handle_ = handle;
    connected_ = dialled_ = (result == 0);
    if (!connected_) {
        connected_ = ProbeStartPage();
        if (!connected_ && settings_.logging)
            log_.Append(kConnectionFailedLine, true);
    }
}

void ConnectionKeeper::HangUpDecision(const DateTime &minute)
{
    if (!connected_)
        return;
    bool mayHangUp = !dispatcher_.IsMailDue();

    Ticks base = 0;
    if (DateTimeToTicks(minute, &base)) {
        uint32_t lookAhead = std::min(settings_.hangUpMinutes, kMaxHangUpLookAheadMinutes);
        for (uint32_t k = 1; k <= lookAhead; ++k) {
            DateTime ahead = {};
            if (!TicksToDateTime(base + k * kTicksPerMinute, &ahead))
                break;
            ScheduledTask *task = nullptr;
            if (schedule_.GetTaskForTime(ahead, &task, false) && task != nullptr) {
                if (settings_.logging) {
                    std::string key;
                    task->GetString(kTaskPropKeyName, &key);
                    log_.Append(PreventsHangupLine(key, ahead), true);
                }
                mayHangUp = false;
                break;
            }
        }
    }

    if (settings_.dialUp && mayHangUp) {
        if (!settings_.dontDial && dialled_)
            dialer_.HangUp(handle_);
        connected_ = false;
    }
}

} // namespace quillon
