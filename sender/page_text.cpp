#include "sender/page_text.h"

#include <algorithm>

#include "common/text.h"

namespace quillon {

std::string TaskKeyNameFromCommandLine(const char *commandLine)
{
    if (commandLine == nullptr)
        return std::string();
    const char *p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t')
            ++p;
    }
    if (*p == ' ' || *p == '\t')
        ++p;
    return std::string(p);
}

bool ParseMessageLengthLimit(const char *text, int32_t *limit)
{
    return AcceptMessageLengthLimit(DecimalTextValue(text), limit);
}

bool AcceptMessageLengthLimit(long value, int32_t *limit)
{
    if (value < 1)
        return false;
    *limit = static_cast<int32_t>(value);
    return true;
}

std::vector<PageMessage> CutPageText(const std::string &subject, const std::string &body, int32_t maxMsgLen,
                                     bool chopMessage)
{
    std::vector<PageMessage> messages;
    if (maxMsgLen < 1)
        return messages;
    const size_t limit = static_cast<size_t>(maxMsgLen);
    const size_t length = body.size();
    size_t start = 0;
    while (start < length) {
        const size_t rest = length - start;
        PageMessage message;
        if (messages.empty())
            message.subject = subject;

        size_t pieceLength;
        size_t next;
        if (message.subject.size() + rest < limit) {
            pieceLength = rest;
            next = length;
        } else {
            // The cut position may lie beyond the body only when the subject made the
            // difference; it is then held at the end of the body.
            const size_t cut = std::min(limit, rest);
            size_t mark = 0;
            for (size_t i = cut; i >= 1; --i) {
                if (i < rest && body[start + i] == kBreakMark) {
                    mark = i;
                    break;
                }
            }
            if (mark != 0) {
                pieceLength = mark;
                next = start + mark + 1;
            } else {
                pieceLength = cut;
                next = start + cut;
            }
        }

        message.body = body.substr(start, pieceLength);
        std::replace(message.body.begin(), message.body.end(), kBreakMark, ' ');
        messages.push_back(std::move(message));
        start = next;
        if (!chopMessage)
            break;
    }
    return messages;
}

} // namespace quillon
