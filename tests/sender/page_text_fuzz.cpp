// Fuzz target for the page sender's text work. Byte 0 picks the length limit, byte 1
// the ChopMessage flag and the subject length; the rest is both a Selection value and a
// page body. Aborts when a cut breaks its promises: no empty message, nothing longer
// than the limit, no break mark left, the whole body accounted for.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sender/page_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int32_t limit = static_cast<int32_t>(data[0] % 64) - 1;  // -1 .. 62
    const bool chop = (data[1] & 1) != 0;
    const std::string text(reinterpret_cast<const char *>(data + 2), size - 2);
    const size_t subjectLength = std::min<size_t>(data[1] >> 1, text.size());

    quillon::SelectionParts parts;
    if (quillon::SplitSelection(text, &parts)) {
        if (text[0] != '"' || parts.address.size() + 2 > text.size())
            std::abort();
    }
    quillon::TaskKeyNameFromCommandLine(text.c_str());

    const std::string subject = text.substr(0, subjectLength);
    const std::string body = text.substr(subjectLength);
    std::vector<quillon::PageMessage> messages = quillon::CutPageText(subject, body, limit, chop);
    if (limit < 1 || body.empty()) {
        if (!messages.empty())
            std::abort();
        return 0;
    }
    if (messages.empty() || (!chop && messages.size() != 1))
        std::abort();
    size_t consumed = 0;
    for (size_t i = 0; i < messages.size(); ++i) {
        const quillon::PageMessage &m = messages[i];
        if (m.body.empty() || m.body.size() > static_cast<size_t>(limit) || m.body.find('\x01') != std::string::npos)
            std::abort();
        if (m.subject != (i == 0 ? subject : std::string()))
            std::abort();
        consumed += m.body.size();
        if (i + 1 < messages.size() && body[consumed] == '\x01')
            ++consumed;
    }
    if (chop && consumed != body.size() && !(consumed + 1 == body.size() && body.back() == '\x01'))
        std::abort();
    return 0;
}
