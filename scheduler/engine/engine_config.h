// The engine's settings from the scheduler's configuration store.
#pragma once

#include "scheduler/config/configuration.h"
#include "scheduler/engine/engine_settings.h"

namespace quillon {

// The engine's view of SchedulerSettings. The scrambled password is taken at its stored
// length (passwordLength bytes), so a byte that scrambles to 0 does not cut it short.
EngineSettings EngineSettingsFrom(const SchedulerSettings &configuration);

#if defined(_WIN32)
// LoadConfiguration from the defaults, then EngineSettingsFrom on what it read (a shell
// that keeps its SchedulerSettings across loads calls the two itself). True when the
// configuration is complete.
bool LoadEngineSettings(EngineSettings *settings);
#endif

} // namespace quillon
