// SubmitPageTask against a component double that stores (or does not store) the task as
// the real component's SubmitApplication would: what the page sender needs is written
// only to a stored task's key, never to another key and never to Tasks itself. The real
// component and its editor are driven by the reminder and add-in tests.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/names.h"
#include "common/page_task.h"
#include "common/registry.h"
#include "common/submit_page_task.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;

namespace {

// Answers SubmitApplication with a fixed result, reporting `reportedKey` and creating
// that key under Tasks (with its DisplayName) only when told to, as a stored task has.
class ComponentDouble final : public ITasqeduleUI {
public:
    HRESULT result = S_OK;
    std::string reportedKey;
    bool storeKey = true;
    // What the call received.
    int calls = 0;
    std::string description, app, commandLine;
    LONG needsInternet = -1;
    ULONG timeoutMs = 0;
    HWND owner = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SubmitApplication(HWND window, LPSTR desc, LPSTR program, LPSTR cmd, LONG internet,
                                                ULONG timeout, LPSTR keyName) override
    {
        ++calls;
        owner = window;
        description = desc;
        app = program;
        commandLine = cmd;
        needsInternet = internet;
        timeoutMs = timeout;
        lstrcpynA(keyName, reportedKey.c_str(), 15 + 1);
        if (storeKey && !reportedKey.empty()) {
            RegistryKey key;
            EXPECT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, (std::string(kTasksKeyPath) + "\\" + reportedKey).c_str()));
            key.WriteString(task_values::kDisplayName, description);
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE EditTasks(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTaskForTime(SYSTEMTIME *, IUnknown **, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RequeueTask(SYSTEMTIME *, IUnknown *, ULONG, LONG) override { return E_NOTIMPL; }
};

class SubmitPageTaskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ResetProductRegistry();
        RegistryKey tasks;
        ASSERT_EQ(ERROR_SUCCESS, tasks.Create(HKEY_CURRENT_USER, kTasksKeyPath));
    }
    void TearDown() override { test::ResetProductRegistry(); }

    // Value `name` of Tasks\<keyName> ("" = of Tasks itself); "<missing>" when absent.
    static std::string StoredText(const std::string &keyName, const char *name)
    {
        RegistryKey key;
        const std::string path = keyName.empty() ? kTasksKeyPath : std::string(kTasksKeyPath) + "\\" + keyName;
        if (key.Open(HKEY_CURRENT_USER, path.c_str()) != ERROR_SUCCESS)
            return "<missing>";
        std::string text;
        return key.ReadString(name, &text) == ERROR_SUCCESS ? text : "<missing>";
    }
    static DWORD StoredChop(const std::string &keyName, bool *present)
    {
        RegistryKey key;
        DWORD value = 0;
        *present = key.Open(HKEY_CURRENT_USER, (std::string(kTasksKeyPath) + "\\" + keyName).c_str()) ==
                       ERROR_SUCCESS &&
                   key.ReadDword(task_values::kChopMessage, &value) == ERROR_SUCCESS;
        return value;
    }
};

TEST_F(SubmitPageTaskTest, AStoredTaskGetsThePageSendersValues)
{
    const struct {
        const char *label;
        bool writeChop;
        DWORD chop;
    } rows[] = {
        {"add-in: divided", true, 1},
        {"add-in: one message", true, 0},
        {"reminder: no ChopMessage", false, 1},
    };
    for (const auto &row : rows) {
        test::ResetProductRegistry();
        ComponentDouble component;
        component.reportedKey = "2026121109 5 0";
        PageTaskRequest request;
        request.description = "Send text from host/page.htm";
        request.commandLine = "\"http://host/page.htm\" (<1,0,2>)";
        request.selection = SelectionValue("http://host/page.htm", nullptr);
        request.writeChopMessage = row.writeChop;
        request.chopMessage = row.chop;
        std::string keyName = "stale";
        const HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
        EXPECT_EQ(S_OK, SubmitPageTask(&component, owner, request, &keyName)) << row.label;

        EXPECT_EQ(1, component.calls) << row.label;
        EXPECT_EQ(owner, component.owner) << row.label;
        EXPECT_EQ(request.description, component.description) << row.label;
        EXPECT_EQ(kPageSenderProgram, component.app) << row.label;
        EXPECT_EQ(request.commandLine, component.commandLine) << row.label;
        EXPECT_EQ(kPageTaskNeedsInternet, component.needsInternet) << row.label;
        EXPECT_EQ(kPageTaskTimeoutMs, component.timeoutMs) << row.label;

        EXPECT_EQ("2026121109 5 0", keyName) << row.label;
        EXPECT_EQ("2026121109 5 0", StoredText(keyName, task_values::kCommandLine)) << row.label;
        EXPECT_EQ("\"http://host/page.htm\"", StoredText(keyName, task_values::kSelection)) << row.label;
        bool present = false;
        const DWORD chop = StoredChop(keyName, &present);
        EXPECT_EQ(row.writeChop, present) << row.label;
        if (row.writeChop)
            EXPECT_EQ(row.chop, chop) << row.label;
    }
}

TEST_F(SubmitPageTaskTest, NothingIsWrittenUnlessTheComponentStoredTheTask)
{
    const struct {
        const char *label;
        HRESULT result;
        const char *reportedKey;
        bool keyExists;
    } rows[] = {
        // After a cancel the reported name may, in a race, be that of another task.
        {"cancelled, name of an existing task", E_ABORT, "2026121109 5 0", true},
        {"component failed", E_FAIL, "2026121109 5 1", true},
        {"stored, but no name reported", S_OK, "", false},
    };
    for (const auto &row : rows) {
        test::ResetProductRegistry();
        RegistryKey tasks;
        ASSERT_EQ(ERROR_SUCCESS, tasks.Create(HKEY_CURRENT_USER, kTasksKeyPath));
        ComponentDouble component;
        component.result = row.result;
        component.reportedKey = row.reportedKey;
        component.storeKey = row.keyExists;
        PageTaskRequest request;
        request.description = "Send text from x";
        request.selection = "\"C:\\x.htm\"";
        request.writeChopMessage = true;
        request.chopMessage = 1;
        std::string keyName;
        EXPECT_EQ(row.result, SubmitPageTask(&component, nullptr, request, &keyName)) << row.label;
        EXPECT_EQ(row.reportedKey, keyName) << row.label << ": the name is reported either way";
        EXPECT_EQ("<missing>", StoredText(row.reportedKey, task_values::kSelection)) << row.label;
        EXPECT_EQ("<missing>", StoredText(row.reportedKey, task_values::kCommandLine)) << row.label;
        EXPECT_EQ("<missing>", StoredText("", task_values::kSelection)) << row.label << ": not in Tasks itself";
    }
}

TEST_F(SubmitPageTaskTest, NoComponentIsRefused)
{
    std::string keyName = "stale";
    EXPECT_EQ(E_POINTER, SubmitPageTask(nullptr, nullptr, PageTaskRequest(), &keyName));
    EXPECT_EQ("", keyName);
}

} // namespace
