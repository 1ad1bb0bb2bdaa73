// The scheduler tasqed.exe as a process: the single-instance rule, the first-run flow,
// the configuration command and the task-changed message reaching the minute tick.
// Each case starts the real program from the installation folder and works its windows
// by thread, with a time limit on every wait.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "common/handles.h"
#include "resources/resource_ids.h"
#include "tasqui_h.h"
#include "tests/support/wine_test_support.h"
#include "tests/support/window_driver.h"
#include "tests/scheduler/shell/scheduler_process.h"

namespace quillon {
namespace {

using test::BinDir;
using test::CountOf;
using test::SchedulerProcess;

constexpr DWORD kWaitMs = 15000;
constexpr char kTitle[] = "Quillon Scheduler";
constexpr char kConfigurationCaption[] = "Quillon Configuration";
constexpr char kNotConfigured[] = "Quillon Scheduler has not been configured.  Press OK to configure.";
constexpr char kWillNotRun[] =
    "Quillon Scheduler was not configured and will not run.  To configure, run Quillon Scheduler from Startup folder.";
constexpr char kConfigured[] =
    "Congratulations!  Quillon Scheduler has been configured.  To schedule a page, add the Quillon extension to your "
    "browser and choose Quillon... on the page, or choose Watch a page... from the Quillon icon's menu.";
constexpr char kBadAddress[] =
    "Enter the address of a web page, beginning with http:// or https://, or the path of a file.";

// A complete configuration that never sends (DontSend) and never dials.
void WriteCompleteConfiguration(const std::string &logFile)
{
    using namespace config_values;
    std::vector<test::ConfigRow> rows = test::With(test::CompleteSmtpConfiguration("127.0.0.1"),
                                                   {test::Text(kDontSend, "1")});
    if (!logFile.empty())
        rows.push_back(test::Text(kLogging, logFile));
    ASSERT_TRUE(test::WriteConfigurationRows(rows));
}

// A task due every minute that runs tasqed_control.exe with `command` (by default one
// that ends at once with -1).
void WriteTask(const char *name, bool disabled, const char *command = "succeed")
{
    using namespace task_values;
    RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, (std::string(kTasksKeyPath) + "\\" + name).c_str()), ERROR_SUCCESS);
    const std::string program = test::BuildDir() + "\\tests\\tasqed_control.exe";
    SYSTEMTIME zero = {};
    key.WriteDword(kNeedsInternet, 0);
    key.WriteString(kDisplayName, name);
    key.WriteString(kAppName, program);
    key.WriteString(kCommandLine, command);
    key.WriteDword(kHasDates, 0);
    key.WriteDword(kHasTimes, 0);
    key.WriteDword(kNotWeekend, 0);
    key.WriteDword(kDisabled, disabled ? 1 : 0);
    key.WriteBinary(kStartDate, &zero, sizeof zero);
    key.WriteBinary(kEndDate, &zero, sizeof zero);
    key.WriteBinary(kLastRun, &zero, sizeof zero);
    key.WriteDword(kTaskType, 1);
    key.WriteDword(kValue, 1);
    key.WriteDword(kValue2, 0);
    key.WriteDword(kDaysOfWeek, 0);
    key.WriteDword(kMonthsOfYear, 0);
    key.WriteDword(kTimeout, 30000);
}


// Waits until the log holds `piece` `count` times.
bool WaitForLogCount(const std::string &logFile, const std::string &piece, size_t count, DWORD timeoutMs = kWaitMs)
{
    DWORD start = GetTickCount();
    while (CountOf(test::ReadWholeFile(logFile), piece) < count) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        test::PumpFor(20);
    }
    return true;
}

