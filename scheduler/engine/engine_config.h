// The engine's settings from the configuration store.
#pragma once

#include "scheduler/engine/engine_settings.h"

namespace quillon {

#if defined(_WIN32)
// LoadConfiguration over *settings: optional values that are absent keep what *settings
// held, and a false result (incomplete configuration) leaves whatever was read before
// the missing value. True when the configuration is complete.
bool LoadEngineSettings(EngineSettings *settings);
#endif

} // namespace quillon
