// The Internet connection of the scheduler: dials the configured dial-up entry before a
// pass needs the Internet, and hangs up a line it dialled once no message is due and no
// task falls due within the hang-up minutes. With the dial-up switch off (always
// connected) it does nothing at all.
#pragma once

#include <cstdint>

#include "common/datetime.h"
#include "scheduler/engine/engine_seams.h"
#include "scheduler/config/configuration.h"
#include "scheduler/engine/mail_dispatch.h"

namespace quillon {

// The look-ahead of the hang-up decision asks the schedule once per minute; it is cut at
// one day so that an absurd hang-up setting cannot stall the scheduler's thread.
constexpr uint32_t kMaxHangUpLookAheadMinutes = 24 * 60;

class ConnectionKeeper {
public:
    // Every reference must outlive the keeper.
    ConnectionKeeper(const SchedulerSettings &settings, EngineLog &log, Dialer &dialer, ScheduleSource &schedule,
                     MailDispatcher &dispatcher);

    // Makes sure of the connection when dial-up is configured, the pass needs the
    // Internet and it is not up yet: assumed with DontDial, else dialled, else probed.
    void EnsureConnection(bool needsInternet);
    // After each pass over `minute`: keeps the line while mail is due or a task falls
    // due within the hang-up minutes, else hangs up (a dialled line) or forgets it.
    void HangUpDecision(const DateTime &minute);
    bool ProbeStartPage() { return dialer_.ProbeStartPage(); }

    bool Connected() const { return connected_; }
    bool Dialled() const { return dialled_; }

private:
    const SchedulerSettings &settings_;
    EngineLog &log_;
    Dialer &dialer_;
    ScheduleSource &schedule_;
    MailDispatcher &dispatcher_;
    bool connected_ = false;
    bool dialled_ = false;
    uint64_t handle_ = 0;
};

} // namespace quillon
