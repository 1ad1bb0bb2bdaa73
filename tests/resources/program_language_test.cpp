// Each program as the user starts it under the user locale CTest sets (German, French,
// Spanish, and Italian, which has no module and so gets English): the texts of its live
// windows, read by control id, and its menu items, are those of the locale's language.
// The expected texts are written out in tests/support/language_texts.h.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/com_owners.h"
#include "common/handles.h"
#include "common/registry.h"
#include "common/resource_module.h"
#include "resources/resource_ids.h"
#include "tasqui_h.h"
#include "tests/reminder/reminder_run.h"
#include "tests/support/language_texts.h"
#include "tests/support/window_driver.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr DWORD kWaitMs = 15000;
constexpr int kReminderSubjectLabel = 103; // the reminder window's label ids
constexpr int kReminderMessageLabel = 104;

// One started program, ended (terminated if it must be) when the object goes.
class Program {
public:
    explicit Program(const std::string &commandLine)
    {
        std::string line = commandLine;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        started_ = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, BinDir().c_str(), &startup,
                                  &info_) != FALSE;
    }
    ~Program()
    {
        if (!started_)
            return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 1);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    bool Started() const { return started_; }
    DWORD Thread() const { return info_.dwThreadId; }
    // True with *code when the process ended within the limit.
    bool WaitForExit(DWORD timeoutMs, DWORD *code) const
    {
        const DWORD start = GetTickCount();
        while (WaitForSingleObject(info_.hProcess, 20) == WAIT_TIMEOUT) {
            if (GetTickCount() - start >= timeoutMs)
                return false;
            PumpFor(0);
        }
        return GetExitCodeProcess(info_.hProcess, code) != FALSE;
    }

private:
    PROCESS_INFORMATION info_ = {};
    bool started_ = false;
};

// The page (a child dialog of the tab control) that holds control `id`.
HWND PageWith(HWND tabs, int id)
{
    for (HWND page = FindWindowExA(tabs, nullptr, "#32770", nullptr); page != nullptr;
         page = FindWindowExA(tabs, page, "#32770", nullptr))
        if (GetDlgItem(page, id) != nullptr)
            return page;
    return nullptr;
}

std::string MenuText(HMENU menu, UINT position)
{
    char text[128] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

class ProgramLanguage : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, RegisterScheduleComponent()); }
    void SetUp() override { ResetProductRegistry(); }
    void TearDown() override { ResetProductRegistry(); }
    const LanguageTexts &texts_ = ExpectedLanguageTexts();
};

// tasqed.exe without a configuration: the first-run question, then the configuration
// dialog with its pages, then (cancelled) the notice that it will not run.
TEST_F(ProgramLanguage, SchedulerAsksAndConfiguresInTheUsersLanguage)
{
    Program scheduler("\"" + BinDir() + "\\tasqed.exe\"");
    ASSERT_TRUE(scheduler.Started());
    HWND question = WaitForMessageBox(scheduler.Thread(), texts_.notConfigured, kWaitMs);
    ASSERT_NE(question, nullptr) << "no first-run question in " << texts_.moduleFile;
    EXPECT_EQ(WindowText(question), "Quillon Scheduler") << "the caption stays the product name";
    PostClick(question, IDOK);

    HWND dialog = WaitForDialog(scheduler.Thread(), "Quillon Configuration", kWaitMs);
    ASSERT_NE(dialog, nullptr) << "no configuration dialog";
    EXPECT_EQ(ItemText(dialog, IDCANCEL), texts_.cancel);
    HWND tabs = GetDlgItem(dialog, IDC_CONFIG_TABS);
    ASSERT_NE(tabs, nullptr);
    HWND mailPage = PageWith(tabs, IDC_MAIL_SMTP);
    ASSERT_NE(mailPage, nullptr);
    EXPECT_EQ(ItemText(mailPage, IDC_MAIL_SMTP).rfind(texts_.smtpChoice, 0), 0u) << ItemText(mailPage, IDC_MAIL_SMTP);
    HWND connectionPage = PageWith(tabs, IDC_CONN_ALWAYS);
    ASSERT_NE(connectionPage, nullptr);
    EXPECT_EQ(ItemText(connectionPage, IDC_CONN_ALWAYS), texts_.alwaysConnected);
    PostClick(dialog, IDCANCEL);

    // The will-not-run notice, whatever its text, ends the program when confirmed.
    HWND notice = nullptr;
    const DWORD start = GetTickCount();
    while (notice == nullptr && GetTickCount() - start < kWaitMs) {
        notice = WaitForThreadWindow(
            scheduler.Thread(),
            [&](HWND window) { return window != question && !MessageBoxTextOf(window).empty(); }, 200);
    }
    ASSERT_NE(notice, nullptr) << "no will-not-run notice";
    PostClick(notice, IDOK);
    DWORD code = 1;
    ASSERT_TRUE(scheduler.WaitForExit(kWaitMs, &code));
    EXPECT_EQ(code, 0u);
}

