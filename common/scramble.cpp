#include "common/scramble.h"

namespace quillon {

namespace {

// The first 45 bytes are printable characters; the rest are bytes from 0x80 to 0xFE.
// No key byte is 0: a zero key byte would store that password byte in the clear.
constexpr char kPrintable[] = "Kq7#vR2!pZ9&mW4$tB6*eX1@nH8^cL3%gJ5+sD0=yF~Qu";

struct ScrambleKeyTable {
    unsigned char bytes[kScrambleKeyLength] = {};
    constexpr ScrambleKeyTable()
    {
        constexpr size_t printableLength = sizeof kPrintable - 1; // 45
        for (size_t i = 0; i < kScrambleKeyLength; ++i) {
            if (i < printableLength)
                bytes[i] = static_cast<unsigned char>(kPrintable[i]);
            else
                bytes[i] = static_cast<unsigned char>(0x80 + ((i * 37 + 11) % 0x7F));
        }
    }
};

// Built by the compiler: a table made at first use would need the runtime's guarded
// initialisation, whose thread bookkeeping a library unloaded and loaded again per
// dispatch pass leaves behind each time (a thread handle and an event).
constexpr ScrambleKeyTable kKeyTable;

} // namespace

const unsigned char *ScrambleKey() { return kKeyTable.bytes; }

void ScrambleBytes(char *bytes, size_t length)
{
    const unsigned char *key = ScrambleKey();
    for (size_t i = 0; i < length && i < kScrambleKeyLength; ++i)
        bytes[i] = static_cast<char>(static_cast<unsigned char>(bytes[i]) ^ key[i]);
}

size_t UnscramblePassword(const char *scrambled, size_t length, char *plain, size_t plainSize)
{
    if (plain == nullptr || plainSize == 0)
        return 0;
    if (scrambled == nullptr)
        length = 0;
    if (length > plainSize - 1)
        length = plainSize - 1;
    for (size_t i = 0; i < length; ++i)
        plain[i] = scrambled[i];
    ScrambleBytes(plain, length);
    plain[length] = '\0';
    return length;
}

std::string ScrambleText(const std::string &text)
{
    std::string out = text;
    if (!out.empty())
        ScrambleBytes(&out[0], out.size());
    return out;
}

} // namespace quillon
