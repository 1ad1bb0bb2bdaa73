#include "common/text.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

namespace quillon {

bool CopyBounded(char *dst, size_t dstSize, const char *src)
{
    if (dst == nullptr || dstSize == 0)
        return false;
    if (src == nullptr) {
        dst[0] = '\0';
        return true;
    }
    size_t length = strnlen(src, dstSize);
    if (length >= dstSize) {
        std::memcpy(dst, src, dstSize - 1);
        dst[dstSize - 1] = '\0';
        return false;
    }
    std::memcpy(dst, src, length + 1);
    return true;
}

bool CopyBounded(char *dst, size_t dstSize, const std::string &src)
{
    if (dst == nullptr || dstSize == 0)
        return false;
    size_t length = src.size() < dstSize ? src.size() : dstSize - 1;
    std::memcpy(dst, src.data(), length);
    dst[length] = '\0';
    // An embedded NUL cuts the text; it still counts as fitting only when nothing was cut.
    return src.size() < dstSize;
}

bool AppendBounded(char *dst, size_t dstSize, const char *src)
{
    if (dst == nullptr || dstSize == 0)
        return false;
    size_t used = strnlen(dst, dstSize);
    if (used >= dstSize) {
        dst[dstSize - 1] = '\0';
        return false;
    }
    return CopyBounded(dst + used, dstSize - used, src);
}

bool FormatBounded(char *dst, size_t dstSize, const char *format, ...)
{
    if (dst == nullptr || dstSize == 0)
        return false;
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(dst, dstSize, format, args);
    va_end(args);
    if (written < 0) {
        dst[0] = '\0';
        return false;
    }
    return static_cast<size_t>(written) < dstSize;
}

std::string FormatTextV(const char *format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0)
        return std::string();
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    return text;
}

std::string FormatText(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = FormatTextV(format, args);
    va_end(args);
    return text;
}

long DecimalTextValue(const char *text)
{
    if (text == nullptr)
        return 0;
    const char *p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
        ++p;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    if (value < INT_MIN)
        value = INT_MIN;
    return static_cast<long>(value);
}

} // namespace quillon
