// The soak: the scheduler's real engine with its Windows seams (the registry queue, the
// log file, the real mail library, CreateProcess and the real schedule component through
// COM) driven through many minute ticks by a clock of its own, one minute per tick.
//
//   soak.exe BIN-DIR TEST-DIR SMTP-ADDRESS TICKS LOG-FILE
// BIN-DIR: the installation folder (tasqui.dll, mailwire.dll); TEST-DIR: where
// engine_test_child.exe lives. All Windows paths.
//
// What is due: a task that succeeds every 7 minutes, one that fails every 60 minutes
// and is retried twice at once (the retry queue compares with the computer's clock,
// which the soak clock stays behind), two messages queued every 10 minutes and sent
// through mailwire.dll to the SMTP server at SMTP-ADDRESS (bench/reliability/soak.sh
// starts one that refuses every seventh message, so messages are retried too).
// With "secure" as the sixth argument the messages go through secure submission instead:
// TLS from the first byte to SMTP-ADDRESS port 465 with a sign-in (bench/reliability/soak.sh
// with SOAK_SECURE=1 starts the test TLS peers, whose authority the prefix trusts).
// Every 1,000 ticks one row: the process's handle count and private bytes (under Wine,
// where those read 0, the handles are counted by probing and the private bytes are the
// Linux process's data size), its working set, the bytes in use in its heaps and the
// queue's size.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/scramble.h"
#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "schedule/task_store.h"
#include "scheduler/engine/component_schedule.h"
#include "scheduler/config/configuration.h"
#include "scheduler/engine/task_engine.h"
#include "scheduler/engine/win_services.h"
#include "queue/message_queue.h"
#include "tasqui_h.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;

namespace {

class SoakClock : public Clock {
public:
    explicit SoakClock(Ticks start) : now_(start) {}
    DateTime Now() override
    {
        DateTime time{};
        TicksToDateTime(now_, &time);
        return time;
    }
    void Advance() { now_ += kTicksPerMinute; }

private:
    Ticks now_;
};

class NoDialer : public Dialer {
public:
    uint32_t Dial(const std::string &, uint64_t *) override { return 1; }
    void HangUp(uint64_t) override {}
    bool ProbeStartPage() override { return true; }
};

void RemoveProductTree()
{
    RegistryKey parent;
    if (parent.Open(HKEY_CURRENT_USER, "Software\\Kestrova") == ERROR_SUCCESS)
        parent.DeleteSubkeyTree("Tasqeduler");
}

void WriteConfiguration(const std::string &smtpAddress, const std::string &logFile)
{
    using namespace config_values;
    using namespace quillon::test;
    WriteConfigurationRows(With(CompleteSmtpConfiguration(smtpAddress),
                                {Text(kSender, "soak@example.org"), Text(kDestination, "pager@example.org"),
                                 Text(kMaxMsgLen, "160"), Number(kUsesDialup, 0), Text(kLogging, logFile),
                                 Number(kClipSubject, 0), Number(kRetryCount, 2), Number(kRetryTime, 15),
                                 Number(kTaskRetryCount, 2), Number(kTaskRetryTime, 5)}));
}

// TLS from the first byte on port 465, signed in as the test peers' user.
void WriteSecureSubmission()
{
    using namespace config_values;
    using namespace quillon::test;
    WriteConfigurationRows({Number(kSMTPPort, 465), Number(kSMTPSecurity, 2), Text(kSMTPLogin, "pager-user"),
                            Text(kPassword, ScrambleText("Pa55 w0rd!"))});   // every byte, zeros included
}

bool StoreTask(const DateTime &name, const std::string &displayName, const std::string &program,
               const std::string &arguments, uint32_t everyMinutes)
{
    TaskRecord task{};
    task.DisplayName = displayName;
    task.AppName = program;
    task.CommandLine = arguments;
    task.TaskType = 1;
    task.Value = everyMinutes;
    task.DaysOfWeek = kAllDaysOfWeekMask;
    task.MonthsOfYear = kAllMonthsOfYearMask;
    task.Timeout = 60000;
    std::string keyName;
    return StoreNewTaskKey(name, task, &keyName);
}

struct Sample {
    DWORD handles = 0;
    SIZE_T privateBytes = 0;
    SIZE_T workingSet = 0;
    SIZE_T heapInUse = 0;
};

// A "VmData:" or "VmRSS:" figure (KB) of /proc/self/status, where the process runs as a
// Linux process (Wine maps the Linux root to drive Z:); 0 elsewhere.
SIZE_T LinuxStatusKb(const char *field)
{
    UniqueHandle file(CreateFileA("Z:\\proc\\self\\status", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    if (!file || file.Get() == INVALID_HANDLE_VALUE)
        return 0;
    char text[8192];
    DWORD got = 0;
    if (!ReadFile(file.Get(), text, sizeof text - 1, &got, nullptr))
        return 0;
    text[got] = '\0';
    const char *at = strstr(text, field);
    return at != nullptr ? static_cast<SIZE_T>(strtoull(at + strlen(field), nullptr, 10)) : 0;
}

Sample TakeSample()
{
    Sample sample;
    sample.handles = test::OpenHandleCount();
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                             sizeof counters)) {
        sample.privateBytes = counters.PrivateUsage;
        sample.workingSet = counters.WorkingSetSize;
    }
    // Under Wine the private bytes read 0: the Linux process's private data stands in.
    if (sample.privateBytes == 0)
        sample.privateBytes = LinuxStatusKb("VmData:") * 1024;
    sample.heapInUse = test::HeapBytesInUse();
    return sample;
}

size_t QueueSize()
{
    RegistryKey mail;
    DWORD count = 0;
    if (mail.Open(HKEY_CURRENT_USER, kMailKeyPath) == ERROR_SUCCESS)
        RegQueryInfoKeyA(mail.Get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr);
    return count;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 6) {
        std::printf("usage: soak BIN-DIR TEST-DIR SMTP-ADDRESS TICKS LOG-FILE\n");
        return 2;
    }
    const std::string binDir = argv[1], testDir = argv[2], smtpAddress = argv[3];
    const int ticks = atoi(argv[4]);
    const std::string logFile = argv[5];
    // Optional: "nomail", "notasks" or "sending" (the library is loaded but never called)
    // leaves that part out, to find where a growth comes from; "secure" sends the mail
    // through secure submission.
    const std::string leaveOut = argc > 6 ? argv[6] : "";
    // mailwire.dll is found through the current directory, as tasqed finds it beside itself.
    SetCurrentDirectoryA(binDir.c_str());
    CoInitialize(nullptr);
    RemoveProductTree();
    DeleteFileA(logFile.c_str());
    WriteConfiguration(smtpAddress, logFile);
    if (leaveOut == "secure")
        WriteSecureSubmission();
    if (leaveOut == "sending") {
        // DontSend: the library is loaded and unloaded per pass but never called.
        RegistryKey config;
        config.Create(HKEY_CURRENT_USER, kConfigurationKeyPath);
        config.WriteString(config_values::kDontSend, "1");
    }

