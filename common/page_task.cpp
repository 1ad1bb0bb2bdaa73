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

std::string ShortLocation(const std::string &address)
{
    const size_t file = address.find("file://");
    if (file != std::string::npos) {
        std::string rest = address.substr(file + 7);
        const size_t slash = rest.rfind('\\');
        return slash == std::string::npos ? rest : rest.substr(slash + 1);
    }
    const size_t scheme = address.find("://");
    if (scheme != std::string::npos) {
        std::string rest = address.substr(scheme + 3);
        const size_t first = rest.find('/');
        const size_t last = rest.rfind('/');
        if (first != std::string::npos && last > first + 3)
            rest.replace(first + 1, last - first - 1, "...");
        return rest;
    }
    const size_t slash = address.rfind('\\');
    return slash == std::string::npos ? address : address.substr(slash + 1);
}

} // namespace quillon
