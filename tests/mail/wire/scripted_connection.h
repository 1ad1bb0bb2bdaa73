// A WireConnection that plays a server from a script, for the dialogue tests and the
// reply fuzz target. The server's output is a list of bursts: a waiting receive takes
// the next byte, starting the next burst when the current one is used up; a poll only
// sees bytes of the burst in progress (what "has already arrived"). After the last
// burst the connection reports closed. Sends are recorded; one of them can be made to fail.
#pragma once

#include <string>
#include <vector>

#include "mail/wire/wire_dialogue.h"

namespace quillon::test {

class ScriptedConnection : public wire::WireConnection {
public:
    std::vector<std::string> bursts;
    std::vector<std::string> sent;
    int failSendNumber = -1;     // 0-based index of the send call that fails
    int sendError = 10054;       // WSAECONNRESET
    int closeError = 0;
    int replyCount = 0;

    bool Send(const char *data, size_t length) override
    {
        if (static_cast<int>(sent.size()) == failSendNumber) {
            sent.push_back("<failed>");
            error_ = sendError;
            return false;
        }
        sent.emplace_back(data, length);
        return true;
    }
    void BeginReply() override { ++replyCount; }
    wire::ReceiveStatus Receive(char *byte, bool onlyIfWaiting) override
    {
        if (burst_ < bursts.size() && offset_ < bursts[burst_].size()) {
            *byte = bursts[burst_][offset_++];
            return wire::ReceiveStatus::kByte;
        }
        if (onlyIfWaiting)
            return wire::ReceiveStatus::kNothingWaiting;
        while (burst_ < bursts.size() && offset_ >= bursts[burst_].size()) {
            ++burst_;
            offset_ = 0;
        }
        if (burst_ >= bursts.size()) {
            error_ = closeError;
            return wire::ReceiveStatus::kClosed;
        }
        *byte = bursts[burst_][offset_++];
        return wire::ReceiveStatus::kByte;
    }
    int LastError() const override { return error_; }

    std::string AllSent() const
    {
        std::string all;
        for (const std::string &s : sent)
            all += s;
        return all;
    }

private:
    size_t burst_ = 0;
    size_t offset_ = 0;
    int error_ = 0;
};

class RecordingOutput : public wire::WireOutput {
public:
    std::vector<std::string> lines;
    std::vector<std::string> debug;
    void Log(const std::string &line) override { lines.push_back(line); }
    void Debug(const char *text) override { debug.emplace_back(text); }
};

} // namespace quillon::test