// Posts one minute tick and waits until it has begun and then until the window answers
// a sent message. A tick with nothing to wait for answers only when it has ended; one
// that waits for a task or the mail library answers meanwhile, so a test of such a tick
// waits for the line it expects as well.
bool RunTick(HWND mainWindow, const std::string &logFile, size_t tickNumber)
{
    PostMessageA(mainWindow, WM_TIMER, 0xAEAE, 0);
    DWORD start = GetTickCount();
    while (CountOf(test::ReadWholeFile(logFile), "TASQED.EXE: ") < tickNumber) {
        if (GetTickCount() - start >= kWaitMs)
            return false;
        test::PumpFor(20);
    }
    // A sent message is handled once the tick has returned to the message loop.
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &ignored) != 0;
}

// Asks the notification area about the scheduler's icon: true when it is there.
bool IconExists(HWND mainWindow)
{
    NOTIFYICONDATAA icon = {};
    icon.cbSize = sizeof icon;
    icon.hWnd = mainWindow;
    icon.uID = RegisterWindowMessageA("kestr:tasqed");
    icon.uFlags = NIF_TIP;
    lstrcpynA(icon.szTip, kTitle, sizeof icon.szTip);
    return Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE;
}

// The page (a child dialog of the tab control) that holds control `id`.
HWND PageWith(HWND tabs, int id)
{
    for (HWND page = FindWindowExA(tabs, nullptr, "#32770", nullptr); page != nullptr;
         page = FindWindowExA(tabs, page, "#32770", nullptr)) {
        if (GetDlgItem(page, id) != nullptr)
            return page;
    }
    return nullptr;
}

class SchedulerShell : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, test::RegisterScheduleComponent()); }
    void SetUp() override
    {
        test::ResetProductRegistry();
        scratch_ = test::MakeScratchDir("tasqed_shell");
    }
    void TearDown() override { test::ResetProductRegistry(); }

    std::string scratch_;
};

TEST_F(SchedulerShell, SecondStartEndsAtOnceWithCodeZeroWhileTheFirstKeepsRunning)
{
    WriteCompleteConfiguration("");
    SchedulerProcess first;
    ASSERT_TRUE(first.Start(scratch_));
    HWND firstWindow = first.MainWindow();
    ASSERT_NE(firstWindow, nullptr);
    EXPECT_EQ(test::WindowText(firstWindow), kTitle);
    EXPECT_FALSE(IsWindowVisible(firstWindow)) << "the main window stays hidden";

    SchedulerProcess second;
    ASSERT_TRUE(second.Start(scratch_));
    DWORD code = 1;
    ASSERT_TRUE(second.WaitForExit(kWaitMs, &code)) << "the second copy kept running";
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(IsWindow(firstWindow));

    EXPECT_TRUE(first.Exit());
}

// While a task's program runs, the scheduler's thread waits for it inside the minute
// tick. A second copy started then must still see a running
// scheduler and end with 0, not start a second one.
TEST_F(SchedulerShell, SecondStartWhileTheFirstRunsATaskEndsWithCodeZero)
{
    const std::string logFile = scratch_ + "\\tasqed.log";
    WriteCompleteConfiguration(logFile);
    WriteTask("2026 1 1 0 0 3", false, "linger 14");
    SchedulerProcess first;
    ASSERT_TRUE(first.Start(scratch_));
    HWND firstWindow = first.MainWindow();
    ASSERT_NE(firstWindow, nullptr);

    PostMessageA(firstWindow, WM_TIMER, 0xAEAE, 0);
    DWORD start = GetTickCount();
    while (test::ReadWholeFile(logFile).find("    Task 2026 1 1 0 0 3: ") == std::string::npos) {
        ASSERT_LT(GetTickCount() - start, kWaitMs) << "the task did not start";
        test::PumpFor(20);
    }

    SchedulerProcess second;
    ASSERT_TRUE(second.Start(scratch_));
    DWORD code = 1;
    ASSERT_TRUE(second.WaitForExit(kWaitMs, &code)) << "a second scheduler started beside the busy one";
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(first.Running());

    start = GetTickCount();
    while (test::ReadWholeFile(logFile).find("Task completed successfully") == std::string::npos) {
        ASSERT_LT(GetTickCount() - start, 2 * kWaitMs) << "the task did not end";
        test::PumpFor(50);
    }
    EXPECT_EQ(CountOf(test::ReadWholeFile(logFile), "TASQED.EXE: "), 1u) << "one scheduler, one tick";
    EXPECT_TRUE(first.Exit());
}

