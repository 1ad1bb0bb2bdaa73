#include "capture/capture_text.h"

namespace quillon::capture {

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

} // namespace quillon::capture
