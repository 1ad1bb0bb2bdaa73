// The engine's Windows side under Wine: real child processes (exit codes, time-out and
// termination), the registry message queue delivered through a test mail library, the
// log file, the configuration read and the start-page probe. The clock and the schedule
// stay doubles so that the minutes are exact.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <thread>

#include "common/names.h"
#include "common/registry.h"
#include "common/scramble.h"
#include "common/text.h"
#include "common/win_datetime.h"
#include "scheduler/config/configuration.h"
#include "scheduler/engine/task_engine.h"
#include "scheduler/engine/win_services.h"
#include "scheduler/engine/wininet_dialer.h"
#include "tests/scheduler/engine/engine_doubles.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {
namespace {

std::string TestProgram(const char *name) { return BuildDir() + "\\tests\\" + name; }

std::vector<std::string> FileLines(const std::string &path)
{
    std::string text = ReadWholeFile(path);
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return lines;
}

bool FileExists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The test mail library, held loaded by the test so its record survives the
// dispatcher's load and unload.
class TestMailLibrary {
public:
    TestMailLibrary() : module_(LoadLibraryA(Path().c_str()))
    {
        reset_ = reinterpret_cast<void (*)(LONG)>(reinterpret_cast<void *>(GetProcAddress(module_, "TestMailReset")));
        queueResult_ = reinterpret_cast<void (*)(LONG)>(
            reinterpret_cast<void *>(GetProcAddress(module_, "TestMailQueueSendResult")));
        count_ = reinterpret_cast<int (*)()>(reinterpret_cast<void *>(GetProcAddress(module_, "TestMailCallCount")));
        call_ = reinterpret_cast<BOOL (*)(int, char *, int)>(
            reinterpret_cast<void *>(GetProcAddress(module_, "TestMailCall")));
    }
    ~TestMailLibrary()
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    static std::string Path() { return TestProgram("engine_test_mail.dll"); }
    bool Loaded() const { return module_ != nullptr && reset_ && queueResult_ && count_ && call_; }
    void Reset(LONG logonResult = 0) { reset_(logonResult); }
    void QueueSendResult(LONG result) { queueResult_(result); }
    std::vector<std::string> Calls() const
    {
        std::vector<std::string> calls;
        char buffer[1024];
        for (int i = 0; i < count_(); ++i)
            if (call_(i, buffer, sizeof buffer))
                calls.push_back(buffer);
        return calls;
    }

private:
    HMODULE module_;
    void (*reset_)(LONG) = nullptr;
    void (*queueResult_)(LONG) = nullptr;
    int (*count_)() = nullptr;
    BOOL (*call_)(int, char *, int) = nullptr;
};

void WriteEntry(const std::string &name, const DateTime &retryTime, const char *subject, const char *body,
                bool withCount = true, DWORD count = 0)
{
    RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, (std::string(kMailKeyPath) + "\\" + name).c_str()), ERROR_SUCCESS);
    if (withCount)
        key.WriteDword(mail_values::kRetryCount, count);
    key.WriteBinary(mail_values::kRetryTime, &retryTime, sizeof retryTime);
    if (subject != nullptr)
        key.WriteString(mail_values::kSubject, subject);
    if (body != nullptr)
        key.WriteString(mail_values::kBody, body);
}

struct StoredEntry {
    bool exists = false;
    DWORD count = 0;
    DateTime retryTime = {};
};

StoredEntry ReadEntry(const std::string &name)
{
    StoredEntry entry;
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, (std::string(kMailKeyPath) + "\\" + name).c_str()) != ERROR_SUCCESS)
        return entry;
    entry.exists = true;
    key.ReadDword(mail_values::kRetryCount, &entry.count);
    key.ReadBinary(mail_values::kRetryTime, &entry.retryTime, sizeof entry.retryTime);
    return entry;
}

class WinEngineTest : public ::testing::Test {
protected:
    WinEngineTest() : clock(At(2026, 12, 10, 10, 0, 12, 345)), log(settings)
    {
        ResetProductRegistry();
        scratch = MakeScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        settings.logging = true;
        settings.logFile = scratch + "\\quillon.log";
        settings.sender = "me@example.org";
        settings.destination = "pager@example.org";
        settings.mailLibrary = TestMailLibrary::Path();
        mail.Reset();
    }
    ~WinEngineTest() override { ResetProductRegistry(); }

