// Submission and the schedule list through the component's own interface: the dialogs
// run inside SubmitApplication and EditTasks of a TasqeduleUI created by CLSID, and
// their results reach that object's task list.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>

#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "resources/resource_ids.h"
#include "tasqui_h.h"
#include "tests/schedule/dialogs/dialog_driver.h"
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
