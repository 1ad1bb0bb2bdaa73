// tasqui.dll as its clients use it: registered, created by CLSID from this process, and
// driven through the vtable. Due tasks, recorded runs, retries, properties, identity,
// aggregation, module lifetime, late binding and trace lines.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/win_datetime.h"
#include "schedule/component/tasqedule_ui_dispatch.h"
#include "tasqui_h.h"
#include "tests/support/date_time_builder.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;

namespace {

constexpr HRESULT kNoTasks = 259;

std::string ComponentPath() { return test::BinDir() + "\\tasqui.dll"; }
std::string g_logPath;

// Registers the component and sets the log path before anything loads it: the
// component reads its configuration once, at load.
class ComponentEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        test::ResetProductRegistry();
        g_logPath = test::MakeScratchDir("tasqui_client") + "\\trace.log";
        RegistryKey config;
        ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(kConfigurationKeyPath, &config));
        ASSERT_EQ(ERROR_SUCCESS, config.WriteString(config_values::kLogging, g_logPath));
        module_ = LoadLibraryA(ComponentPath().c_str());
        ASSERT_NE(nullptr, module_) << "tasqui.dll did not load: " << GetLastError();
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
        test::ResetProductRegistry();
        CoUninitialize();
    }

private:
    HMODULE module_ = nullptr;
};

const ::testing::Environment *const g_environment = ::testing::AddGlobalTestEnvironment(new ComponentEnvironment);

// ---- Task keys written the way a hand or another program would -------------------------

struct TaskSpec {
    DWORD needsInternet = 0;
    std::string displayName = "A task";
    std::string appName = "quillon.exe";
    std::string commandLine = "cmd";
    DWORD hasDates = 0, hasTimes = 0, notWeekend = 0, disabled = 0;
    DateTime startDate{}, endDate{}, lastRun{};
    DWORD taskType = 1, value = 5, value2 = 0, daysOfWeek = 0, monthsOfYear = 0;
    bool hasTimeout = false;
    DWORD timeout = 0;
    bool hasLogging = false;
    DWORD logging = 0;
};

void WriteTask(const std::string &name, const TaskSpec &t)
{
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey((std::string(kTasksKeyPath) + "\\" + name).c_str(), &key));
    namespace v = task_values;
    key.WriteDword(v::kNeedsInternet, t.needsInternet);
    key.WriteString(v::kDisplayName, t.displayName);
    key.WriteString(v::kAppName, t.appName);
    key.WriteString(v::kCommandLine, t.commandLine);
    key.WriteDword(v::kHasDates, t.hasDates);
    key.WriteDword(v::kHasTimes, t.hasTimes);
    key.WriteDword(v::kNotWeekend, t.notWeekend);
    key.WriteDword(v::kDisabled, t.disabled);
    key.WriteBinary(v::kStartDate, &t.startDate, sizeof t.startDate);
    key.WriteBinary(v::kEndDate, &t.endDate, sizeof t.endDate);
    key.WriteBinary(v::kLastRun, &t.lastRun, sizeof t.lastRun);
    key.WriteDword(v::kTaskType, t.taskType);
    key.WriteDword(v::kValue, t.value);
    key.WriteDword(v::kValue2, t.value2);
    key.WriteDword(v::kDaysOfWeek, t.daysOfWeek);
    ASSERT_EQ(ERROR_SUCCESS, key.WriteDword(v::kMonthsOfYear, t.monthsOfYear));
    if (t.hasTimeout)
        key.WriteDword(v::kTimeout, t.timeout);
    if (t.hasLogging)
        key.WriteDword(v::kLogging, t.logging);
}

SYSTEMTIME At(int year, int month, int day, int hour, int minute, int second = 0, int ms = 0)
{
    return ToSystemTime(test::At(year, month, day, hour, minute, second, ms));
}

std::string KeyNameOf(IUnknown *task)
{
    ComPtr<IAppTaskData> data;
    if (task == nullptr || FAILED(task->QueryInterface(IID_IAppTaskData, data.PutVoid())))
        return "<no task>";
    LPSTR name = nullptr;
    if (data->GetStringProperty(0x40000001, &name) != S_OK || name == nullptr)
        return "<no name>";
    return name;
}

// GetTaskForTime at a minute; returns the due task's key name, or a marker for the result.
std::string DueAt(ITasqeduleUI *ui, SYSTEMTIME st, bool reload = false)
{
    IUnknown *task = reinterpret_cast<IUnknown *>(0x1);
    HRESULT hr = ui->GetTaskForTime(&st, &task, reload ? 1 : 0);
    if (hr == S_OK)
        return KeyNameOf(task);
    if (task != nullptr)
        return "<result " + std::to_string(hr) + " with a task>";
    if (hr == E_FAIL)
        return "<none due>";
    if (hr == kNoTasks)
        return "<no tasks>";
    return "<result " + std::to_string(hr) + ">";
}