    TaskEngine &Engine()
    {
        if (!engine)
            engine = std::make_unique<TaskEngine>(
                settings, shell, EngineServices{&clock, &log, &schedule, &launcher, &dialer, &queue, &libraries});
        return *engine;
    }

    SchedulerSettings settings;
    ShellState shell;
    FakeClock clock;
    FileEngineLog log;
    ScriptedSchedule schedule;
    Win32ProcessLauncher launcher;
    ScriptedDialer dialer;
    RegistryMailQueue queue;
    DllMailLibraryLoader libraries;
    TestMailLibrary mail;
    std::unique_ptr<TaskEngine> engine;
    std::string scratch;
};

// ---- Task processes --------------------------------------------------------------

TEST_F(WinEngineTest, TaskOutcomesOfRealChildren)
{
    std::string child = TestProgram("engine_test_child.exe");
    struct Case {
        const char *label;
        std::string program;
        std::string arguments;
        uint32_t timeoutMs;
        bool succeeded;
        std::vector<std::string> lines;   // after the tick and task lines
    };
    const Case cases[] = {
        {"exit -1 succeeds", child, "exit -1", 30000, true, {"Task completed successfully"}},
        {"exit 0 fails", child, "exit 0", 30000, false, {"Task failed"}},
        {"hang is terminated", child, "hang", 1500, false, {"    Process timed out.", "Task failed"}},
        {"missing program", scratch + "\\absent.exe", "x", 30000, false,
         {"TASQED.EXE: CreateProcess \"" + scratch + "\\absent.exe x\" failed.", "Task failed"}},
    };
    int minute = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        clock.Set(At(2026, 12, 10, 10, minute, 5));
        DateTime due = At(2026, 12, 10, 10, minute);
        ++minute;
        FakeTask &task = schedule.Add(due, "2026121010 0 0", false, c.program, c.timeoutMs);
        task.arguments = c.arguments;
        DeleteFileA(settings.logFile.c_str());
        schedule.requeues.clear();

        Engine().MinuteTick();

        std::vector<std::string> lines = FileLines(settings.logFile);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[1], "    Task 2026121010 0 0: 12/10/2026 10:0" + std::to_string(minute - 1));
        lines.erase(lines.begin(), lines.begin() + 2);
        EXPECT_EQ(lines, c.lines);
        ASSERT_EQ(schedule.requeues.size(), 1u);
        EXPECT_EQ(schedule.requeues[0].unqueue, c.succeeded);
        EXPECT_EQ(task.lastRunCalls, 1);
    }
}

TEST_F(WinEngineTest, OverrunningChildEndsWithTheTerminationCode)
{
    ProcessOutcome outcome = launcher.Run(TestProgram("engine_test_child.exe") + " hang", 500);
    EXPECT_TRUE(outcome.started);
    EXPECT_TRUE(outcome.timedOut);
    EXPECT_EQ(outcome.exitCode, 0xDEADDEADu);

    outcome = launcher.Run(TestProgram("engine_test_child.exe") + " exit 7", 30000);
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.exitCode, 7u);
}

// ---- Dispatch over the registry queue -------------------------------------------------

TEST_F(WinEngineTest, TwoDueEntriesAreSentInOneLogonAndDeleted)
{
    ASSERT_TRUE(mail.Loaded());
    WriteEntry("2026121009 5 1", At(2026, 12, 10, 9, 5, 1), "Title", "first part");
    WriteEntry("2026121009 5 2", At(2026, 12, 10, 9, 5, 2), "", "second part");
    WriteEntry("2026121011 0 0", At(2026, 12, 10, 11, 0, 0), "", "later");
    MailDispatcher &dispatcher = Engine().Dispatcher();
    EXPECT_TRUE(dispatcher.IsMailDue());
    dispatcher.DispatchMail();

    std::vector<std::string> calls = {
        "logon //1/" + settings.logFile,
        "send 4242 me@example.org pager@example.org Title/first part",
        "send 4242 me@example.org pager@example.org /second part",
        "logoff 4242",
    };
    EXPECT_EQ(mail.Calls(), calls);
    EXPECT_FALSE(ReadEntry("2026121009 5 1").exists);
    EXPECT_FALSE(ReadEntry("2026121009 5 2").exists);
    EXPECT_TRUE(ReadEntry("2026121011 0 0").exists);
    std::vector<std::string> lines = {
        "From: me@example.org", "To: pager@example.org", "Subject: Title", "Text: first part",
        "Succeeded in sending message", "From: me@example.org", "To: pager@example.org", "Subject: ",
        "Text: second part", "Succeeded in sending message",
    };
    EXPECT_EQ(FileLines(settings.logFile), lines);
    EXPECT_FALSE(dispatcher.IsMailDue());
}

