// TraceSink that appends each line, ended with "\r\n", to the log file (common/log.h):
// opened per line without sharing, the line dropped silently when the file cannot be
// opened. Construct it only when the component's log path is set; the path is copied.
#pragma once

#include <string>

#include "schedule/trace_sink.h"

namespace quillon {

class LogFileTraceSink : public TraceSink {
public:
    explicit LogFileTraceSink(std::string logPath) : logPath_(std::move(logPath)) {}
    void WriteLine(const std::string &line) override;

private:
    std::string logPath_;
};

} // namespace quillon
