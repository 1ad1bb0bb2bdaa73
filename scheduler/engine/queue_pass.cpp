#include "scheduler/engine/queue_pass.h"

#include "queue/queue_rules.h"

namespace quillon {

namespace {

// A message still being written, or one whose writer was killed (see message_queue.h):
// never read, sent, retried or deleted by the walk.
bool IsStagingEntry(const std::string &name) { return !name.empty() && name[0] == '~'; }

} // namespace

bool QueueHoldBack::IsHeld(const std::string &name, Ticks now)
{
    if (attemptedThisTick_.count(name) != 0)
        return true;
    auto found = entries_.find(name);
    if (found == entries_.end())
        return false;
    if (found->second > now)
        return true;
    entries_.erase(found);
    return false;
}

bool QueueHoldBack::IsHeldForGood(const std::string &name) const
{
    auto found = entries_.find(name);
    return found != entries_.end() && found->second == kForGood;
}

void QueueHoldBack::ForgetAllBut(const std::set<std::string> &present)
{
    for (auto it = attemptedThisTick_.begin(); it != attemptedThisTick_.end();) {
        if (present.count(*it) == 0)
            it = attemptedThisTick_.erase(it);
        else
            ++it;
    }
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (present.count(it->first) == 0)
            it = entries_.erase(it);
        else
            ++it;
    }
}

bool IsAnyMessageDue(MailQueueStore &queue, QueueHoldBack &holdBack, const DateTime &now)
{
    Ticks nowTicks = 0;
    if (!DateTimeToTicks(now, &nowTicks))
        return false;
    if (!queue.Open()) {
        holdBack.ForgetAllBut({});
        return false;
    }
    bool due = false;
    std::set<std::string> present;
    std::string name;
    for (uint32_t index = 0; !due && queue.EntryAt(index, &name); ++index) {
        if (IsStagingEntry(name))
            continue;
        present.insert(name);
        if (holdBack.IsHeld(name, nowTicks) || !queue.OpenEntry(name))
            continue;
        DateTime retryTime;
        // The dispatch pass's own rule (strictly before the dispatch time): an entry due
        // at this very moment would otherwise count as due here and not there, and the
        // minute tick's pass would load the library and log on over and over until the
        // clock moves on.
        due = queue.ReadRetryTime(&retryTime) && IsDueForDispatch(retryTime, now);
        queue.CloseEntry();
    }
    queue.Close();
    if (!due)   // the walk saw every entry
        holdBack.ForgetAllBut(present);
    return due;
}

QueuePassResult RunQueuePass(MailQueueStore &queue, QueueHoldBack &holdBack, const DateTime &dispatchTime,
                             uint32_t retryLimit, uint32_t retryMinutes, QueuePassHandler &handler)
{
    QueuePassResult result;
    Ticks dispatchTicks = 0;
    DateTime nextRetry;
    if (!DateTimeToTicks(dispatchTime, &dispatchTicks) || !RetryTimeAfter(dispatchTime, retryMinutes, &nextRetry))
        return result;
    Ticks nextRetryTicks = dispatchTicks + static_cast<Ticks>(retryMinutes) * kTicksPerMinute;

    if (!queue.Open()) {
        holdBack.ForgetAllBut({});
        return result;
    }
    // Names seen since the last restart: after the final walk, every entry that exists.
    std::set<std::string> present;
    std::string name;
    uint32_t index = 0;
    while (queue.EntryAt(index, &name)) {
        if (IsStagingEntry(name)) {
            ++index;
            continue;
        }
        present.insert(name);
        if (holdBack.IsHeld(name, dispatchTicks) || !queue.OpenEntry(name)) {
            ++index;
            continue;
        }
        DateTime retryTime;
        if (!queue.ReadRetryTime(&retryTime) || !IsDueForDispatch(retryTime, dispatchTime)) {
            queue.CloseEntry();
            ++index;
            continue;
        }

        if (handler.StopRequested()) {
            queue.CloseEntry();
            queue.Close();
            result.ended = true;
            return result;
        }

        std::string subject, body;
        bool readable = queue.ReadSubject(&subject) && queue.ReadBody(&body);
        SendOutcome outcome = readable ? handler.Attempt(subject, body) : SendOutcome::kFailed;
        if (outcome == SendOutcome::kNotAttempted) {
            queue.CloseEntry();
            queue.Close();
            result.ended = true;
            return result;
        }
        bool remove = false;
        if (outcome == SendOutcome::kSent) {
            handler.OnSent();
            ++result.sent;
            remove = true;
        } else {
            uint32_t count = 0;
            if (!queue.ReadRetryCount(&count)) {
                holdBack.HoldUntil(name, nextRetryTicks);
                ++result.heldBack;
            } else if (DecideAfterFailure(count, retryLimit) == FailedAttempt::kGiveUp) {
                handler.OnGaveUp();
                ++result.gaveUp;
                remove = true;
            } else if (queue.WriteRetry(count + 1, nextRetry)) {
                ++result.rescheduled;
            } else {
                holdBack.HoldUntil(name, nextRetryTicks);
                ++result.heldBack;
            }
            if (!remove)
                holdBack.NoteAttempt(name);
        }
        queue.CloseEntry();

        if (remove) {
            if (queue.DeleteEntry(name)) {
                // Deletion shifts the indices of the entries after it: walk again from
                // the start.
                present.clear();
                queue.Close();
                if (!queue.Open())
                    return result;
                index = 0;
                continue;
            }
            // Accepted by the mail library (or given up) but still in the queue: never
            // again from this scheduler.
            if (!holdBack.IsHeldForGood(name))
                handler.OnNotDeleted(name);
            holdBack.HoldForGood(name);
        }
        ++index;
    }
    queue.Close();
    holdBack.ForgetAllBut(present);
    return result;
}

} // namespace quillon
