#include "sender/text_digest.h"

namespace quillon {

namespace {

bool IsFoldedSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x01';
}

void AppendFolded(const std::string &text, std::string *out)
{
    bool pendingSpace = false;
    bool any = false;
    for (char c : text) {
        if (IsFoldedSpace(c)) {
            pendingSpace = any;
            continue;
        }
        if (pendingSpace)
            out->push_back(' ');
        pendingSpace = false;
        any = true;
        out->push_back(c);
    }
}

} // namespace

std::string FoldedTextForDigest(const std::string &subject, const std::string &body)
{
    std::string folded;
    folded.reserve(subject.size() + body.size() + 1);
    AppendFolded(subject, &folded);
    folded.push_back('\0');
    AppendFolded(body, &folded);
    return folded;
}

} // namespace quillon
