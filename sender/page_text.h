// Text work of the page sender that needs no Windows: the task key name from the command
// line, reading the message length limit, and cutting an extracted page into messages
// (a task's Selection is split by common/page_task.h). The Win32 side
// (sender/page_sender.*) reads the registry, calls the text library and queues what
// CutPageText returns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/page_task.h"

namespace quillon {

// The task key name from the process's whole command line: everything after the
// program name (quoted or not) and the one blank that separates them, unchanged. Key
// names contain spaces, so nothing else is parsed. Empty when there is nothing after the
// program name.
std::string TaskKeyNameFromCommandLine(const char *commandLine);

// The configured MaxMsgLen text as a length limit, converted the way the C library's
// text-to-long conversion does ("160 chars" gives 160). A limit below 1 (including text
// that is not a number) is refused with false: cutting could make no progress with it.
bool ParseMessageLengthLimit(const char *text, int32_t *limit);
// The same rule on a value already converted (common/config's ReadMessageLengthLimit).
bool AcceptMessageLengthLimit(long value, int32_t *limit);

struct PageMessage {
    std::string subject;
    std::string body;  // never empty; break marks already turned into spaces
};

// Cuts an extracted page into the messages to queue, in order.
//
// Only the first message carries `subject`. A message is the whole remainder when
// subject length plus remainder length is below maxMsgLen. Otherwise the cut is the
// break mark nearest before (or at) maxMsgLen characters into the remainder, never at
// its first character; the mark itself is dropped. With no mark in reach the cut is a
// hard one at exactly maxMsgLen characters. When the subject pushes a short remainder
// over the limit, the cut position is held at the end of the body: the last break mark
// of the remainder is used if there is one, else the remainder goes whole. Every message
// therefore holds at least one character of the body and the loop always advances.
//
// chopMessage false stops after the first message. An empty body gives no messages.
// maxMsgLen must be at least 1 (see ParseMessageLengthLimit); a smaller value gives no
// messages.
std::vector<PageMessage> CutPageText(const std::string &subject, const std::string &body, int32_t maxMsgLen,
                                     bool chopMessage);

} // namespace quillon
