// The engine's settings from the scheduler's configuration store.
#pragma once

#include "scheduler/config/configuration.h"
#include "scheduler/engine/engine_settings.h"

namespace quillon {

// The engine's view of SchedulerSettings. The scrambled password is taken at its stored
// length (passwordLength bytes), so a byte that scrambles to 0 does not cut it short.
EngineSettings EngineSettingsFrom(const SchedulerSettings &configuration);

// The reverse, so that a load can start from what is in memory.
SchedulerSettings SchedulerSettingsFrom(const EngineSettings &settings);

#if defined(_WIN32)
// LoadConfiguration over *settings: optional values that are absent keep what *settings
// held, and a false result (incomplete configuration) leaves whatever was read before
// the missing value. True when the configuration is complete.
bool LoadEngineSettings(EngineSettings *settings);
#endif

} // namespace quillon
