#include "common/config/configuration_key.h"
#include "scheduler/config/configuration.h"

namespace quillon {

bool LoadConfiguration(SchedulerSettings *settings)
{
    ConfigurationKey key;
    if (!key.Open())
        return false;
    return LoadConfigurationFrom(key, settings);
}

} // namespace quillon
