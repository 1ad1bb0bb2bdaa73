#include "scheduler/engine/product_engine.h"

namespace quillon {

ProductEngine::ProductEngine(const SchedulerSettings &settings, ShellState &shell, HWND mainWindow,
                             ITasqeduleUI *component)
    : shell_(shell),
      log_(settings),
      launcher_(&shell.exitRequested),
      dialer_(mainWindow, SystemWinInetDialFunctions(), &shell.exitRequested),
      libraries_(&shell.exitRequested),
      schedule_(component),
      engine_(settings, shell, EngineServices{&clock_, &log_, &schedule_, &launcher_, &dialer_, &queue_, &libraries_})
{
}

void ProductEngine::MinuteTick()
{
    // Runs inside a window procedure: nothing may escape it.
    try {
        engine_.MinuteTick();
    } catch (...) {
        // (std::bad_alloc is all that can come.) The next tick must not read as busy.
        shell_.tickBusy = false;
    }
}

} // namespace quillon