// The borrowed task pointer of the task due at st (null when none).
IAppTaskData *BorrowDue(ITasqeduleUI *ui, SYSTEMTIME st)
{
    IUnknown *task = nullptr;
    if (ui->GetTaskForTime(&st, &task, 0) != S_OK || task == nullptr)
        return nullptr;
    IAppTaskData *data = nullptr;
    if (FAILED(task->QueryInterface(IID_IAppTaskData, reinterpret_cast<void **>(&data))))
        return nullptr;
    data->Release();   // borrowed from the list, which keeps it alive
    return data;
}

bool ReadRetryEntry(const std::string &name, DWORD *count, DateTime *when)
{
    RegistryKey key;
    if (OpenUserKey((std::string(kFailedTasksKeyPath) + "\\" + name).c_str(), &key) != ERROR_SUCCESS)
        return false;
    key.ReadDword(failed_task_values::kTaskRetryCount, count);
    key.ReadBinary(failed_task_values::kTaskRetryTime, when, sizeof *when);
    return true;
}

class Client : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ResetProductRegistry();
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER, IID_ITasqeduleUI,
                                         ui.PutVoid()));
    }
    void TearDown() override
    {
        ui.Reset();
        test::ResetProductRegistry();
    }
    ComPtr<ITasqeduleUI> ui;
};

const char kFirst[] = "2000 7 4 9 5 3";
const char kSecond[] = "2000 7 4 9 5 4";

// ---- Due tasks and recorded runs -------------------------------------------------------

TEST_F(Client, DueTaskIsReturnedThenRecordedAndDueAgainAfterItsInterval)
{
    TaskSpec every5;   // every 5 minutes, never run
    WriteTask(kFirst, every5);

    SYSTEMTIME st = At(2024, 3, 6, 10, 7, 33, 250);
    IUnknown *task = nullptr;
    ASSERT_EQ(S_OK, ui->GetTaskForTime(&st, &task, 0));
    EXPECT_EQ(0, st.wSecond) << "the caller's time is cut to its minute";
    EXPECT_EQ(0, st.wMilliseconds);
    ASSERT_EQ(kFirst, KeyNameOf(task));

    ComPtr<IAppTaskData> data;
    ASSERT_EQ(S_OK, task->QueryInterface(IID_IAppTaskData, data.PutVoid()));
    SYSTEMTIME ran = At(2024, 3, 6, 10, 7, 40);
    ASSERT_EQ(S_OK, data->SetLastRun(&ran));

    // Stored for the next process to see...
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, OpenUserKey((std::string(kTasksKeyPath) + "\\" + kFirst).c_str(), &key));
    DateTime stored{};
    ASSERT_EQ(ERROR_SUCCESS, key.ReadBinary(task_values::kLastRun, &stored, sizeof stored));
    EXPECT_EQ(0, std::memcmp(&stored, &ran, sizeof ran));
    SYSTEMTIME inMemory{};
    ASSERT_EQ(S_OK, data->GetDateProperty(0x20000003, &inMemory));
    EXPECT_EQ(0, std::memcmp(&inMemory, &ran, sizeof ran));
    data.Reset();

    // ...and counted from its minute: 10:12 is the next due time, in memory and after a reload.
    EXPECT_EQ("<none due>", DueAt(ui.Get(), At(2024, 3, 6, 10, 7)));
    EXPECT_EQ("<none due>", DueAt(ui.Get(), At(2024, 3, 6, 10, 11)));
    EXPECT_EQ(kFirst, DueAt(ui.Get(), At(2024, 3, 6, 10, 12)));
    EXPECT_EQ("<none due>", DueAt(ui.Get(), At(2024, 3, 6, 10, 11), true));
    EXPECT_EQ(kFirst, DueAt(ui.Get(), At(2024, 3, 6, 10, 12), true));
}

TEST_F(Client, NoTasksAtAllIsReportedApartFromNothingDue)
{
    // A due retry entry does not matter when there are no tasks.
    SYSTEMTIME past = At(2001, 1, 1, 0, 0);
    RegistryKey entry;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey((std::string(kFailedTasksKeyPath) + "\\" + kFirst).c_str(), &entry));
    entry.WriteDword(failed_task_values::kTaskRetryCount, 1);
    entry.WriteBinary(failed_task_values::kTaskRetryTime, &past, sizeof past);
    entry.Close();

    EXPECT_EQ("<no tasks>", DueAt(ui.Get(), At(2024, 3, 6, 10, 7)));
    DWORD count = 0;
    DateTime when{};
    EXPECT_TRUE(ReadRetryEntry(kFirst, &count, &when)) << "the queue is not consulted without tasks";

    TaskSpec disabled;
    disabled.disabled = 1;
    WriteTask(kSecond, disabled);
    EXPECT_EQ("<none due>", DueAt(ui.Get(), At(2024, 3, 6, 10, 7)))
        << "an empty list is reloaded at every call, so a new task is seen without force";
    EXPECT_FALSE(ReadRetryEntry(kFirst, &count, &when)) << "once there are tasks, the entry without one is dropped";
}