LRESULT CALLBACK SilentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);   // answers 0 to everything it does not know
}

TEST_F(SchedulerShell, WindowWithTheRightClassAndTitleThatDoesNotAnswerDoesNotStopStartUp)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = SilentWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "TASQED";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND lookalike = CreateWindowExA(0, "TASQED", kTitle, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(lookalike, nullptr);

    WriteCompleteConfiguration("");
    SchedulerProcess scheduler;
    ASSERT_TRUE(scheduler.Start(scratch_));
    // The wait pumps this thread's messages, so the look-alike does answer (with 0).
    EXPECT_NE(scheduler.MainWindow(), nullptr) << "start-up stopped at a window that is not a scheduler";
    EXPECT_TRUE(scheduler.Running());
    EXPECT_TRUE(scheduler.Exit());

    DestroyWindow(lookalike);
    UnregisterClassA("TASQED", GetModuleHandleA(nullptr));
}

TEST_F(SchedulerShell, FirstRunDeclinedShowsWillNotRunAndEndsWithoutIcon)
{
    SchedulerProcess scheduler;
    ASSERT_TRUE(scheduler.Start(scratch_));
    HWND question = test::WaitForMessageBox(scheduler.ThreadId(), kNotConfigured, kWaitMs);
    ASSERT_NE(question, nullptr) << "no first-run question";
    EXPECT_EQ(test::WindowText(question), kTitle);
    HWND mainWindow = scheduler.MainWindow(1000);
    ASSERT_NE(mainWindow, nullptr);
    EXPECT_TRUE(IconExists(mainWindow)) << "no notification icon while the question is open";

    test::PostClick(question, IDCANCEL);
    HWND notice = test::WaitForMessageBox(scheduler.ThreadId(), kWillNotRun, kWaitMs);
    ASSERT_NE(notice, nullptr) << "no will-not-run notice";
    test::PostClick(notice, IDOK);
    DWORD code = 1;
    ASSERT_TRUE(scheduler.WaitForExit(kWaitMs, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(IconExists(mainWindow)) << "the notification icon was left behind";
    EXPECT_FALSE(RegistryKey().Open(HKEY_CURRENT_USER, kConfigurationKeyPath) == ERROR_SUCCESS);
}

TEST_F(SchedulerShell, FirstRunCompletedShowsCongratulationsAndKeepsRunningWithTheSavedValues)
{
    SchedulerProcess scheduler;
    ASSERT_TRUE(scheduler.Start(scratch_));
    HWND question = test::WaitForMessageBox(scheduler.ThreadId(), kNotConfigured, kWaitMs);
    ASSERT_NE(question, nullptr);
    test::PostClick(question, IDOK);

    HWND dialog = test::WaitForDialog(scheduler.ThreadId(), kConfigurationCaption, kWaitMs);
    ASSERT_NE(dialog, nullptr) << "no configuration dialog";
    HWND tabs = GetDlgItem(dialog, 1045);
    ASSERT_NE(tabs, nullptr);
    HWND mailPage = PageWith(tabs, IDC_MAIL_SMTP);
    ASSERT_NE(mailPage, nullptr);
    SendMessageA(GetDlgItem(mailPage, IDC_MAIL_SMTP), BM_CLICK, 0, 0);
    SetDlgItemTextA(mailPage, IDC_MAIL_SMTP_SERVER, "127.0.0.1");
    SetDlgItemTextA(mailPage, IDC_MAIL_SENDER, "scheduler@example.test");
    SetDlgItemTextA(mailPage, IDC_MAIL_DESTINATION, "pager@example.test");
    // Always connected, so the dial-up fields are not required.
    HWND connectionPage = PageWith(tabs, IDC_CONN_ALWAYS);
    ASSERT_NE(connectionPage, nullptr);
    SendMessageA(GetDlgItem(connectionPage, IDC_CONN_ALWAYS), BM_CLICK, 0, 0);
    // A log file, so the first tick shows which configuration it runs with.
    const std::string logFile = scratch_ + "\\first-run.log";
    DeleteFileA(logFile.c_str());
    HWND advancedPage = PageWith(tabs, IDC_ADV_LOG);
    ASSERT_NE(advancedPage, nullptr);
    SendMessageA(GetDlgItem(advancedPage, IDC_ADV_LOG), BM_CLICK, 0, 0);
    SetDlgItemTextA(advancedPage, IDC_ADV_LOG_FILE, logFile.c_str());
    ASSERT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    test::PostClick(dialog, IDOK);

    HWND congratulations = test::WaitForMessageBox(scheduler.ThreadId(), kConfigured, kWaitMs);
    ASSERT_NE(congratulations, nullptr) << "no congratulations";
    test::PostClick(congratulations, IDOK);
    ASSERT_TRUE(test::WaitForWindowGone(congratulations, kWaitMs));

    HWND mainWindow = scheduler.MainWindow();
    ASSERT_NE(mainWindow, nullptr);
    EXPECT_TRUE(scheduler.Running());
    // The first tick already logs to the file chosen in the dialog: the saved values are
    // the ones in force, without a restart.
    EXPECT_TRUE(RunTick(mainWindow, logFile, 1)) << "the first tick wrote nothing to the chosen log file";
    EXPECT_EQ(test::ReadWholeFile(logFile).rfind("TASQED.EXE: ", 0), 0u) << test::ReadWholeFile(logFile);
    EXPECT_TRUE(scheduler.Exit());
}

TEST_F(SchedulerShell, ConfigureWhileTheDialogIsOpenRaisesItInsteadOfOpeningAnother)
{
    WriteCompleteConfiguration("");
    SchedulerProcess scheduler;
    ASSERT_TRUE(scheduler.Start(scratch_));
    HWND mainWindow = scheduler.MainWindow();
    ASSERT_NE(mainWindow, nullptr);

    PostMessageA(mainWindow, WM_COMMAND, IDM_CONFIGURE, 0);
    HWND dialog = test::WaitForDialog(scheduler.ThreadId(), kConfigurationCaption, kWaitMs);
    ASSERT_NE(dialog, nullptr);
    RECT before = {};
    GetWindowRect(dialog, &before);

    // Sent, not posted: a second modal dialog would keep this call from returning.
    DWORD_PTR ignored = 0;
    EXPECT_NE(SendMessageTimeoutA(mainWindow, WM_COMMAND, IDM_CONFIGURE, 0, SMTO_NORMAL, 5000, &ignored), 0)
        << "the second command opened another dialog";
    int dialogs = 0;
    test::WaitForThreadWindow(
        scheduler.ThreadId(),
        [&](HWND window) {
            if (test::ClassOf(window) == "#32770" && test::WindowText(window) == kConfigurationCaption)
                ++dialogs;
            return false;
        },
        0);
    EXPECT_EQ(dialogs, 1);
    RECT after = {};
    GetWindowRect(dialog, &after);
    EXPECT_TRUE(EqualRect(&before, &after)) << "the open dialog was moved or sized";

    test::PostClick(dialog, IDCANCEL);
    ASSERT_TRUE(test::WaitForWindowGone(dialog, kWaitMs));
    EXPECT_TRUE(scheduler.Exit());
}

TEST_F(SchedulerShell, IconRightClickShowsTheMenuAndDoubleClickOpensTheScheduleList)
{
    WriteCompleteConfiguration("");
    SchedulerProcess scheduler;
    ASSERT_TRUE(scheduler.Start(scratch_));
    HWND mainWindow = scheduler.MainWindow();
    ASSERT_NE(mainWindow, nullptr);
    const UINT iconMessage = RegisterWindowMessageA("kestr:tasqed");

    PostMessageA(mainWindow, iconMessage, iconMessage, WM_RBUTTONDOWN);
    HWND menu = test::WaitForThreadWindow(
        scheduler.ThreadId(), [](HWND window) { return test::ClassOf(window) == "#32768"; }, kWaitMs);
    ASSERT_NE(menu, nullptr) << "no pop-up menu";
    PostMessageA(mainWindow, WM_CANCELMODE, 0, 0);
    EXPECT_TRUE(test::WaitForWindowGone(menu, kWaitMs) || !IsWindowVisible(menu));

    // Other mouse events on the icon open nothing.
    for (LPARAM event : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP, WM_MOUSEMOVE, WM_RBUTTONDBLCLK})
        PostMessageA(mainWindow, iconMessage, iconMessage, event);
    DWORD_PTR ignored = 0;
    ASSERT_NE(SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &ignored), 0)
        << "the scheduler did not return to its message loop";
    HWND opened = test::WaitForThreadWindow(
        scheduler.ThreadId(),
        [](HWND window) {
            std::string kind = test::ClassOf(window);
            return IsWindowVisible(window) && (kind == "#32768" || kind == "#32770");
        },
        500);
    EXPECT_EQ(opened, nullptr) << "a mouse event other than a right-click or double-click opened "
                               << test::ClassOf(opened);
    PostMessageA(mainWindow, iconMessage, iconMessage, WM_LBUTTONDBLCLK);
    HWND list = test::WaitForThreadWindow(
        scheduler.ThreadId(), [](HWND window) { return test::ClassOf(window) == "#32770"; }, kWaitMs);
    ASSERT_NE(list, nullptr) << "double-click did not open the schedule list";
    test::PostClick(list, IDCANCEL);
    ASSERT_TRUE(test::WaitForWindowGone(list, kWaitMs));
    EXPECT_TRUE(scheduler.Exit());
}

