// Delivery of the outgoing message queue: IsMailDue and DispatchMail.
//
// DispatchMail loads the configured mail library, logs on once, runs one pass of the
// queue walk (RunQueuePass of scheduler/engine/queue_pass.h: sends every due entry in
// enumeration order, deletes what was sent or given up, reschedules what failed), logs
// off and unloads the library. The minute tick repeats its pass while IsMailDue is true,
// so nothing that cannot make progress may stay "due":
//  - library missing or lacking a function, or a failed logon: the whole queue is held
//    off (IsMailDue false) for the retry minutes;
//  - a failed entry is rescheduled to the dispatch time plus the retry minutes;
//  - a failed entry that can be neither rescheduled (count unreadable, write failed) nor
//    given up is held back in memory until that same time;
//  - a sent or given-up entry whose key cannot be deleted is held back for good (logged
//    once): the same scheduler never sends it again;
// where the retry minutes count as at least one minute. So one tick's passes deliver each
// due entry at most once and end. Within a minute tick (BeginTick) an entry tried and
// rescheduled is not tried again, however long the tick has taken.
//
// A send the library answers with kMailNotAttempted (the server or service is
// unavailable for now) ends the dispatch pass: that entry and every later one keep their
// RetryCount and RetryTime, one line is logged, and the queue is held off until the next
// tick (IsMailDue false, DispatchMail does nothing). A stop request (the scheduler is
// being ended) ends the pass the same way before the next entry, without the line.
#pragma once

#include <string>

#include "common/datetime.h"
#include "scheduler/engine/engine_seams.h"
#include "scheduler/config/configuration.h"

namespace quillon {

class MailDispatcher {
public:
    // Every reference must outlive the dispatcher; settings are read at each call.
    // stopRequested, when given, is read before each entry (and must outlive it too).
    MailDispatcher(const SchedulerSettings &settings, Clock &clock, EngineLog &log, MailQueueStore &queue,
                   MailLibraryLoader &libraries, const bool *stopRequested = nullptr);

    // Start of a minute tick: ends the previous tick's deferral and its once-per-tick holds.
    void BeginTick();
    // True from a kMailNotAttempted answer until the next BeginTick.
    bool DeferredThisTick() const { return deferred_; }

    // True when the queue holds an entry whose RetryTime has come, unless the queue is
    // held off (after a failed logon or library load) or the entry is held back.
    bool IsMailDue();
    void DispatchMail();

    // The hold-off time; all fields 0 while not set.
    const DateTime &HoldOff() const { return holdOff_; }
    // Entries held back now (for tests and the benchmark).
    size_t HeldBackCount() const { return heldBack_.Size(); }

private:
    uint32_t RetryMinutes() const;
    void HoldOffQueue();

    const SchedulerSettings &settings_;
    Clock &clock_;
    EngineLog &log_;
    MailQueueStore &queue_;
    MailLibraryLoader &libraries_;
    const bool *stopRequested_;
    bool deferred_ = false;
    DateTime holdOff_ = {};
    QueueHoldBack heldBack_;
};

} // namespace quillon
