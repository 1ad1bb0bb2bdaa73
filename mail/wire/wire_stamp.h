// What the Windows side gives every message mailwire builds: the system's ANSI code page
// as a MIME charset, the local time with its zone's offset from UTC at that moment, and
// a unique part for the Message-ID.
#pragma once

#include <string>

#include "common/datetime.h"
#include "mail/wire/wire_message.h"

namespace quillon {

// The ANSI code page (GetACP), its MIME name and, for a double-byte code page, its lead
// bytes.
wire::TextCharset SystemTextCharset();

struct MessageStamp {
    DateTime localTime;
    int utcOffsetMinutes = 0;   // local minus UTC at localTime, daylight saving included
    std::string uniqueId;       // differs for every message of every process
};

MessageStamp StampMessage();

} // namespace quillon
