// Fuzz target of the message builder: the input (up to its first 0xFF byte the subject,
// after it the body) is built into a subject and a body, and both must keep their line
// limits and decode back to the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mail/wire/wire_message.h"
#include "tests/mail/wire/mime_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t cut = input.find('\xff');
    std::string subject = input.substr(0, cut);
    std::string body = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    // The texts are C strings: they end at their first NUL.
    subject = subject.c_str();
    body = body.c_str();

    quillon::wire::TextCharset charset;
    if (!subject.empty() && (subject[0] & 1)) {
        charset.codePage = 932;
        charset.mimeName = "Shift_JIS";
        for (int b = 0x81; b <= 0xfc; ++b)
            charset.leadByte[b] = b <= 0x9f || b >= 0xe0;
    }
    std::string lines = quillon::wire::SubjectLines(subject.c_str(), charset);
    std::vector<std::string> split;
    if (!quillon::test::SplitCrLfLines(lines, &split) || split.empty())
        __builtin_trap();
    for (const std::string &line : split)
        if (line.size() > 998)
            __builtin_trap();

    std::string encoded = quillon::wire::QuotedPrintableBody(body.c_str());
    if (!quillon::test::SplitCrLfLines(encoded, &split))
        __builtin_trap();
    for (const std::string &line : split)
        if (line.size() > 76)
            __builtin_trap();
    std::string decoded;
    if (!quillon::test::DecodeQuotedPrintable(encoded, &decoded))
        __builtin_trap();
    std::string stuffed = quillon::wire::DotStuffed(encoded);
    if (stuffed.find("\r\n.\r\n") != std::string::npos || stuffed.compare(0, 3, ".\r\n") == 0)
        __builtin_trap();
    return 0;
}
