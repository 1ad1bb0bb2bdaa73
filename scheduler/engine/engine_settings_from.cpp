#include <algorithm>
#include <cstring>

#include "scheduler/engine/engine_config.h"

#include "common/text.h"

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

SchedulerSettings SchedulerSettingsFrom(const EngineSettings &s)
{
    SchedulerSettings c;
    CopyBounded(c.dialupName, s.dialupName);
    c.dialUp = s.dialUp;
    c.hangUpMinutes = static_cast<long>(std::min<uint32_t>(s.hangUpMinutes, 0x7FFFFFFF));
    c.neverDial = s.dontDial;
    c.logging = s.logging;
    CopyBounded(c.logFile, s.logFile);
    c.neverSend = s.dontSend;
    CopyBounded(c.mailLibrary, s.mailLibrary);
    CopyBounded(c.profile, s.profile);
    size_t length = std::min(s.scrambledPassword.size(), sizeof c.password - 1);
    std::memcpy(c.password, s.scrambledPassword.data(), length);
    c.password[length] = '\0';
    c.passwordLength = static_cast<uint32_t>(length);
    CopyBounded(c.sender, s.sender);
    CopyBounded(c.destination, s.destination);
    c.retryCount = s.retryCount;
    c.retryMinutes = s.retryMinutes;
    c.taskRetryCount = s.taskRetryCount;
    c.taskRetryMinutes = s.taskRetryMinutes;
    return c;
}

} // namespace quillon
