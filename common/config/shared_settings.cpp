#include "common/config/shared_settings.h"

#include <cstring>

#include "common/names.h"

namespace quillon {

bool ReadMessageLengthLimit(const ConfigurationSource &source, long *limit)
{
    return source.ReadDecimal(config_values::kMaxMsgLen, limit);
}

MessageRoomRead ReadMessageRoom(const ConfigurationSource &source, long *room)
{
    long limit;
    if (!ReadMessageLengthLimit(source, &limit))
        return MessageRoomRead::kNoLimit;
    *room = limit;
    // A push notification carries no sender in its text: the room is all of MaxMsgLen.
    uint32_t mailSystem = kMailSystemSmtp;
    if (source.ReadNumber(config_values::kMailSystem, &mailSystem) && mailSystem == kMailSystemPush)
        return MessageRoomRead::kRoom;
    char sender[kTextBufferSize];
    if (!source.ReadText(config_values::kSender, sender))
        return MessageRoomRead::kNoSender;
    *room = limit - static_cast<long>(std::strlen(sender) + 1);
    return MessageRoomRead::kRoom;
}

bool ReadLogFile(const ConfigurationSource &source, char *logFile)
{
    logFile[0] = '\0';
    if (!source.HasData(config_values::kLogging) || !source.ReadText(config_values::kLogging, logFile)) {
        logFile[0] = '\0';
        return false;
    }
    return true;
}

bool ReadClipSubject(const ConfigurationSource &source, bool *clipSubject)
{
    uint32_t value;
    if (!source.ReadNumber(config_values::kClipSubject, &value))
        return false;
    *clipSubject = value != 0;
    return true;
}

} // namespace quillon
