#include "schedule/log_trace_sink.h"

#include "common/log.h"

namespace quillon {

void LogFileTraceSink::WriteLine(const std::string &line)
{
    AppendLogText(logPath_.c_str(), line + "\r\n");
}

} // namespace quillon
