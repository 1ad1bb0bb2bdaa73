// The seam over the outgoing message queue (the Mail key) that the scheduler's queue walk
// goes through: RegistryMailQueue (message_queue.h) implements it over the registry,
// tests implement it in memory. Includes no Windows header.
#pragma once

#include <cstdint>
#include <string>

#include "common/datetime.h"

namespace quillon {

// The Mail key as the walk sees it. One entry is open at a time, between OpenEntry and
// CloseEntry; the value operations act on it. No implementation may throw.
class MailQueueStore {
public:
    virtual ~MailQueueStore() = default;
    // Opens the queue; false when it does not exist or cannot be opened.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    // Name of the entry at `index` (enumeration order); false at the end.
    virtual bool EntryAt(uint32_t index, std::string *name) = 0;
    virtual bool OpenEntry(const std::string &name) = 0;
    virtual void CloseEntry() = 0;
    // The 16-byte RetryTime record; false when missing or of another size.
    virtual bool ReadRetryTime(DateTime *time) = 0;
    // Subject and Body at their stored length; false when missing or unreadable.
    virtual bool ReadSubject(std::string *text) = 0;
    virtual bool ReadBody(std::string *text) = 0;
    virtual bool ReadRetryCount(uint32_t *count) = 0;
    // Writes RetryCount, then RetryTime; false when either write failed.
    virtual bool WriteRetry(uint32_t count, const DateTime &retryTime) = 0;
    // Deletes a closed entry of the open queue with everything below it (a subkey left
    // there by hand or by another tool does not keep it alive).
    virtual bool DeleteEntry(const std::string &name) = 0;
};

} // namespace quillon
