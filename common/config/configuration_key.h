// The Configuration key on Windows: ConfigurationKey, the one reading layer every
// deliverable goes through (scheduler, schedule component, page sender, the mail
// libraries, the configuration dialog, the add-in and the reminder), and the
// read-a-value-with-its-default helpers, which are thin views over it. The reading rules
// (260-byte texts, numbers of 1 to 4 bytes, decimal texts) are stated once, on
// ConfigurationSource in configuration_source.h.
//
// No process holds the key open: each reader opens it, reads what it needs and closes it
// again (a ConfigurationKey closes when it goes out of scope).
#pragma once

#include <cstdint>
#include <string>

#include "common/registry.h"
#include "common/config/configuration_source.h"

namespace quillon {

class ConfigurationKey : public ConfigurationSource {
public:
    ConfigurationKey() = default;
    ConfigurationKey(const ConfigurationKey &) = delete;
    ConfigurationKey &operator=(const ConfigurationKey &) = delete;

    // Opens HKCU\Software\Kestrova\Tasqeduler\Configuration with all access. False when
    // it does not exist or cannot be opened; every read then reports a missing value.
    bool Open();
    bool IsOpen() const { return key_.IsOpen(); }

    bool ReadText(const char *name, char *buffer) const override;
    bool ReadNumber(const char *name, uint32_t *value) const override;
    bool HasData(const char *name) const override;
    bool ReadTextBytes(const char *name, char *buffer, uint32_t *length) const override;

    // A text, or `fallback` when it is missing or over 260 bytes.
    std::string TextOr(const char *name, const char *fallback) const;
    // A number, or `fallback` when it is missing or not of 1 to 4 bytes.
    uint32_t NumberOr(const char *name, uint32_t fallback) const;
    // The stored Password, unscrambled over its stored length into plain[kTextBufferSize]
    // and terminated; false (plain empty) when it is missing or over 260 bytes. The
    // caller clears `plain` once it has been used.
    bool ReadPassword(char *plain) const;

private:
    RegistryKey key_;
};

// Views over ConfigurationKey for a single value; each opens and closes the key.
// A text value, or `defaultText` when the key or the value is missing or too long.
std::string ReadConfigText(const char *name, const char *defaultText);
// A text value into buffer[kTextBufferSize]; false (buffer empty) when missing or too long.
bool ReadConfigText(const char *name, char *buffer);
// A 32-bit value, or `defaultValue` when missing (or not of 1 to 4 bytes).
uint32_t ReadConfigNumber(const char *name, uint32_t defaultValue);
// A number stored as decimal text (MaxMsgLen, Timeout): its leading-digits value, or
// `defaultValue` when the value is missing or too long. Text without digits gives 0.
long ReadConfigDecimal(const char *name, long defaultValue);
// True when the value exists with at least one byte of data (Logging, DontDial, DontSend).
bool ConfigValueHasData(const char *name);

} // namespace quillon
