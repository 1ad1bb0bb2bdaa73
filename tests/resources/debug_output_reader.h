// Collects this process's debugger output (OutputDebugString) while it lives, by acting
// as the system's debug-output monitor through the DBWIN_BUFFER objects. Those objects
// are shared by the whole Wine prefix: tests using this hold the CTest lock "dbwin".
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/handles.h"

namespace quillon::test {

class DebugOutputReader {
public:
    DebugOutputReader() = default;
    ~DebugOutputReader();
    DebugOutputReader(const DebugOutputReader &) = delete;
    DebugOutputReader &operator=(const DebugOutputReader &) = delete;

    // Starts listening; false (error says why) when the objects cannot be created.
    bool Start(std::string &error);

    // Waits up to timeoutMs for a piece of output equal to text; true when it came.
    bool WaitFor(const std::string &text, DWORD timeoutMs);
    // Every piece this process wrote so far.
    std::vector<std::string> Pieces();

private:
    void Run();

    UniqueHandle bufferReady_, dataReady_, mapping_, stop_, started_;
    const BYTE *view_ = nullptr;
    std::thread thread_;
    std::mutex lock_;
    std::vector<std::string> pieces_;
};

} // namespace quillon::test