TEST_F(Client, FirstDueTaskInListOrderWinsAndTheNextFollowsOnceRecorded)
{
    WriteTask(kFirst, TaskSpec{});
    WriteTask(kSecond, TaskSpec{});
    SYSTEMTIME now = At(2024, 3, 6, 10, 7);

    IAppTaskData *first = BorrowDue(ui.Get(), now);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(kFirst, KeyNameOf(first));
    EXPECT_EQ(kFirst, DueAt(ui.Get(), now)) << "still due until its run is recorded";
    ASSERT_EQ(S_OK, first->SetLastRun(&now));

    IAppTaskData *second = BorrowDue(ui.Get(), now);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(kSecond, KeyNameOf(second));
    ASSERT_EQ(S_OK, second->SetLastRun(&now));
    EXPECT_EQ("<none due>", DueAt(ui.Get(), now));
}

TEST_F(Client, MalformedKeyEndsTheLoadButTheTasksBeforeItAreServed)
{
    WriteTask(kFirst, TaskSpec{});
    WriteTask(kSecond, TaskSpec{});
    const char third[] = "2000 7 4 9 5 5";
    WriteTask(third, TaskSpec{});
    RegistryKey broken;
    ASSERT_EQ(ERROR_SUCCESS, OpenUserKey((std::string(kTasksKeyPath) + "\\" + kSecond).c_str(), &broken));
    ASSERT_EQ(ERROR_SUCCESS, broken.DeleteValue(task_values::kMonthsOfYear));
    broken.Close();

    SYSTEMTIME now = At(2024, 3, 6, 10, 7);
    IAppTaskData *first = BorrowDue(ui.Get(), now);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(kFirst, KeyNameOf(first));
    ASSERT_EQ(S_OK, first->SetLastRun(&now));
    EXPECT_EQ("<none due>", DueAt(ui.Get(), now)) << "neither the broken key nor the one after it is loaded";
}

TEST_F(Client, RunOfATaskWhoseKeyWasDeletedIsNotStored)
{
    WriteTask(kFirst, TaskSpec{});
    SYSTEMTIME now = At(2024, 3, 6, 10, 7);
    IAppTaskData *task = BorrowDue(ui.Get(), now);
    ASSERT_NE(nullptr, task);
    RegistryKey tasks;
    ASSERT_EQ(ERROR_SUCCESS, OpenUserKey(kTasksKeyPath, &tasks));
    ASSERT_EQ(ERROR_SUCCESS, tasks.DeleteSubkeyTree(kFirst));

    EXPECT_EQ(E_FAIL, task->SetLastRun(&now));
    RegistryKey gone;
    EXPECT_NE(ERROR_SUCCESS, OpenUserKey((std::string(kTasksKeyPath) + "\\" + kFirst).c_str(), &gone))
        << "a key holding only LastRun would end every later load";
    SYSTEMTIME inMemory{};
    task->GetDateProperty(0x20000003, &inMemory);
    EXPECT_EQ(0, std::memcmp(&inMemory, &now, sizeof now)) << "the object still records the run";
}

TEST_F(Client, NullArgumentsAreRefused)
{
    WriteTask(kFirst, TaskSpec{});
    IUnknown *task = reinterpret_cast<IUnknown *>(0x1);
    EXPECT_EQ(E_POINTER, ui->GetTaskForTime(nullptr, &task, 0));
    EXPECT_EQ(nullptr, task);
    SYSTEMTIME now = At(2024, 3, 6, 10, 7);
    EXPECT_EQ(E_POINTER, ui->GetTaskForTime(&now, nullptr, 0));
    EXPECT_EQ(E_POINTER, ui->RequeueTask(&now, nullptr, 3, 0));
    IAppTaskData *due = BorrowDue(ui.Get(), now);
    ASSERT_NE(nullptr, due);
    EXPECT_EQ(E_POINTER, ui->RequeueTask(nullptr, due, 3, 0)) << "a failure needs its retry time";
    EXPECT_EQ(S_OK, ui->RequeueTask(nullptr, due, 3, 1)) << "a success needs none";
    EXPECT_EQ(E_INVALIDARG, ui->RequeueTask(&now, ui.Get(), 3, 0)) << "not a task";
    EXPECT_EQ(E_POINTER, due->SetLastRun(nullptr));
}

// ---- Retry queue -----------------------------------------------------------------------

