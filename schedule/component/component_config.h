// The configuration values the schedule component reads once, when it is loaded, from
// HKCU\Software\Kestrova\Tasqeduler\Configuration. The scheduler owns these values and
// writes them from its configuration dialog; the component only reads them.
#pragma once

#include "common/text.h"

namespace quillon {

struct ComponentConfig {
    // True when `Logging` was read with a nonzero size; trace lines then go to logPath.
    bool logging = false;
    char logPath[kTextBufferSize] = {};
    // `MaxMsgLen` less the stored size of `Sender` (its bytes with the terminating zero):
    // the room a message body has; with MailSystem 2 (push) all of MaxMsgLen. 500 when
    // nothing can be read.
    long maxMessageLength = 500;
    // `ClipSubject` nonzero: the title part of extracted text is dropped.
    bool clipSubject = false;
};

// Reads the values as the component does at load. Missing key or values leave the
// defaults above; `Sender` is only considered when `MaxMsgLen` was read, and
// `ClipSubject` only when `Sender` was. Each text is read into a 260-byte buffer, so a
// longer stored text counts as unreadable. Never fails.
ComponentConfig ReadComponentConfig();

} // namespace quillon
