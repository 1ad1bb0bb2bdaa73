// Fuzz target: any bytes as a page, read in the charset they declare, flattened whole and
// marked for a length limit taken from the input. Checks that the text keeps its
// promises: no leading, trailing or doubled break marks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "webflat/core/charset.h"
#include "webflat/core/flatten.h"

using namespace quillon::webflat;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string bytes(reinterpret_cast<const char *>(data), size);
    std::string utf8;
    if (!ConvertToUtf8(bytes, DetectCharset(bytes, ""), utf8))
        ConvertToUtf8(bytes, "windows-1252", utf8);
    FlatText flat = FlattenMarkup(std::move(utf8));
    const std::string &body = flat.body;
    if (!body.empty() && (body.front() == '\x01' || body.back() == '\x01'))
        std::abort();
    if (body.find("\x01\x01") != std::string::npos || body.find(" \x01") != std::string::npos ||
        body.find("\x01 ") != std::string::npos)
        std::abort();
    const int32_t maxLen = size > 0 ? data[0] % 64 : 1;
    std::string marked = body;
    MarkWordBreaks(marked, maxLen);
    if (marked.size() != body.size())
        std::abort();
    return 0;
}