// A message key holding a subkey (hand-made, or left by another tool) is deleted whole
// once sent, so it is not sent again at the next retry.
TEST_F(WinEngineTest, SentMessageWithASubkeyIsDeletedWhole)
{
    ASSERT_TRUE(mail.Loaded());
    WriteEntry("2026121009 5 1", At(2026, 12, 10, 9, 5, 1), "Title", "only once");
    RegistryKey stray;
    ASSERT_EQ(stray.Create(HKEY_CURRENT_USER, (std::string(kMailKeyPath) + "\\2026121009 5 1\\stray\\deeper").c_str()),
              ERROR_SUCCESS);
    stray.Close();
    MailDispatcher &dispatcher = Engine().Dispatcher();
    dispatcher.DispatchMail();
    EXPECT_FALSE(ReadEntry("2026121009 5 1").exists);

    clock.AdvanceMinutes(60);
    EXPECT_FALSE(dispatcher.IsMailDue());
    dispatcher.DispatchMail();
    std::vector<std::string> calls = {
        "logon //1/" + settings.logFile,
        "send 4242 me@example.org pager@example.org Title/only once",
        "logoff 4242",
        "logon //1/" + settings.logFile,
        "logoff 4242",
    };
    EXPECT_EQ(mail.Calls(), calls);
}

TEST_F(WinEngineTest, FailedSendIsRescheduledThenGivenUp)
{
    WriteEntry("m", At(2026, 12, 10, 9, 0), "S", "B");
    mail.QueueSendResult(-2147467259);
    Engine().Dispatcher().DispatchMail();
    StoredEntry entry = ReadEntry("m");
    ASSERT_TRUE(entry.exists);
    EXPECT_EQ(entry.count, 1u);
    EXPECT_EQ(TicksOf(entry.retryTime), TicksOf(At(2026, 12, 10, 10, 0, 12, 345)) + 15 * kTicksPerMinute);

    clock.AdvanceMinutes(16);
    mail.QueueSendResult(-1);
    Engine().Dispatcher().DispatchMail();
    EXPECT_FALSE(ReadEntry("m").exists);
    std::vector<std::string> lines = FileLines(settings.logFile);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Gave up on sending message");
    EXPECT_EQ(lines.size(), 9u) << "four lines per attempt, one give-up line";
}

TEST_F(WinEngineTest, FailedLogonLeavesTheQueueAndHoldsItOff)
{
    WriteEntry("m", At(2026, 12, 10, 9, 0), "S", "B");
    mail.Reset(-1);
    Engine().Dispatcher().DispatchMail();
    EXPECT_EQ(mail.Calls().size(), 1u);
    EXPECT_EQ(ReadEntry("m").count, 0u);
    EXPECT_FALSE(Engine().Dispatcher().IsMailDue());
    clock.AdvanceMinutes(15);
    clock.Advance(kTicksPerSecond);
    EXPECT_TRUE(Engine().Dispatcher().IsMailDue());
}

TEST_F(WinEngineTest, DontSendDeletesWithoutCallingTheLibrary)
{
    settings.dontSend = true;
    WriteEntry("m", At(2026, 12, 10, 9, 0), "S", "B");
    Engine().Dispatcher().DispatchMail();
    EXPECT_TRUE(mail.Calls().empty());
    EXPECT_FALSE(ReadEntry("m").exists);
    EXPECT_EQ(FileLines(settings.logFile).back(), "Succeeded in sending message");
}

TEST_F(WinEngineTest, LibraryThatCannotServeLeavesTheQueueAndHoldsItOff)
{
    const std::string libraries[] = {scratch + "\\nosuch.dll", TestProgram("engine_test_mail_incomplete.dll")};
    for (const std::string &library : libraries) {
        SCOPED_TRACE(library);
        engine.reset();
        settings.mailLibrary = library;
        WriteEntry("m", At(2026, 12, 10, 9, 0), "S", "B");
        EXPECT_TRUE(Engine().Dispatcher().IsMailDue());
        Engine().Dispatcher().DispatchMail();
        StoredEntry entry = ReadEntry("m");
        EXPECT_TRUE(entry.exists);
        EXPECT_EQ(entry.count, 0u);
        EXPECT_FALSE(Engine().Dispatcher().IsMailDue());
    }
    EXPECT_FALSE(FileExists(settings.logFile));
}

