#include "common/config/configuration_source.h"

#include <cstring>

namespace quillon {

bool ConfigurationSource::ReadTextBytes(const char *name, char *buffer, uint32_t *length) const
{
    if (!ReadText(name, buffer))
        return false;
    *length = static_cast<uint32_t>(std::strlen(buffer));
    return true;
}

bool ConfigurationSource::ReadDecimal(const char *name, long *value) const
{
    char text[kTextBufferSize];
    if (!ReadText(name, text))
        return false;
    *value = DecimalTextValue(text);
    return true;
}

} // namespace quillon
