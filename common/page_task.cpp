#include "common/page_task.h"

#include <utility>

namespace quillon {

std::string SelectionValue(const std::string &address, const std::string *descriptor)
{
    std::string value = "\"" + address + "\"";
    if (descriptor != nullptr) {
        value += ' ';
        value += *descriptor;
    }
    return value;
}

bool SplitSelection(const std::string &selection, SelectionParts *parts)
{
    if (selection.empty() || selection[0] != '"')
        return false;
    const size_t closing = selection.rfind('"');
    if (closing == 0)
        return false;
    SelectionParts out;
    out.address = selection.substr(1, closing - 1);
    const size_t rest = selection.find_first_not_of(' ', closing + 1);
    if (rest != std::string::npos) {
        out.hasDescriptor = true;
        out.descriptor = selection.substr(rest);
    }
    *parts = std::move(out);
    return true;
}

} // namespace quillon
