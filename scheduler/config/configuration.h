// The scheduler's in-memory configuration (SchedulerSettings) and the order in which
// LoadConfiguration fills it from HKCU\Software\Kestrova\Tasqeduler\Configuration.
//
// This header includes no Windows header: the load walks a ConfigurationSource, which
// the registry implements on Windows (config_registry.h) and tests implement with a map.
#pragma once

#include <cstdint>

#include "common/text.h"

namespace quillon {

struct SchedulerSettings {
    char dialupName[kTextBufferSize] = "";
    bool dialUp = false;              // UsesDialup == 0
    long hangUpMinutes = 5;           // Timeout, decimal text
    bool logging = false;             // Logging present with data
    char logFile[kTextBufferSize] = "";
    bool neverDial = false;           // DontDial present with data
    bool neverSend = false;           // DontSend present with data
    char profile[kTextBufferSize] = "";
    char password[kTextBufferSize] = "";  // scrambled form, as stored
    // Bytes of the scrambled password: a password byte equal to the key byte at its
    // position scrambles to 0, so `password` is not a C string. Unscramble this many.
    uint32_t passwordLength = 0;
    char sender[kTextBufferSize] = "";
    char destination[kTextBufferSize] = "";
    char mailLibrary[kTextBufferSize] = "";  // empty means MAILSIMPLE.DLL
    uint32_t retryCount = 1;          // message retries
    uint32_t retryMinutes = 15;
    uint32_t taskRetryCount = 1;
    uint32_t taskRetryMinutes = 15;
};

// Read access to the values of one open Configuration key.
class ConfigurationSource {
public:
    virtual ~ConfigurationSource() = default;
    // A string value into buffer[kTextBufferSize]; false when it is missing or its data
    // does not fit (a value over 260 bytes reads as missing). buffer is left terminated.
    virtual bool ReadText(const char *name, char *buffer) const = 0;
    // A 32-bit value; false when missing or larger than 4 bytes.
    virtual bool ReadNumber(const char *name, uint32_t *value) const = 0;
    // True when the value exists and holds at least one byte of data.
    virtual bool HasData(const char *name) const = 0;
    // A string value with every byte before its terminating zero (zero bytes inside
    // included) into buffer[kTextBufferSize], left terminated; *length receives their
    // count. Same size rule as ReadText. This default reads up to the first zero byte.
    virtual bool ReadTextBytes(const char *name, char *buffer, uint32_t *length) const;
};

// Steps 2 to 12 of LoadConfiguration on an opened key. Returns true when every required
// value was read. On false, *settings keeps whatever was read before the missing value.
// Optional values that are absent keep the previous in-memory value (mail library,
// retry settings) or turn their switch off (logging, never-dial, never-send).
bool LoadConfigurationFrom(const ConfigurationSource &source, SchedulerSettings *settings);

} // namespace quillon
