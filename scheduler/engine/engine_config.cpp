#include "scheduler/engine/engine_config.h"

#include <windows.h>

#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "common/text.h"

namespace quillon {

namespace {

// No reader accepts more than 260 bytes of data for a configuration text.
bool ReadText(const RegistryKey &key, const char *name, std::string *text)
{
    char buffer[kTextBufferSize] = {};
    if (key.ReadString(name, buffer) != ERROR_SUCCESS)
        return false;
    text->assign(buffer);
    return true;
}

bool ReadSwitch(const RegistryKey &key, const char *name) { return key.HasValueWithData(name); }

// The scrambled password as stored: every byte before the terminating zero, zero bytes
// inside included.
bool ReadScrambledPassword(const RegistryKey &key, std::string *scrambled)
{
    DWORD type = 0, size = 0;
    if (key.QueryValueInfo(config_values::kPassword, &type, &size) != ERROR_SUCCESS || size > kTextBufferSize)
        return false;
    std::vector<char> data(size + 1, '\0');
    DWORD read = size;
    if (RegQueryValueExA(key.Get(), config_values::kPassword, nullptr, &type, reinterpret_cast<BYTE *>(data.data()),
                         &read) != ERROR_SUCCESS)
        return false;
    if (read > 0 && data[read - 1] == '\0')
        --read;
    scrambled->assign(data.data(), read);
    return true;
}

} // namespace

bool LoadEngineSettings(EngineSettings *settings)
{
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kConfigurationKeyPath) != ERROR_SUCCESS)
        return false;
    if (!ReadText(key, config_values::kDialupName, &settings->dialupName))
        return false;
    DWORD usesDialup = 0;
    if (key.ReadDword(config_values::kUsesDialup, &usesDialup) != ERROR_SUCCESS)
        return false;
    settings->dialUp = usesDialup == 0;
    std::string timeout;
    if (!ReadText(key, config_values::kTimeout, &timeout))
        return false;
    long minutes = DecimalTextValue(timeout.c_str());
    settings->hangUpMinutes = minutes > 0 ? static_cast<uint32_t>(minutes) : 0;

    settings->logging = ReadSwitch(key, config_values::kLogging) &&
                        ReadText(key, config_values::kLogging, &settings->logFile);
    if (!settings->logging)
        settings->logFile.clear();
    settings->dontDial = ReadSwitch(key, config_values::kDontDial);
    settings->dontSend = ReadSwitch(key, config_values::kDontSend);

    DWORD mailSystem = 0;
    if (key.ReadDword(config_values::kMailSystem, &mailSystem) != ERROR_SUCCESS)
        return false;
    if (mailSystem != 0) {
        if (!ReadText(key, config_values::kProfile, &settings->profile))
            return false;
        if (!ReadScrambledPassword(key, &settings->scrambledPassword))
            return false;
    }
    if (!ReadText(key, config_values::kSender, &settings->sender) ||
        !ReadText(key, config_values::kDestination, &settings->destination))
        return false;
    ReadText(key, config_values::kMailLibrary, &settings->mailLibrary);

    DWORD number = 0;
    if (key.ReadDword(config_values::kRetryCount, &number) == ERROR_SUCCESS)
        settings->retryCount = number;
    if (key.ReadDword(config_values::kRetryTime, &number) == ERROR_SUCCESS)
        settings->retryMinutes = number;
    if (key.ReadDword(config_values::kTaskRetryCount, &number) == ERROR_SUCCESS)
        settings->taskRetryCount = number;
    if (key.ReadDword(config_values::kTaskRetryTime, &number) == ERROR_SUCCESS)
        settings->taskRetryMinutes = number;
    return true;
}

} // namespace quillon
