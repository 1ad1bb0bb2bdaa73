#include "schedule/component/time_format.h"

namespace quillon {

namespace {

// Removes the first occurrence of `preferred` if there is one, else the first of `fallback`.
std::string RemoveFirstOf(const std::string &text, const std::string &preferred, const std::string &fallback)
{
    std::string result = text;
    size_t at = result.find(preferred);
    if (at != std::string::npos) {
        result.erase(at, preferred.size());
        return result;
    }
    at = result.find(fallback);
    if (at != std::string::npos)
        result.erase(at, fallback.size());
    return result;
}

} // namespace

std::string RemoveSecondsFromTimeFormat(const std::string &format, const std::string &separator)
{
    if (separator.empty())
        return format;
    if (format.find(separator + "s") != std::string::npos)
        return RemoveFirstOf(format, separator + "ss", separator + "s");
    if (format.find("s" + separator) != std::string::npos)
        return RemoveFirstOf(format, "ss" + separator, "s" + separator);
    return format;
}

} // namespace quillon
