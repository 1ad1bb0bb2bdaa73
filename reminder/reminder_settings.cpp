#include "reminder/reminder_settings.h"

#include "common/names.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/config/configuration_key.h"
#include "common/config/shared_settings.h"

namespace quillon {

namespace {

constexpr char kShellFoldersKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kPersonalValue[] = "Personal";

} // namespace

bool ReadReminderSettings(ReminderSettings *settings)
{
    ConfigurationKey key;
    key.Open();
    if (!ReadMessageLengthLimit(key, &settings->maxMsgLen))
        return false;
    settings->introSuppressed = key.NumberOr(config_values::kRemindIntro, 0) != 0;
    return true;
}

bool StoreIntroSuppressed()
{
    RegistryKey configuration;
    if (OpenUserKey(kConfigurationKeyPath, &configuration) != ERROR_SUCCESS)
        return false;
    return configuration.WriteDword(config_values::kRemindIntro, 1) == ERROR_SUCCESS;
}

std::string PersonalFolder()
{
    RegistryKey shellFolders;
    char folder[kTextBufferSize] = "";
    if (OpenUserKey(kShellFoldersKeyPath, &shellFolders) != ERROR_SUCCESS ||
        shellFolders.ReadString(kPersonalValue, folder) != ERROR_SUCCESS)
        return std::string();
    return folder;
}

} // namespace quillon