TEST_F(WinEngineTest, LoggingOffTouchesNoFile)
{
    settings.logging = false;
    WriteEntry("a", At(2026, 12, 10, 9, 0), "S", "sent");
    WriteEntry("b", At(2026, 12, 10, 9, 1), "S", "fails");
    WriteEntry("c", At(2026, 12, 10, 9, 2), nullptr, "no subject");
    mail.QueueSendResult(0);
    mail.QueueSendResult(-1);
    schedule.Add(At(2026, 12, 10, 10, 0), "T", false, scratch + "\\absent.exe");
    Engine().MinuteTick();
    EXPECT_FALSE(FileExists(settings.logFile));
    ASSERT_FALSE(mail.Calls().empty());
    EXPECT_EQ(mail.Calls()[0], "logon //0/" + settings.logFile);
    EXPECT_FALSE(ReadEntry("a").exists);
    EXPECT_EQ(ReadEntry("b").count, 1u);
    EXPECT_EQ(ReadEntry("c").count, 1u);
}

// ---- Configuration -------------------------------------------------------------------

TEST_F(WinEngineTest, ConfigurationKeepsEveryByteOfTheScrambledPassword)
{
    std::string password = "se";
    password.push_back(static_cast<char>(ScrambleKey()[2]));
    password += "cret";
    std::string scrambled = ScrambleText(password);
    ASSERT_EQ(scrambled[2], '\0');

    RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kConfigurationKeyPath), ERROR_SUCCESS);
    key.WriteString(config_values::kDialupName, "");
    key.WriteDword(config_values::kUsesDialup, 1);
    key.WriteString(config_values::kTimeout, "abc");
    key.WriteDword(config_values::kMailSystem, 1);
    key.WriteString(config_values::kProfile, "Profile 1");
    RegSetValueExA(key.Get(), config_values::kPassword, 0, REG_SZ, reinterpret_cast<const BYTE *>(scrambled.c_str()),
                   static_cast<DWORD>(scrambled.size() + 1));
    key.WriteString(config_values::kSender, "me@example.org");
    key.WriteString(config_values::kDestination, "pager@example.org");
    key.WriteString(config_values::kMailLibrary, TestMailLibrary::Path());
    key.Close();

    SchedulerSettings loaded;
    ASSERT_TRUE(LoadConfiguration(&loaded));
    EXPECT_EQ(loaded.scrambledPassword, scrambled);
    EXPECT_FALSE(loaded.dialUp);
    EXPECT_EQ(loaded.hangUpMinutes, 0u);
    EXPECT_FALSE(loaded.logging);
    EXPECT_EQ(loaded.retryCount, 1u);
    EXPECT_EQ(loaded.retryMinutes, 15u);
    EXPECT_EQ(loaded.taskRetryCount, 1u);
    EXPECT_EQ(loaded.taskRetryMinutes, 15u);

    // The logon gets the whole password.
    settings = loaded;
    settings.logFile = scratch + "\\quillon.log";
    WriteEntry("m", At(2026, 12, 10, 9, 0), "S", "B");
    Engine().Dispatcher().DispatchMail();
    ASSERT_FALSE(mail.Calls().empty());
    EXPECT_EQ(mail.Calls()[0], "logon Profile 1/" + password + "/0/" + settings.logFile);
}

TEST_F(WinEngineTest, IncompleteConfiguration)
{
    SchedulerSettings loaded;
    EXPECT_FALSE(LoadConfiguration(&loaded)) << "no key";
    RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kConfigurationKeyPath), ERROR_SUCCESS);
    key.WriteString(config_values::kDialupName, "Line");
    key.WriteDword(config_values::kUsesDialup, 0);
    key.WriteString(config_values::kTimeout, "7");
    key.WriteDword(config_values::kMailSystem, 1);
    key.WriteString(config_values::kProfile, "P");
    key.WriteString(config_values::kSender, "s");
    key.WriteString(config_values::kDestination, "d");
    EXPECT_FALSE(LoadConfiguration(&loaded)) << "MAPI without a password";
    key.WriteDword(config_values::kMailSystem, 0);
    key.WriteString(config_values::kLogging, "q.log");
    key.WriteString(config_values::kDontDial, "1");
    // Absent optional values keep what is in memory.
    loaded.mailLibrary = "kept.dll";
    loaded.retryCount = 5;
    loaded.taskRetryMinutes = 9;
    ASSERT_TRUE(LoadConfiguration(&loaded));
    EXPECT_EQ(loaded.mailLibrary, "kept.dll");
    EXPECT_EQ(loaded.retryCount, 5u);
    EXPECT_EQ(loaded.taskRetryMinutes, 9u);
    EXPECT_TRUE(loaded.dialUp);
    EXPECT_EQ(loaded.hangUpMinutes, 7u);
    EXPECT_TRUE(loaded.logging);
    EXPECT_EQ(loaded.logFile, "q.log");
    EXPECT_TRUE(loaded.dontDial);
    EXPECT_FALSE(loaded.dontSend);
}

