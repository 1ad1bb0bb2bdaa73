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
// due entry at most once and end.
#pragma once

#include <string>

#include "common/datetime.h"
#include "scheduler/engine/engine_seams.h"
#include "scheduler/config/configuration.h"

namespace quillon {

class MailDispatcher {
public:
    // Every reference must outlive the dispatcher; settings are read at each call.
    MailDispatcher(const SchedulerSettings &settings, Clock &clock, EngineLog &log, MailQueueStore &queue,
                   MailLibraryLoader &libraries);

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
    DateTime holdOff_ = {};
    QueueHoldBack heldBack_;
};

} // namespace quillon
