// Fuzz target for the preview's text division and Selection splitting. Input: byte 0
// gives the maximum message length (as a signed byte, so lengths below 1 come up too),
// byte 1 the divide flag, the rest is the text (also split as a Selection value).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/page_task.h"
#include "common/text_division.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const long maxLength = static_cast<int8_t>(data[0]);
    const bool divide = (data[1] & 1) != 0;
    const std::string text(reinterpret_cast<const char *>(data + 2), size - 2);

    const std::string result = quillon::DivideTextIntoMessages(text, maxLength, divide);
    if (result.find(quillon::kBreakMark) != std::string::npos)
        std::abort();  // a break mark must never be shown
    const size_t limit = maxLength < 1 ? 1 : static_cast<size_t>(maxLength);
    if (!divide && result.size() > limit && result != text)
        std::abort();
    if (result.size() > text.size() * 30 + 64)
        std::abort();  // headers are bounded by one per message

    quillon::SelectionParts parts;
    if (quillon::SplitSelection(text, &parts)) {
        if (parts.address.size() + 2 > text.size())
            std::abort();
        if (parts.hasDescriptor && parts.descriptor.empty())
            std::abort();
    }
    return 0;
}
