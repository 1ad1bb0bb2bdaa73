// Fuzz target: any bytes on the host's standard input are read as at most one message,
// and a message that parses as a request gets a descriptor (or a clear refusal) that the
// text library's reader accepts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "capture/host/capture_request.h"
#include "capture/host/native_message.h"
#include "webflat/core/descriptor.h"

using namespace quillon::capture;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    MemorySource source(std::string_view(reinterpret_cast<const char *>(data), size));
    std::string payload;
    const ReadStatus status = ReadNativeMessage(source, &payload);
    if (status != ReadStatus::kMessage) {
        if (!payload.empty())
            std::abort();
        return 0;
    }
    if (!IsWellFormedUtf8(payload))
        std::abort();
    CaptureRequest request;
    std::string error;
    if (!ParseCaptureRequest(payload, &request, &error)) {
        if (error.empty())
            std::abort();
        return 0;
    }
    std::string descriptor;
    if (DescribeCapturedSelection(request, &descriptor) == DescribeResult::kDescribed) {
        quillon::webflat::Descriptor parsed;
        if (!quillon::webflat::ParseDescriptor(descriptor, parsed))
            std::abort();
    }
    const std::string reply = MakeReply(ReplyStatus::kError, request.title, request.address);
    if (reply.size() >= kMaxReplyBytes || !IsWellFormedUtf8(reply))
        std::abort();
    return 0;
}