TEST_F(Client, FailuresAreCountedUntilTheRetriesAreUsedUp)
{
    struct Case {
        const char *label;
        ULONG maxRetries;
        std::vector<HRESULT> results;   // of consecutive failures
    } cases[] = {
        {"three retries", 3, {S_OK, S_OK, S_OK, E_FAIL}},
        {"no retries: the first failure is still queued", 0, {S_OK, E_FAIL}},
        {"one retry", 1, {S_OK, E_FAIL}},
    };
    WriteTask(kFirst, TaskSpec{});
    IAppTaskData *task = BorrowDue(ui.Get(), At(2024, 3, 6, 10, 7));
    ASSERT_NE(nullptr, task);

    for (const Case &c : cases) {
        for (size_t i = 0; i < c.results.size(); ++i) {
            SYSTEMTIME retryAt = At(2030, 1, 1, 12, static_cast<int>(i));
            EXPECT_EQ(c.results[i], ui->RequeueTask(&retryAt, task, c.maxRetries, 0)) << c.label << " failure " << i + 1;
            DWORD count = 0;
            DateTime when{};
            bool queued = ReadRetryEntry(kFirst, &count, &when);
            if (c.results[i] == S_OK) {
                ASSERT_TRUE(queued) << c.label << " failure " << i + 1;
                EXPECT_EQ(i + 1, count) << c.label;
                EXPECT_EQ(0, std::memcmp(&when, &retryAt, sizeof when)) << c.label;
            } else {
                EXPECT_FALSE(queued) << c.label << ": the exhausting failure removes the entry";
            }
        }
    }
}

TEST_F(Client, SuccessUnqueuesAndALaterFailureStartsAgain)
{
    WriteTask(kFirst, TaskSpec{});
    IAppTaskData *task = BorrowDue(ui.Get(), At(2024, 3, 6, 10, 7));
    ASSERT_NE(nullptr, task);
    SYSTEMTIME later = At(2030, 1, 1, 12, 0);
    ASSERT_EQ(S_OK, ui->RequeueTask(&later, task, 5, 0));
    ASSERT_EQ(S_OK, ui->RequeueTask(&later, task, 5, 0));
    EXPECT_EQ(S_OK, ui->RequeueTask(&later, task, 5, 1));
    DWORD count = 0;
    DateTime when{};
    EXPECT_FALSE(ReadRetryEntry(kFirst, &count, &when));
    EXPECT_EQ(S_OK, ui->RequeueTask(&later, task, 5, 1)) << "unqueueing what is not queued is fine";
    ASSERT_EQ(S_OK, ui->RequeueTask(&later, task, 5, 0));
    ASSERT_TRUE(ReadRetryEntry(kFirst, &count, &when));
    EXPECT_EQ(1u, count);
}

TEST_F(Client, DueRetryComesBeforeScheduledTasksEvenWhenDisabled)
{
    TaskSpec scheduled;
    WriteTask(kFirst, scheduled);
    TaskSpec disabled;
    disabled.disabled = 1;
    WriteTask(kSecond, disabled);
    SYSTEMTIME now = At(2024, 3, 6, 10, 7);
    ASSERT_EQ(kFirst, DueAt(ui.Get(), now));

    // Once the scheduled task has run, nothing is due by schedule; a due retry entry of
    // the disabled task then brings it up.
    ASSERT_EQ(S_OK, BorrowDue(ui.Get(), now)->SetLastRun(&now));
    IUnknown *second = nullptr;
    RegistryKey entry;
    SYSTEMTIME past = At(2001, 1, 1, 0, 0);
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey((std::string(kFailedTasksKeyPath) + "\\" + kSecond).c_str(), &entry));
    entry.WriteDword(failed_task_values::kTaskRetryCount, 1);
    entry.WriteBinary(failed_task_values::kTaskRetryTime, &past, sizeof past);
    entry.Close();

    ASSERT_EQ(S_OK, ui->GetTaskForTime(&now, &second, 0));
    EXPECT_EQ(kSecond, KeyNameOf(second));
    // It stays due until the outcome is reported.
    EXPECT_EQ(kSecond, DueAt(ui.Get(), now));
    EXPECT_EQ(S_OK, ui->RequeueTask(&now, second, 3, 1));
    EXPECT_EQ("<none due>", DueAt(ui.Get(), now));

    // A retry time still ahead is not due.
    SYSTEMTIME future = At(2100, 1, 1, 0, 0);
    ASSERT_EQ(S_OK, ui->RequeueTask(&future, second, 3, 0));
    EXPECT_EQ("<none due>", DueAt(ui.Get(), now));
}

