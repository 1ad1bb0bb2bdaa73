#include "sender/page_sender.h"

#include <windows.h>
#include <objbase.h>

#include "common/com_owners.h"
#include "common/log.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/win_datetime.h"
#include "common/config/configuration_key.h"
#include "common/config/shared_settings.h"
#include "queue/message_queue.h"
#include "sender/text_digest_cng.h"
#include "webflat/webflat_loader.h"

namespace quillon {

namespace {

// Selection may be of any length, but a task value beyond this is not a page address.
constexpr DWORD kMaxSelectionBytes = 1u << 20;

void LogLine(const SenderConfiguration &config, const std::string &text)
{
    if (config.logging)
        AppendLogText(config.logFile, "QUILLON.EXE " + text + "\r\n");
}

// Stores the digest of what was just queued. The key is opened, never created: a task
// deleted meanwhile must not come back as a key holding only LastTextDigest, which would
// end every later load of the task list at its position.
void WriteTextDigest(const std::string &keyName, const TextDigest &digest)
{
    RegistryKey tasks;
    if (OpenUserKey(kTasksKeyPath, &tasks) != ERROR_SUCCESS)
        return;
    RegistryKey taskKey;
    if (taskKey.Open(tasks.Get(), keyName.c_str()) != ERROR_SUCCESS)
        return;
    taskKey.WriteBinary(task_values::kLastTextDigest, digest.data(), static_cast<DWORD>(digest.size()));
}

} // namespace

bool LoadSenderConfiguration(SenderConfiguration *config)
{
    using namespace config_values;
    ConfigurationKey key;
    if (!key.Open())
        return false;
    // The mail values are only checked: they must be readable texts of at most 260 bytes,
    // as the scheduler that uses them reads them.
    char text[kTextBufferSize];
    uint32_t mailSystem = 0;
    if (!key.ReadNumber(kMailSystem, &mailSystem))
        return false;
    // A push service (MailSystem 2) has no mail logon, and its Sender may be empty.
    const bool push = mailSystem == kMailSystemPush;
    if (mailSystem != kMailSystemSmtp && !push && (!key.ReadText(kProfile, text) || !key.ReadText(kPassword, text)))
        return false;
    if ((!push && !key.ReadText(kSender, text)) || !key.ReadText(kDestination, text))
        return false;

    SenderConfiguration out;
    long maxMsgLen;
    if (!ReadMessageLengthLimit(key, &maxMsgLen) || !AcceptMessageLengthLimit(maxMsgLen, &out.maxMsgLen))
        return false;

    out.logging = ReadLogFile(key, out.logFile);
    ReadClipSubject(key, &out.clipSubject);
    *config = out;
    return true;
}

bool ReadPageTask(const std::string &keyName, const SenderConfiguration &config, PageTask *task)
{
    if (keyName.empty())
        return false;
    PageTask out;
    {
        RegistryKey tasks;
        if (OpenUserKey(kTasksKeyPath, &tasks) != ERROR_SUCCESS)
            return false;
        RegistryKey taskKey;
        if (taskKey.Open(tasks.Get(), keyName.c_str()) != ERROR_SUCCESS)
            return false;
        if (taskKey.ReadString(task_values::kSelection, &out.selection, kMaxSelectionBytes) != ERROR_SUCCESS)
            return false;
        DWORD chop = 0;
        if (taskKey.ReadDword(task_values::kChopMessage, &chop) != ERROR_SUCCESS)
            chop = 0;
        out.chopMessage = chop != 0;
        DWORD sendIfChanged = 0;
        if (taskKey.ReadDword(task_values::kSendIfChanged, &sendIfChanged) != ERROR_SUCCESS)
            sendIfChanged = 0;
        out.sendIfChanged = sendIfChanged != 0;
        // Only a value of exactly the digest's size is one; anything else sends.
        out.hasLastDigest = out.sendIfChanged &&
                            taskKey.ReadBinary(task_values::kLastTextDigest, out.lastDigest.data(),
                                               out.lastDigest.size()) == ERROR_SUCCESS;
    }
    out.keyName = keyName;
    LogLine(config, out.selection);
    if (!SplitSelection(out.selection, &out.parts))
        return false;
    *task = std::move(out);
    return true;
}

bool QueuePageText(const WebFlatLibrary &library, const SenderConfiguration &config, const PageTask &task)
{
    ExtractedText text;
    const char *descriptor = task.parts.hasDescriptor ? task.parts.descriptor.c_str() : nullptr;
    if (library.WebFlat(task.parts.address.c_str(), descriptor, config.maxMsgLen, &text) < 0)
        return false;
    std::string subject = text.Heading() != nullptr && !config.clipSubject ? text.Heading() : "";
    std::string body = text.Body() != nullptr ? text.Body() : "";
    std::vector<PageMessage> messages = CutPageText(subject, body, config.maxMsgLen, task.chopMessage);
    // A page without body text fails the run instead of queueing an empty message: the
    // pager would get nothing useful, and a failed task is retried later.
    if (messages.empty())
        return false;

    // The digest covers the whole text the task would send, not only the first message:
    // a change anywhere sends rather than being held back.
    TextDigest digest{};
    const bool haveDigest = task.sendIfChanged && Sha256Digest(FoldedTextForDigest(subject, body), &digest);
    body.clear();
    body.shrink_to_fit();
    if (haveDigest && task.hasLastDigest && digest == task.lastDigest) {
        LogLine(config, "unchanged");
        return true;
    }

    bool allQueued = true;
    DateTime when = LocalNow();
    for (const PageMessage &message : messages) {
        // The writer may have moved on to a free name; the next message follows that one
        // so that a run's names stay in order. A message that could not be written is
        // lost without a report, as a scheduled job has nobody to tell.
        DateTime queuedAt = when;
        if (!QueueMessage(when, message.subject.c_str(), message.body.c_str(), &queuedAt))
            allQueued = false;
        when = queuedAt;
        Ticks ticks;
        DateTime next;
        if (DateTimeToTicks(when, &ticks) && TicksToDateTime(ticks + kTicksPerSecond, &next))
            when = next;
    }
    // Heading first, then body, once every message is written.
    text.Reset();

    // Last of all, and only when every message is in the queue: a run that died or lost
    // a message before this point leaves the old digest, so the next run sends again.
    if (haveDigest && allQueued)
        WriteTextDigest(task.keyName, digest);
    return true;
}

int RunPageSender(const std::string &keyName)
{
    ComApartment com;
    if (!com.Ok())
        return kPageSenderFailed;
    // Declared first so that it outlives every text it hands out.
    WebFlatLibrary library;
    if (!library.LoadBesideModule(nullptr))
        return kPageSenderFailed;
    SenderConfiguration config;
    if (!LoadSenderConfiguration(&config))
        return kPageSenderFailed;
    LogLine(config, keyName);
    PageTask task;
    if (!ReadPageTask(keyName, config, &task))
        return kPageSenderFailed;
    if (!QueuePageText(library, config, task))
        return kPageSenderFailed;
    return kPageSenderSucceeded;
}

} // namespace quillon
