// The schedule dialogs driven by control id from the real tasqen.dll of the installation
// folder: the task editor, task submission, the schedule list and the preview.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "resources/resource_ids.h"
#include "schedule/dialogs/schedule_dialogs.h"
#include "schedule/task_store.h"
#include "tests/support/window_driver.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

using namespace test;

class DialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // No InitCommonControlsEx here: the dialogs register the classes they need.
        resources_ = LoadLibraryA((BinDir() + "\\tasqen.dll").c_str());
    }

    void SetUp() override
    {
        ASSERT_NE(resources_, nullptr) << "tasqen.dll in " << BinDir();
        ResetProductRegistry();
        env_.resources = resources_;
        env_.pickerTimeFormat = "HH:mm";
        env_.componentDirectory = "";
    }
    void TearDown() override { ResetProductRegistry(); }

    static HMODULE resources_;
    DialogEnvironment env_;
};
HMODULE DialogTest::resources_ = nullptr;

TaskRecord NewTask(const char *title)
{
    TaskRecord task{};
    task.DisplayName = title;
    task.DaysOfWeek = 0xFFFFFFFF;
    task.MonthsOfYear = 0xFFFFFFFF;
    return task;
}


// When QUILLON_SCREENSHOT_DIR names a folder (the screenshot run, see
// dialog_screenshots.sh), puts the dialog at the screen's corner, announces it with
// <name>.ready holding its size, and waits (at most 10 s) for the script's <name>.done.
void HoldForScreenshot(HWND dialog, const char *name)
{
    const char *dir = std::getenv("QUILLON_SCREENSHOT_DIR");
    if (dir == nullptr || *dir == '\0' || dialog == nullptr)
        return;
    SetWindowPos(dialog, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(300);
    RECT rect{};
    GetWindowRect(dialog, &rect);
    const std::string base = WindowsPathOf(dir) + "\\" + name;
    WriteWholeFile(base + ".ready", std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top) + "\n");
    for (int i = 0; i < 500 && GetFileAttributesA((base + ".done").c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(20);
    DeleteFileA((base + ".done").c_str());
}

// ---- Task editor ------------------------------------------------------------------

using EditorTest = DialogTest;

TEST_F(EditorTest, NewTaskOpensAsEveryZeroMinutesAndOkFollowsValidation)
{
    TaskRecord task = NewTask("Send text from example");
    std::vector<std::string> problems;
    auto expect = [&](bool condition, const char *what) {
        if (!condition)
            problems.push_back(what);
    };
    long result = RunDriven([&] { return static_cast<long>(RunTaskEditorDialog(nullptr, env_, &task)); },
                            [&](DWORD thread) {
        HWND d = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
        if (d == nullptr)
            return problems.push_back("no editor");
        HoldForScreenshot(d, "task_editor");
        expect(WindowTitle(d) == "Send text from example", "title is the description");
        expect(IsChecked(d, IDC_TASK_EVERY), "Every chosen");
        expect(ItemText(d, IDC_TASK_INTERVAL) == "0", "interval 0");
        expect(ListSelection(d, IDC_TASK_UNIT) == 0 && ItemText(d, IDC_TASK_UNIT) == "minutes", "minutes");
        expect(!IsEnabled(d, IDOK), "OK disabled with 0");
        expect(!IsShown(d, IDC_TASK_EVERY_AT), "minutes hide the at time");
        expect(IsShown(d, IDC_TASK_WINDOW_FROM), "minutes show the window");
        expect(IsChecked(d, IDC_TASK_ALL_DAY) && !IsEnabled(d, IDC_TASK_WINDOW_FROM), "24 hours a day");
        expect(IsChecked(d, IDC_TASK_FOREVER) && !IsEnabled(d, IDC_TASK_START_DATE), "starting now");
        SetItemText(d, IDC_TASK_INTERVAL, "15");
        expect(IsEnabled(d, IDOK), "OK enabled with 15");
        for (int id = IDC_TASK_DAY_SUNDAY; id <= IDC_TASK_DAY_SATURDAY; ++id)
            Click(d, id);
        expect(!IsEnabled(d, IDOK), "all weekdays checked disables OK");
        Click(d, IDC_TASK_DAY_SUNDAY);
        expect(IsEnabled(d, IDOK), "one weekday unchecked again");
        for (int id = IDC_TASK_MONTH_JAN; id <= IDC_TASK_MONTH_DEC; ++id)
            Click(d, id);
        expect(!IsEnabled(d, IDOK), "all months checked disables OK");
        Click(d, IDC_TASK_MONTH_DEC);
        expect(IsEnabled(d, IDOK), "one month unchecked again");
        Click(d, IDC_TASK_DATE_RANGE);
        expect(IsEnabled(d, IDC_TASK_START_DATE) && !IsChecked(d, IDC_TASK_FOREVER), "date range From");
        SetPickerDate(d, IDC_TASK_START_DATE, 2030, 5, 10);
        SetPickerDate(d, IDC_TASK_END_DATE, 2030, 5, 9);
        expect(!IsEnabled(d, IDOK), "end date before start disables OK");
        SetPickerDate(d, IDC_TASK_END_DATE, 2030, 5, 10);
        expect(IsEnabled(d, IDOK), "equal dates allowed");
        Click(d, IDC_TASK_WINDOW);
        SetPickerTime(d, IDC_TASK_WINDOW_FROM, 10, 0);
        SetPickerTime(d, IDC_TASK_WINDOW_TO, 9, 59);
        expect(!IsEnabled(d, IDOK), "window end before start disables OK");
        SetPickerTime(d, IDC_TASK_WINDOW_TO, 10, 0);
        expect(IsEnabled(d, IDOK), "equal window ends allowed");
        // The title bar's help command without a help file does no harm.
        SendMessageA(d, WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
        expect(IsWindowVisible(d) && FindThreadDialog(thread, IDC_TASK_INTERVAL) == d, "help leaves the editor open");
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(result, E_ABORT);
    for (const std::string &p : problems)
        ADD_FAILURE() << p;
    EXPECT_EQ(task.TaskType, 1u) << "opening made the new task every N minutes";
}

TEST_F(EditorTest, StoringEachScheduleRow)
{
    struct Case {
        const char *label;
        std::function<void(HWND)> act;
        uint32_t type, value, value2;
    };
    const Case cases[] = {
        {"last in the day list",
         [](HWND d) {
             Click(d, IDC_TASK_DAY_ROW);
             SelectListEntry(d, IDC_TASK_DAY_OF_MONTH, 31);
             SetPickerTime(d, IDC_TASK_DAY_AT, 7, 5);
         },
         12, 31, 425},
        {"15th", [](HWND d) {
             Click(d, IDC_TASK_DAY_ROW);
             SelectListEntry(d, IDC_TASK_DAY_OF_MONTH, 14);
             SetPickerTime(d, IDC_TASK_DAY_AT, 0, 0);
         },
         5, 14, 0},
        {"third Wednesday", [](HWND d) {
             Click(d, IDC_TASK_WEEKDAY_ROW);
             SelectListEntry(d, IDC_TASK_WEEK_ORDINAL, 2);
             SelectListEntry(d, IDC_TASK_WEEKDAY, 3);
             SetPickerTime(d, IDC_TASK_WEEKDAY_AT, 23, 59);
         },
         8, 3, 1439},
        {"every 2 days at 09:30", [](HWND d) {
             SetItemText(d, IDC_TASK_INTERVAL, "2");
             SelectListEntry(d, IDC_TASK_UNIT, 2);
             SetPickerTime(d, IDC_TASK_EVERY_AT, 9, 30);
         },
         3, 2, 570},
        {"every 90 minutes keeps Value2", [](HWND d) {
             SetItemText(d, IDC_TASK_INTERVAL, "90");
         },
         1, 90, 4242},
    };
    for (const Case &c : cases) {
        TaskRecord task = NewTask(c.label);
        task.Value2 = 4242;
        bool okEnabled = false;
        long result = RunDriven([&] { return static_cast<long>(RunTaskEditorDialog(nullptr, env_, &task)); },
                                [&](DWORD thread) {
            HWND d = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
            if (d == nullptr)
                return;
            c.act(d);
            okEnabled = IsEnabled(d, IDOK);
            Click(d, IDOK);
        });
        EXPECT_TRUE(okEnabled) << c.label;
        ASSERT_EQ(result, S_OK) << c.label;
        EXPECT_EQ(task.TaskType, c.type) << c.label;
        EXPECT_EQ(task.Value, c.value) << c.label;
        EXPECT_EQ(task.Value2, c.value2) << c.label;
        EXPECT_EQ(task.DaysOfWeek, 0x7Fu) << c.label << ": no box checked";
        EXPECT_EQ(task.MonthsOfYear, 0xFFFu) << c.label << ": no box checked";
    }
}

TEST_F(EditorTest, RowsAndUnitsSwitchTheirControls)
{
    TaskRecord task = NewTask("Switching");
    task.TaskType = 3;  // every 2 days at 9:30
    task.Value = 2;
    task.Value2 = 570;
    std::vector<std::string> problems;
    auto expect = [&](bool condition, const char *what) {
        if (!condition)
            problems.push_back(what);
    };
    RunDriven([&] { return static_cast<long>(RunTaskEditorDialog(nullptr, env_, &task)); }, [&](DWORD thread) {
        HWND d = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
        if (d == nullptr)
            return problems.push_back("no editor");
        expect(ItemText(d, IDC_TASK_INTERVAL) == "2" && ListSelection(d, IDC_TASK_UNIT) == 2, "loaded as 2 days");
        expect(IsShown(d, IDC_TASK_EVERY_AT) && IsShown(d, IDC_TASK_EVERY_AT_LABEL), "days show the at time");
        expect(!IsShown(d, IDC_TASK_WINDOW) && !IsShown(d, IDC_TASK_WINDOW_TO), "days hide the window");
        SelectListEntry(d, IDC_TASK_UNIT, 1);  // hours
        expect(!IsShown(d, IDC_TASK_EVERY_AT) && !IsShown(d, IDC_TASK_EVERY_AT_LABEL), "hours hide the at time");
        for (int id : {IDC_TASK_ALL_DAY, IDC_TASK_WINDOW, IDC_TASK_WINDOW_FROM, IDC_TASK_WINDOW_TO_LABEL,
                       IDC_TASK_WINDOW_TO})
            expect(IsShown(d, id), "hours show the window group");
        Click(d, IDC_TASK_WEEKDAY_ROW);
        expect(IsChecked(d, IDC_TASK_WEEKDAY_ROW) && !IsChecked(d, IDC_TASK_EVERY) && !IsChecked(d, IDC_TASK_DAY_ROW),
               "one row checked");
        expect(IsEnabled(d, IDC_TASK_WEEKDAY) && !IsEnabled(d, IDC_TASK_INTERVAL) && !IsEnabled(d, IDC_TASK_DAY_AT),
               "weekday row enabled alone");
        expect(!IsEnabled(d, IDC_TASK_DAY_SUNDAY) && IsEnabled(d, IDC_TASK_MONTH_JAN),
               "weekday boxes off on the weekday row");
        Click(d, IDC_TASK_DAY_ROW);
        expect(IsEnabled(d, IDC_TASK_DAY_OF_MONTH) && !IsEnabled(d, IDC_TASK_WEEKDAY) &&
                   IsEnabled(d, IDC_TASK_DAY_SUNDAY),
               "day row enabled alone");
        Click(d, IDCANCEL);
    });
    for (const std::string &p : problems)
        ADD_FAILURE() << p;
    EXPECT_EQ(task.TaskType, 3u) << "cancel leaves the schedule alone";
}

TEST_F(EditorTest, OnlyOneEditorPerProcess)
{
    TaskRecord task = NewTask("First");
    TaskRecord second = NewTask("Second");
    HRESULT nested = S_OK;
    RunDriven([&] { return static_cast<long>(RunTaskEditorDialog(nullptr, env_, &task)); }, [&](DWORD thread) {
        HWND d = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
        if (d == nullptr)
            return;
        nested = RunTaskEditorDialog(nullptr, env_, &second);
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(nested, E_ABORT);
    EXPECT_EQ(second.TaskType, 0u) << "the refused editor never loaded its task";
}

// ---- Submission -------------------------------------------------------------------

struct BroadcastCounter {
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == RegisterWindowMessageA(kMsgAppTaskChanged))
            ++count;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    static int count;
};
int BroadcastCounter::count = 0;

bool TaskKeyExists(const char *name)
{
    RegistryKey tasks, key;
    return OpenUserKey(kTasksKeyPath, &tasks) == ERROR_SUCCESS && key.Open(tasks.Get(), name) == ERROR_SUCCESS;
}

using SubmissionTest = DialogTest;

TEST_F(SubmissionTest, SecondSubmissionStartsFromTheFirstOnesSchedule)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = BroadcastCounter::Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QuillonDialogTestsListener";
    RegisterClassA(&wc);
    HWND listener = CreateWindowA(wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    ASSERT_NE(listener, nullptr);
    BroadcastCounter::count = 0;

    OwnedTaskList list;
    RememberedSchedule remembered;
    SubmissionRequest first{"Send text from first", "quillon.exe", "", 1, 300000};
    char keyName[15] = {};
    long result = RunDriven(
        [&] { return static_cast<long>(RunSubmission(nullptr, env_, first, &remembered, &list, keyName)); },
        [&](DWORD thread) {
            HWND d = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
            if (d == nullptr)
                return;
            SetItemText(d, IDC_TASK_INTERVAL, "2");
            SelectListEntry(d, IDC_TASK_UNIT, 2);
            SetPickerTime(d, IDC_TASK_EVERY_AT, 9, 30);
            Click(d, IDC_TASK_MONTH_JAN);
            Click(d, IDOK);
        });
    ASSERT_EQ(result, S_OK);
    EXPECT_EQ(BroadcastCounter::count, 1) << "one task-changed broadcast";
    ASSERT_EQ(strlen(keyName), 14u);
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_STREQ(list.At(0)->KeyName, keyName);
    TaskRecord stored{};
    ASSERT_TRUE(LoadTask(keyName, &stored));
    EXPECT_EQ(stored.TaskType, 3u);
    EXPECT_EQ(stored.Value, 2u);
    EXPECT_EQ(stored.Value2, 570u);
    EXPECT_EQ(stored.MonthsOfYear, 0xFFEu);
    EXPECT_EQ(stored.NeedsInternet, 1u);
    EXPECT_EQ(stored.Timeout, 300000u);
    EXPECT_EQ(stored.DisplayName, "Send text from first");
    EXPECT_EQ(stored.AppName, "quillon.exe");
    EXPECT_TRUE(remembered.present);

    // The second submission opens preset with the first one's schedule; Cancel stores
    // nothing, but the name was already handed out.
    SubmissionRequest second{"Send text from second", "quillon.exe", "", 0, 1000};
    char secondName[15] = {};
    std::string title, interval;
    int unit = -1;
    bool janChecked = false;
    result = RunDriven(
        [&] { return static_cast<long>(RunSubmission(nullptr, env_, second, &remembered, &list, secondName)); },
        [&](DWORD thread) {
            HWND d = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
            if (d == nullptr)
                return;
            title = WindowTitle(d);
            interval = ItemText(d, IDC_TASK_INTERVAL);
            unit = ListSelection(d, IDC_TASK_UNIT);
            janChecked = IsChecked(d, IDC_TASK_MONTH_JAN);
            Click(d, IDCANCEL);
        });
    EXPECT_EQ(result, E_ABORT);
    EXPECT_EQ(title, "Send text from second");
    EXPECT_EQ(interval, "2");
    EXPECT_EQ(unit, 2);
    EXPECT_TRUE(janChecked);
    EXPECT_EQ(strlen(secondName), 14u) << "the name is copied before the decision";
    EXPECT_FALSE(TaskKeyExists(secondName)) << "cancel stores no key";
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_EQ(BroadcastCounter::count, 1) << "no broadcast after cancel";

    // A null name buffer is fine.
    result = RunDriven(
        [&] { return static_cast<long>(RunSubmission(nullptr, env_, second, &remembered, &list, nullptr)); },
        [&](DWORD thread) {
            if (HWND d = WaitForThreadDialog(thread, IDC_TASK_INTERVAL))
                Click(d, IDOK);
        });
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_STRNE(list.At(1)->KeyName, keyName) << "a second task never overwrites the first";
    DestroyWindow(listener);
}

TEST_F(SubmissionTest, NameHandedOutBeforeTheDecisionIsNeverAStoredTasksName)
{
    // Tasks stored in this second and the next two (as by fast submissions, or other
    // programs): the name given before the decision must skip them.
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string name = TimestampKeyName(FromSystemTime(now));
    std::vector<std::string> taken;
    RegistryKey tasks;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(kTasksKeyPath, &tasks));
    for (int i = 0; i < 3; ++i) {
        RegistryKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(tasks.Get(), name.c_str()));
        taken.push_back(name);
        ASSERT_TRUE(NextTimestampKeyName(name, &name));
    }
    struct Case {
        const char *label;
        int button;
        HRESULT result;
    };
    for (const Case &c : {Case{"cancelled", IDCANCEL, E_ABORT}, Case{"confirmed", IDOK, S_OK}}) {
        OwnedTaskList list;
        RememberedSchedule remembered;
        SubmissionRequest request{"Quick", "quillon.exe", "", 0, 1000};
        char keyName[15] = {};
        std::string nameWhileOpen;
        long result = RunDriven(
            [&] { return static_cast<long>(RunSubmission(nullptr, env_, request, &remembered, &list, keyName)); },
            [&](DWORD thread) {
                HWND d = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
                if (d == nullptr)
                    return;
                nameWhileOpen = keyName;
                SetItemText(d, IDC_TASK_INTERVAL, "1");
                Click(d, c.button);
            });
        EXPECT_EQ(result, c.result) << c.label;
        EXPECT_EQ(strlen(nameWhileOpen.c_str()), 14u) << c.label;
        for (const std::string &t : taken)
            EXPECT_NE(nameWhileOpen, t) << c.label;
        EXPECT_EQ(TaskKeyExists(keyName), c.button == IDOK) << c.label;
        if (c.button == IDOK) {
            EXPECT_EQ(nameWhileOpen, keyName) << c.label << ": the name handed out is the one stored";
            ASSERT_EQ(list.Count(), 1u);
            EXPECT_STREQ(list.At(0)->KeyName, keyName);
        }
    }
}

// ---- Schedule list ----------------------------------------------------------------

std::vector<std::string> StoreTasks(int count)
{
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        TaskRecord task = NewTask(("Task " + std::to_string(i)).c_str());
        task.AppName = "quillon.exe";
        task.TaskType = 3;
        task.Value = 2;
        task.Value2 = 540;
        task.DaysOfWeek = i == 1 ? 0x7E : 0x7F;
        task.MonthsOfYear = 0xFFF;
        task.Timeout = 300000;
        DateTime when = {2026, 1, 0, 1, 8, 0, static_cast<uint16_t>(i), 0};
        RegistryKey key;
        std::string name;
        EXPECT_TRUE(CreateTaskKey(when, &key, &name));
        SetTaskKeyName(&task, name.c_str());
        EXPECT_TRUE(WriteTask(key, task));
        names.push_back(name);
    }
    return names;
}

std::string CellText(HWND listView, int row, int column)
{
    char text[260] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(listView, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

void SelectRow(HWND dialog, int row)
{
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageA(dialog, IDC_LIST_TASKS, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

// Answers the Yes/No question of Delete on the dialog's thread.
bool AnswerDeleteQuestion(DWORD thread, int answer)
{
    HWND box = WaitForThreadDialog(thread, answer);
    if (box == nullptr || GetDlgItem(box, IDC_LIST_TASKS) != nullptr)
        return false;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    return true;
}

using ListTest = DialogTest;

TEST_F(ListTest, OpensWithColumnsRowsAndDisabledButtons)
{
    StoreTasks(2);
    OwnedTaskList list;
    std::vector<std::string> problems;
    auto expect = [&](bool condition, const std::string &what) {
        if (!condition)
            problems.push_back(what);
    };
    HRESULT raised = E_FAIL;
    long result = RunDriven([&] { return static_cast<long>(RunEditTasks(nullptr, env_, &list)); }, [&](DWORD thread) {
        HWND d = WaitForThreadDialog(thread, IDC_LIST_TASKS);
        if (d == nullptr)
            return problems.push_back("no list");
        HWND lv = GetDlgItem(d, IDC_LIST_TASKS);
        HoldForScreenshot(d, "schedule_list");
        const char *titles[] = {"Description", "Schedule", "Last Run", "Start Date", "End Date",
                                "Start Time",  "End Time", "Disabled", "Exceptions"};
        for (int c = 0; c < 9; ++c) {
            char text[64] = {};
            LVCOLUMNA col{};
            col.mask = LVCF_TEXT;
            col.pszText = text;
            col.cchTextMax = sizeof text;
            SendMessageA(lv, LVM_GETCOLUMNA, c, reinterpret_cast<LPARAM>(&col));
            expect(std::string(text) == titles[c], std::string("column ") + titles[c] + " got " + text);
        }
        expect(SendMessageA(lv, LVM_GETITEMCOUNT, 0, 0) == 2, "two rows");
        expect(CellText(lv, 0, 0) == "Task 0", "description");
        expect(CellText(lv, 0, 1).find("Every  2 days at ") == 0, "schedule text: " + CellText(lv, 0, 1));
        expect(CellText(lv, 0, 1).find("9:00") != std::string::npos, "9:00 in the schedule text");
        expect(CellText(lv, 0, 2).empty(), "never run");
        expect(CellText(lv, 0, 3) == " " && CellText(lv, 0, 6) == " ", "no range, no window");
        expect(CellText(lv, 0, 7) == " ", "not disabled");
        expect(CellText(lv, 0, 8) == " " && CellText(lv, 1, 8) == "Yes", "exceptions");
        for (int id : {IDC_LIST_DELETE, IDC_LIST_EDIT, IDC_LIST_DISABLE, IDC_LIST_VIEW})
            expect(!IsEnabled(d, id), "buttons start disabled");
        SelectRow(d, 0);
        for (int id : {IDC_LIST_DELETE, IDC_LIST_EDIT, IDC_LIST_DISABLE, IDC_LIST_VIEW})
            expect(IsEnabled(d, id), "a selected row enables the buttons");
        SendMessageA(d, WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
        expect(FindThreadDialog(thread, IDC_LIST_TASKS) == d, "help without a help file leaves the list open");
        // An open list is found by its title and raised instead of opening another.
        OwnedTaskList other;
        raised = RunEditTasks(nullptr, env_, &other);
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(result, E_ABORT);
    EXPECT_EQ(raised, S_OK);
    for (const std::string &p : problems)
        ADD_FAILURE() << p;
}

TEST_F(ListTest, RowsShowDatesTimesOverlayAndProgramIcons)
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    struct Row {
        const char *appName;
        bool ranged;
    };
    const std::string selfUpper = [&] {
        std::string upper = self;
        for (char &ch : upper)
            ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
        return upper;
    }();
    const Row rows[] = {{self, true}, {selfUpper.c_str(), false}, {"C:\\nowhere\\missing.exe", false}, {"", false}};
    int i = 0;
    for (const Row &r : rows) {
        TaskRecord task = NewTask(("Row " + std::to_string(i)).c_str());
        task.AppName = r.appName;
        task.TaskType = 1;
        task.Value = 5;
        if (r.ranged) {
            task.HasDates = 1;
            task.HasTimes = 1;
            task.Disabled = 1;
            task.StartDate = {2027, 1, 2, 5, 8, 15, 0, 0};
            task.EndDate = {2027, 3, 3, 31, 17, 45, 0, 0};
            task.LastRun = {2026, 12, 4, 10, 9, 5, 0, 0};
        }
        RegistryKey key;
        std::string name;
        ASSERT_TRUE(CreateTaskKey(DateTime{2026, 2, 0, 1, 8, 0, static_cast<uint16_t>(i), 0}, &key, &name));
        SetTaskKeyName(&task, name.c_str());
        ASSERT_TRUE(WriteTask(key, task));
        ++i;
    }
    OwnedTaskList list;
    std::vector<std::string> cells;
    std::vector<int> images;
    UINT overlay0 = 0, overlay1 = 0;
    RunDriven([&] { return static_cast<long>(RunEditTasks(nullptr, env_, &list)); }, [&](DWORD thread) {
        HWND d = WaitForThreadDialog(thread, IDC_LIST_TASKS);
        if (d == nullptr)
            return;
        HWND lv = GetDlgItem(d, IDC_LIST_TASKS);
        for (int c = 0; c < 9; ++c)
            cells.push_back(CellText(lv, 0, c));
        for (int row = 0; row < 4; ++row) {
            LVITEMA item{};
            item.mask = LVIF_IMAGE;
            item.iItem = row;
            SendMessageA(lv, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
            images.push_back(item.iImage);
        }
        overlay0 = static_cast<UINT>(SendMessageA(lv, LVM_GETITEMSTATE, 0, LVIS_OVERLAYMASK));
        overlay1 = static_cast<UINT>(SendMessageA(lv, LVM_GETITEMSTATE, 1, LVIS_OVERLAYMASK));
        Click(d, IDCANCEL);
    });
    ASSERT_EQ(cells.size(), 9u);
    EXPECT_EQ(cells[1], "Every  5 minutes");
    EXPECT_EQ(cells[2], "12/10/2026 9:05 AM");
    EXPECT_EQ(cells[3], "1/5/2027");
    EXPECT_EQ(cells[4], "3/31/2027");
    EXPECT_EQ(cells[5], "8:15 AM");
    EXPECT_EQ(cells[6], "5:45 PM");
    EXPECT_EQ(cells[7], "Yes");
    EXPECT_EQ(overlay0, static_cast<UINT>(INDEXTOOVERLAYMASK(1))) << "a disabled task shows overlay 1";
    EXPECT_EQ(overlay1, 0u);
    // The program's icon once, found again ignoring case; a program without an icon and
    // a task without a program show the task icon.
    EXPECT_EQ(images, (std::vector<int>{1, 1, 0, 0}));
}

TEST_F(ListTest, DeleteIsKeptOnlyByOk)
{
    struct Case {
        const char *label;
        int close;
        HRESULT result;
        bool keyKept;
    };
    const Case cases[] = {{"Delete then Cancel keeps the task", IDCANCEL, E_ABORT, true},
                          {"Delete then OK removes it", IDOK, S_OK, false}};
    for (const Case &c : cases) {
        ResetProductRegistry();
        std::vector<std::string> names = StoreTasks(3);
        OwnedTaskList list;
        int rowsAfterDelete = -1;
        long result = RunDriven([&] { return static_cast<long>(RunEditTasks(nullptr, env_, &list)); },
                                [&](DWORD thread) {
            HWND d = WaitForThreadDialog(thread, IDC_LIST_TASKS);
            if (d == nullptr)
                return;
            SelectRow(d, 1);
            PostClick(d, IDC_LIST_DELETE);
            if (!AnswerDeleteQuestion(thread, IDYES))
                return;
            for (int i = 0; i < 100 && SendDlgItemMessageA(d, IDC_LIST_TASKS, LVM_GETITEMCOUNT, 0, 0) != 2; ++i)
                Sleep(20);
            rowsAfterDelete = static_cast<int>(SendDlgItemMessageA(d, IDC_LIST_TASKS, LVM_GETITEMCOUNT, 0, 0));
            Click(d, c.close);
        });
        EXPECT_EQ(rowsAfterDelete, 2) << c.label;
        EXPECT_EQ(result, c.result) << c.label;
        EXPECT_EQ(TaskKeyExists(names[1].c_str()), c.keyKept) << c.label;
        EXPECT_TRUE(TaskKeyExists(names[0].c_str()) && TaskKeyExists(names[2].c_str())) << c.label;
        EXPECT_EQ(list.Count(), c.keyKept ? 3u : 2u) << c.label << ": the list is reloaded";
    }
}

TEST_F(ListTest, DeleteAnsweredNoKeepsTheRow)
{
    StoreTasks(2);
    OwnedTaskList list;
    int rows = -1;
    RunDriven([&] { return static_cast<long>(RunEditTasks(nullptr, env_, &list)); }, [&](DWORD thread) {
        HWND d = WaitForThreadDialog(thread, IDC_LIST_TASKS);
        if (d == nullptr)
            return;
        SelectRow(d, 0);
        PostClick(d, IDC_LIST_DELETE);
        if (!AnswerDeleteQuestion(thread, IDNO))
            return;
        Sleep(100);
        rows = static_cast<int>(SendDlgItemMessageA(d, IDC_LIST_TASKS, LVM_GETITEMCOUNT, 0, 0));
        Click(d, IDOK);
    });
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(list.Count(), 2u);
}

TEST_F(ListTest, DisableTogglesInMemoryAndOkWritesIt)
{
    struct Case {
        const char *label;
        int clicks;
        uint32_t disabled;
    };
    const Case cases[] = {{"toggled twice stays enabled", 2, 0}, {"toggled once is disabled", 1, 1}};
    for (const Case &c : cases) {
        ResetProductRegistry();
        std::vector<std::string> names = StoreTasks(2);
        OwnedTaskList list;
        std::vector<std::string> captions;
        std::string disabledCell;
        long result = RunDriven([&] { return static_cast<long>(RunEditTasks(nullptr, env_, &list)); },
                                [&](DWORD thread) {
            HWND d = WaitForThreadDialog(thread, IDC_LIST_TASKS);
            if (d == nullptr)
                return;
            SelectRow(d, 0);
            captions.push_back(ItemText(d, IDC_LIST_DISABLE));
            for (int i = 0; i < c.clicks; ++i) {
                Click(d, IDC_LIST_DISABLE);
                captions.push_back(ItemText(d, IDC_LIST_DISABLE));
            }
            disabledCell = CellText(GetDlgItem(d, IDC_LIST_TASKS), 0, 7);
            Click(d, IDOK);
        });
        ASSERT_EQ(result, S_OK) << c.label;
        std::vector<std::string> expected = {"Disable", "Enable", "Disable"};
        expected.resize(c.clicks + 1);
        EXPECT_EQ(captions, expected) << c.label;
        EXPECT_EQ(disabledCell, c.disabled ? "Yes" : " ") << c.label;
        TaskRecord stored{};
        ASSERT_TRUE(LoadTask(names[0].c_str(), &stored)) << c.label;
        EXPECT_EQ(stored.Disabled, c.disabled) << c.label;
    }
}

TEST_F(ListTest, EditOpensTheEditorAndRefreshesTheRow)
{
    std::vector<std::string> names = StoreTasks(1);
    OwnedTaskList list;
    std::string before, after;
    long result = RunDriven([&] { return static_cast<long>(RunEditTasks(nullptr, env_, &list)); }, [&](DWORD thread) {
        HWND d = WaitForThreadDialog(thread, IDC_LIST_TASKS);
        if (d == nullptr)
            return;
        HWND lv = GetDlgItem(d, IDC_LIST_TASKS);
        before = CellText(lv, 0, 1);
        SelectRow(d, 0);
        PostClick(d, IDC_LIST_EDIT);
        HWND editor = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
        if (editor == nullptr)
            return;
        SetItemText(editor, IDC_TASK_INTERVAL, "5");
        SelectListEntry(editor, IDC_TASK_UNIT, 1);
        Click(editor, IDOK);
        for (int i = 0; i < 100 && FindThreadDialog(thread, IDC_TASK_INTERVAL) != nullptr; ++i)
            Sleep(20);
        Sleep(50);
        after = CellText(lv, 0, 1);
        Click(d, IDOK);
    });
    EXPECT_EQ(result, S_OK);
    EXPECT_NE(before, after);
    EXPECT_EQ(after, "Every  5 hours");
    TaskRecord stored{};
    ASSERT_TRUE(LoadTask(names[0].c_str(), &stored));
    EXPECT_EQ(stored.TaskType, 2u);
    EXPECT_EQ(stored.Value, 5u);
}


// ---- "Send only when the text has changed" ----------------------------------------

const unsigned char kSomeDigest[32] = {9, 8, 7, 6, 5, 4, 3, 2, 1};

// A stored page task that watches for changes, with a digest from an earlier run and
// the values the add-in wrote.
std::string StoreWatchedTask()
{
    std::vector<std::string> names = StoreTasks(1);
    RegistryKey tasks, key;
    EXPECT_EQ(ERROR_SUCCESS, OpenUserKey(kTasksKeyPath, &tasks));
    EXPECT_EQ(ERROR_SUCCESS, key.Open(tasks.Get(), names[0].c_str()));
    key.WriteDword(task_values::kSendIfChanged, 1);
    key.WriteBinary(task_values::kLastTextDigest, kSomeDigest, sizeof kSomeDigest);
    key.WriteString(task_values::kSelection, "\"http://watched.test/\"");
    return names[0];
}

struct ChangeWatchValues {
    bool hasSetting = false;
    DWORD setting = 0;
    bool hasDigest = false;
    bool hasSelection = false;
};

ChangeWatchValues ReadChangeWatchValues(const std::string &name)
{
    ChangeWatchValues v;
    RegistryKey tasks, key;
    if (OpenUserKey(kTasksKeyPath, &tasks) != ERROR_SUCCESS || key.Open(tasks.Get(), name.c_str()) != ERROR_SUCCESS)
        return v;
    v.hasSetting = key.ReadDword(task_values::kSendIfChanged, &v.setting) == ERROR_SUCCESS;
    unsigned char digest[32] = {};
    v.hasDigest = key.ReadBinary(task_values::kLastTextDigest, digest, sizeof digest) == ERROR_SUCCESS &&
                  memcmp(digest, kSomeDigest, sizeof digest) == 0;
    v.hasSelection = key.HasValue(task_values::kSelection);
    return v;
}

TEST_F(EditorTest, SendIfChangedBoxIsShownForPageTasksAndTracksItsChange)
{
    const struct {
        const char *label;
        const char *app;
        uint32_t stored;
        bool click;
        bool wantShown, wantChecked;
        uint32_t wantSetting, wantForget;
    } rows[] = {
        {"other program", "notepad.exe", 1, false, false, false, 1, 0},
        {"new page task left off", "quillon.exe", 0, false, true, false, 0, 0},
        {"page task ticked", "C:\\Suite\\QUILLON.EXE", 0, true, true, true, 1, 1},
        {"watched task cleared", "quillon.exe", 1, true, true, false, 0, 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        TaskRecord task = NewTask("Send text from http://watched.test/");
        task.AppName = row.app;
        task.SendIfChanged = row.stored;
        bool shown = false, checkedAtOpen = false, checked = false;
        std::string text;
        long result = RunDriven([&] { return static_cast<long>(RunTaskEditorDialog(nullptr, env_, &task)); },
                                [&](DWORD thread) {
            HWND d = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
            if (d == nullptr)
                return;
            shown = IsShown(d, IDC_TASK_SEND_IF_CHANGED);
            checkedAtOpen = IsChecked(d, IDC_TASK_SEND_IF_CHANGED);
            text = ItemText(d, IDC_TASK_SEND_IF_CHANGED);
            SetItemText(d, IDC_TASK_INTERVAL, "30");
            if (row.click)
                Click(d, IDC_TASK_SEND_IF_CHANGED);
            checked = IsChecked(d, IDC_TASK_SEND_IF_CHANGED);
            if (row.click && row.wantChecked)
                HoldForScreenshot(d, "task_editor_change_watch");
            Click(d, IDOK);
        });
        EXPECT_EQ(result, S_OK);
        EXPECT_EQ(shown, row.wantShown);
        EXPECT_EQ(checkedAtOpen, row.stored != 0 && row.wantShown);
        EXPECT_EQ(checked, row.wantChecked);
        EXPECT_EQ(text, "Send only when the text has changed");
        EXPECT_EQ(task.SendIfChanged, row.wantSetting);
        EXPECT_EQ(task.ForgetTextDigest, row.wantForget);
        EXPECT_EQ(task.Value, 30u);
    }
}

TEST_F(SubmissionTest, ANewPageTaskIsStoredWithoutTheSettingUnlessTicked)
{
    for (bool tick : {false, true}) {
        SCOPED_TRACE(tick ? "ticked" : "left off");
        ResetProductRegistry();
        OwnedTaskList list;
        RememberedSchedule remembered;
        SubmissionRequest request{"Send text from http://watched.test/", "quillon.exe", "", 1, 300000};
        char keyName[15] = {};
        bool shownUnticked = false;
        long result = RunDriven(
            [&] { return static_cast<long>(RunSubmission(nullptr, env_, request, &remembered, &list, keyName)); },
            [&](DWORD thread) {
                HWND d = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
                if (d == nullptr)
                    return;
                shownUnticked = IsShown(d, IDC_TASK_SEND_IF_CHANGED) && !IsChecked(d, IDC_TASK_SEND_IF_CHANGED);
                SetItemText(d, IDC_TASK_INTERVAL, "60");
                if (tick)
                    Click(d, IDC_TASK_SEND_IF_CHANGED);
                Click(d, IDOK);
            });
        EXPECT_EQ(result, S_OK);
        EXPECT_TRUE(shownUnticked);
        ChangeWatchValues v = ReadChangeWatchValues(keyName);
        EXPECT_EQ(v.hasSetting, tick);
        EXPECT_EQ(v.setting, tick ? 1u : 0u);
        ASSERT_EQ(list.Count(), 1u);
        EXPECT_EQ(list.At(0)->ForgetTextDigest, 0u) << "the listed copy would delete a later digest";
    }
}

// Edits through the schedule list: a schedule edit keeps the setting and the page
// sender's digest; clearing the box drops the digest. The last column marks the task.
TEST_F(ListTest, EditKeepsTheChangeWatchUntilTheBoxChanges)
{
    const std::string name = StoreWatchedTask();
    for (bool clear : {false, true}) {
        SCOPED_TRACE(clear ? "box cleared" : "schedule edited");
        OwnedTaskList list;
        std::string title, markerBefore, markerAfter;
        bool boxBefore = false, boxAfter = true;
        long result = RunDriven([&] { return static_cast<long>(RunEditTasks(nullptr, env_, &list)); }, [&](DWORD thread) {
            HWND d = WaitForThreadDialog(thread, IDC_LIST_TASKS);
            if (d == nullptr)
                return;
            HWND lv = GetDlgItem(d, IDC_LIST_TASKS);
            char text[64] = {};
            LVCOLUMNA col{};
            col.mask = LVCF_TEXT;
            col.pszText = text;
            col.cchTextMax = sizeof text;
            SendMessageA(lv, LVM_GETCOLUMNA, 9, reinterpret_cast<LPARAM>(&col));
            title = text;
            markerBefore = CellText(lv, 0, 9);
            SelectRow(d, 0);
            PostClick(d, IDC_LIST_EDIT);
            HWND editor = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
            if (editor == nullptr)
                return;
            SetItemText(editor, IDC_TASK_INTERVAL, clear ? "4" : "3");
            boxBefore = IsShown(editor, IDC_TASK_SEND_IF_CHANGED) && IsChecked(editor, IDC_TASK_SEND_IF_CHANGED);
            if (clear)
                Click(editor, IDC_TASK_SEND_IF_CHANGED);
            boxAfter = IsShown(editor, IDC_TASK_SEND_IF_CHANGED) && IsChecked(editor, IDC_TASK_SEND_IF_CHANGED);
            Click(editor, IDOK);
            for (int i = 0; i < 100 && FindThreadDialog(thread, IDC_TASK_INTERVAL) != nullptr; ++i)
                Sleep(20);
            Sleep(50);
            markerAfter = CellText(lv, 0, 9);
            Click(d, IDOK);
        });
        EXPECT_EQ(result, S_OK);
        EXPECT_EQ(title, "If Changed");
        EXPECT_EQ(markerBefore, "Yes");
        EXPECT_TRUE(boxBefore) << "a watched task opens with the box ticked";
        EXPECT_EQ(boxAfter, !clear);
        EXPECT_EQ(markerAfter, clear ? " " : "Yes");
        TaskRecord stored{};
        ASSERT_TRUE(LoadTask(name.c_str(), &stored));
        EXPECT_EQ(stored.Value, clear ? 4u : 3u);
        ChangeWatchValues v = ReadChangeWatchValues(name);
        EXPECT_TRUE(v.hasSetting);
        EXPECT_EQ(v.setting, clear ? 0u : 1u);
        EXPECT_EQ(v.hasDigest, !clear);
        EXPECT_TRUE(v.hasSelection);
    }
}

// ---- Preview ------------------------------------------------------------------------
// The preview loads WEBFLAT.DLL from the directory of the process's program, so the
// cases run in a copy of this program placed beside the library double (PreviewInCopy).

constexpr char kChildVariable[] = "QUILLON_PREVIEW_CHILD";

bool InPreviewCopy() { return std::getenv(kChildVariable) != nullptr; }

// 400 characters with break marks (\1 in the double's script) at 150 and 300.
std::string ScriptBody()
{
    std::string body;
    for (int i = 0; i < 400; ++i)
        body += i == 150 || i == 300 ? std::string("\\1") : std::string(1, static_cast<char>('a' + i % 26));
    return body;
}

std::string ExpectedBody(bool divided)
{
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += static_cast<char>('a' + i % 26);
    text[150] = text[300] = ' ';
    if (!divided)
        return text.substr(0, 156);
    return text.substr(0, 150) + "\r\n---Message #2---\r\n" + text.substr(151, 149) + "\r\n---Message #3---\r\n" +
           text.substr(301);
}

std::string StoreTaskWithSelection(const char *selection, DWORD chop)
{
    std::vector<std::string> names = StoreTasks(1);
    RegistryKey tasks, key;
    EXPECT_EQ(ERROR_SUCCESS, OpenUserKey(kTasksKeyPath, &tasks));
    EXPECT_EQ(ERROR_SUCCESS, key.Open(tasks.Get(), names[0].c_str()));
    if (selection != nullptr)
        key.WriteString(task_values::kSelection, selection);
    key.WriteDword(task_values::kChopMessage, chop);
    return names[0];
}

using PreviewInCopy = DialogTest;

TEST_F(PreviewInCopy, ShowsTheDividedTextOrTheError)
{
    if (!InPreviewCopy())
        GTEST_SKIP() << "runs in the copy beside the library double";
    env_.maxMessageLength = 156;
    struct Case {
        const char *label;
        const char *selection;
        DWORD chop;
        bool clipSubject;
        const char *expectDialog;  // "text", "error" or "none"
        std::string expectedText;
    };
    const Case cases[] = {
        {"divided with heading", "\"http://pages/long\"", 1, false, "text", "Title " + ExpectedBody(true)},
        {"heading clipped", "\"http://pages/long\" 1 2 3", 1, true, "text", ExpectedBody(true)},
        {"not divided: first L characters", "\"http://pages/long\"", 0, true, "text", ExpectedBody(false)},
        {"extraction failure shows IDS_EXTRACT_ERROR", "\"http://pages/missing\"", 1, false, "error",
         "Error accessing web page and extracting text"},
        {"selection without quotes shows nothing", "http://pages/long", 1, false, "none", ""},
        {"no selection shows nothing", nullptr, 1, false, "none", ""},
    };
    for (const Case &c : cases) {
        ResetProductRegistry();
        TaskRecord task{};
        std::string name = StoreTaskWithSelection(c.selection, c.chop);
        SetTaskKeyName(&task, name.c_str());
        env_.clipSubject = c.clipSubject;
        std::string shown = "(no dialog)";
        bool anyDialog = false;
        RunDriven([&] { RunPreviewDialog(nullptr, env_, task); return 0L; }, [&](DWORD thread) {
            HWND d = WaitForThreadDialog(thread, 0, std::string(c.expectDialog) == "none" ? 500 : 5000);
            if (d == nullptr)
                return;
            anyDialog = true;
            if (GetDlgItem(d, IDC_EXTRACTED_TEXT) != nullptr) {
                if (c.clipSubject && c.chop)
                    HoldForScreenshot(d, "preview");
                shown = ItemText(d, IDC_EXTRACTED_TEXT) + "|" + WindowTitle(d);
            } else {
                // The message box: its text is a static control (id 0xFFFF).
                shown = ItemText(d, 0xFFFF) + "|" + WindowTitle(d);
            }
            PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        });
        std::string kind = c.expectDialog;
        if (kind == "none") {
            EXPECT_FALSE(anyDialog) << c.label;
        } else if (kind == "text") {
            EXPECT_EQ(shown, c.expectedText + "|Quillon: Extracted Text") << c.label;
        } else {
            EXPECT_EQ(shown, c.expectedText + "|Quillon Scheduler") << c.label;
        }
    }
}

TEST(PreviewTest, RunsBesideTheLibraryDouble)
{
    if (InPreviewCopy())
        GTEST_SKIP() << "this is the copy";
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string selfDir(self);
    selfDir.resize(selfDir.rfind('\\'));
    std::string dir = MakeScratchDir("tasqui_preview");
    ASSERT_TRUE(CopyFileA(self, (dir + "\\preview_copy.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((selfDir + "\\webflat_double.dll").c_str(), (dir + "\\WEBFLAT.DLL").c_str(), FALSE));
    const std::string script = dir + "\\script.txt";
    const std::string trace = dir + "\\trace.txt";
    ASSERT_TRUE(WriteWholeFile(script, "http://pages/long\t0\tTitle \t" + ScriptBody() + "\n"));
    SetEnvironmentVariableA("QUILLON_WEBFLAT_SCRIPT", script.c_str());
    SetEnvironmentVariableA("QUILLON_WEBFLAT_TRACE", trace.c_str());
    SetEnvironmentVariableA(kChildVariable, "1");
    ProcessResult run = RunProcess("\"" + dir + "\\preview_copy.exe\" --gtest_filter=PreviewInCopy.* --gtest_output=xml:" + dir + "\\copy.xml", 60000, dir.c_str());
    SetEnvironmentVariableA(kChildVariable, nullptr);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u) << "the cases in the copy failed:\n" << ReadWholeFile(dir + "\\copy.xml");
    // The library saw the address, the descriptor or none, and the room per message, and
    // every text was freed once, heading first.
    EXPECT_EQ(ReadWholeFile(trace),
              "WebFlat http://pages/long|(none)|156\nfree heading\nfree body\n"
              "WebFlat http://pages/long|1 2 3|156\nfree heading\nfree body\n"
              "WebFlat http://pages/long|(none)|156\nfree heading\nfree body\n"
              "WebFlat http://pages/missing|(none)|156\n");
}

} // namespace
} // namespace quillon
