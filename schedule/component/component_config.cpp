#include "schedule/component/component_config.h"

#include <windows.h>

#include <cstring>

#include "common/names.h"
#include "common/config/configuration_key.h"
#include "common/config/shared_settings.h"

namespace quillon {

ComponentConfig ReadComponentConfig()
{
    ComponentConfig config;
    ConfigurationKey key;
    if (!key.Open())
        return config;

    config.logging = ReadLogFile(key, config.logPath);
    if (ReadMessageRoom(key, &config.maxMessageLength) != MessageRoomRead::kRoom)
        return config;
    ReadClipSubject(key, &config.clipSubject);
    return config;
}

} // namespace quillon
