#include "common/text_division.h"

#include <algorithm>

#include "common/text.h"

namespace quillon {

namespace {

void ShowBreakMarksAsSpaces(std::string *text)
{
    std::replace(text->begin(), text->end(), kBreakMark, ' ');
}

} // namespace

std::string DivideTextIntoMessages(const std::string &text, long maxLength, bool divide)
{
    const size_t limit = maxLength < 1 ? 1 : static_cast<size_t>(maxLength);
    std::string result;
    if (text.size() < limit) {
        result = text;
    } else if (!divide) {
        result = text.substr(0, limit);
    } else {
        size_t start = 0;  // the remaining text r is text[start..]
        int number = 2;
        for (;;) {
            const size_t remaining = text.size() - start;
            // Positions limit down to 1 of r; position limit lies just beyond the reach
            // of one message and exists only when r is longer than limit.
            size_t cut = limit;
            bool atMark = false;
            for (size_t pos = std::min(limit, remaining - 1); pos >= 1; --pos) {
                if (text[start + pos] == kBreakMark) {
                    cut = pos;
                    atMark = true;
                    break;
                }
            }
            result.append(text, start, cut);
            start += cut + (atMark ? 1 : 0);
            if (start >= text.size())
                break;  // nothing left: no header before an empty message
            char header[64];
            FormatBounded(header, kMessageHeaderFormat, number);
            result += header;
            if (text.size() - start < limit)
                break;
            ++number;
        }
        result.append(text, start, std::string::npos);
    }
    ShowBreakMarksAsSpaces(&result);
    return result;
}

} // namespace quillon
