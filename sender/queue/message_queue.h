// The outgoing message queue: one registry key per message under
// HKCU\Software\Kestrova\Tasqeduler\Mail, written by the page sender and delivered,
// rescheduled and deleted by the scheduler's dispatcher. This module is the only code
// that knows the format; both sides go through it.
//
// A message key is named after the local time it was queued ("%4d%2d%2d%2d%2d%2d",
// space-padded, see common/timestamp.h) and holds
//   RetryCount  REG_DWORD   failed attempts so far (0 when queued)
//   RetryTime   REG_BINARY  16-byte SYSTEMTIME before which it is not sent
//   Subject     REG_SZ      subject line
//   Body        REG_SZ      message text
// Sender and destination are not stored: the dispatcher takes them from Configuration.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/registry.h"

namespace quillon {

// ---- Writer side (the page sender) ----

// Queues one message under the name of `when` (seconds precision). A name that already
// exists is never opened or changed: the writer takes the next free second instead
// (up to kMaxQueueNameAttempts of queue_rules.h), so two writers within one second both
// keep their messages and the names still sort in time order. RetryCount is 0 and
// RetryTime is the moment of the name actually used (with its day of week and the
// milliseconds of `when`), so the message is due from then on.
// *queuedAt (optional) receives that moment; callers that queue a run of messages one
// second apart continue from it. Returns false when nothing could be created (the
// values of a created key are then written as far as possible; a key left without
// Subject or Body is retried and given up by the dispatcher).
bool QueueMessage(const DateTime &when, const char *subject, const char *body, DateTime *queuedAt = nullptr);

// ---- Reader side (the scheduler's dispatcher) ----

// True when some message's RetryTime is not later than `now`. Messages without a
// readable RetryTime are not due. A missing Mail key is an empty queue.
bool IsAnyMessageDue(const DateTime &now);

// What the dispatcher does per due message. Send() is called only for a message whose
// Subject and Body could both be read; it returns true when the message counts as sent
// (a non-negative QLSendMessage result, or sending disabled). The handler must not touch
// the queue itself.
class QueuePassHandler {
public:
    virtual ~QueuePassHandler() = default;
    virtual bool Send(const std::string &subject, const std::string &body) = 0;
    // The message was sent and its key is about to be deleted.
    virtual void OnSent() {}
    // The message failed once too often and its key is about to be deleted.
    virtual void OnGaveUp() {}
};

struct QueuePassResult {
    int sent = 0;          // sent and deleted
    int gaveUp = 0;        // failed too often and deleted
    int rescheduled = 0;   // failed, RetryCount and RetryTime written
    int heldBack = 0;      // failed, but RetryCount unreadable or not writable: unchanged
};

// One dispatch pass over the queue at dispatch time `dispatchTime`: every message whose
// RetryTime lies strictly before it is read and handed to `handler`; sent messages are
// deleted; a failed one (including one without Subject or Body) is given up when its
// RetryCount + 1 exceeds `retryLimit`, else gets RetryCount + 1 and RetryTime =
// dispatchTime + `retryMinutes`. After each deletion the walk starts again at index 0
// (indices shift); each key gets at most one attempt per pass, and a key that cannot be
// deleted is passed over, so the pass always ends.
QueuePassResult RunQueuePass(const DateTime &dispatchTime, uint32_t retryLimit, uint32_t retryMinutes,
                             QueuePassHandler &handler);

// Raw access to one message key, for tools and tests. Each call opens and closes the
// keys it needs. Results are Win32 error codes (ERROR_SUCCESS on success).
struct QueuedMessageRecord {
    std::string keyName;
    bool hasRetryCount = false;
    DWORD retryCount = 0;
    bool hasRetryTime = false;
    DateTime retryTime = {};
    bool hasSubject = false;
    std::string subject;
    bool hasBody = false;
    std::string body;
};
// Every message key in registry enumeration order (time order for the usual registry).
std::vector<QueuedMessageRecord> ReadWholeQueue();

} // namespace quillon
