// Where schedule evaluation writes its trace lines.
//
// API
//   TraceSink::WriteLine  receives one line without its line end; the sink adds "\r\n"
//                         (or whatever its medium needs). Must not throw.
//
// Evaluation is given a null TraceSink* when logging is off for the component (no log
// path configured); it calls the sink only for tasks whose own `Logging` flag is set.
// The Windows sink that appends to the log file is LogFileTraceSink (schedule/log_trace_sink.h).
#pragma once

#include <string>

namespace quillon {

class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void WriteLine(const std::string &line) = 0;
};

} // namespace quillon
