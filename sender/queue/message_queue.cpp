#include "sender/queue/message_queue.h"

#include <set>

#include "common/names.h"
#include "common/timestamp.h"
#include "sender/queue/queue_rules.h"

namespace quillon {

namespace {

// Texts of a message are read at their stored length; nothing the page sender writes
// comes near this, it only stops a hand-made value from exhausting memory.
constexpr DWORD kMaxMessageTextBytes = 16u << 20;
// Key names the reader accepts (the registry's own limit for a key name is 255).
constexpr DWORD kMaxKeyNameBytes = 260;

bool ReadRetryTime(const RegistryKey &message, DateTime *retryTime)
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

    // The registry creates a key atomically, so "created" tells this writer alone that
    // the name is its own; an existing key belongs to someone else and is left alone.
    std::string name = TimestampKeyName(when);
    RegistryKey message;
    bool created = false;
    for (int attempt = 0; attempt < kMaxQueueNameAttempts; ++attempt) {
        if (message.Create(mail.Get(), name.c_str(), &created) != ERROR_SUCCESS)
            return false;
        if (created)
            break;
        message.Close();
        std::string next;
        if (!NextTimestampKeyName(name, &next))
            return false;
        name = next;
    }
    if (!created)
        return false;

    DateTime moment;
    if (!MomentOfName(name, when, &moment))
        moment = when;
    bool ok = message.WriteDword(mail_values::kRetryCount, 0) == ERROR_SUCCESS;
    ok = message.WriteBinary(mail_values::kRetryTime, &moment, sizeof moment) == ERROR_SUCCESS && ok;
    ok = message.WriteString(mail_values::kSubject, subject != nullptr ? subject : "") == ERROR_SUCCESS && ok;
    ok = message.WriteString(mail_values::kBody, body != nullptr ? body : "") == ERROR_SUCCESS && ok;
    if (queuedAt != nullptr)
        *queuedAt = moment;
    return ok;
}

bool IsAnyMessageDue(const DateTime &now)
{
    RegistryKey mail;
    if (OpenUserKey(kMailKeyPath, &mail) != ERROR_SUCCESS)
        return false;
    char name[kMaxKeyNameBytes];
    for (DWORD index = 0;; ++index) {
        LONG rc = mail.EnumSubkeyName(index, name, sizeof name);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            return false;
        RegistryKey message;
        if (message.Open(mail.Get(), name) != ERROR_SUCCESS)
            continue;
        DateTime retryTime;
        if (ReadRetryTime(message, &retryTime) && IsDueAtOrBefore(retryTime, now))
            return true;
    }
}

QueuePassResult RunQueuePass(const DateTime &dispatchTime, uint32_t retryLimit, uint32_t retryMinutes,
                             QueuePassHandler &handler)
{
    QueuePassResult result;
    DateTime nextRetry;
    bool haveNextRetry = RetryTimeAfter(dispatchTime, retryMinutes, &nextRetry);

    RegistryKey mail;
    if (OpenUserKey(kMailKeyPath, &mail) != ERROR_SUCCESS)
        return result;

    // Keys this pass has already tried and kept: the restart after a deletion walks
    // past them again, and they must not get a second attempt in the same pass.
    std::set<std::string> kept;
    char name[kMaxKeyNameBytes];
    DWORD index = 0;
    for (;;) {
        LONG rc = mail.EnumSubkeyName(index, name, sizeof name);
        if (rc == ERROR_MORE_DATA) {
            ++index;
            continue;
        }
        if (rc != ERROR_SUCCESS)
            break;

        if (kept.count(name) != 0) {
            ++index;
            continue;
        }
        bool deleteIt = false;
        {
            RegistryKey message;
            if (message.Open(mail.Get(), name) != ERROR_SUCCESS) {
                ++index;
                continue;
            }
            DateTime retryTime;
            if (!ReadRetryTime(message, &retryTime) || !IsDueForDispatch(retryTime, dispatchTime)) {
                ++index;
                continue;
            }

            std::string subject, body;
            bool readable = message.ReadString(mail_values::kSubject, &subject, kMaxMessageTextBytes) == ERROR_SUCCESS &&
                            message.ReadString(mail_values::kBody, &body, kMaxMessageTextBytes) == ERROR_SUCCESS;
            bool sent = readable && handler.Send(subject, body);
            if (sent) {
                handler.OnSent();
                ++result.sent;
                deleteIt = true;
            } else {
                DWORD count;
                if (message.ReadDword(mail_values::kRetryCount, &count) != ERROR_SUCCESS) {
                    ++result.heldBack;
                } else if (DecideAfterFailure(count, retryLimit) == FailedAttempt::kGiveUp) {
                    handler.OnGaveUp();
                    ++result.gaveUp;
                    deleteIt = true;
                } else if (haveNextRetry &&
                           message.WriteDword(mail_values::kRetryCount, count + 1) == ERROR_SUCCESS &&
                           message.WriteBinary(mail_values::kRetryTime, &nextRetry, sizeof nextRetry) == ERROR_SUCCESS) {
                    ++result.rescheduled;
                } else {
                    ++result.heldBack;
                }
            }
        }
        // Restart after a deletion, since the indices behind it shift. A key that cannot
        // be deleted is passed over instead: restarting on it would never end.
        if (deleteIt && mail.DeleteSubkeyTree(name) == ERROR_SUCCESS) {
            index = 0;
        } else {
            kept.insert(name);
            ++index;
        }
    }
    return result;
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
        if (message.Open(mail.Get(), name.c_str()) == ERROR_SUCCESS) {
            record.hasRetryCount = message.ReadDword(mail_values::kRetryCount, &record.retryCount) == ERROR_SUCCESS;
            record.hasRetryTime = ReadRetryTime(message, &record.retryTime);
            record.hasSubject = message.ReadString(mail_values::kSubject, &record.subject, kMaxMessageTextBytes) == ERROR_SUCCESS;
            record.hasBody = message.ReadString(mail_values::kBody, &record.body, kMaxMessageTextBytes) == ERROR_SUCCESS;
        }
        records.push_back(std::move(record));
    }
    return records;
}

} // namespace quillon
