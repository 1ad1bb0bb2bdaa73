// Fuzz target: any bytes as a selection descriptor, parsed and applied to a small page
// with a table and frames-free body. Checks that a refused descriptor yields no text and
// an accepted one always yields some (the whole page when nothing fits).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "webflat/core/descriptor.h"
#include "webflat/core/flatten.h"

using namespace quillon::webflat;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    Descriptor d;
    const bool parsed = ParseDescriptor(text, d);
    if (d.documents.empty())
        std::abort();
    MarkupSource page("<title>t</title><p>zero</p><div>one <b>two</b></div><table><tr><td>a<td>b\xF0\x9F\x98\x80"
                      "<tr><td>c</table><ul><li>x<li>y</ul>");
    FlatText out;
    const std::string descriptor = text.substr(0, text.find('\0'));
    FlattenResult result = FlattenPage(page, descriptor.c_str(), out);
    Descriptor again;
    if (ParseDescriptor(descriptor, again) != (result == FlattenResult::kOk))
        std::abort();
    if (result == FlattenResult::kOk && out.body.empty())
        std::abort();
    (void)parsed;
    return 0;
}
