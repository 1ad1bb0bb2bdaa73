// The scheduler's settings as the engine uses them: the part of the in-memory
// configuration that the minute tick, the connection keeper and the dispatcher read.
// The shell fills one from the configuration store and keeps it for the process's life;
// the engine only reads it.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

struct EngineSettings {
    // Internet connection.
    bool dialUp = false;            // dial-up switch: UsesDialup is 0
    std::string dialupName;
    uint32_t hangUpMinutes = 5;     // Timeout
    bool dontDial = false;          // DontDial present with data

    // Logging: on exactly when the Logging value exists; logFile is its text.
    bool logging = false;
    std::string logFile;

    // Mail delivery.
    bool dontSend = false;          // DontSend present with data
    std::string mailLibrary;        // empty means "MAILSIMPLE.DLL"
    std::string profile;
    // The stored Password in its scrambled form, all of its bytes (the value's size
    // minus its terminating zero). A scrambled byte may be 0, so this is not a C string.
    std::string scrambledPassword;
    std::string sender;
    std::string destination;
    uint32_t retryCount = 1;        // RetryCount: message retries before giving up
    uint32_t retryMinutes = 15;     // RetryTime: minutes between message attempts

    // Task retries.
    uint32_t taskRetryCount = 1;
    uint32_t taskRetryMinutes = 15;
};

} // namespace quillon
