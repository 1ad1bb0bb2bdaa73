// Each dialog's Help reaches the help viewer with its own context and with quillon.chm
// beside the module that opens it. The viewer is a recording double of hhctrl.ocx: the
// suite's files are copied into a folder of their own together with the double, and
// Wine is told to load a tasqed.exe's hhctrl.ocx from beside the program first. The real
// scheduler then runs from that folder (with the schedule component registered from it)
// and the test presses Help in its configuration pages, its schedule list and the task
// editor, as the caption's help button does.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "resources/resource_ids.h"
#include "tests/support/window_driver.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {
namespace {

constexpr DWORD kWaitMs = 15000;
constexpr char kAppDefaultsKey[] = "Software\\Wine\\AppDefaults\\tasqed.exe\\DllOverrides";
constexpr DWORD kHelpContextCommand = 0x000F;  // HH_HELP_CONTEXT

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

struct HelpCall {
    DWORD context = 0;
    DWORD command = 0;
    std::string file;
    std::string caller;
};

std::vector<HelpCall> ParseCalls(const std::string &text)
{
    std::vector<HelpCall> calls;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            break;
        std::string line = text.substr(start, end - start);
        start = end + 2;
        size_t a = line.find('|'), b = line.find('|', a + 1), c = line.find('|', b + 1);
        if (a == std::string::npos || b == std::string::npos || c == std::string::npos)
            continue;
        HelpCall call;
        call.context = std::strtoul(line.substr(0, a).c_str(), nullptr, 10);
        call.command = std::strtoul(line.substr(a + 1, b - a - 1).c_str(), nullptr, 10);
        call.file = line.substr(b + 1, c - b - 1);
        call.caller = line.substr(c + 1);
        calls.push_back(call);
    }
    return calls;
}

