// The browser's native-messaging frame: each message is a 32-bit little-endian length
// followed by that many bytes of UTF-8 JSON, on the host's standard input (from the
// browser) and standard output (to it). Portable; the host program gives it its streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon::capture {

// The largest request the host takes (a selection travels with its frame's markup).
// Larger ones are refused unread: the browser sends at most one request per start.
constexpr uint32_t kMaxRequestBytes = 8u << 20;
// Replies stay far below the browser's 1 MB limit for messages from a host.
constexpr size_t kMaxReplyBytes = 64u << 10;

// Where a message is read from. Read returns how many bytes it placed in buffer, 0 at
// the end of the input (or on a read error); it may return fewer than asked.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t Read(void *buffer, size_t size) = 0;
};

// A source over bytes in memory (tests, the fuzz target).
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    size_t Read(void *buffer, size_t size) override;

private:
    std::string_view bytes_;
};

enum class ReadStatus {
    kMessage,    // *payload holds one message: valid UTF-8, at most kMaxRequestBytes
    kEnd,        // the input ended before any byte of a message: the browser closed it
    kCutOff,     // the input ended inside the length or the payload
    kTooLarge,   // the length is above kMaxRequestBytes; the payload was not read
    kBadUtf8,    // the payload is not well-formed UTF-8
};

ReadStatus ReadNativeMessage(ByteSource &source, std::string *payload);

// A text the user or the log can read for a status other than kMessage.
const char *DescribeReadStatus(ReadStatus status);

// True when text is well-formed UTF-8 (no overlong forms, surrogates or values above
// U+10FFFF).
bool IsWellFormedUtf8(std::string_view text);

// The frame for payload: its length in four little-endian bytes, then the payload.
std::string FrameNativeMessage(std::string_view payload);

} // namespace quillon::capture
