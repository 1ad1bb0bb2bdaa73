#include "schedule/component/component_config.h"

#include <windows.h>

#include <cstring>

#include "common/names.h"
#include "scheduler/config/config_registry.h"

namespace quillon {

ComponentConfig ReadComponentConfig()
{
    using namespace config_values;
    ComponentConfig config;
    ConfigurationKey key;
    if (!key.Open())
        return config;

    config.logging = key.ReadText(kLogging, config.logPath) && key.HasData(kLogging);
    if (!config.logging)
        config.logPath[0] = '\0';

    long maxMsgLen;
    if (!key.ReadDecimal(kMaxMsgLen, &maxMsgLen))
        return config;
    config.maxMessageLength = maxMsgLen;

    // A push notification carries no sender in its text: the room is the whole length.
    if (key.NumberOr(kMailSystem, kMailSystemSmtp) != kMailSystemPush) {
        char sender[kTextBufferSize];
        if (!key.ReadText(kSender, sender))
            return config;
        // The text as read, with its terminating zero: a hand-written value stored without
        // the zero still costs the same room in a message.
        config.maxMessageLength -= static_cast<long>(std::strlen(sender) + 1);
    }

    uint32_t clip;
    if (key.ReadNumber(kClipSubject, &clip))
        config.clipSubject = clip != 0;
    return config;
}

} // namespace quillon
