// The scheduler's settings as the engine uses them: the minute tick, the connection
// keeper and the dispatcher read the scheduler's one in-memory configuration. The shell
// fills it with LoadConfiguration and keeps it for the process's life; the engine only
// reads it.
#pragma once

#include "scheduler/config/configuration.h"

namespace quillon {

using EngineSettings = SchedulerSettings;

} // namespace quillon