TEST_F(Client, RetryEntryOfADeletedTaskIsDroppedSilently)
{
    TaskSpec notDue;
    notDue.disabled = 1;
    WriteTask(kFirst, notDue);
    const char stale[] = "1999 1 1 0 0 0";
    SYSTEMTIME past = At(2001, 1, 1, 0, 0);
    RegistryKey entry;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey((std::string(kFailedTasksKeyPath) + "\\" + stale).c_str(), &entry));
    entry.WriteDword(failed_task_values::kTaskRetryCount, 2);
    entry.WriteBinary(failed_task_values::kTaskRetryTime, &past, sizeof past);
    entry.Close();

    EXPECT_EQ("<none due>", DueAt(ui.Get(), At(2024, 3, 6, 10, 7)));
    DWORD count = 0;
    DateTime when{};
    EXPECT_FALSE(ReadRetryEntry(stale, &count, &when));
}

// ---- Properties ------------------------------------------------------------------------

TEST_F(Client, PropertiesOfALoadedTaskAreTypedByTheirIdentifier)
{
    TaskSpec t;
    t.needsInternet = 7;   // booleans come back as stored, not as 1
    t.displayName = "Send text from http://example.test/";
    t.appName = "quillon.exe";
    t.commandLine = kFirst;
    t.hasDates = 1;
    t.hasTimes = 2;
    t.notWeekend = 3;
    t.startDate = FromSystemTime(At(2024, 1, 1, 0, 0));
    t.endDate = FromSystemTime(At(2024, 12, 31, 23, 59));
    t.lastRun = FromSystemTime(At(2024, 3, 6, 9, 0, 12, 5));
    t.taskType = 3;
    t.value = 2;
    t.value2 = 540;
    t.daysOfWeek = 0x3E;
    t.monthsOfYear = 0xFFF;
    t.hasTimeout = true;
    t.timeout = 120000;
    WriteTask(kFirst, t);
    TaskSpec defaults;   // no Timeout value
    WriteTask(kSecond, defaults);

    // Make both tasks due by a retry of their own, which ignores schedules.
    auto fetch = [&](const char *name) -> IAppTaskData * {
        SYSTEMTIME past = At(2001, 1, 1, 0, 0);
        RegistryKey entry;
        CreateUserKey((std::string(kFailedTasksKeyPath) + "\\" + name).c_str(), &entry);
        entry.WriteDword(failed_task_values::kTaskRetryCount, 1);
        entry.WriteBinary(failed_task_values::kTaskRetryTime, &past, sizeof past);
        entry.Close();
        IAppTaskData *task = BorrowDue(ui.Get(), At(2024, 6, 5, 0, 0));
        RegistryKey queue;
        if (OpenUserKey(kFailedTasksKeyPath, &queue) == ERROR_SUCCESS)
            queue.DeleteSubkeyTree(name);
        return task;
    };
    IAppTaskData *task = fetch(kFirst);
    ASSERT_NE(nullptr, task);

    struct BoolCase { ULONG id; long expected; } bools[] = {
        {0x80000001, 0}, {0x80000002, 7}, {0x80000003, 1}, {0x80000004, 2}, {0x80000005, 3}, {0x80000006, 0},
    };
    for (const BoolCase &c : bools) {
        long value = -99;
        EXPECT_EQ(S_OK, task->GetBooleanProperty(c.id, &value)) << std::hex << c.id;
        EXPECT_EQ(c.expected, value) << std::hex << c.id;
    }
    struct StringCase { ULONG id; std::string expected; } strings[] = {
        {0x40000001, kFirst}, {0x40000002, t.displayName}, {0x40000003, t.appName}, {0x40000004, t.commandLine},
    };
    for (const StringCase &c : strings) {
        LPSTR value = nullptr;
        EXPECT_EQ(S_OK, task->GetStringProperty(c.id, &value)) << std::hex << c.id;
        ASSERT_NE(nullptr, value) << std::hex << c.id;
        EXPECT_EQ(c.expected, value) << std::hex << c.id;
        LPSTR again = nullptr;
        task->GetStringProperty(c.id, &again);
        EXPECT_EQ(value, again) << "the object's own string, not a copy: " << std::hex << c.id;
    }
    struct DateCase { ULONG id; DateTime expected; } dates[] = {
        {0x20000001, t.startDate}, {0x20000002, t.endDate}, {0x20000003, t.lastRun},
    };
    for (const DateCase &c : dates) {
        SYSTEMTIME value{};
        EXPECT_EQ(S_OK, task->GetDateProperty(c.id, &value)) << std::hex << c.id;
        EXPECT_EQ(0, std::memcmp(&value, &c.expected, sizeof value)) << std::hex << c.id;
    }
    struct DwordCase { ULONG id; ULONG expected; } dwords[] = {
        {0x10000001, 3}, {0x10000002, 2}, {0x10000003, 540}, {0x10000004, 0x3E}, {0x10000005, 0xFFF},
        {0x10000006, 120000},
    };
    for (const DwordCase &c : dwords) {
        ULONG value = 0xBAD;
        EXPECT_EQ(S_OK, task->GetDwordProperty(c.id, &value)) << std::hex << c.id;
        EXPECT_EQ(c.expected, value) << std::hex << c.id;
    }

    IAppTaskData *withDefaults = fetch(kSecond);
    ASSERT_NE(nullptr, withDefaults);
    ULONG timeout = 0;
    EXPECT_EQ(S_OK, withDefaults->GetDwordProperty(0x10000006, &timeout));
    EXPECT_EQ(300000u, timeout) << "a task key without Timeout gets 300000 ms";
}

