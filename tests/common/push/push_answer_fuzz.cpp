// Fuzz target of the answer judge: the first byte picks the service and the status,
// the rest up to a 0xFF byte is the Retry-After header, and what follows is the body.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/push/push_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    using namespace quillon::push;
    const Service service = static_cast<Service>(kFirstService + data[0] % (kLastService - kFirstService + 1));
    static const int kStatuses[] = {200, 201, 204, 400, 401, 403, 404, 429, 500, 503};
    const int status = kStatuses[(data[0] >> 3) % 10];
    std::string rest(reinterpret_cast<const char *>(data + 1), size - 1);
    size_t split = rest.find('\xFF');
    std::string header = split == std::string::npos ? std::string() : rest.substr(0, split);
    std::string body = split == std::string::npos ? rest : rest.substr(split + 1);
    Judgement j = JudgeAnswer(service, status, body, header);
    if (j.errorText.size() > kErrorTextLimit)
        __builtin_trap();
    for (char c : j.errorText)
        if (c < 0x20 || c >= 0x7F)
            __builtin_trap();
    if (j.retryAfterSeconds < -1 || j.retryAfterSeconds > 604800)
        __builtin_trap();
    // The same bytes as a message text: the split must keep every byte.
    const ServiceInfo &info = *FindService(static_cast<uint32_t>(service));
    std::vector<MessagePart> parts = SplitMessage(info, header, body);
    if (parts.empty())
        __builtin_trap();
    return 0;
}
