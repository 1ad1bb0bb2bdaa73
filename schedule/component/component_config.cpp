#include "schedule/component/component_config.h"

#include <windows.h>

#include <cstring>

#include "common/names.h"
#include "common/registry.h"

namespace quillon {

ComponentConfig ReadComponentConfig()
{
    ComponentConfig config;
    RegistryKey key;
    if (OpenUserKey(kConfigurationKeyPath, &key) != ERROR_SUCCESS)
        return config;

    DWORD type = 0, size = 0;
    if (key.ReadString(config_values::kLogging, config.logPath) == ERROR_SUCCESS &&
        key.QueryValueInfo(config_values::kLogging, &type, &size) == ERROR_SUCCESS && size != 0)
        config.logging = true;
    else
        config.logPath[0] = '\0';

    char text[kTextBufferSize];
    if (key.ReadString(config_values::kMaxMsgLen, text) != ERROR_SUCCESS)
        return config;
    config.maxMessageLength = DecimalTextValue(text);

    if (key.ReadString(config_values::kSender, text) != ERROR_SUCCESS)
        return config;
    // The text as read, with its terminating zero: a hand-written value stored without
    // the zero still costs the same room in a message.
    config.maxMessageLength -= static_cast<long>(std::strlen(text) + 1);

    DWORD clip = 0;
    if (key.ReadDword(config_values::kClipSubject, &clip) == ERROR_SUCCESS)
        config.clipSubject = clip != 0;
    return config;
}

} // namespace quillon
