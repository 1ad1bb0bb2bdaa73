#include "scheduler/config/config_registry.h"

#include <cstring>

#include "common/names.h"

namespace quillon {

bool RegistryConfigurationSource::ReadText(const char *name, char *buffer) const
{
    return key_.ReadString(name, buffer, static_cast<DWORD>(kTextBufferSize)) == ERROR_SUCCESS;
}

bool RegistryConfigurationSource::ReadTextBytes(const char *name, char *buffer, uint32_t *length) const
{
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(kTextBufferSize);
    char data[kTextBufferSize];
    if (RegQueryValueExA(key_.Get(), name, nullptr, &type, reinterpret_cast<BYTE *>(data), &size) != ERROR_SUCCESS)
        return false;
    if (size > 0 && data[size - 1] == '\0')
        --size;
    if (size >= kTextBufferSize)   // no room for the terminator: too long, reads as missing
        return false;
    std::memcpy(buffer, data, size);
    buffer[size] = '\0';
    *length = size;
    return true;
}

bool RegistryConfigurationSource::ReadNumber(const char *name, uint32_t *value) const
{
    DWORD number;
    if (key_.ReadDword(name, &number) != ERROR_SUCCESS)
        return false;
    *value = number;
    return true;
}

bool RegistryConfigurationSource::HasData(const char *name) const
{
    return key_.HasValueWithData(name);
}

bool LoadConfiguration(SchedulerSettings *settings)
{
    RegistryKey key;
    if (OpenUserKey(kConfigurationKeyPath, &key) != ERROR_SUCCESS)
        return false;
    RegistryConfigurationSource source(key);
    return LoadConfigurationFrom(source, settings);
}

bool ReadConfigText(const char *name, char *buffer)
{
    buffer[0] = '\0';
    RegistryKey key;
    if (OpenUserKey(kConfigurationKeyPath, &key) != ERROR_SUCCESS)
        return false;
    return key.ReadString(name, buffer, static_cast<DWORD>(kTextBufferSize)) == ERROR_SUCCESS;
}

std::string ReadConfigText(const char *name, const char *defaultText)
{
    char buffer[kTextBufferSize];
    if (ReadConfigText(name, buffer))
        return buffer;
    return defaultText != nullptr ? defaultText : "";
}

uint32_t ReadConfigNumber(const char *name, uint32_t defaultValue)
{
    RegistryKey key;
    DWORD value;
    if (OpenUserKey(kConfigurationKeyPath, &key) != ERROR_SUCCESS || key.ReadDword(name, &value) != ERROR_SUCCESS)
        return defaultValue;
    return value;
}

long ReadConfigDecimal(const char *name, long defaultValue)
{
    char buffer[kTextBufferSize];
    if (!ReadConfigText(name, buffer))
        return defaultValue;
    return DecimalTextValue(buffer);
}

bool ConfigValueHasData(const char *name)
{
    RegistryKey key;
    return OpenUserKey(kConfigurationKeyPath, &key) == ERROR_SUCCESS && key.HasValueWithData(name);
}

} // namespace quillon
