// The rules of the outgoing message queue that need no registry: when a message is due
// and what a failed attempt does to it. Shared by the writer (quillon.exe) and the
// reader (the scheduler's dispatcher). Includes no Windows header.
#pragma once

#include <cstdint>

#include "common/datetime.h"

namespace quillon {

// How many following seconds the writer tries when the name of its own second is taken
// (another writer in the same second, or a clock set back). A full day of taken names
// means something else is wrong; the message is then not queued.
constexpr int kMaxQueueNameAttempts = 86400;

// Dispatcher's view: due when RetryTime lies strictly before the dispatch time.
bool IsDueForDispatch(const DateTime &retryTime, const DateTime &dispatchTime);
// Due check between passes: due when RetryTime is not later than now.
bool IsDueAtOrBefore(const DateTime &retryTime, const DateTime &now);

enum class FailedAttempt {
    kGiveUp,      // delete the message
    kReschedule,  // write the new count and the next retry time
};

// What a failed attempt does to a message that has failed `retryCount` times before,
// with the configured retry limit: it is given up when retryCount + 1 exceeds the limit.
// Counted in 64 bits, so a count of 0xFFFFFFFF left by hand gives up instead of wrapping
// to 0 and retrying for ever.
FailedAttempt DecideAfterFailure(uint32_t retryCount, uint32_t retryLimit);

// dispatchTime plus `minutes`; false when the result is not a valid date-time.
bool RetryTimeAfter(const DateTime &dispatchTime, uint32_t minutes, DateTime *retryTime);

} // namespace quillon
