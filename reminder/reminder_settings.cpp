#include "reminder/reminder_settings.h"

#include "common/names.h"
#include "common/registry.h"
#include "common/text.h"
#include "scheduler/config/config_registry.h"

namespace quillon {

namespace {

constexpr char kShellFoldersKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kPersonalValue[] = "Personal";

} // namespace

bool ReadReminderSettings(ReminderSettings *settings)
{
    char maxMsgLen[kTextBufferSize] = "";
    if (!ReadConfigText(config_values::kMaxMsgLen, maxMsgLen))
        return false;
    settings->maxMsgLen = DecimalTextValue(maxMsgLen);
    settings->introSuppressed = ReadConfigNumber(config_values::kRemindIntro, 0) != 0;
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