TEST_F(SchedulerShell, TaskChangedBroadcastMakesTheNextTickReloadTheTaskList)
{
    const std::string logFile = scratch_ + "\\tasqed.log";
    WriteCompleteConfiguration(logFile);
    WriteTask("2026 1 1 0 0 1", true);   // keeps the list from being empty
    SchedulerProcess scheduler;
    ASSERT_TRUE(scheduler.Start(scratch_));
    HWND mainWindow = scheduler.MainWindow();
    ASSERT_NE(mainWindow, nullptr);

    ASSERT_TRUE(RunTick(mainWindow, logFile, 1));
    WriteTask("2026 1 1 0 0 2", false);
    ASSERT_TRUE(RunTick(mainWindow, logFile, 2));
    EXPECT_EQ(test::ReadWholeFile(logFile).find("Task 2026 1 1 0 0 2"), std::string::npos)
        << "a task stored behind the component's back ran before any announcement";

    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(HWND_BROADCAST, RegisterWindowMessageA(kMsgAppTaskChanged), 0, 0,
                        SMTO_NORMAL | SMTO_ABORTIFHUNG, 5000, &ignored);
    ASSERT_TRUE(RunTick(mainWindow, logFile, 3));
    WaitForLogCount(logFile, "Task completed successfully", 1);
    std::string log = test::ReadWholeFile(logFile);
    EXPECT_NE(log.find("    Task 2026 1 1 0 0 2: "), std::string::npos) << log;
    EXPECT_NE(log.find("Task completed successfully"), std::string::npos) << log;
    EXPECT_TRUE(scheduler.Exit());
}

