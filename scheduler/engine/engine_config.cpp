#include "scheduler/engine/engine_config.h"

#include "scheduler/config/config_registry.h"

namespace quillon {

bool LoadEngineSettings(EngineSettings *settings)
{
    SchedulerSettings configuration = SchedulerSettingsFrom(*settings);
    bool complete = LoadConfiguration(&configuration);
    *settings = EngineSettingsFrom(configuration);
    return complete;
}

} // namespace quillon
