#include "tests/support/wine_test_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"

namespace quillon::test {

std::string WindowsPathOf(const std::string &unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

static std::string EnvPath(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? WindowsPathOf(value) : std::string();
}

std::string BinDir() { return EnvPath("QUILLON_BIN_DIR"); }
std::string TestDataDir() { return EnvPath("QUILLON_TEST_DATA"); }
std::string BuildDir() { return EnvPath("QUILLON_BUILD_DIR"); }

static void RemoveTree(const std::string &dir)
{
    WIN32_FIND_DATAA found;
    UniqueFindHandle search(FindFirstFileA((dir + "\\*").c_str(), &found));
    if (search.IsValid()) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search.Get(), &found));
    }
    search.Reset();
    RemoveDirectoryA(dir.c_str());
}

std::string MakeScratchDir(const std::string &name)
{
    std::string root = BuildDir() + "\\scratch";
    CreateDirectoryA(root.c_str(), nullptr);
    std::string dir = root + "\\" + name;
    RemoveTree(dir);
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void ResetProductRegistry()
{
    RegistryKey parent;
    if (parent.Open(HKEY_CURRENT_USER, "Software\\Kestrova") == ERROR_SUCCESS)
        parent.DeleteSubkeyTree("Tasqeduler");
}

ProcessResult RunProcess(const std::string &commandLine, DWORD timeoutMs, const char *currentDir)
{
    ProcessResult result;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Under load Wine now and then refuses a process start that succeeds a moment later;
    // a start is tried three times before it counts as failed.
    bool created = false;
    for (int attempt = 0; attempt < 3 && !created; ++attempt) {
        if (attempt > 0)
            Sleep(250);
        std::string mutableLine = commandLine;
        created = CreateProcessA(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                 currentDir, &startup, &info) != FALSE;
    }
    if (!created)
        return result;
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    result.started = true;
    if (WaitForSingleObject(process.Get(), timeoutMs) == WAIT_TIMEOUT) {
        result.timedOut = true;
        TerminateProcess(process.Get(), 0xDEADDEAD);
        WaitForSingleObject(process.Get(), 5000);
    }
    GetExitCodeProcess(process.Get(), &result.exitCode);
    return result;
}

HRESULT RegisterScheduleComponent()
{
    UniqueModule module(LoadLibraryA((BinDir() + "\\tasqui.dll").c_str()));
    using RegisterFunction = HRESULT(WINAPI *)();
    auto registerServer = module.Resolve<RegisterFunction>("DllRegisterServer");
    return registerServer != nullptr ? registerServer() : E_FAIL;
}

SIZE_T HeapBytesInUse()
{
    HANDLE heaps[256];
    DWORD count = GetProcessHeaps(256, heaps);
    SIZE_T total = 0;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

DWORD OpenHandleCount()
{
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    if (count != 0)
        return count;
    for (uintptr_t value = 4; value < 0x20000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}

std::string ReadWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

bool WriteConfigurationRows(const std::vector<ConfigRow> &rows)
{
    RegistryKey key;
    if (key.Create(HKEY_CURRENT_USER, kConfigurationKeyPath) != ERROR_SUCCESS)
        return false;
    for (const ConfigRow &row : rows) {
        LONG rc = ERROR_SUCCESS;
        switch (row.kind) {
        case ConfigRow::Kind::kText:
            rc = key.WriteString(row.name.c_str(), row.bytes);
            break;
        case ConfigRow::Kind::kNumber:
            rc = key.WriteDword(row.name.c_str(), row.number);
            break;
        case ConfigRow::Kind::kRaw:
            rc = RegSetValueExA(key.Get(), row.name.c_str(), 0, row.type,
                                reinterpret_cast<const BYTE *>(row.bytes.data()), static_cast<DWORD>(row.bytes.size()));
            break;
        case ConfigRow::Kind::kAbsent:
            rc = key.DeleteValue(row.name.c_str());
            if (rc == ERROR_FILE_NOT_FOUND)
                rc = ERROR_SUCCESS;
            break;
        }
        if (rc != ERROR_SUCCESS)
            return false;
    }
    return true;
}

} // namespace quillon::test