    // The soak clock starts far enough back that it stays behind the computer's clock for
    // the whole run: the retry queue compares with the computer's clock.
    Ticks start = 0;
    DateTimeToTicks(LocalNow(), &start);
    start -= static_cast<Ticks>(ticks + 2 * 1440) * kTicksPerMinute;
    start -= start % kTicksPerMinute;
    DateTime first{};
    TicksToDateTime(start, &first);

    const std::string child = "\"" + testDir + "\\engine_test_child.exe\"";
    if (leaveOut != "notasks" && (!StoreTask(first, "Succeeds every 7 minutes", child, "exit -1", 7) ||
                                  !StoreTask(first, "Fails every 60 minutes", child, "exit 0", 60))) {
        std::printf("cannot store the tasks\n");
        return 1;
    }
    UniqueModule tasqui(LoadLibraryA((binDir + "\\tasqui.dll").c_str()));
    auto registerServer = tasqui.Resolve<HRESULT(WINAPI *)()>("DllRegisterServer");
    ComPtr<ITasqeduleUI> component;
    if (registerServer == nullptr || registerServer() != S_OK ||
        CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER, IID_ITasqeduleUI, component.PutVoid()) !=
            S_OK) {
        std::printf("cannot create TasqeduleUI\n");
        return 1;
    }

    SchedulerSettings settings;
    if (!LoadConfiguration(&settings)) {
        std::printf("incomplete configuration\n");
        return 1;
    }
    ShellState shell;
    SoakClock clock(start);
    FileEngineLog log(settings);
    ComponentSchedule schedule(component.Get());
    Win32ProcessLauncher launcher;
    NoDialer dialer;
    RegistryMailQueue queue;
    DllMailLibraryLoader libraries;
    TaskEngine engine(settings, shell, EngineServices{&clock, &log, &schedule, &launcher, &dialer, &queue, &libraries});

    std::printf("%8s %9s %8s %12s %12s %12s %8s\n", "tick", "seconds", "handles", "private KB", "working KB",
                "heap KB", "queued");
    auto began = std::chrono::steady_clock::now();
    auto row = [&](int tick) {
        Sample s = TakeSample();
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        std::printf("%8d %9.1f %8lu %12zu %12zu %12zu %8zu\n", tick, seconds, static_cast<unsigned long>(s.handles),
                    s.privateBytes / 1024, s.workingSet / 1024, s.heapInUse / 1024, QueueSize());
        std::fflush(stdout);
    };
    int queued = 0;
    shell.taskListChanged = true;
    for (int tick = 0; tick < ticks; ++tick) {
        if (tick % 1000 == 0)
            row(tick);
        if (tick % 10 == 0 && leaveOut != "nomail") {
            for (int m = 0; m < 2; ++m) {
                std::string body = "soak message " + std::to_string(queued++);
                QueueMessage(clock.Now(), m == 0 ? "Soak" : "", body.c_str());
            }
        }
        engine.MinuteTick();
        clock.Advance();
    }
    row(ticks);
    std::printf("messages queued: %d, left in the queue: %zu\n", queued, QueueSize());
    component.Reset();
    CoUninitialize();
    return 0;
}
