// Reading the engine's settings from HKCU\Software\Kestrova\Tasqeduler\Configuration,
// in the order and with the rules of the scheduler's LoadConfiguration: required values
// end the read with false, optional ones keep what `settings` held.
#pragma once

#include "scheduler/engine/engine_settings.h"

namespace quillon {

// True when the configuration is complete. The scrambled Password is kept with all of
// its stored bytes (the value's size minus its terminating zero), so a password byte
// that scrambles to 0 does not cut it short.
bool LoadEngineSettings(EngineSettings *settings);

} // namespace quillon
