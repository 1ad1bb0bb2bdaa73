// The Configuration key on Windows: LoadConfiguration for the scheduler, and the
// read-a-value-with-its-default helpers every deliverable uses. Each call opens the key,
// reads and closes it again (no process holds it open). Texts follow the store's rule:
// more than 260 bytes of data read as missing.
#pragma once

#include <cstdint>
#include <string>

#include "common/registry.h"
#include "scheduler/config/configuration.h"

namespace quillon {

// ConfigurationSource over an open registry key (not owned; it must outlive the source).
class RegistryConfigurationSource : public ConfigurationSource {
public:
    explicit RegistryConfigurationSource(const RegistryKey &key) : key_(key) {}
    bool ReadText(const char *name, char *buffer) const override;
    bool ReadNumber(const char *name, uint32_t *value) const override;
    bool HasData(const char *name) const override;
    bool ReadTextBytes(const char *name, char *buffer, uint32_t *length) const override;

private:
    const RegistryKey &key_;
};

// Opens Configuration and runs LoadConfigurationFrom. False when the key cannot be
// opened or a required value is missing; see configuration.h for what *settings holds then.
bool LoadConfiguration(SchedulerSettings *settings);

// A text value, or `defaultText` when the key or the value is missing or too long.
std::string ReadConfigText(const char *name, const char *defaultText);
// A text value into buffer[kTextBufferSize]; false (buffer empty) when missing or too long.
bool ReadConfigText(const char *name, char *buffer);
// A 32-bit value, or `defaultValue` when missing.
uint32_t ReadConfigNumber(const char *name, uint32_t defaultValue);
// A number stored as decimal text (MaxMsgLen, Timeout): its leading-digits value, or
// `defaultValue` when the value is missing or too long. Text without digits gives 0.
long ReadConfigDecimal(const char *name, long defaultValue);
// True when the value exists with at least one byte of data (Logging, DontDial, DontSend).
bool ConfigValueHasData(const char *name);

} // namespace quillon
