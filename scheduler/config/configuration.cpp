#include "scheduler/config/configuration.h"

#include <cstring>

#include "common/config/shared_settings.h"
#include "common/names.h"

namespace quillon {

namespace {

// Reads a text and replaces `target` only on success, so that a failed read leaves the
// previous in-memory text as it was.
bool ReadTextInto(const ConfigurationSource &source, const char *name, std::string *target)
{
    char scratch[kTextBufferSize] = "";
    if (!source.ReadText(name, scratch))
        return false;
    target->assign(scratch);
    return true;
}

// The scrambled password keeps its stored length.
bool ReadPasswordInto(const ConfigurationSource &source, std::string *target)
{
    char scratch[kTextBufferSize] = "";
    uint32_t length = 0;
    if (!source.ReadTextBytes(config_values::kPassword, scratch, &length) || length >= kTextBufferSize)
        return false;
    target->assign(scratch, length);
    std::memset(scratch, 0, sizeof scratch);
    return true;
}

} // namespace

bool LoadConfigurationFrom(const ConfigurationSource &source, SchedulerSettings *settings)
{
    using namespace config_values;
    SchedulerSettings &s = *settings;

    if (!ReadTextInto(source, kDialupName, &s.dialupName))
        return false;
    uint32_t usesDialup;
    if (!source.ReadNumber(kUsesDialup, &usesDialup))
        return false;
    // The value counts the other way round from its name: 0 means "dial".
    s.dialUp = usesDialup == 0;
    long timeout;
    if (!source.ReadDecimal(kTimeout, &timeout))
        return false;
    s.hangUpMinutes = timeout > 0 ? static_cast<uint32_t>(timeout) : 0;

    char logFile[kTextBufferSize];
    s.logging = ReadLogFile(source, logFile);
    s.logFile = logFile;
    s.dontDial = source.HasData(kDontDial);
    s.dontSend = source.HasData(kDontSend);

    uint32_t mailSystem;
    if (!source.ReadNumber(kMailSystem, &mailSystem))
        return false;
    // A push service needs no mail logon, and its sender is only a name: an empty or
    // missing one is the product's.
    const bool push = mailSystem == kMailSystemPush;
    if (mailSystem != kMailSystemSmtp && !push) {
        if (!ReadTextInto(source, kProfile, &s.profile) || !ReadPasswordInto(source, &s.scrambledPassword))
            return false;
    }
    if (!ReadTextInto(source, kSender, &s.sender)) {
        if (!push)
            return false;
        s.sender.clear();
    }
    if (push && s.sender.empty())
        s.sender = kPushDefaultSender;
    if (!ReadTextInto(source, kDestination, &s.destination))
        return false;

    // Optional: an absent value keeps the previous text or number.
    ReadTextInto(source, kMailLibrary, &s.mailLibrary);
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