// A task submitted through the component while the scheduler is inside a long minute
// tick: the submission does not wait for the busy scheduler, and the notice still
// reaches it, so its next tick runs the new task.
TEST_F(SchedulerShell, TaskSubmittedDuringALongTickRunsAtTheNextTick)
{
    const std::string logFile = scratch_ + "\\tasqed.log";
    WriteCompleteConfiguration(logFile);
    WriteTask("2026 1 1 0 0 4", false, "linger 12");
    {
        RegistryKey slow;   // hourly, so it is not due again at the next tick
        ASSERT_EQ(slow.Open(HKEY_CURRENT_USER, (std::string(kTasksKeyPath) + "\\2026 1 1 0 0 4").c_str()),
                  ERROR_SUCCESS);
        slow.WriteDword(task_values::kValue, 60);
    }
    SchedulerProcess scheduler;
    ASSERT_TRUE(scheduler.Start(scratch_));
    HWND mainWindow = scheduler.MainWindow();
    ASSERT_NE(mainWindow, nullptr);
    PostMessageA(mainWindow, WM_TIMER, 0xAEAE, 0);
    DWORD start = GetTickCount();
    while (test::ReadWholeFile(logFile).find("    Task 2026 1 1 0 0 4: ") == std::string::npos) {
        ASSERT_LT(GetTickCount() - start, kWaitMs) << "the long task did not start";
        test::PumpFor(20);
    }

    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    char keyName[16] = {};
    DWORD clicked = 0, returned = 0;
    {
        ComPtr<ITasqeduleUI> ui;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER, IID_ITasqeduleUI,
                                         ui.PutVoid()));
        std::string program = test::BuildDir() + "\\tests\\tasqed_control.exe";
        char description[] = "Submitted during a tick";
        char commandLine[] = "succeed";
        std::atomic<DWORD> clickTime{0};
        long result = test::RunDriven(
            [&] {
                return static_cast<long>(ui->SubmitApplication(nullptr, description, &program[0], commandLine, 0,
                                                               30000, keyName));
            },
            [&](DWORD thread) {
                HWND editor = test::WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
                if (editor == nullptr)
                    return;
                test::SetItemText(editor, IDC_TASK_INTERVAL, "1");
                test::SelectListEntry(editor, IDC_TASK_UNIT, 0);
                test::Click(editor, IDOK);
                clickTime = GetTickCount();
            },
            40000);
        returned = GetTickCount();
        clicked = clickTime;
        EXPECT_EQ(S_OK, result);
    }
    CoUninitialize();
    ASSERT_EQ(strlen(keyName), 14u);
    EXPECT_LT(static_cast<LONG>(returned - clicked), 5000) << "the submission waited for the busy scheduler";
    EXPECT_EQ(test::ReadWholeFile(logFile).find("Task completed successfully"), std::string::npos)
        << "the long task ended before the submission: the test proves nothing";

    start = GetTickCount();
    while (test::ReadWholeFile(logFile).find("Task completed successfully") == std::string::npos) {
        ASSERT_LT(GetTickCount() - start, 2 * kWaitMs) << "the long task did not end";
        test::PumpFor(50);
    }
    ASSERT_TRUE(RunTick(mainWindow, logFile, 2));
    WaitForLogCount(logFile, "Task completed successfully", 2);
    std::string log = test::ReadWholeFile(logFile);
    EXPECT_NE(log.find(std::string("    Task ") + keyName + ": "), std::string::npos) << log;
    EXPECT_EQ(CountOf(log, "Task completed successfully"), 2u) << log;
    EXPECT_TRUE(scheduler.Exit());
}

