// Fuzz target: the picker time format built from arbitrary locale texts. The input is the
// format, a NUL, then the separator. Whatever comes in, the result is the format with
// one stretch removed (the seconds and their separator) or the format itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "schedule/component/time_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t split = input.find('\0');
    std::string format = input.substr(0, split);
    std::string separator = split == std::string::npos ? std::string() : input.substr(split + 1);

    std::string result = quillon::RemoveSecondsFromTimeFormat(format, separator);
    if (result == format)
        return 0;
    // Exactly one contiguous stretch was cut out: result = format[0, at) + format[at + cut, end).
    size_t cut = format.size() - result.size();
    if (result.size() >= format.size() || cut > separator.size() + 2 || cut < separator.size() + 1)
        std::abort();
    size_t at = 0;
    while (at < result.size() && result[at] == format[at])
        ++at;
    if (format.compare(at + cut, std::string::npos, result, at, std::string::npos) != 0)
        std::abort();
    return 0;
}