TEST_F(Client, UndefinedOrMisclassedIdentifiersAreRejectedWithoutTouchingTheResult)
{
    ComPtr<IAppTaskData> task;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_AppTaskData, nullptr, CLSCTX_INPROC_SERVER, IID_IAppTaskData,
                                     task.PutVoid()));
    enum Getter { Boolean, String, Date, Dword };
    struct Case {
        const char *label;
        Getter getter;
        ULONG id;
    } cases[] = {
        {"string id to the boolean getter", Boolean, 0x40000001},
        {"boolean after the last", Boolean, 0x80000007},
        {"boolean zero index", Boolean, 0x80000000},
        {"boolean with an extra class bit", Boolean, 0xC0000001},
        {"dword id to the string getter", String, 0x10000001},
        {"string after the last", String, 0x40000005},
        {"date id to the dword getter", Dword, 0x20000001},
        {"dword after the last", Dword, 0x10000007},
        {"dword far beyond", Dword, 0x1FFFFFFF},
        {"boolean id to the date getter", Date, 0x80000001},
        {"date after the last", Date, 0x20000004},
        {"no class bit", Dword, 0x00000001},
        {"zero", String, 0},
    };
    for (const Case &c : cases) {
        HRESULT hr = S_OK;
        bool untouched = false;
        switch (c.getter) {
        case Boolean: {
            long value = 1234;
            hr = task->GetBooleanProperty(c.id, &value);
            untouched = value == 1234;
            break;
        }
        case String: {
            char marker = 0;
            LPSTR value = &marker;
            hr = task->GetStringProperty(c.id, &value);
            untouched = value == &marker;
            break;
        }
        case Date: {
            SYSTEMTIME value;
            std::memset(&value, 0x5A, sizeof value);
            hr = task->GetDateProperty(c.id, &value);
            untouched = value.wYear == 0x5A5A && value.wMilliseconds == 0x5A5A;
            break;
        }
        case Dword: {
            ULONG value = 1234;
            hr = task->GetDwordProperty(c.id, &value);
            untouched = value == 1234;
            break;
        }
        }
        EXPECT_EQ(E_INVALIDARG, hr) << c.label;
        EXPECT_TRUE(untouched) << c.label;
    }
}

TEST_F(Client, DirectlyCreatedTaskIsEmptyAndBelongsToNoList)
{
    ComPtr<IAppTaskData> task;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_AppTaskData, nullptr, CLSCTX_INPROC_SERVER, IID_IAppTaskData,
                                     task.PutVoid()));
    LPSTR name = nullptr;
    ASSERT_EQ(S_OK, task->GetStringProperty(0x40000001, &name));
    ASSERT_NE(nullptr, name) << "the key name lives inside the object";
    EXPECT_STREQ("", name);
    ULONG type = 99;
    EXPECT_EQ(S_OK, task->GetDwordProperty(0x10000001, &type));
    EXPECT_EQ(0u, type);
    SYSTEMTIME lastRun;
    std::memset(&lastRun, 0x5A, sizeof lastRun);
    EXPECT_EQ(S_OK, task->GetDateProperty(0x20000003, &lastRun));
    EXPECT_EQ(0, lastRun.wYear);

    // Its run has no key to go to, and none may be made for it.
    SYSTEMTIME now = At(2024, 3, 6, 10, 7);
    EXPECT_EQ(E_FAIL, task->SetLastRun(&now));
    RegistryKey tasks;
    if (OpenUserKey(kTasksKeyPath, &tasks) == ERROR_SUCCESS) {
        std::string sub;
        EXPECT_NE(ERROR_SUCCESS, tasks.EnumSubkeyName(0, &sub)) << "a key holding only LastRun appeared: " << sub;
    }
}

// ---- Identity, aggregation and module lifetime -----------------------------------------

