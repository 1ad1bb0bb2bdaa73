// Text work of the page sender that needs no Windows: splitting a task's Selection into
// address and selection descriptor, reading the message length limit, and cutting an
// extracted page into messages. The Win32 side (sender/page_sender.*) reads the registry,
// calls the text library and queues what CutPageText returns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// The task key name from the process's whole command line: everything after the
// program name (quoted or not) and the one blank that separates them, unchanged. Key
// names contain spaces, so nothing else is parsed. Empty when there is nothing after the
// program name.
std::string TaskKeyNameFromCommandLine(const char *commandLine);

// A task's Selection: a double quote, the page address or file path, a closing double
// quote, then optionally spaces and a selection descriptor.
struct SelectionParts {
    std::string address;
    bool hasDescriptor = false;  // false: the text library gets no descriptor (null)
    std::string descriptor;
};

// Splits `selection`. The address runs from after the first character (which must be a
// double quote) to the last double quote of the text, so quotes inside the address stay
// part of it. Spaces after the closing quote are skipped; whatever follows is the
// descriptor. False (and *parts untouched) when the text does not start with a quote or
// has no closing quote after it.
bool SplitSelection(const std::string &selection, SelectionParts *parts);

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
