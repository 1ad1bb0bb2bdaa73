#include "common/config/configuration_key.h"

#include <cstring>

#include "common/names.h"
#include "common/scramble.h"

namespace quillon {

namespace {

// The reading rules, once.
bool ReadTextFrom(const RegistryKey &key, const char *name, char *buffer)
{
    buffer[0] = '\0';
    if (!key.IsOpen())
        return false;
    return key.ReadString(name, buffer, static_cast<DWORD>(kTextBufferSize)) == ERROR_SUCCESS;
}

bool ReadTextBytesFrom(const RegistryKey &key, const char *name, char *buffer, uint32_t *length)
{
    buffer[0] = '\0';
    *length = 0;
    if (!key.IsOpen())
        return false;
    DWORD got = 0;
    if (key.ReadStringBytes(name, buffer, static_cast<DWORD>(kTextBufferSize), &got) != ERROR_SUCCESS)
        return false;
    *length = got;
    return true;
}

// A number of 0 bytes holds no number and one of more than 4 bytes is not a 32-bit
// number: both read as missing. 1 to 3 bytes (a short binary value written by hand) are
// zero-extended, as the little-endian value they spell.
bool ReadNumberFrom(const RegistryKey &key, const char *name, uint32_t *value)
{
    if (!key.IsOpen())
        return false;
    DWORD size = 0;
    if (key.QueryValueInfo(name, nullptr, &size) != ERROR_SUCCESS || size == 0 || size > sizeof(DWORD))
        return false;
    DWORD number = 0;
    if (key.ReadDword(name, &number) != ERROR_SUCCESS)
        return false;
    *value = number;
    return true;
}

bool HasDataIn(const RegistryKey &key, const char *name) { return key.IsOpen() && key.HasValueWithData(name); }

} // namespace

bool ConfigurationKey::Open() { return key_.Open(HKEY_CURRENT_USER, kConfigurationKeyPath) == ERROR_SUCCESS; }

bool ConfigurationKey::ReadText(const char *name, char *buffer) const { return ReadTextFrom(key_, name, buffer); }

bool ConfigurationKey::ReadNumber(const char *name, uint32_t *value) const
{
    return ReadNumberFrom(key_, name, value);
}

bool ConfigurationKey::HasData(const char *name) const { return HasDataIn(key_, name); }

bool ConfigurationKey::ReadTextBytes(const char *name, char *buffer, uint32_t *length) const
{
    return ReadTextBytesFrom(key_, name, buffer, length);
}

std::string ConfigurationKey::TextOr(const char *name, const char *fallback) const
{
    char buffer[kTextBufferSize];
    if (ReadText(name, buffer))
        return buffer;
    return fallback != nullptr ? fallback : "";
}

uint32_t ConfigurationKey::NumberOr(const char *name, uint32_t fallback) const
{
    uint32_t value;
    return ReadNumber(name, &value) ? value : fallback;
}

bool ConfigurationKey::ReadPassword(char *plain) const
{
    char scrambled[kTextBufferSize];
    uint32_t length = 0;
    bool ok = ReadTextBytes(config_values::kPassword, scrambled, &length);
    UnscramblePassword(scrambled, ok ? length : 0, plain, kTextBufferSize);
    SecureZeroMemory(scrambled, sizeof scrambled);
    return ok;
}

bool ReadConfigText(const char *name, char *buffer)
{
    ConfigurationKey key;
    key.Open();
    return key.ReadText(name, buffer);
}

std::string ReadConfigText(const char *name, const char *defaultText)
{
    ConfigurationKey key;
    key.Open();
    return key.TextOr(name, defaultText);
}

uint32_t ReadConfigNumber(const char *name, uint32_t defaultValue)
{
    ConfigurationKey key;
    key.Open();
    return key.NumberOr(name, defaultValue);
}

long ReadConfigDecimal(const char *name, long defaultValue)
{
    ConfigurationKey key;
    key.Open();
    long value;
    return key.ReadDecimal(name, &value) ? value : defaultValue;
}

bool ConfigValueHasData(const char *name)
{
    ConfigurationKey key;
    key.Open();
    return key.HasData(name);
}

} // namespace quillon
