// Submission and the schedule list through the component's own interface: the dialogs
// run inside SubmitApplication and EditTasks of a TasqeduleUI created by CLSID, and
// their results reach that object's task list.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <string>

#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "resources/resource_ids.h"
#include "tasqui_h.h"
#include "tests/support/window_driver.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;
using namespace quillon::test;

namespace {

class ComponentEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        module_ = LoadLibraryA((BinDir() + "\\tasqui.dll").c_str());
        ASSERT_NE(nullptr, module_) << GetLastError();
        using EntryPoint = HRESULT(STDAPICALLTYPE *)();
        auto reg = reinterpret_cast<EntryPoint>(reinterpret_cast<void *>(GetProcAddress(module_, "DllRegisterServer")));
        ASSERT_NE(nullptr, reg);
        ASSERT_EQ(S_OK, reg());
    }
    void TearDown() override
    {
        using EntryPoint = HRESULT(STDAPICALLTYPE *)();
        auto unreg = reinterpret_cast<EntryPoint>(reinterpret_cast<void *>(GetProcAddress(module_, "DllUnregisterServer")));
        if (unreg != nullptr)
            unreg();
        CoUninitialize();
    }

private:
    HMODULE module_ = nullptr;
};

const ::testing::Environment *const g_environment = ::testing::AddGlobalTestEnvironment(new ComponentEnvironment);

class Submission : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductRegistry();
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER, IID_ITasqeduleUI,
                                         ui.PutVoid()));
    }
    void TearDown() override
    {
        ui.Reset();
        ResetProductRegistry();
    }
    ComPtr<ITasqeduleUI> ui;
};

std::string KeyNameOf(IUnknown *task)
{
    ComPtr<IAppTaskData> data;
    if (task == nullptr || FAILED(task->QueryInterface(IID_IAppTaskData, data.PutVoid())))
        return "<no task>";
    LPSTR name = nullptr;
    data->GetStringProperty(0x40000001, &name);
    return name != nullptr ? name : "<no name>";
}

bool TaskKeyExists(const std::string &name)
{
    RegistryKey key;
    return OpenUserKey((std::string(kTasksKeyPath) + "\\" + name).c_str(), &key) == ERROR_SUCCESS;
}

TEST_F(Submission, SubmittedTaskJoinsTheListAndTheNextSubmissionStartsFromItsSchedule)
{
    char keyName[16] = {};
    char description[] = "Send text from http://example.test/";
    char app[] = "quillon.exe";
    char commandLine[] = "";
    long result = RunDriven(
        [&] {
            return static_cast<long>(ui->SubmitApplication(nullptr, description, app, commandLine, 1, 300000, keyName));
        },
        [&](DWORD thread) {
            HWND editor = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
            if (editor == nullptr)
                return;
            SetItemText(editor, IDC_TASK_INTERVAL, "5");
            SelectListEntry(editor, IDC_TASK_UNIT, 0);
            Click(editor, IDOK);
        });
    ASSERT_EQ(S_OK, result);
    ASSERT_EQ(14u, strlen(keyName));
    EXPECT_TRUE(TaskKeyExists(keyName));

    // The object's list holds the new task without a reload: it is due at once (every
    // 5 minutes, never run).
    SYSTEMTIME now;
    GetLocalTime(&now);
    IUnknown *due = nullptr;
    ASSERT_EQ(S_OK, ui->GetTaskForTime(&now, &due, 0));
    EXPECT_EQ(keyName, KeyNameOf(due));

    // The same object presets the editor with that schedule; Cancel stores nothing.
    char secondName[16] = {};
    std::string interval;
    result = RunDriven(
        [&] {
            return static_cast<long>(ui->SubmitApplication(nullptr, description, app, commandLine, 0, 1000, secondName));
        },
        [&](DWORD thread) {
            HWND editor = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
            if (editor == nullptr)
                return;
            interval = ItemText(editor, IDC_TASK_INTERVAL);
            Click(editor, IDCANCEL);
        });
    EXPECT_EQ(E_ABORT, result);
    EXPECT_EQ("5", interval);
    EXPECT_FALSE(TaskKeyExists(secondName));

    EXPECT_EQ(E_INVALIDARG, ui->SubmitApplication(nullptr, nullptr, app, commandLine, 0, 0, nullptr));
    EXPECT_EQ(E_INVALIDARG, ui->SubmitApplication(nullptr, description, nullptr, commandLine, 0, 0, nullptr));
    EXPECT_EQ(E_INVALIDARG, ui->SubmitApplication(nullptr, description, app, nullptr, 0, 0, nullptr));
}

