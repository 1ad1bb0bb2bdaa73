// The rows a test writes into the Configuration key, kept free of <windows.h> so the
// native tests of the configuration reader use the same rows over an in-memory source.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::test {

// Stored value types, numbered as the registry numbers them (REG_SZ, REG_BINARY, ...).
inline constexpr uint32_t kStoredText = 1;
inline constexpr uint32_t kStoredBinary = 3;
inline constexpr uint32_t kStoredNumber = 4;

// One row of a hand-written Configuration: the tests write the key as a table of rows.
struct ConfigRow {
    enum class Kind { kText, kNumber, kRaw, kAbsent };
    Kind kind = Kind::kText;
    std::string name;
    std::string bytes;            // kText: the text (all bytes, a NUL is added); kRaw: stored as is
    uint32_t number = 0;          // kNumber
    uint32_t type = kStoredText;  // kRaw: the stored type
};
inline ConfigRow Text(const char *name, const std::string &text) { return {ConfigRow::Kind::kText, name, text}; }
inline ConfigRow Number(const char *name, uint32_t number) { return {ConfigRow::Kind::kNumber, name, "", number}; }
inline ConfigRow Raw(const char *name, uint32_t type, const std::string &bytes)
{
    return {ConfigRow::Kind::kRaw, name, bytes, 0, type};
}
inline ConfigRow Absent(const char *name) { return {ConfigRow::Kind::kAbsent, name, "", 0, 0}; }

// A complete SMTP configuration as the configuration dialog writes it, with mailwire as
// the library, `smtpServer` as its server, always connected and no log file.
std::vector<ConfigRow> CompleteSmtpConfiguration(const std::string &smtpServer);
// `rows` with each row of `changes` replacing the row of the same name (or added).
std::vector<ConfigRow> With(std::vector<ConfigRow> rows, const std::vector<ConfigRow> &changes);

} // namespace quillon::test
