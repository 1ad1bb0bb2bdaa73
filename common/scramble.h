// The stored mail password (configuration value "Password") is scrambled by a byte-wise
// exclusive or with one fixed key, shared by the configuration dialog, the dispatcher and
// the SMTP library. The same call scrambles and unscrambles. This is obfuscation against
// a casual look at the registry, not encryption.
#pragma once

#include <cstddef>
#include <string>

namespace quillon {

// Length of the key: it covers the longest storable password (259 bytes).
constexpr size_t kScrambleKeyLength = 260;

// Exclusive-or of bytes[0..length) with the key. Bytes beyond the key's length (never
// reached by a stored password) are left unchanged.
void ScrambleBytes(char *bytes, size_t length);

// Convenience: a scrambled or unscrambled copy of `text` (all of its bytes).
std::string ScrambleText(const std::string &text);

// The one way to unscramble the stored Password: all `length` bytes of `scrambled` (its
// stored length; a password byte equal to the key byte at its position scrambles to 0,
// so the scrambled text must never be measured with strlen) into plain[plainSize],
// terminated. A password longer than plainSize - 1 bytes is cut there. Returns the
// number of bytes unscrambled. Callers clear `plain` once it has been used.
size_t UnscramblePassword(const char *scrambled, size_t length, char *plain, size_t plainSize);

// The key itself, for tests that check its properties.
const unsigned char *ScrambleKey();

} // namespace quillon