// Nagnote.exe itself: the labels of its window, by control id; its class and caption
// stay the product name in every language.
TEST_F(ProgramLanguage, ReminderWindowShowsTheUsersLanguage)
{
    WriteReminderConfiguration("160", 1);
    Program reminder("\"" + BinDir() + "\\Nagnote.exe\"");
    ASSERT_TRUE(reminder.Started());
    HWND window = WaitForThreadWindow(
        reminder.Thread(), [](HWND candidate) { return ClassOf(candidate) == "Quillon Reminder"; }, kWaitMs);
    ASSERT_NE(window, nullptr) << "no reminder window";
    EXPECT_EQ(WindowText(window), "Quillon Reminder");
    EXPECT_EQ(ItemText(window, kReminderSubjectLabel), texts_.subjectLabel);
    EXPECT_EQ(ItemText(window, kReminderMessageLabel), texts_.messageLabel);
    PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    DWORD code = 1;
    ASSERT_TRUE(reminder.WaitForExit(kWaitMs, &code));
    EXPECT_EQ(code, 0u);
}

// The reminder's menu, read in this process (Wine reads no other process's menus): the
// module comes from the loader the program uses, searching the installation folder.
TEST_F(ProgramLanguage, ReminderMenuShowsTheUsersLanguage)
{
    WriteReminderConfiguration("160", 1);
    ASSERT_TRUE(SetDllDirectoryA(BinDir().c_str()));
    UniqueModule resources;
    ASSERT_EQ(LoadResourceModule(ResourceModuleSearch::SystemSearch, nullptr, resources), ResourceModuleStatus::Loaded);
    SetDllDirectoryA(nullptr);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(resources.Get(), path, MAX_PATH);
    EXPECT_EQ(lstrcmpiA(path, (BinDir() + "\\" + texts_.moduleFile).c_str()), 0) << path;
    {
        ReminderRun run(resources.Get());
        HWND window = run.Window();
        ASSERT_NE(window, nullptr);
        HMENU menu = GetMenu(window);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(MenuText(menu, 0), texts_.reminderMenu);
        EXPECT_EQ(MenuText(GetSubMenu(menu, 0), 0), texts_.scheduleItem);
        EXPECT_EQ(run.Stop(), 0);
    }
}

// The schedule component created by class id: its schedule list.
TEST_F(ProgramLanguage, ComponentScheduleListShowsTheUsersLanguage)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        ComPtr<ITasqeduleUI> ui;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER, IID_ITasqeduleUI,
                                         ui.PutVoid()));
        EXPECT_NE(GetModuleHandleA(texts_.moduleFile), nullptr) << texts_.moduleFile << " is not loaded";
        std::string deleteText, cancelText, title;
        RunDriven([&]() -> long { return ui->EditTasks(nullptr); },
                  [&](DWORD thread) {
                      HWND list = WaitForThreadDialog(thread, IDC_LIST_DELETE, kWaitMs);
                      ASSERT_NE(list, nullptr);
                      deleteText = ItemText(list, IDC_LIST_DELETE);
                      cancelText = ItemText(list, IDCANCEL);
                      title = WindowTitle(list);
                      PostClick(list, IDCANCEL);
                  });
        EXPECT_EQ(deleteText, texts_.deleteButton);
        EXPECT_EQ(cancelText, texts_.cancel);
        EXPECT_EQ(title, "Scheduled Applications") << "the title by which an open list is found";
    }
    CoFreeUnusedLibraries();
    CoUninitialize();
}

} // namespace
