// Helpers for test programs that run under Wine (see cmake/Quillon.cmake for the
// environment every test program gets).
#pragma once

#include <windows.h>

#include "tests/support/config_rows.h"

#include <string>
#include <vector>

namespace quillon::test {

// Z:\... form of a Linux path (Wine maps / to drive Z:).
std::string WindowsPathOf(const std::string &unixPath);

// The installation folder with every deliverable (build/windows/bin), Windows form,
// without a trailing backslash.
std::string BinDir();
// The source tests/ folder and the build tree, Windows form.
std::string TestDataDir();
std::string BuildDir();
// A fresh, empty folder for this test program (Windows form, under the build tree).
std::string MakeScratchDir(const std::string &name);

// Removes HKCU\Software\Kestrova\Tasqeduler and everything below it. Tests that touch the
// product's registry tree call this first and hold the CTest resource lock "registry".
void ResetProductRegistry();

struct ProcessResult {
    bool started = false;
    bool timedOut = false;      // still running at the limit; it was terminated
    DWORD exitCode = 0;
};
// Starts commandLine (CreateProcess, no window) and waits at most timeoutMs.
ProcessResult RunProcess(const std::string &commandLine, DWORD timeoutMs, const char *currentDir = nullptr);

// Registers the schedule component from the installation folder (tasqui.dll's
// DllRegisterServer), as the installer would. Returns its HRESULT, or E_FAIL when the
// library or its export cannot be found.
HRESULT RegisterScheduleComponent();

std::string ReadWholeFile(const std::string &path);
bool WriteWholeFile(const std::string &path, const std::string &content);

// What a process holds, for tests of libraries that are loaded and unloaded again and
// again: the bytes in busy blocks of all its heaps, and its open handles (counted by
// asking for each possible handle value: under Wine GetProcessHandleCount gives 0).
SIZE_T HeapBytesInUse();
DWORD OpenHandleCount();

// Creates HKCU\Software\Kestrova\Tasqeduler\Configuration and writes the rows in order
// (kAbsent deletes the value). False at the first failure.
bool WriteConfigurationRows(const std::vector<ConfigRow> &rows);

} // namespace quillon::test
