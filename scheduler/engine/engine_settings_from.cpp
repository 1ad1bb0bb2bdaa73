#include <algorithm>

#include "scheduler/engine/engine_config.h"

namespace quillon {

EngineSettings EngineSettingsFrom(const SchedulerSettings &c)
{
    EngineSettings s;
    s.dialUp = c.dialUp;
    s.dialupName = c.dialupName;
    s.hangUpMinutes = c.hangUpMinutes > 0 ? static_cast<uint32_t>(c.hangUpMinutes) : 0;
    s.dontDial = c.neverDial;
    s.logging = c.logging;
    s.logFile = c.logFile;
    s.dontSend = c.neverSend;
    s.mailLibrary = c.mailLibrary;
    s.profile = c.profile;
    s.scrambledPassword.assign(c.password, std::min<size_t>(c.passwordLength, sizeof c.password - 1));
    s.sender = c.sender;
    s.destination = c.destination;
    s.retryCount = c.retryCount;
    s.retryMinutes = c.retryMinutes;
    s.taskRetryCount = c.taskRetryCount;
    s.taskRetryMinutes = c.taskRetryMinutes;
    return s;
}

} // namespace quillon