TEST_F(Client, ObjectsAnswerOnlyIUnknownAndTheirOwnInterface)
{
    ComPtr<IAppTaskData> task;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_AppTaskData, nullptr, CLSCTX_INPROC_SERVER, IID_IAppTaskData,
                                     task.PutVoid()));
    struct Case {
        const char *label;
        IUnknown *object;
        const IID *iid;
        bool answered;
    } cases[] = {
        {"ui IUnknown", ui.Get(), &IID_IUnknown, true},
        {"ui ITasqeduleUI", ui.Get(), &IID_ITasqeduleUI, true},
        {"ui IDispatch", ui.Get(), &IID_IDispatch, false},
        {"ui IAppTaskData", ui.Get(), &IID_IAppTaskData, false},
        {"ui IClassFactory", ui.Get(), &IID_IClassFactory, false},
        {"task IUnknown", task.Get(), &IID_IUnknown, true},
        {"task IAppTaskData", task.Get(), &IID_IAppTaskData, true},
        {"task IDispatch", task.Get(), &IID_IDispatch, false},
        {"task ITasqeduleUI", task.Get(), &IID_ITasqeduleUI, false},
    };
    for (const Case &c : cases) {
        IUnknown *result = reinterpret_cast<IUnknown *>(0x1);
        HRESULT hr = c.object->QueryInterface(*c.iid, reinterpret_cast<void **>(&result));
        if (c.answered) {
            EXPECT_EQ(S_OK, hr) << c.label;
            if (SUCCEEDED(hr))
                result->Release();
        } else {
            EXPECT_EQ(E_NOINTERFACE, hr) << c.label;
            EXPECT_EQ(nullptr, result) << c.label;
        }
    }
    // One identity: IUnknown from either interface is the same pointer.
    IUnknown *a = nullptr, *b = nullptr;
    ui->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&a));
    ComPtr<ITasqeduleUI> again;
    ui->QueryInterface(IID_ITasqeduleUI, again.PutVoid());
    again->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&b));
    EXPECT_EQ(a, b);
    a->Release();
    b->Release();
}

// A minimal aggregating object: counts its own references and hands out the inner
// object's interfaces.
class Outer : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        ++delegatedQueries;
        return inner->QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;
    int delegatedQueries = 0;
    IUnknown *inner = nullptr;
};

TEST_F(Client, BothClassesCanBeAggregated)
{
    struct Case {
        const char *label;
        const CLSID *clsid;
        const IID *iid;
    } cases[] = {
        {"TasqeduleUI", &CLSID_TasqeduleUI, &IID_ITasqeduleUI},
        {"AppTaskData", &CLSID_AppTaskData, &IID_IAppTaskData},
    };
    for (const Case &c : cases) {
        Outer outer;
        void *refused = reinterpret_cast<void *>(0x1);
        EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(*c.clsid, &outer, CLSCTX_INPROC_SERVER, *c.iid, &refused))
            << c.label << ": an aggregated object is created for IUnknown only";
        ASSERT_EQ(S_OK, CoCreateInstance(*c.clsid, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                         reinterpret_cast<void **>(&outer.inner)))
            << c.label;

        IUnknown *own = nullptr;
        ASSERT_EQ(S_OK, outer.inner->QueryInterface(*c.iid, reinterpret_cast<void **>(&own))) << c.label;
        EXPECT_EQ(2u, outer.refs) << c.label << ": references to the inner interface count on the outer object";

        IUnknown *identity = nullptr;
        ASSERT_EQ(S_OK, own->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&identity))) << c.label;
        EXPECT_EQ(static_cast<IUnknown *>(&outer), identity) << c.label << ": IUnknown is the outer object's";
        identity->Release();

        void *other = nullptr;
        own->QueryInterface(IID_IDispatch, &other);
        EXPECT_EQ(1, outer.delegatedQueries) << c.label << ": other interfaces are asked of the outer object";
        if (other != nullptr)
            static_cast<IUnknown *>(other)->Release();

        own->Release();
        EXPECT_EQ(1u, outer.refs) << c.label;
        EXPECT_EQ(0u, outer.inner->Release()) << c.label << ": the inner unknown holds the object's own count";
    }
}

TEST_F(Client, ModuleCanUnloadOnlyWithoutLiveObjectsOrLocks)
{
    HMODULE module = GetModuleHandleA("tasqui.dll");
    ASSERT_NE(nullptr, module);
    using EntryPoint = HRESULT(STDAPICALLTYPE *)();
    auto canUnload = reinterpret_cast<EntryPoint>(reinterpret_cast<void *>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(nullptr, canUnload);

    EXPECT_EQ(S_FALSE, canUnload()) << "the fixture's TasqeduleUI is alive";
    ui.Reset();
    EXPECT_EQ(S_OK, canUnload());

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_AppTaskData, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     factory.PutVoid()));
    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    EXPECT_EQ(S_FALSE, canUnload()) << "a server lock holds the module";

    ComPtr<IClassFactory> again;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_AppTaskData, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     again.PutVoid()));
    ASSERT_EQ(S_OK, again->LockServer(FALSE));
    ComPtr<IAppTaskData> task;
    ASSERT_EQ(S_OK, again->CreateInstance(nullptr, IID_IAppTaskData, task.PutVoid()));
    again.Reset();
    EXPECT_EQ(S_FALSE, canUnload()) << "a live task holds the module";
    task.Reset();
    EXPECT_EQ(S_OK, canUnload());

    using GetClassObject = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);
    auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void *>(GetProcAddress(module, "DllGetClassObject")));
    ASSERT_NE(nullptr, getClassObject);
    void *none = reinterpret_cast<void *>(0x1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IAppTaskData, IID_IClassFactory, &none))
        << "a class this module does not serve";
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(S_OK, canUnload());
}

