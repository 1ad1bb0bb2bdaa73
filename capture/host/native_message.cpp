#include "capture/host/native_message.h"

#include <algorithm>
#include <cstring>

namespace quillon::capture {
namespace {

// Reads exactly size bytes unless the input ends first; returns how many were read.
size_t ReadFully(ByteSource &source, char *buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const size_t got = source.Read(buffer + done, size - done);
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

} // namespace

size_t MemorySource::Read(void *buffer, size_t size)
{
    const size_t n = std::min(size, bytes_.size());
    if (n != 0)
        std::memcpy(buffer, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return n;
}

ReadStatus ReadNativeMessage(ByteSource &source, std::string *payload)
{
    payload->clear();
    unsigned char header[4] = {};
    const size_t got = ReadFully(source, reinterpret_cast<char *>(header), sizeof header);
    if (got == 0)
        return ReadStatus::kEnd;
    if (got < sizeof header)
        return ReadStatus::kCutOff;
    const uint32_t length = static_cast<uint32_t>(header[0]) | (static_cast<uint32_t>(header[1]) << 8) |
                            (static_cast<uint32_t>(header[2]) << 16) | (static_cast<uint32_t>(header[3]) << 24);
    if (length > kMaxRequestBytes)
        return ReadStatus::kTooLarge;
    payload->resize(length);
    if (length != 0 && ReadFully(source, &(*payload)[0], length) < length) {
        payload->clear();
        return ReadStatus::kCutOff;
    }
    if (!IsWellFormedUtf8(*payload)) {
        payload->clear();
        return ReadStatus::kBadUtf8;
    }
    return ReadStatus::kMessage;
}

const char *DescribeReadStatus(ReadStatus status)
{
    switch (status) {
    case ReadStatus::kMessage:
        return "message read";
    case ReadStatus::kEnd:
        return "the browser sent no message";
    case ReadStatus::kCutOff:
        return "the message from the browser was cut off";
    case ReadStatus::kTooLarge:
        return "the message from the browser is too large";
    case ReadStatus::kBadUtf8:
        return "the message from the browser is not UTF-8 text";
    }
    return "unknown read status";
}

bool IsWellFormedUtf8(std::string_view text)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra = 0;
        uint32_t cp = 0;
        uint32_t least = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1Fu;
            least = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0Fu;
            least = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07u;
            least = 0x10000;
        } else {
            return false;
        }
        if (n - i <= extra)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0u) != 0x80u)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3Fu);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string FrameNativeMessage(std::string_view payload)
{
    const auto length = static_cast<uint32_t>(payload.size());
    std::string frame;
    frame.reserve(payload.size() + 4);
    for (int shift = 0; shift < 32; shift += 8)
        frame.push_back(static_cast<char>((length >> shift) & 0xFFu));
    frame.append(payload.data(), payload.size());
    return frame;
}

} // namespace quillon::capture
