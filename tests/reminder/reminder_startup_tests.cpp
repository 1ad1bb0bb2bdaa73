// Nagnote.exe as the user starts it: the silent exits with code 0, the window of a
// configured installation, and the program's own icon and version block.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "resources/resource_ids.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;
using namespace quillon::test;

namespace {

std::string Nagnote() { return BinDir() + "\\Nagnote.exe"; }

void WriteConfiguration(bool withMaxMsgLen)
{
    using namespace config_values;
    std::vector<ConfigRow> rows = {Number(kMailSystem, 0), Text(kSender, "me@example.test"),
                                   Text(kDestination, "pager@example.test"), Number(kRemindIntro, 1)};
    if (withMaxMsgLen)
        rows.push_back(Text(kMaxMsgLen, "160"));
    ASSERT_TRUE(WriteConfigurationRows(rows));
}

// A window that appeared would keep the program running until the time limit.
void ExpectSilentExit(const char *label)
{
    ProcessResult result = RunProcess("\"" + Nagnote() + "\"", 20000, BinDir().c_str());
    EXPECT_TRUE(result.started) << label;
    EXPECT_FALSE(result.timedOut) << label;
    EXPECT_EQ(result.exitCode, 0u) << label;
}

TEST(NagnoteStartUp, WithoutTheConfigurationOrMaxMsgLenItEndsAtOnceWithCodeZero)
{
    ResetProductRegistry();
    ExpectSilentExit("no Configuration key");
    WriteConfiguration(false);
    ExpectSilentExit("no MaxMsgLen");
    ResetProductRegistry();
}

TEST(NagnoteStartUp, ConfiguredItShowsItsWindowAndExitEndsItWithCodeZero)
{
    ResetProductRegistry();
    WriteConfiguration(true);
    // The fields exist only with the schedule component; another test may have just
    // unregistered it from the shared prefix.
    ASSERT_EQ(S_OK, RegisterScheduleComponent());
    std::string commandLine = "\"" + Nagnote() + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, BinDir().c_str(),
                               &startup, &process));
    struct Search {
        HWND found;
    } search{nullptr};
    const DWORD start = GetTickCount();
    while (search.found == nullptr && GetTickCount() - start < 15000) {
        EnumThreadWindows(
            process.dwThreadId,
            [](HWND window, LPARAM parameter) -> BOOL {
                char name[64] = "";
                GetClassNameA(window, name, sizeof name);
                if (IsWindowVisible(window) && std::string(name) == "Quillon Reminder") {
                    reinterpret_cast<Search *>(parameter)->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        Sleep(50);
    }
    ASSERT_NE(search.found, nullptr);
    char caption[64] = "";
    GetWindowTextA(search.found, caption, sizeof caption);
    EXPECT_STREQ(caption, "Quillon Reminder");
    EXPECT_NE(GetDlgItem(search.found, IDM_FOCUS_SUBJECT), nullptr);
    EXPECT_NE(GetDlgItem(search.found, IDM_FOCUS_MESSAGE), nullptr);
    PostMessageA(search.found, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 15000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    if (code == STILL_ACTIVE)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ResetProductRegistry();
}

TEST(NagnoteStartUp, CarriesItsOwnIconInTwoSizesAndItsVersionBlock)
{
    HMODULE exe = LoadLibraryExA(Nagnote().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HRSRC group = FindResourceA(exe, MAKEINTRESOURCEA(101), reinterpret_cast<LPCSTR>(RT_GROUP_ICON));
    ASSERT_NE(group, nullptr);
    const BYTE *directory = static_cast<const BYTE *>(LockResource(LoadResource(exe, group)));
    ASSERT_NE(directory, nullptr);
    const WORD count = *reinterpret_cast<const WORD *>(directory + 4);
    ASSERT_EQ(count, 2);
    // Each 14-byte entry starts with its width.
    EXPECT_EQ(directory[6], 32);
    EXPECT_EQ(directory[6 + 14], 16);
    FreeLibrary(exe);

    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(Nagnote().c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(Nagnote().c_str(), 0, size, &block[0]));
    const struct {
        const char *name;
        const char *value;
    } values[] = {
        {"Comments", "Sets up reminders for Quillon"},
        {"FileDescription", "Reminder program for Quillon"},
        {"FileVersion", "1, 0, 0, 4"},
        {"ProductVersion", "1, 0, 0, 4"},
        {"InternalName", "Nagnote"},
        {"OriginalFilename", "Nagnote.exe"},
        {"ProductName", "Quillon"},
    };
    for (const auto &v : values) {
        char *text = nullptr;
        UINT length = 0;
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + v.name;
        ASSERT_TRUE(VerQueryValueA(&block[0], query.c_str(), reinterpret_cast<void **>(&text), &length)) << v.name;
        EXPECT_STREQ(text, v.value) << v.name;
    }
}

// A copy of the program in a folder without any resource module (neither the user's
// language's nor the English one): it can show nothing, so it leaves silently.
TEST(NagnoteStartUp, WithoutAnyResourceModuleItEndsAtOnceWithCodeZero)
{
    ResetProductRegistry();
    WriteConfiguration(true);
    const std::string dir = MakeScratchDir("nagnote_no_resources");
    const std::string program = dir + "\\Nagnote.exe";
    ASSERT_TRUE(CopyFileA(Nagnote().c_str(), program.c_str(), FALSE));
    ProcessResult result = RunProcess("\"" + program + "\"", 20000, dir.c_str());
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut) << "a window appeared without a resource module";
    EXPECT_EQ(result.exitCode, 0u);
    ResetProductRegistry();
}

} // namespace
