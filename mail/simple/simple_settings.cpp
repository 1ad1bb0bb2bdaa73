#include "mail/simple/simple_settings.h"

#include "common/names.h"
#include "common/text.h"
#include "common/config/configuration_key.h"
#include "common/config/shared_settings.h"

namespace quillon {

std::string LoadRefusalLogFile()
{
    ConfigurationKey key;
    key.Open();
    char logFile[kTextBufferSize];
    ReadLogFile(key, logFile);
    return logFile;
}

} // namespace quillon
