// The one walk over the outgoing message queue: the due check between passes and the
// dispatch pass (send, reschedule, give up, delete). Only the scheduler's dispatcher
// walks the queue; it runs the walk over the registry (RegistryMailQueue,
// queue/message_queue.h) and tests run it over a queue in memory (MailQueueStore,
// queue/queue_store.h). Includes no Windows header.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "common/datetime.h"
#include "queue/queue_store.h"

namespace quillon {

// Entries the walk passes over for a while, by name, kept by the dispatcher for the
// process's life. An entry is held back until a time (it failed and could not be
// rescheduled) or for good (it was sent or given up but its key could not be deleted:
// the same scheduler must never send it again). Names that no longer exist in the queue
// are forgotten, so a later message of the same name is not mistaken for them.
//
// Within one minute tick the scheduler tries each message at most once: from the first
// BeginTick on, every entry a dispatch pass tried and rescheduled is also passed over
// until the next BeginTick (sent and given-up entries are gone, or held for good). A failed entry's new RetryTime is the dispatch
// time plus the retry minutes, which a long tick has already passed; without this the
// tick's passes would try it again and again for as long as the server stays slow.
// Holds for the tick are not counted by Size().
class QueueHoldBack {
public:
    void HoldUntil(const std::string &name, Ticks until) { entries_[name] = until; }
    void HoldForGood(const std::string &name) { entries_[name] = kForGood; }
    // Forgets the previous tick's attempts and holds this tick's from now on.
    void BeginTick()
    {
        holdingForTick_ = true;
        attemptedThisTick_.clear();
    }
    // The walk attempted `name`; held until the next BeginTick (after a first BeginTick).
    void NoteAttempt(const std::string &name)
    {
        if (holdingForTick_)
            attemptedThisTick_.insert(name);
    }
    // True while `name` is held back at `now`; an expired hold is dropped.
    bool IsHeld(const std::string &name, Ticks now);
    bool IsHeldForGood(const std::string &name) const;
    // Drops every name that is not in `present` (the names of one whole enumeration).
    void ForgetAllBut(const std::set<std::string> &present);
    size_t Size() const { return entries_.size(); }

private:
    static constexpr Ticks kForGood = ~static_cast<Ticks>(0) >> 1;
    std::map<std::string, Ticks> entries_;
    bool holdingForTick_ = false;
    std::set<std::string> attemptedThisTick_;
};

// What became of one message handed to the handler.
enum class SendOutcome {
    kSent,
    kFailed,
    // Not tried at all (the mail library answered kMailNotAttempted): the walk ends here
    // and leaves this entry and every later one untouched, retry count and time included.
    kNotAttempted,
};

// What the dispatcher does per due message. Send() is called only for a message whose
// Subject and Body could both be read; it returns true when the message counts as sent
// (a non-negative QLSendMessage result, or sending disabled). The handler must not touch
// the queue itself.
class QueuePassHandler {
public:
    virtual ~QueuePassHandler() = default;
    virtual bool Send(const std::string &subject, const std::string &body) = 0;
    // What the walk calls; a handler whose library can answer "not attempted" overrides it.
    virtual SendOutcome Attempt(const std::string &subject, const std::string &body)
    {
        return Send(subject, body) ? SendOutcome::kSent : SendOutcome::kFailed;
    }
    // Asked before each due entry: true ends the walk there, as kNotAttempted does
    // (the scheduler is being ended and must not start on another message).
    virtual bool StopRequested() { return false; }
    // The message was sent and its key is about to be deleted.
    virtual void OnSent() {}
    // The message failed once too often and its key is about to be deleted.
    virtual void OnGaveUp() {}
    // The key of a sent or given-up message could not be deleted; it is held back for
    // good. Called once per entry and process.
    virtual void OnNotDeleted(const std::string &name) { (void)name; }
};

struct QueuePassResult {
    int sent = 0;          // sent and deleted (or held back for good when not deletable)
    int gaveUp = 0;        // failed too often and deleted (or held back for good)
    int rescheduled = 0;   // failed, RetryCount and RetryTime written
    int heldBack = 0;      // failed, but RetryCount unreadable or not writable: held back
    // The walk ended early (kNotAttempted or StopRequested) at a due entry; that entry
    // and every later one are as they were.
    bool ended = false;
};

// Both walks pass over staging entries (names beginning with '~': a message still being
// written, or one a killed writer left) without reading, sending, retrying or deleting
// them; the queue's writer removes the abandoned ones.

// True when some entry that is not held back has a RetryTime not later than `now`.
// Entries without a readable RetryTime are not due. A missing queue is empty.
bool IsAnyMessageDue(MailQueueStore &queue, QueueHoldBack &holdBack, const DateTime &now);

// One dispatch pass at dispatch time `dispatchTime`: every entry that is not held back
// and whose RetryTime lies strictly before it is read and handed to `handler`; sent
// entries are deleted; a failed one (including one without Subject or Body) is given up
// when its RetryCount + 1 exceeds `retryLimit` (DecideAfterFailure), else gets
// RetryCount + 1 and RetryTime = dispatchTime + `retryMinutes`. A failed entry whose count
// cannot be read or written is held back until that same retry time. After each deletion
// the walk starts again at index 0 (indices shift); an entry whose key cannot be deleted
// is held back for good. Each entry gets at most one attempt per pass, so the pass ends.
// At its end the hold-back forgets entries that no longer exist (not after an early end:
// that walk has not seen them all).
QueuePassResult RunQueuePass(MailQueueStore &queue, QueueHoldBack &holdBack, const DateTime &dispatchTime,
                             uint32_t retryLimit, uint32_t retryMinutes, QueuePassHandler &handler);

} // namespace quillon