// ---- Late binding ----------------------------------------------------------------------

TEST_F(Client, DispatchOperationsComeFromTheTypeLibrary)
{
    auto *slots = static_cast<ITasqeduleUIDispatchSlots *>(ui.Get());
    UINT count = 0;
    ASSERT_EQ(S_OK, slots->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);

    ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, slots->GetTypeInfo(0, 0, info.Put()));
    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr));
    EXPECT_STREQ(L"ITasqeduleUI", name);
    EXPECT_STREQ(L"ITasqeduleUI Interface", doc);
    SysFreeString(name);
    SysFreeString(doc);
    ComPtr<ITypeInfo> none;
    EXPECT_EQ(DISP_E_BADINDEX, slots->GetTypeInfo(1, 0, none.Put()));

    const wchar_t *methods[] = {L"SubmitApplication", L"EditTasks", L"GetTaskForTime", L"RequeueTask"};
    const wchar_t *helps[] = {L"method SubmitApplication", L"method EditTasks", L"method GetNextTaskTime",
                              L"method RequeueTask"};
    for (size_t i = 0; i < 4; ++i) {
        LPOLESTR method = const_cast<LPOLESTR>(methods[i]);
        DISPID id = DISPID_UNKNOWN;
        ASSERT_EQ(S_OK, slots->GetIDsOfNames(IID_NULL, &method, 1, 0, &id)) << i;
        BSTR help = nullptr;
        ASSERT_EQ(S_OK, info->GetDocumentation(id, nullptr, &help, nullptr, nullptr)) << i;
        EXPECT_STREQ(helps[i], help) << i;
        SysFreeString(help);
    }
    LPOLESTR unknown = const_cast<LPOLESTR>(L"NoSuchMethod");
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, slots->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id));
}

// Every method of ITasqeduleUI takes a record (SYSTEMTIME*) or a handle (HWND), which
// Wine's type-library invocation cannot convert, so a whole late-bound call cannot run
// here; what Invoke decides from the type library before the call still shows.
TEST_F(Client, InvokeChecksCallsAgainstTheTypeLibrary)
{
    auto *slots = static_cast<ITasqeduleUIDispatchSlots *>(ui.Get());
    LPOLESTR method = const_cast<LPOLESTR>(L"RequeueTask");
    DISPID requeue = DISPID_UNKNOWN;
    ASSERT_EQ(S_OK, slots->GetIDsOfNames(IID_NULL, &method, 1, 0, &requeue));

    VARIANT args[2];
    for (VARIANT &arg : args) {
        VariantInit(&arg);
        arg.vt = VT_I4;
    }
    struct Case {
        const char *label;
        DISPID id;
        const IID *iid;
        UINT argCount;
        HRESULT expected;
    } cases[] = {
        {"unknown member", 0x12345, &IID_NULL, 0, DISP_E_MEMBERNOTFOUND},
        {"an interface id other than IID_NULL", requeue, &IID_ITasqeduleUI, 2, DISP_E_UNKNOWNINTERFACE},
    };
    for (const Case &c : cases) {
        DISPPARAMS params{args, nullptr, c.argCount, 0};
        VARIANT result;
        VariantInit(&result);
        UINT argError = 0;
        EXPECT_EQ(c.expected, slots->Invoke(c.id, *c.iid, 0, DISPATCH_METHOD, &params, &result, nullptr, &argError))
            << c.label;
    }
}

// ---- Trace lines -----------------------------------------------------------------------

TEST_F(Client, TraceLinesGoToTheConfiguredLogForTasksThatAskForThem)
{
    DeleteFileA(g_logPath.c_str());
    TaskSpec traced;
    traced.disabled = 1;
    traced.hasLogging = true;
    traced.logging = 1;
    WriteTask(kFirst, traced);
    TaskSpec quiet;
    quiet.disabled = 1;
    WriteTask(kSecond, quiet);
    EXPECT_EQ("<none due>", DueAt(ui.Get(), At(2024, 3, 6, 10, 7)));
    EXPECT_EQ(std::string("Task ") + kFirst + ":\r\n  is marked as disabled\r\n", test::ReadWholeFile(g_logPath));
}

} // namespace