// A top-level window whose thread answers nothing for a while (a hung program, or a
// scheduler inside a long minute tick). It records the task-changed notice once its
// thread pumps again.
class HungWindow {
public:
    explicit HungWindow(DWORD hungMs) : hungMs_(hungMs)
    {
        ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &HungWindow::Main, this, 0, nullptr);
        WaitForSingleObject(ready_, 5000);
    }
    ~HungWindow()
    {
        SetEvent(release_);
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
        CloseHandle(release_);
        CloseHandle(ready_);
    }
    // Ends the hang early; the thread then pumps for a short while.
    void Release() { SetEvent(release_); }
    bool Finish(DWORD timeoutMs) { return WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0; }
    bool HeardTheNotice() const { return heard_ != 0; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        static const UINT changed = RegisterWindowMessageA(kMsgAppTaskChanged);
        if (message == changed) {
            auto *self = reinterpret_cast<HungWindow *>(GetWindowLongPtrA(window, GWLP_USERDATA));
            if (self != nullptr)
                InterlockedExchange(&self->heard_, 1);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    static DWORD WINAPI Main(void *parameter)
    {
        auto *self = static_cast<HungWindow *>(parameter);
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "QuillonHungWindow";
        RegisterClassA(&windowClass);
        HWND window = CreateWindowExA(0, windowClass.lpszClassName, "hung", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr,
                                      nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        SetEvent(self->ready_);
        WaitForSingleObject(self->release_, self->hungMs_);   // no message is handled meanwhile
        DWORD start = GetTickCount();
        MSG message;
        while (GetTickCount() - start < 1000) {
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
            Sleep(10);
        }
        DestroyWindow(window);
        UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
        return 0;
    }

    DWORD hungMs_;
    HANDLE ready_ = nullptr;
    HANDLE release_ = nullptr;
    HANDLE thread_ = nullptr;
    volatile LONG heard_ = 0;
};

// The task-changed notice never holds the submitting thread on a window that does not
// answer, and that window still gets it once it answers again.
TEST_F(Submission, TaskChangedNoticeDoesNotWaitForAHungWindow)
{
    HungWindow hung(30000);
    char keyName[16] = {};
    char description[] = "Send text from http://example.test/";
    char app[] = "quillon.exe";
    char commandLine[] = "";
    std::atomic<DWORD> submitted{0};
    std::atomic<DWORD> clicked{0};
    long result = RunDriven(
        [&] {
            long hr = static_cast<long>(ui->SubmitApplication(nullptr, description, app, commandLine, 1, 300000,
                                                              keyName));
            submitted = GetTickCount();
            return hr;
        },
        [&](DWORD thread) {
            HWND editor = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
            if (editor == nullptr)
                return;
            SetItemText(editor, IDC_TASK_INTERVAL, "5");
            SelectListEntry(editor, IDC_TASK_UNIT, 0);
            Click(editor, IDOK);
            clicked = GetTickCount();
        },
        40000);
    ASSERT_EQ(S_OK, result);
    EXPECT_TRUE(TaskKeyExists(keyName));
    // The hang lasts 30 s; the submission returned long before.
    EXPECT_LT(static_cast<LONG>(submitted.load() - clicked.load()), 5000) << "the submission waited for the hung window";
    EXPECT_FALSE(hung.HeardTheNotice());
    hung.Release();
    ASSERT_TRUE(hung.Finish(10000));
    EXPECT_TRUE(hung.HeardTheNotice()) << "the notice was dropped instead of queued";
}

TEST_F(Submission, ScheduleListCancelledKeepsAndConfirmedSavesTheObjectsList)
{
    char keyName[16] = {};
    char description[] = "A reminder";
    char app[] = "quillon.exe";
    char commandLine[] = "";
    ASSERT_EQ(S_OK, RunDriven(
                        [&] {
                            return static_cast<long>(
                                ui->SubmitApplication(nullptr, description, app, commandLine, 0, 300000, keyName));
                        },
                        [&](DWORD thread) {
                            if (HWND editor = WaitForThreadDialog(thread, IDC_TASK_INTERVAL)) {
                                SetItemText(editor, IDC_TASK_INTERVAL, "10");
                                Click(editor, IDOK);
                            }
                        }));

    int rows = -1;
    long result = RunDriven([&] { return static_cast<long>(ui->EditTasks(nullptr)); },
                            [&](DWORD thread) {
                                HWND list = WaitForThreadDialog(thread, IDC_LIST_TASKS);
                                if (list == nullptr)
                                    return;
                                rows = static_cast<int>(
                                    SendDlgItemMessageA(list, IDC_LIST_TASKS, LVM_GETITEMCOUNT, 0, 0));
                                Click(list, IDCANCEL);
                            });
    EXPECT_EQ(E_ABORT, result);
    EXPECT_EQ(1, rows);

    // Disable the task and confirm: the list is saved to the registry.
    result = RunDriven([&] { return static_cast<long>(ui->EditTasks(nullptr)); },
                       [&](DWORD thread) {
                           HWND list = WaitForThreadDialog(thread, IDC_LIST_TASKS);
                           if (list == nullptr)
                               return;
                           LVITEMA item{};
                           item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
                           item.state = LVIS_SELECTED | LVIS_FOCUSED;
                           SendDlgItemMessageA(list, IDC_LIST_TASKS, LVM_SETITEMSTATE, 0,
                                               reinterpret_cast<LPARAM>(&item));
                           Click(list, IDC_LIST_DISABLE);
                           Click(list, IDOK);
                       });
    EXPECT_EQ(S_OK, result);
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, OpenUserKey((std::string(kTasksKeyPath) + "\\" + keyName).c_str(), &key));
    DWORD disabled = 0;
    EXPECT_EQ(ERROR_SUCCESS, key.ReadDword(task_values::kDisabled, &disabled));
    EXPECT_NE(0u, disabled);
}

} // namespace
