// Bounded text helpers for the fixed 260-byte buffers of registry texts, paths and
// resource strings. Nobody in Quillon calls strcpy, strcat or sprintf; they call these.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace quillon {

// Size of every registry text, path and resource string buffer.
constexpr size_t kTextBufferSize = 260;

// Copies src into dst (dstSize bytes, dstSize > 0) and always terminates it.
// Returns false when src did not fit; dst then holds the truncated prefix.
// A null src copies as the empty text.
bool CopyBounded(char *dst, size_t dstSize, const char *src);
bool CopyBounded(char *dst, size_t dstSize, const std::string &src);

template <size_t N>
bool CopyBounded(char (&dst)[N], const char *src) { return CopyBounded(dst, N, src); }
template <size_t N>
bool CopyBounded(char (&dst)[N], const std::string &src) { return CopyBounded(dst, N, src); }

// Appends src to the text already in dst, bounded by dstSize; false when truncated.
bool AppendBounded(char *dst, size_t dstSize, const char *src);
template <size_t N>
bool AppendBounded(char (&dst)[N], const char *src) { return AppendBounded(dst, N, src); }

// printf-style formatting into dst, always terminated; false when the result was cut.
bool FormatBounded(char *dst, size_t dstSize, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
template <size_t N, typename... Args>
bool FormatBounded(char (&dst)[N], const char *format, Args... args)
{
    return FormatBounded(static_cast<char *>(dst), N, format, args...);
}

// printf-style formatting into a std::string (no length limit).
std::string FormatText(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string FormatTextV(const char *format, va_list args);

// The C library's leading-digits conversion of decimal text ("12abc" gives 12, "abc"
// gives 0, leading white space and a sign are accepted), clamped to the 32-bit range
// instead of overflowing. A null text gives 0.
long DecimalTextValue(const char *text);

} // namespace quillon