// Exit while the schedule list is open (as an uninstaller or upgrade ends the scheduler
// through its window): the list goes with the window and the program ends with code 0.
// "Watch a page...": the address dialog by control id refuses what names no page, then
// the whole page goes through the preview and the task editor into a page task.
TEST_F(SchedulerShell, WatchAPageAsksForAnAddressAndStoresAPageTaskForTheWholePage)
{
    WriteCompleteConfiguration("");
    const std::string page = scratch_ + "\\watched.html";
    ASSERT_TRUE(test::WriteWholeFile(page, "<html><head><title>Watched</title></head><body><p>Tide table for the "
                                           "harbour.</p></body></html>"));
    SchedulerProcess scheduler;
    ASSERT_TRUE(scheduler.Start(scratch_));
    HWND mainWindow = scheduler.MainWindow();
    ASSERT_NE(mainWindow, nullptr);

    // Cancel first: nothing happens.
    PostMessageA(mainWindow, WM_COMMAND, IDM_WATCH_PAGE, 0);
    HWND dialog = test::WaitForDialog(scheduler.ThreadId(), "Watch a Page", kWaitMs);
    ASSERT_NE(dialog, nullptr) << "no address dialog";
    test::PostClick(dialog, IDCANCEL);
    ASSERT_TRUE(test::WaitForWindowGone(dialog, kWaitMs));

    PostMessageA(mainWindow, WM_COMMAND, IDM_WATCH_PAGE, 0);
    dialog = test::WaitForDialog(scheduler.ThreadId(), "Watch a Page", kWaitMs);
    ASSERT_NE(dialog, nullptr);
    test::SetItemText(dialog, IDC_WATCH_ADDRESS, "example.com");
    test::PostClick(dialog, IDOK);
    HWND box = test::WaitForMessageBox(scheduler.ThreadId(), kBadAddress, kWaitMs);
    ASSERT_NE(box, nullptr) << "an address without a scheme was taken";
    test::PostClick(box, IDOK);
    ASSERT_TRUE(test::WaitForWindowGone(box, kWaitMs));
    EXPECT_TRUE(IsWindow(dialog)) << "the dialog closed on a refused address";

    test::SetItemText(dialog, IDC_WATCH_ADDRESS, ("  " + page + " ").c_str());
    test::PostClick(dialog, IDOK);
    HWND preview = test::WaitForDialog(scheduler.ThreadId(), "Quillon: Extracted Text", kWaitMs);
    if (preview == nullptr) {
        std::string shown;
        test::WaitForThreadWindow(
            scheduler.ThreadId(),
            [&](HWND w) {
                shown += "[" + test::ClassOf(w) + ": " + test::WindowText(w) + " / " + test::MessageBoxTextOf(w) + "]";
                return false;
            },
            0);
        FAIL() << "no preview; open windows: " << shown;
    }
    EXPECT_NE(test::ItemText(preview, IDC_PREVIEW_TEXT).find("Tide table for the harbour."), std::string::npos)
        << test::ItemText(preview, IDC_PREVIEW_TEXT);
    test::PostClick(preview, IDOK);
    HWND editor = test::WaitForThreadWindow(
        scheduler.ThreadId(), [](HWND w) { return test::WindowText(w) == "Send text from watched.html"; }, kWaitMs);
    ASSERT_NE(editor, nullptr) << "no task editor";
    test::PostClick(editor, IDOK);
    ASSERT_TRUE(test::WaitForWindowGone(editor, kWaitMs));

    RegistryKey tasks;
    ASSERT_EQ(OpenUserKey(kTasksKeyPath, &tasks), ERROR_SUCCESS);
    std::string name;
    ASSERT_EQ(tasks.EnumSubkeyName(0, &name), ERROR_SUCCESS);
    EXPECT_NE(tasks.EnumSubkeyName(1, &name), ERROR_SUCCESS) << "more than one task";
    tasks.EnumSubkeyName(0, &name);
    RegistryKey task;
    ASSERT_EQ(task.Open(tasks.Get(), name.c_str()), ERROR_SUCCESS);
    std::string selection, commandLine, program;
    task.ReadString(task_values::kSelection, &selection);
    task.ReadString(task_values::kCommandLine, &commandLine);
    task.ReadString(task_values::kAppName, &program);
    DWORD chop = 7;
    EXPECT_EQ(task.ReadDword(task_values::kChopMessage, &chop), ERROR_SUCCESS);
    EXPECT_EQ(selection, "\"" + page + "\"");
    EXPECT_EQ(commandLine, name);
    EXPECT_EQ(program, "quillon.exe");
    EXPECT_EQ(chop, 0u);
    EXPECT_TRUE(scheduler.Exit());
}

