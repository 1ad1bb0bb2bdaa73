// The page sender's run: read the configuration and the task, extract the page through
// WEBFLAT.DLL, cut it and queue the messages. Every step returns false on failure and
// writes nothing to the log then; RunPageSender turns the outcome into the exit code
// the scheduler expects.
#pragma once

#include <cstdint>
#include <string>

#include "common/text.h"
#include "sender/page_text.h"
#include "sender/text_digest.h"

namespace quillon {

class WebFlatLibrary;

// Exit codes of quillon.exe: the scheduler counts only kPageSenderSucceeded as success.
constexpr int kPageSenderSucceeded = -1;  // 0xFFFFFFFF
constexpr int kPageSenderFailed = 0;

struct SenderConfiguration {
    int32_t maxMsgLen = 0;              // at least 1
    bool logging = false;               // the Logging value exists with data
    char logFile[kTextBufferSize] = {};
    bool clipSubject = false;           // the page title is not sent
};

// Reads Configuration. False when MailSystem, Destination or MaxMsgLen is missing,
// Sender is missing while MailSystem is not 2 (push notification), Profile or Password
// is missing while MailSystem is neither 0 nor 2, or MaxMsgLen does
// not hold a number of at least 1. The mail settings are only checked for presence;
// the scheduler uses them.
bool LoadSenderConfiguration(SenderConfiguration *config);

struct PageTask {
    std::string keyName;    // the task's key under Tasks
    std::string selection;  // the task's Selection value as stored
    SelectionParts parts;   // address and selection descriptor split from it
    bool chopMessage = false;
    bool sendIfChanged = false;   // queue only when the text differs from the last sent
    bool hasLastDigest = false;   // LastTextDigest held a 32-byte digest
    TextDigest lastDigest{};
};

// Reads Tasks\<keyName>: Selection (required, any length), ChopMessage (0 when absent),
// SendIfChanged (0 when absent) and, for a change-watching task, LastTextDigest (a value
// of another size counts as none), then logs the Selection when logging is on and splits
// it. False for an empty key name, a missing key or Selection, or a Selection without
// its quotes.
bool ReadPageTask(const std::string &keyName, const SenderConfiguration &config, PageTask *task);

// Extracts the task's page with `library`, cuts it and queues every message: the first
// at the local time after extraction, each next one second after the name the previous
// one was queued under. False when WebFlat fails or the page has no body text (nothing
// is queued then). A message that cannot be written is lost silently; the run still
// succeeds.
//
// A change-watching task (sendIfChanged) first compares the SHA-256 of the folded text
// it would queue (FoldedTextForDigest) with its LastTextDigest. The same digest queues
// nothing, logs "QUILLON.EXE unchanged" and succeeds. Otherwise the messages are queued,
// the texts handed back to the library, and only then, when every message was written,
// the new digest stored: a run that ends before that point sends again next time.
bool QueuePageText(const WebFlatLibrary &library, const SenderConfiguration &config, const PageTask &task);

// The whole run for one task key name; returns kPageSenderSucceeded or kPageSenderFailed.
// The text library is loaded from the folder of the process's program file.
int RunPageSender(const std::string &keyName);

} // namespace quillon