// ---- Dialling ------------------------------------------------------------------------

// What the dialler hands to WinInet's InternetDialA and InternetHangUp, recorded by
// stand-ins with the exports' own signatures.
struct DialRecord {
    std::string entry;
    DWORD flags = 0;
    DWORD_PTR hungUp = 0;
};
DialRecord g_dialRecord;

DWORD WINAPI RecordingDial(HWND, LPSTR entryName, DWORD flags, DWORD_PTR *connection, DWORD)
{
    g_dialRecord.entry = entryName;
    g_dialRecord.flags = flags;
    // A handle that needs all 8 bytes of the slot on x64.
    *connection = static_cast<DWORD_PTR>(0x1234567890ABCDEFull);
    return 0;
}

DWORD WINAPI RecordingHangUp(DWORD_PTR connection, DWORD)
{
    g_dialRecord.hungUp = connection;
    return 0;
}

TEST(WinInetDialerTest, DialsUnattendedAndHangsUpTheWholeHandle)
{
    g_dialRecord = DialRecord();
    WinInetDialer dialer(nullptr, WinInetDialFunctions{&RecordingDial, &RecordingHangUp});
    uint64_t handle = 0;
    EXPECT_EQ(dialer.Dial("Office line", &handle), 0u);
    EXPECT_EQ(g_dialRecord.entry, "Office line");
    EXPECT_EQ(g_dialRecord.flags, 0x8000u) << "INTERNET_DIAL_UNATTENDED";
    dialer.HangUp(handle);
    EXPECT_EQ(g_dialRecord.hungUp, static_cast<DWORD_PTR>(0x1234567890ABCDEFull));
}

// ---- Start-page probe ----------------------------------------------------------------

TEST_F(WinEngineTest, ProbeReachesOnlyAStartPageThatOpens)
{
    const char *mainKey = "Software\\Microsoft\\Internet Explorer\\Main";
    RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, mainKey), ERROR_SUCCESS);
    char saved[kTextBufferSize] = {};
    bool hadStartPage = key.ReadString("Start Page", saved) == ERROR_SUCCESS;
    key.DeleteValue("Start Page");

    WinInetDialer dialer(nullptr);
    EXPECT_FALSE(dialer.ProbeStartPage()) << "no start page";
    // Nothing listens on this port of this loopback address.
    key.WriteString("Start Page", "http://127.0.0.71:9/");
    EXPECT_FALSE(dialer.ProbeStartPage()) << "closed port";

    // A page served on loopback: reachable. One connection is answered, and the server
    // gives up after ten seconds in any case.
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(8042);
    address.sin_addr.s_addr = inet_addr("127.0.0.72");
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    std::thread server([listener] {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener, &readable);
        timeval wait = {10, 0};
        if (select(0, &readable, nullptr, nullptr, &wait) != 1)
            return;
        SOCKET client = accept(listener, nullptr, nullptr);
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
            fd_set one;
            FD_ZERO(&one);
            FD_SET(client, &one);
            timeval readWait = {5, 0};
            if (select(0, &one, nullptr, nullptr, &readWait) != 1)
                break;
            int got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, static_cast<size_t>(got));
        }
        const char reply[] = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        send(client, reply, sizeof reply - 1, 0);
        shutdown(client, SD_SEND);
        closesocket(client);
    });
    key.WriteString("Start Page", "http://127.0.0.72:8042/start.html");
    EXPECT_TRUE(dialer.ProbeStartPage()) << "served start page";
    server.join();
    closesocket(listener);
    WSACleanup();

    if (hadStartPage)
        key.WriteString("Start Page", saved);
    else
        key.DeleteValue("Start Page");
}

} // namespace
} // namespace quillon::test