class HelpContexts : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = MakeScratchDir("help_contexts");
        for (const char *file : {"tasqed.exe", "tasqui.dll", "tasqen.dll", "WEBFLAT.DLL"})
            ASSERT_TRUE(CopyFileA((BinDir() + "\\" + file).c_str(), (folder_ + "\\" + file).c_str(), FALSE)) << file;
        // The built help file when there is one; the dialogs only ask that it exists.
        if (!CopyFileA((BinDir() + "\\quillon.chm").c_str(), (folder_ + "\\quillon.chm").c_str(), FALSE)) {
            ASSERT_TRUE(WriteWholeFile(folder_ + "\\quillon.chm", "stand-in"));
        }
        ASSERT_TRUE(CopyFileA((BuildDir() + "\\tests\\hhctrl.ocx").c_str(), (folder_ + "\\hhctrl.ocx").c_str(),
                              FALSE));
        RegistryKey overrides;
        ASSERT_EQ(overrides.Create(HKEY_CURRENT_USER, kAppDefaultsKey), ERROR_SUCCESS);
        ASSERT_EQ(overrides.WriteString("hhctrl.ocx", "n,b"), ERROR_SUCCESS);

        UniqueModule component(LoadLibraryA((folder_ + "\\tasqui.dll").c_str()));
        using RegisterFunction = HRESULT(WINAPI *)();
        auto registerServer = component.Resolve<RegisterFunction>("DllRegisterServer");
        ASSERT_NE(registerServer, nullptr);
        ASSERT_EQ(registerServer(), S_OK);
    }

    static void TearDownTestSuite()
    {
        RegistryKey wine;
        if (wine.Open(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults") == ERROR_SUCCESS)
            wine.DeleteSubkeyTree("tasqed.exe");
        // Other tests find the component where the build put it.
        RegisterScheduleComponent();
        ResetProductRegistry();
    }

    void SetUp() override
    {
        ResetProductRegistry();
        DeleteFileA(CallsFile().c_str());
        WriteConfiguration();
    }

    static std::string CallsFile() { return folder_ + "\\hhctrl-calls.txt"; }
    static std::string HelpFile() { return folder_ + "\\quillon.chm"; }

    // The calls recorded so far, once there are at least `count` (or at the time limit).
    static std::vector<HelpCall> WaitForCalls(size_t count)
    {
        DWORD start = GetTickCount();
        std::vector<HelpCall> calls;
        while ((calls = ParseCalls(ReadWholeFile(CallsFile()))).size() < count && GetTickCount() - start < kWaitMs)
            PumpFor(50);
        return calls;
    }

    // The caption's help button: the system sends the dialog SC_CONTEXTHELP.
    static void PressHelp(HWND dialog)
    {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(dialog, WM_SYSCOMMAND, SC_CONTEXTHELP, 0, SMTO_NORMAL, kWaitMs, &ignored);
    }

    static void WriteConfiguration()
    {
        using namespace config_values;
        using namespace quillon::test;
        ASSERT_TRUE(WriteConfigurationRows(With(CompleteSmtpConfiguration("127.0.0.1"),
                                                {Absent(kPOP3Authentication), Text(kSender, "help@example.test"),
                                                 Text(kDontSend, "1")})));
    }

    // A disabled task, so the schedule list has a row to edit and no tick runs it.
    static void WriteTask()
    {
        using namespace task_values;
        RegistryKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, (std::string(kTasksKeyPath) + "\\20261210120000").c_str()),
                  ERROR_SUCCESS);
        SYSTEMTIME zero = {};
        key.WriteDword(kNeedsInternet, 0);
        key.WriteString(kDisplayName, "Help test task");
        key.WriteString(kAppName, "quillon.exe");
        key.WriteString(kCommandLine, "20261210120000");
        key.WriteDword(kHasDates, 0);
        key.WriteDword(kHasTimes, 0);
        key.WriteDword(kNotWeekend, 0);
        key.WriteDword(kDisabled, 1);
        key.WriteBinary(kStartDate, &zero, sizeof zero);
        key.WriteBinary(kEndDate, &zero, sizeof zero);
        key.WriteBinary(kLastRun, &zero, sizeof zero);
        key.WriteDword(kTaskType, 2);
        key.WriteDword(kValue, 1);
        key.WriteDword(kValue2, 0);
        key.WriteDword(kDaysOfWeek, 0);
        key.WriteDword(kMonthsOfYear, 0);
        key.WriteDword(kTimeout, 30000);
    }

    static std::string folder_;
};
std::string HelpContexts::folder_;