TEST_F(SchedulerShell, ExitWhileTheScheduleListIsOpenEndsCleanly)
{
    WriteCompleteConfiguration("");
    WriteTask("2026 1 1 0 0 3", true);   // a row for the list to work on
    SchedulerProcess scheduler;
    ASSERT_TRUE(scheduler.Start(scratch_));
    HWND mainWindow = scheduler.MainWindow();
    ASSERT_NE(mainWindow, nullptr);
    PostMessageA(mainWindow, WM_COMMAND, IDM_VIEW_SCHEDULE, 0);
    HWND list = test::WaitForThreadWindow(
        scheduler.ThreadId(), [](HWND window) { return test::ClassOf(window) == "#32770"; }, kWaitMs);
    ASSERT_NE(list, nullptr) << "the schedule list did not open";

    PostMessageA(mainWindow, WM_COMMAND, IDM_EXIT, 0);
    DWORD code = 1;
    ASSERT_TRUE(scheduler.WaitForExit(kWaitMs, &code)) << "the scheduler did not end";
    EXPECT_EQ(code, 0u);
}

// Exit dispatched inside a minute tick, by the message loop of a mail log-on (or dial-up)
// dialog: the tick finishes on an intact engine and the program ends with code 0.
TEST_F(SchedulerShell, ExitDuringAMinuteTickEndsCleanlyAfterTheTick)
{
    WriteCompleteConfiguration("");
    {
        RegistryKey key;
        ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kConfigurationKeyPath), ERROR_SUCCESS);
        key.DeleteValue(config_values::kDontSend);
        key.WriteString(config_values::kMailLibrary, test::BuildDir() + "\\tests\\shell_pumping_mail.dll");
    }
    {
        // One message due long ago, so the tick delivers and logs on.
        RegistryKey message;
        ASSERT_EQ(message.Create(HKEY_CURRENT_USER, (std::string(kMailKeyPath) + "\\2020 1 1 0 0 0").c_str()),
                  ERROR_SUCCESS);
        SYSTEMTIME past = {2020, 1, 3, 1, 0, 0, 0, 0};
        message.WriteDword(mail_values::kRetryCount, 0);
        message.WriteBinary(mail_values::kRetryTime, &past, sizeof past);
        message.WriteString(mail_values::kSubject, "Subject");
        message.WriteString(mail_values::kBody, "Body");
    }
    const std::string marker = scratch_ + "\\logon-loop-started";
    SetEnvironmentVariableA("QUILLON_PUMP_MARKER", marker.c_str());
    SchedulerProcess scheduler;
    ASSERT_TRUE(scheduler.Start(scratch_));
    SetEnvironmentVariableA("QUILLON_PUMP_MARKER", nullptr);
    HWND mainWindow = scheduler.MainWindow();
    ASSERT_NE(mainWindow, nullptr);

    PostMessageA(mainWindow, WM_TIMER, 0xAEAE, 0);
    DWORD start = GetTickCount();
    while (GetFileAttributesA(marker.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < kWaitMs)
        test::PumpFor(20);
    ASSERT_NE(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES) << "the tick did not log on";

    PostMessageA(mainWindow, WM_COMMAND, IDM_EXIT, 0);
    DWORD code = 1;
    ASSERT_TRUE(scheduler.WaitForExit(kWaitMs, &code)) << "the scheduler did not end";
    EXPECT_EQ(code, 0u);
}

} // namespace
} // namespace quillon
