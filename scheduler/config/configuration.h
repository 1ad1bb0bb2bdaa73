// The scheduler's in-memory configuration (SchedulerSettings) and the order in which
// LoadConfiguration fills it from HKCU\Software\Kestrova\Tasqeduler\Configuration.
// The minute tick, the connection keeper and the dispatcher read this one structure;
// the shell keeps it for the process's life and only LoadConfiguration changes it.
//
// This header includes no Windows header: the load walks a ConfigurationSource, which
// the registry implements on Windows (ConfigurationKey in config_registry.h, the one
// reading layer of every deliverable) and tests implement with a map.
#pragma once

#include <cstdint>
#include <string>

#include "common/text.h"

namespace quillon {

struct SchedulerSettings {
    // Internet connection.
    bool dialUp = false;            // dial-up switch: UsesDialup is 0
    std::string dialupName;
    uint32_t hangUpMinutes = 5;     // Timeout, decimal text (negative reads as 0)
    bool dontDial = false;          // DontDial present with data

    // Logging: on exactly when the Logging value exists with data; logFile is its text.
    bool logging = false;
    std::string logFile;

    // Mail delivery.
    bool dontSend = false;          // DontSend present with data
    std::string mailLibrary;        // empty means "MAILSIMPLE.DLL"
    std::string profile;
    // The stored Password in its scrambled form, all of its bytes (the value's size
    // minus its terminating zero). A password byte equal to the key byte at its position
    // scrambles to 0, so this is not a C string: unscramble it with UnscramblePassword
    // (common/scramble.h) over its size.
    std::string scrambledPassword;
    std::string sender;
    std::string destination;
    uint32_t retryCount = 1;        // RetryCount: message retries before giving up
    uint32_t retryMinutes = 15;     // RetryTime: minutes between message attempts

    // Task retries.
    uint32_t taskRetryCount = 1;
    uint32_t taskRetryMinutes = 15;
};

// Read access to the values of one open Configuration key. Every deliverable reads
// through the same rules (ConfigurationKey implements them over the registry):
//  - a text is read into a 260-byte buffer whatever its stored type; data that leaves
//    no room for the terminator (more than 259 bytes besides one trailing zero) reads
//    as missing; data stored without its terminator reads as the same text with it;
//  - a number is a value of 1 to 4 bytes, zero-extended (little-endian); a value of
//    0 bytes or of more than 4 bytes reads as missing;
//  - a decimal text is a text converted by its leading digits (no digits gives 0).
class ConfigurationSource {
public:
    virtual ~ConfigurationSource() = default;
    // A text value into buffer[kTextBufferSize], ending at its first zero byte; false
    // (buffer empty) when it is missing or over its buffer.
    virtual bool ReadText(const char *name, char *buffer) const = 0;
    // A 32-bit value; false when missing or not of 1 to 4 bytes.
    virtual bool ReadNumber(const char *name, uint32_t *value) const = 0;
    // True when the value exists and holds at least one byte of data.
    virtual bool HasData(const char *name) const = 0;
    // A text value with every byte before its terminating zero (zero bytes inside
    // included) into buffer[kTextBufferSize], left terminated; *length receives their
    // count. Same size rule as ReadText. This default reads up to the first zero byte.
    virtual bool ReadTextBytes(const char *name, char *buffer, uint32_t *length) const;

    // A decimal text's value by its leading digits; false when the text is missing.
    bool ReadDecimal(const char *name, long *value) const;
};

// LoadConfiguration on an opened key, in the order the scheduler reads the values: dial-up
// name, UsesDialup, Timeout, Logging, DontDial, DontSend, MailSystem, then Profile and
// Password only for a MAPI mail system, Sender, Destination, MailLibrary and the four retry
// values. With MailSystem 2 (push notification) Sender may be missing or empty and then
// reads as "Quillon". Returns true when every required value was read. On false, *settings keeps
// whatever was read before the missing value. Optional values that are absent keep the
// previous in-memory value (mail library, retry settings) or turn their switch off
// (logging, never-dial, never-send).
bool LoadConfigurationFrom(const ConfigurationSource &source, SchedulerSettings *settings);

} // namespace quillon
