#include "scheduler/engine/engine_config.h"

#include "scheduler/config/config_registry.h"

namespace quillon {

bool LoadEngineSettings(EngineSettings *settings) { return LoadConfiguration(settings); }

} // namespace quillon
