#include "schedule/retry_queue.h"

namespace quillon {

bool DecideRequeue(bool hasStoredCount, uint32_t storedCount, uint32_t maxRetries, uint32_t *newCount)
{
    if (!hasStoredCount) {
        *newCount = 1;
        return true;
    }
    // Counted in 64 bits so that a hand-written count of 0xFFFFFFFF cannot wrap back to 0
    // and keep the entry alive for ever.
    uint64_t count = static_cast<uint64_t>(storedCount) + 1;
    if (count > maxRetries)
        return false;
    *newCount = static_cast<uint32_t>(count);
    return true;
}

} // namespace quillon
