// Fuzz target: any markup with a selection span (the first four bytes) gets a descriptor
// that the text library's reader accepts and can apply to the same markup.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "capture/selection_descriptor.h"
#include "tests/capture/markup_page.h"
#include "webflat/core/descriptor.h"
#include "webflat/core/flatten.h"

using namespace quillon::capture;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4 || size > 4096)
        return 0;
    const size_t from = data[0] | (data[1] << 8);
    const size_t length = data[2] | (data[3] << 8);
    const std::string markup(reinterpret_cast<const char *>(data) + 4, size - 4);
    testing::MarkupPage page(markup);
    if ((from & 1) != 0)
        page.Select(from >> 1, (from >> 1) + length);
    std::string descriptor = "untouched";
    const DescriptorStatus status = BuildSelectionDescriptor(page, &descriptor);
    if (status == DescriptorStatus::kAborted) {
        if (descriptor != "untouched" || page.Reports() != 1)
            std::abort();
        return 0;
    }
    quillon::webflat::Descriptor parsed;
    if (!quillon::webflat::ParseDescriptor(descriptor, parsed))
        std::abort();
    quillon::webflat::MarkupSource source(markup);
    quillon::webflat::FlatText flat;
    if (quillon::webflat::FlattenPage(source, descriptor.c_str(), flat) != quillon::webflat::FlattenResult::kOk)
        std::abort();
    return 0;
}
