// tasqed.exe as a process of a test: started from the installation folder, its hidden
// main window found by thread, "&Exit" chosen, and terminated if it must be.
#pragma once

#include <windows.h>

#include <string>

#include "resources/resource_ids.h"
#include "tests/support/wine_test_support.h"
#include "tests/support/window_driver.h"

namespace quillon::test {

constexpr DWORD kSchedulerWaitMs = 15000;

// One started tasqed.exe; ended (terminated if it must be) when the object goes.
class SchedulerProcess {
public:
    SchedulerProcess() = default;
    SchedulerProcess(const SchedulerProcess &) = delete;
    SchedulerProcess &operator=(const SchedulerProcess &) = delete;
    ~SchedulerProcess()
    {
        if (info_.hProcess == nullptr)
            return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 1);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }

    bool Start(const std::string &currentDir)
    {
        std::string commandLine = "\"" + BinDir() + "\\tasqed.exe\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        return CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, currentDir.c_str(),
                              &startup, &info_) != FALSE;
    }

    DWORD ThreadId() const { return info_.dwThreadId; }

    // The hidden main window (class "TASQED").
    HWND MainWindow(DWORD timeoutMs = kSchedulerWaitMs) const
    {
        return WaitForThreadWindow(
            info_.dwThreadId, [](HWND window) { return ClassOf(window) == "TASQED"; }, timeoutMs, false);
    }

    bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

    // True with *exitCode when the process ended within the limit.
    bool WaitForExit(DWORD timeoutMs, DWORD *exitCode) const
    {
        DWORD start = GetTickCount();
        while (WaitForSingleObject(info_.hProcess, 20) == WAIT_TIMEOUT) {
            if (GetTickCount() - start >= timeoutMs)
                return false;
            PumpFor(0);
        }
        return GetExitCodeProcess(info_.hProcess, exitCode) != FALSE;
    }

    // The "&Exit" command; true when the program then ended with code 0.
    bool Exit()
    {
        HWND window = MainWindow(2000);
        if (window == nullptr)
            return false;
        PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
        DWORD code = 1;
        return WaitForExit(kSchedulerWaitMs, &code) && code == 0;
    }

private:
    PROCESS_INFORMATION info_ = {};
};

inline size_t CountOf(const std::string &text, const std::string &piece)
{
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

} // namespace quillon::test
