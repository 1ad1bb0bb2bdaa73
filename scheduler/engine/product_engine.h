// The engine as tasqed runs it: the portable TaskEngine wired to the local clock, the
// log file, CreateProcess, WinInet, the registry queue, the mail libraries and the
// schedule component. Its long waits dispatch the window thread's messages
// (pumped_wait.h) and heed the shell's exitRequested.
#pragma once

#include <windows.h>

#include "scheduler/engine/component_schedule.h"
#include "scheduler/engine/task_engine.h"
#include "scheduler/engine/win_services.h"
#include "scheduler/engine/wininet_dialer.h"

struct ITasqeduleUI;

namespace quillon {

class ProductEngine {
public:
    // `mainWindow` owns any dial-up dialog; `component` is borrowed (null: no tasks are
    // ever due, mail is still delivered). settings and shell must outlive the engine.
    ProductEngine(const SchedulerSettings &settings, ShellState &shell, HWND mainWindow, ITasqeduleUI *component);
    ProductEngine(const ProductEngine &) = delete;
    ProductEngine &operator=(const ProductEngine &) = delete;

    // The timer handler; never throws.
    void MinuteTick();
    TaskEngine &Engine() { return engine_; }
    const RegistryMailQueue &Queue() const { return queue_; }

private:
    ShellState &shell_;
    LocalClock clock_;
    FileEngineLog log_;
    Win32ProcessLauncher launcher_;
    WinInetDialer dialer_;
    RegistryMailQueue queue_;
    DllMailLibraryLoader libraries_;
    ComponentSchedule schedule_;
    TaskEngine engine_;
};

} // namespace quillon
