#include "queue/queue_rules.h"

namespace quillon {

bool IsDueForDispatch(const DateTime &retryTime, const DateTime &dispatchTime)
{
    Ticks retry, dispatch;
    if (!DateTimeToTicks(retryTime, &retry) || !DateTimeToTicks(dispatchTime, &dispatch))
        return false;
    return retry < dispatch;
}

bool IsDueAtOrBefore(const DateTime &retryTime, const DateTime &now)
{
    Ticks retry, current;
    if (!DateTimeToTicks(retryTime, &retry) || !DateTimeToTicks(now, &current))
        return false;
    return retry <= current;
}

FailedAttempt DecideAfterFailure(uint32_t retryCount, uint32_t retryLimit)
{
    uint64_t attempts = static_cast<uint64_t>(retryCount) + 1;
    return attempts > retryLimit ? FailedAttempt::kGiveUp : FailedAttempt::kReschedule;
}

bool RetryTimeAfter(const DateTime &dispatchTime, uint32_t minutes, DateTime *retryTime)
{
    Ticks ticks;
    if (!DateTimeToTicks(dispatchTime, &ticks))
        return false;
    return TicksToDateTime(ticks + static_cast<Ticks>(minutes) * kTicksPerMinute, retryTime);
}

} // namespace quillon
