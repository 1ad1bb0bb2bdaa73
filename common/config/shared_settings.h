// The Configuration values several deliverables derive the same way, each derived once
// here. Each reader reports what it found and leaves the decision to its caller: the
// page sender refuses a MaxMsgLen below 1, while the component, the add-in and the
// reminder use the value as it reads. Portable: they read through a ConfigurationSource.
#pragma once

#include <cstdint>

#include "common/config/configuration_source.h"

namespace quillon {

// MaxMsgLen, a decimal text, by its leading digits (text without digits gives 0, a
// negative number stays negative). False (*limit untouched) when it is missing or
// over 260 bytes.
bool ReadMessageLengthLimit(const ConfigurationSource &source, long *limit);

// What ReadMessageRoom found.
enum class MessageRoomRead {
    kNoLimit,   // MaxMsgLen is missing: *room untouched
    kNoSender,  // Sender is missing: *room holds MaxMsgLen as it reads
    kRoom,      // *room holds MaxMsgLen less the stored size of Sender (with MailSystem
                // 2, push notification: all of MaxMsgLen, Sender or not)
};

// The room a message body has: MaxMsgLen less the stored size of Sender, which is its
// bytes with the terminating zero (a hand-written value stored without the zero still
// costs the same room in a message). Not bounded below: a long Sender gives a room of 0
// or less, which the caller must handle. With MailSystem 2 (push notification) the
// room is MaxMsgLen itself.
MessageRoomRead ReadMessageRoom(const ConfigurationSource &source, long *room);

// The log file: the text of Logging when the value is present with data; logging is on
// exactly then. False (logFile[kTextBufferSize] empty) when Logging is missing, empty
// or over 260 bytes.
bool ReadLogFile(const ConfigurationSource &source, char *logFile);

// ClipSubject: nonzero means the page title is not sent. False (*clipSubject
// untouched) when the value is missing or not a number of 1 to 4 bytes.
bool ReadClipSubject(const ConfigurationSource &source, bool *clipSubject);

} // namespace quillon
