// Figures of the scheduler's engine under Wine:
//  1. a minute tick over 10,000 stored tasks with nothing due, without reload (the
//     schedule component's list is loaded once before), through the real tasqui.dll;
//  2. a dispatch pass over 1,000 due messages through the real mailwire.dll to the SMTP
//     sink that run.sh starts on 127.0.0.180:25, with the registry operations per
//     delivered message.
// Writes into this prefix's product tree and removes it afterwards; do not run it while
// tests use the same prefix. Argument: the installation folder (Windows path).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/schedule/bench_tasks.h"
#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "schedule/task_store.h"
#include "scheduler/engine/product_engine.h"
#include "tasqui_h.h"

using namespace quillon;

namespace {

using SteadyClock = std::chrono::steady_clock;

double MillisecondsSince(SteadyClock::time_point start)
{
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

void RemoveProductTree()
{
    RegistryKey parent;
    if (parent.Open(HKEY_CURRENT_USER, "Software\\Kestrova") == ERROR_SUCCESS)
        parent.DeleteSubkeyTree("Tasqeduler");
}

// The minute the bench tasks are built around: nothing is due then.
class BenchClock : public quillon::Clock {
public:
    DateTime Now() override { return bench::BenchTime(); }
};

class NoLog : public EngineLog {
public:
    void Append(const std::string &, bool) override {}
};

class NoDialer : public Dialer {
public:
    uint32_t Dial(const std::string &, uint64_t *) override { return 1; }
    void HangUp(uint64_t) override {}
    bool ProbeStartPage() override { return false; }
};

bool RegisterComponent(const std::string &binDir)
{
    UniqueModule module(LoadLibraryA((binDir + "\\tasqui.dll").c_str()));
    auto reg = module.Resolve<HRESULT(WINAPI *)()>("DllRegisterServer");
    return reg != nullptr && reg() == S_OK;
}

bool TickBench(const std::string &binDir)
{
    std::vector<TaskRecord> tasks = bench::MakeBenchTasks();
    {
        RegistryKey tasksKey;
        if (CreateUserKey(kTasksKeyPath, &tasksKey) != ERROR_SUCCESS)
            return false;
        for (const TaskRecord &task : tasks) {
            RegistryKey key;
            if (key.Create(tasksKey.Get(), task.KeyName) != ERROR_SUCCESS || !WriteTask(key, task))
                return false;
        }
    }
    if (!RegisterComponent(binDir)) {
        std::printf("cannot register tasqui.dll\n");
        return false;
    }
    ComPtr<ITasqeduleUI> component;
    if (CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER, IID_ITasqeduleUI, component.PutVoid()) !=
        S_OK) {
        std::printf("cannot create TasqeduleUI\n");
        return false;
    }

    SchedulerSettings settings;
    ShellState shell;
    BenchClock clock;
    NoLog log;
    ComponentSchedule schedule(component.Get());
    Win32ProcessLauncher launcher;
    NoDialer dialer;
    RegistryMailQueue queue;
    DllMailLibraryLoader libraries;
    TaskEngine engine(settings, shell, EngineServices{&clock, &log, &schedule, &launcher, &dialer, &queue, &libraries});

    shell.taskListChanged = true;
    auto loadStart = SteadyClock::now();
    engine.MinuteTick();   // loads the list
    double loadMs = MillisecondsSince(loadStart);

    const int kTicks = 7;
    std::vector<double> tickMs;
    for (int i = 0; i < kTicks; ++i) {
        auto start = SteadyClock::now();
        engine.MinuteTick();
        tickMs.push_back(MillisecondsSince(start));
    }
    std::sort(tickMs.begin(), tickMs.end());
    std::printf("minute tick, %d stored tasks, nothing due: first tick (with load) %.1f ms; without reload "
                "median %.1f ms, best %.1f ms, worst %.1f ms (%d ticks)\n",
                bench::kBenchTaskCount, loadMs, tickMs[kTicks / 2], tickMs.front(), tickMs.back(), kTicks);
    return true;
}

// With dontSend the library is loaded but never called: the figure is the engine's and
// the registry's own share of a pass.
bool DispatchBench(const std::string &binDir, const char *smtpAddress, bool dontSend)
{
    const int kMessages = 1000;
    {
        RegistryKey config;
        if (config.Create(HKEY_CURRENT_USER, kConfigurationKeyPath) != ERROR_SUCCESS)
            return false;
        config.WriteString(config_values::kSMTPServer, smtpAddress);
        config.WriteDword(config_values::kPOP3Authentication, 0);
        config.WriteString(config_values::kSender, "bench@example.org");
        config.WriteString(config_values::kDestination, "pager@example.org");

        DateTime when = LocalNow();
        Ticks ticks = 0;
        DateTimeToTicks(when, &ticks);
        ticks -= 2 * kTicksPerHour;
        for (int i = 0; i < kMessages; ++i) {
            DateTime at;
            TicksToDateTime(ticks + static_cast<Ticks>(i) * kTicksPerSecond, &at);
            RegistryKey key;
            if (key.Create(HKEY_CURRENT_USER, (std::string(kMailKeyPath) + "\\" + TimestampKeyName(at)).c_str()) !=
                ERROR_SUCCESS)
                return false;
            key.WriteDword(mail_values::kRetryCount, 0);
            key.WriteBinary(mail_values::kRetryTime, &at, sizeof at);
            key.WriteString(mail_values::kSubject, i == 0 ? "Benchmark page" : "");
            key.WriteString(mail_values::kBody, "Message " + std::to_string(i) +
                                                    " of the dispatch benchmark, about a pager's length of text.");
        }
    }

    SchedulerSettings settings;
    settings.dontSend = dontSend;
    settings.mailLibrary = binDir + "\\mailwire.dll";
    settings.sender = "bench@example.org";
    settings.destination = "pager@example.org";
    LocalClock clock;
    NoLog log;
    RegistryMailQueue queue;
    DllMailLibraryLoader libraries;
    MailDispatcher dispatcher(settings, clock, log, queue, libraries);

    auto start = SteadyClock::now();
    dispatcher.DispatchMail();
    double dispatchMs = MillisecondsSince(start);

    int left = 0;
    {
        RegistryKey mail;
        std::string name;
        if (mail.Open(HKEY_CURRENT_USER, kMailKeyPath) == ERROR_SUCCESS)
            while (mail.EnumSubkeyName(static_cast<DWORD>(left), &name) == ERROR_SUCCESS)
                ++left;
    }
    int delivered = kMessages - left;
    std::printf("dispatch pass, %d due messages %s %s: %d delivered in %.0f ms (%.2f ms per "
                "message); %llu registry operations, %.1f per delivered message\n",
                kMessages, dontSend ? "with DontSend (no SMTP), library" : "to the SMTP sink on",
                dontSend ? "mailwire.dll" : smtpAddress, delivered, dispatchMs, delivered > 0 ? dispatchMs / delivered : 0.0,
                queue.Operations(), delivered > 0 ? static_cast<double>(queue.Operations()) / delivered : 0.0);
    return delivered == kMessages;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::printf("usage: engine_bench INSTALLATION-FOLDER [SMTP-ADDRESS]\n");
        return 2;
    }
    std::string binDir = argv[1];
    const char *smtpAddress = argc > 2 ? argv[2] : "127.0.0.180";
    CoInitialize(nullptr);
    RemoveProductTree();
    bool ok = TickBench(binDir);
    RemoveProductTree();
    ok = DispatchBench(binDir, smtpAddress, false) && ok;
    RemoveProductTree();
    ok = DispatchBench(binDir, smtpAddress, true) && ok;
    RemoveProductTree();
    CoUninitialize();
    return ok ? 0 : 1;
}
