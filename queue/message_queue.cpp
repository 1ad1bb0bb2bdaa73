#include "queue/message_queue.h"

#include "common/names.h"
#include "common/timestamp.h"
#include "common/timestamp_key.h"
#include "queue/queue_rules.h"

namespace quillon {

namespace {

// Texts of a message are read at their stored length; nothing the page sender writes
// comes near this, it only stops a hand-made value from exhausting memory.
constexpr DWORD kMaxMessageTextBytes = 16u << 20;
// Message key names the writer makes: the registry's own limit for a key name.
constexpr size_t kMaxQueueKeyName = 255;

bool ReadRetryTimeOf(const RegistryKey &message, DateTime *retryTime)
{
    DateTime value;
    if (message.ReadBinary(mail_values::kRetryTime, &value, sizeof value) != ERROR_SUCCESS)
        return false;
    *retryTime = value;
    return true;
}

// The moment named by `name`, with the day of week and the milliseconds of `when`.
bool MomentOfName(const std::string &name, const DateTime &when, DateTime *moment)
{
    DateTime parsed;
    if (!ParseTimestampKeyName(name, &parsed))
        return false;
    parsed.wMilliseconds = when.wMilliseconds;
    Ticks ticks;
    return DateTimeToTicks(parsed, &ticks) && TicksToDateTime(ticks, moment);
}

} // namespace

bool QueueMessage(const DateTime &when, const char *subject, const char *body, DateTime *queuedAt)
{
    if (!IsValidDateTime(when))
        return false;
    RegistryKey mail;
    if (CreateUserKey(kMailKeyPath, &mail) != ERROR_SUCCESS)
        return false;

    // The message is written whole into a staging key and renamed to its name, so a
    // writer killed half-way leaves no message key without some value, only a staging
    // key that the walk passes over and the next writer removes. A name that already
    // exists belongs to another message and is left alone: the rename takes the next
    // free second instead, and RetryTime follows the name about to be tried.
    bool firstAttempt = true;
    DateTime moment = when;
    auto write = [&](const RegistryKey &message, const std::string &name) {
        if (!MomentOfName(name, when, &moment))
            moment = when;
        bool ok = message.WriteBinary(mail_values::kRetryTime, &moment, sizeof moment) == ERROR_SUCCESS;
        if (firstAttempt) {
            firstAttempt = false;
            ok = ok && message.WriteDword(mail_values::kRetryCount, 0) == ERROR_SUCCESS &&
                 message.WriteString(mail_values::kSubject, subject != nullptr ? subject : "") == ERROR_SUCCESS &&
                 message.WriteString(mail_values::kBody, body != nullptr ? body : "") == ERROR_SUCCESS;
        }
        return ok;
    };
    std::string name;
    if (!StoreKeyAtNextFreeSecond(mail, TimestampKeyName(when), kMaxQueueNameAttempts, kMaxQueueKeyName, write,
                                  &name))
        return false;
    if (queuedAt != nullptr)
        *queuedAt = moment;
    return true;
}

bool RegistryMailQueue::Open()
{
    ++operations_;
    return queue_.Open(HKEY_CURRENT_USER, kMailKeyPath) == ERROR_SUCCESS;
}

void RegistryMailQueue::Close()
{
    if (entry_.IsOpen()) {
        ++operations_;
        entry_.Close();
    }
    if (queue_.IsOpen()) {
        ++operations_;
        queue_.Close();
    }
}

bool RegistryMailQueue::EntryAt(uint32_t index, std::string *name)
{
    if (!queue_.IsOpen())
        return false;
    ++operations_;
    return queue_.EnumSubkeyName(index, name) == ERROR_SUCCESS;
}

bool RegistryMailQueue::OpenEntry(const std::string &name)
{
    if (!queue_.IsOpen())
        return false;
    ++operations_;
    return entry_.Open(queue_.Get(), name.c_str()) == ERROR_SUCCESS;
}

void RegistryMailQueue::CloseEntry()
{
    if (entry_.IsOpen()) {
        ++operations_;
        entry_.Close();
    }
}

bool RegistryMailQueue::ReadRetryTime(DateTime *time)
{
    ++operations_;
    return ReadRetryTimeOf(entry_, time);
}

bool RegistryMailQueue::ReadText(const char *value, std::string *text)
{
    // ReadString asks for the size first and reads the value at its stored length.
    operations_ += 2;
    return entry_.ReadString(value, text, kMaxMessageTextBytes) == ERROR_SUCCESS;
}

bool RegistryMailQueue::ReadSubject(std::string *text) { return ReadText(mail_values::kSubject, text); }

bool RegistryMailQueue::ReadBody(std::string *text) { return ReadText(mail_values::kBody, text); }

bool RegistryMailQueue::ReadRetryCount(uint32_t *count)
{
    ++operations_;
    DWORD value = 0;
    if (entry_.ReadDword(mail_values::kRetryCount, &value) != ERROR_SUCCESS)
        return false;
    *count = value;
    return true;
}

bool RegistryMailQueue::WriteRetry(uint32_t count, const DateTime &retryTime)
{
    operations_ += 2;
    bool countWritten = entry_.WriteDword(mail_values::kRetryCount, count) == ERROR_SUCCESS;
    bool timeWritten = entry_.WriteBinary(mail_values::kRetryTime, &retryTime, sizeof retryTime) == ERROR_SUCCESS;
    return countWritten && timeWritten;
}

bool RegistryMailQueue::DeleteEntry(const std::string &name)
{
    if (!queue_.IsOpen())
        return false;
    ++operations_;
    return queue_.DeleteSubkeyTree(name.c_str()) == ERROR_SUCCESS;
}

std::vector<QueuedMessageRecord> ReadWholeQueue()
{
    std::vector<QueuedMessageRecord> records;
    RegistryKey mail;
    if (OpenUserKey(kMailKeyPath, &mail) != ERROR_SUCCESS)
        return records;
    std::string name;
    for (DWORD index = 0; mail.EnumSubkeyName(index, &name) == ERROR_SUCCESS; ++index) {
        QueuedMessageRecord record;
        record.keyName = name;
        RegistryKey message;
        record.opened = message.Open(mail.Get(), name.c_str()) == ERROR_SUCCESS;
        if (record.opened) {
            record.hasRetryCount = message.ReadDword(mail_values::kRetryCount, &record.retryCount) == ERROR_SUCCESS;
            record.hasRetryTime = ReadRetryTimeOf(message, &record.retryTime);
            record.hasSubject = message.ReadString(mail_values::kSubject, &record.subject, kMaxMessageTextBytes) == ERROR_SUCCESS;
            record.hasBody = message.ReadString(mail_values::kBody, &record.body, kMaxMessageTextBytes) == ERROR_SUCCESS;
        }
        records.push_back(std::move(record));
    }
    return records;
}

} // namespace quillon
