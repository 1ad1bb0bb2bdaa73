#include "common/resource_text.h"

#include "common/text.h"

namespace quillon {

std::string LoadResourceText(HINSTANCE module, unsigned id)
{
    char buffer[kTextBufferSize] = {};
    if (module == nullptr || LoadStringA(module, id, buffer, sizeof buffer) <= 0)
        return std::string();
    return buffer;
}

} // namespace quillon