// The scheduler started from the test's folder; ended through Exit, or terminated.
class Scheduler {
public:
    explicit Scheduler(const std::string &folder)
    {
        std::string commandLine = "\"" + folder + "\\tasqed.exe\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        started_ = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                                  &startup, &info_) != FALSE;
    }
    ~Scheduler()
    {
        if (!started_)
            return;
        if (HWND window = MainWindow(0))
            PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
        if (WaitForSingleObject(info_.hProcess, kWaitMs) == WAIT_TIMEOUT)
            TerminateProcess(info_.hProcess, 1);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    bool Started() const { return started_; }
    DWORD ThreadId() const { return info_.dwThreadId; }
    HWND MainWindow(DWORD timeoutMs = kWaitMs) const
    {
        return WaitForThreadWindow(
            info_.dwThreadId, [](HWND window) { return ClassOf(window) == "TASQED"; }, timeoutMs, false);
    }

private:
    bool started_ = false;
    PROCESS_INFORMATION info_ = {};
};

TEST_F(HelpContexts, EachConfigurationPageOpensItsOwnTopic)
{
    Scheduler scheduler(folder_);
    ASSERT_TRUE(scheduler.Started());
    HWND mainWindow = scheduler.MainWindow();
    ASSERT_NE(mainWindow, nullptr);
    PostMessageA(mainWindow, WM_COMMAND, IDM_CONFIGURE, 0);
    HWND dialog = WaitForDialog(scheduler.ThreadId(), "Quillon Configuration", kWaitMs);
    ASSERT_NE(dialog, nullptr);
    HWND tabs = GetDlgItem(dialog, IDC_CONFIG_TABS);
    ASSERT_NE(tabs, nullptr);

    struct Page {
        const char *name;
        int tab;
        DWORD context;
    };
    const Page pages[] = {{"Mail System", 0, 1003}, {"Internet Connection", 1, 1002}, {"Advanced", 2, 1001},
                          {"Error Handling", 3, 1003}, {"Outgoing Server", 4, 1007}};
    size_t expectedCalls = 0;
    for (const Page &page : pages) {
        SendMessageA(tabs, TCM_SETCURSEL, page.tab, 0);
        PressHelp(dialog);
        std::vector<HelpCall> calls = WaitForCalls(++expectedCalls);
        ASSERT_EQ(calls.size(), expectedCalls) << page.name << ": the help viewer was not called";
        const HelpCall &call = calls.back();
        EXPECT_EQ(call.context, page.context) << page.name;
        EXPECT_EQ(call.command, kHelpContextCommand) << page.name;
        EXPECT_EQ(Lower(call.file), Lower(HelpFile())) << page.name;
        EXPECT_EQ(call.caller, "Quillon Configuration") << page.name;
    }
    EXPECT_TRUE(IsWindow(dialog)) << "Help closed the dialog";
    PostClick(dialog, IDCANCEL);
    EXPECT_TRUE(WaitForWindowGone(dialog, kWaitMs));
}

TEST_F(HelpContexts, ScheduleListAndTaskEditorOpenTheirTopicsFromTheComponentsFolder)
{
    WriteTask();
    Scheduler scheduler(folder_);
    ASSERT_TRUE(scheduler.Started());
    HWND mainWindow = scheduler.MainWindow();
    ASSERT_NE(mainWindow, nullptr);
    PostMessageA(mainWindow, WM_COMMAND, IDM_VIEW_SCHEDULE, 0);
    HWND list = WaitForDialog(scheduler.ThreadId(), "Scheduled Applications", kWaitMs);
    ASSERT_NE(list, nullptr);

    PressHelp(list);
    std::vector<HelpCall> calls = WaitForCalls(1);
    ASSERT_EQ(calls.size(), 1u) << "the schedule list did not call the help viewer";
    EXPECT_EQ(calls[0].context, 1005u);
    EXPECT_EQ(calls[0].command, kHelpContextCommand);
    EXPECT_EQ(Lower(calls[0].file), Lower(HelpFile()));
    EXPECT_EQ(calls[0].caller, "Scheduled Applications");

    // Select the task's row (Home, as from the keyboard) and edit it.
    HWND rows = GetDlgItem(list, IDC_LIST_TASKS);
    ASSERT_NE(rows, nullptr);
    SendMessageA(rows, WM_KEYDOWN, VK_HOME, 0);
    SendMessageA(rows, WM_KEYUP, VK_HOME, 0);
    PostClick(list, IDC_LIST_EDIT);
    HWND editor = WaitForThreadWindow(
        scheduler.ThreadId(), [&](HWND window) { return ClassOf(window) == "#32770" && window != list; }, kWaitMs);
    ASSERT_NE(editor, nullptr) << "the task editor did not open";

    PressHelp(editor);
    calls = WaitForCalls(2);
    ASSERT_EQ(calls.size(), 2u) << "the task editor did not call the help viewer";
    EXPECT_EQ(calls[1].context, 1006u);
    EXPECT_EQ(calls[1].command, kHelpContextCommand);
    EXPECT_EQ(Lower(calls[1].file), Lower(HelpFile()));
    EXPECT_EQ(calls[1].caller, WindowText(editor));

    EXPECT_TRUE(IsWindow(editor)) << "Help closed the editor";
    PostClick(editor, IDCANCEL);
    EXPECT_TRUE(WaitForWindowGone(editor, kWaitMs));
    PostClick(list, IDCANCEL);
    EXPECT_TRUE(WaitForWindowGone(list, kWaitMs));
}

} // namespace
} // namespace quillon::test
