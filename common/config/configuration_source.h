// Read access to HKCU\Software\Kestrova\Tasqeduler\Configuration, as every deliverable
// reads it. ConfigurationKey (configuration_key.h) implements it over the registry on
// Windows; tests implement it with a map. This header includes no Windows header.
#pragma once

#include <cstdint>

#include "common/text.h"

namespace quillon {

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

} // namespace quillon
