#include "mail/simple/simple_settings.h"

#include "common/names.h"
#include "common/text.h"
#include "scheduler/config/config_registry.h"

namespace quillon {

std::string LoadRefusalLogFile()
{
    char logFile[kTextBufferSize];
    if (!ReadConfigText(config_values::kLogging, logFile))
        return std::string();
    return logFile;
}

} // namespace quillon
