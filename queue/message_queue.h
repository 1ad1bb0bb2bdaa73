// The outgoing message queue: one registry key per message under
// HKCU\Software\Kestrova\Tasqeduler\Mail, written by the page sender and delivered,
// rescheduled and deleted by the scheduler's dispatcher. This module is the only code
// that knows the format; both sides go through it (the walk itself is the scheduler's,
// over the seam of queue_store.h).
//
// A message key is named after the local time it was queued ("%4d%2d%2d%2d%2d%2d",
// space-padded, see common/timestamp.h) and holds
//   RetryCount  REG_DWORD   failed attempts so far (0 when queued)
//   RetryTime   REG_BINARY  16-byte SYSTEMTIME before which it is not sent
//   Subject     REG_SZ      subject line
//   Body        REG_SZ      message text
// Sender and destination are not stored: the dispatcher takes them from Configuration.
// A message is written into a staging key (a name beginning with '~', common/
// timestamp_key.h) and renamed to its name once whole; the walk passes staging keys over
// and the next writer removes those a killed writer left.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/registry.h"
#include "queue/queue_store.h"

namespace quillon {

// ---- Writer side (the page sender) ----

// Queues one message under the name of `when` (seconds precision). A name that already
// exists is never opened or changed: the writer takes the next free second instead
// (up to kMaxQueueNameAttempts of queue_rules.h), so two writers within one second both
// keep their messages and the names still sort in time order. RetryCount is 0 and
// RetryTime is the moment of the name actually used (with its day of week and the
// milliseconds of `when`), so the message is due from then on.
// *queuedAt (optional) receives that moment; callers that queue a run of messages one
// second apart continue from it. Returns false when the message could not be stored
// whole; nothing is then left in the queue.
bool QueueMessage(const DateTime &when, const char *subject, const char *body, DateTime *queuedAt = nullptr);

// ---- Reader side (the scheduler's dispatcher) ----

// HKCU\Software\Kestrova\Tasqeduler\Mail as the scheduler's queue walk sees it (queue_store.h).
// Deleting an entry deletes its key with everything below it. Counts its registry
// operations for the benchmark.
class RegistryMailQueue : public MailQueueStore {
public:
    bool Open() override;
    void Close() override;
    bool EntryAt(uint32_t index, std::string *name) override;
    bool OpenEntry(const std::string &name) override;
    void CloseEntry() override;
    bool ReadRetryTime(DateTime *time) override;
    bool ReadSubject(std::string *text) override;
    bool ReadBody(std::string *text) override;
    bool ReadRetryCount(uint32_t *count) override;
    bool WriteRetry(uint32_t count, const DateTime &retryTime) override;
    bool DeleteEntry(const std::string &name) override;

    // Registry calls made so far (opens, closes, reads, writes, enumerations, deletions).
    unsigned long long Operations() const { return operations_; }

private:
    bool ReadText(const char *value, std::string *text);

    RegistryKey queue_;
    RegistryKey entry_;
    unsigned long long operations_ = 0;
};

// Raw access to one message key, for tools and tests. Each call opens and closes the
// keys it needs. Results are Win32 error codes (ERROR_SUCCESS on success).
struct QueuedMessageRecord {
    std::string keyName;
    bool opened = false;  // false: the key could not be opened and nothing else was read
    bool hasRetryCount = false;
    DWORD retryCount = 0;
    bool hasRetryTime = false;
    DateTime retryTime = {};
    bool hasSubject = false;
    std::string subject;
    bool hasBody = false;
    std::string body;
};
// Every key under Mail in registry enumeration order (time order for the usual
// registry), staging keys (names beginning with '~') included, so tests see them.
std::vector<QueuedMessageRecord> ReadWholeQueue();

} // namespace quillon
