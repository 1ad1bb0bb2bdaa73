#include "scheduler/config/configuration.h"

#include <cstring>

#include "common/names.h"

namespace quillon {

namespace {

// Reads a text into scratch and copies it only on success, so that a failed read
// leaves the previous in-memory text as it was.
bool ReadTextInto(const ConfigurationSource &source, const char *name, char (&target)[kTextBufferSize])
{
    char scratch[kTextBufferSize] = "";
    if (!source.ReadText(name, scratch))
        return false;
    CopyBounded(target, scratch);
    return true;
}

// The scrambled password keeps its stored length.
bool ReadPasswordInto(const ConfigurationSource &source, SchedulerSettings *settings)
{
    char scratch[kTextBufferSize] = "";
    uint32_t length = 0;
    if (!source.ReadTextBytes(config_values::kPassword, scratch, &length) || length >= kTextBufferSize)
        return false;
    std::memcpy(settings->password, scratch, sizeof scratch);
    settings->passwordLength = length;
    return true;
}

} // namespace

bool ConfigurationSource::ReadTextBytes(const char *name, char *buffer, uint32_t *length) const
{
    if (!ReadText(name, buffer))
        return false;
    *length = static_cast<uint32_t>(std::strlen(buffer));
    return true;
}

bool LoadConfigurationFrom(const ConfigurationSource &source, SchedulerSettings *settings)
{
    using namespace config_values;
    SchedulerSettings &s = *settings;

    if (!ReadTextInto(source, kDialupName, s.dialupName))
        return false;
    uint32_t usesDialup;
    if (!source.ReadNumber(kUsesDialup, &usesDialup))
        return false;
    // The value counts the other way round from its name: 0 means "dial".
    s.dialUp = usesDialup == 0;
    char timeout[kTextBufferSize];
    if (!source.ReadText(kTimeout, timeout))
        return false;
    s.hangUpMinutes = DecimalTextValue(timeout);

    s.logging = source.HasData(kLogging) && ReadTextInto(source, kLogging, s.logFile);
    if (!s.logging)
        s.logFile[0] = '\0';
    s.neverDial = source.HasData(kDontDial);
    s.neverSend = source.HasData(kDontSend);

    uint32_t mailSystem;
    if (!source.ReadNumber(kMailSystem, &mailSystem))
        return false;
    if (mailSystem != 0) {
        if (!ReadTextInto(source, kProfile, s.profile) || !ReadPasswordInto(source, &s))
            return false;
    }
    if (!ReadTextInto(source, kSender, s.sender) || !ReadTextInto(source, kDestination, s.destination))
        return false;

    // Optional: an absent value keeps the previous text or number.
    ReadTextInto(source, kMailLibrary, s.mailLibrary);
    uint32_t number;
    if (source.ReadNumber(kRetryCount, &number))
        s.retryCount = number;
    if (source.ReadNumber(kRetryTime, &number))
        s.retryMinutes = number;
    if (source.ReadNumber(kTaskRetryCount, &number))
        s.taskRetryCount = number;
    if (source.ReadNumber(kTaskRetryTime, &number))
        s.taskRetryMinutes = number;
    return true;
}

} // namespace quillon
