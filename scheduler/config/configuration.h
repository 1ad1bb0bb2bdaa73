// The scheduler's in-memory configuration (SchedulerSettings) and the order in which
// LoadConfiguration fills it from HKCU\Software\Kestrova\Tasqeduler\Configuration.
// The minute tick, the connection keeper and the dispatcher read this one structure;
// the shell keeps it for the process's life and only LoadConfiguration changes it.
//
// This header includes no Windows header: the load walks a ConfigurationSource
// (common/config), which the registry implements on Windows (ConfigurationKey, the one
// reading layer of every deliverable) and tests implement with a map.
#pragma once

#include <cstdint>
#include <string>

#include "common/config/configuration_source.h"
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

// LoadConfiguration on an opened key, in the order the scheduler reads the values: dial-up
// name, UsesDialup, Timeout, Logging, DontDial, DontSend, MailSystem, then Profile and
// Password only for a MAPI mail system, Sender, Destination, MailLibrary and the four retry
// values. With MailSystem 2 (push notification) Sender may be missing or empty and then
// reads as "Quillon". Returns true when every required value was read. On false, *settings keeps
// whatever was read before the missing value. Optional values that are absent keep the
// previous in-memory value (mail library, retry settings) or turn their switch off
// (logging, never-dial, never-send).
bool LoadConfigurationFrom(const ConfigurationSource &source, SchedulerSettings *settings);

// Opens the Configuration key and runs LoadConfigurationFrom (Windows only). False when
// the key cannot be opened or a required value is missing; *settings then holds what
// LoadConfigurationFrom says above.
bool LoadConfiguration(SchedulerSettings *settings);

} // namespace quillon
