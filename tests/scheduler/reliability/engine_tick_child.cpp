// One minute tick of the scheduler's real engine in a process of its own, for the tests
// that kill the scheduler while it delivers: the configuration from the registry, the
// local clock, the log file, the registry queue and the configured mail library, and no
// schedule component (no task is due; mail still goes out). Ends with exit code 7 after
// the tick, so a crash or a kill shows as another code.
#include <windows.h>

#include "scheduler/config/configuration.h"
#include "scheduler/engine/product_engine.h"

int main()
{
    quillon::SchedulerSettings settings;
    if (!quillon::LoadConfiguration(&settings))
        return 2;
    quillon::ShellState shell;
    quillon::ProductEngine engine(settings, shell, nullptr, nullptr);
    engine.MinuteTick();
    return shell.tickBusy ? 3 : 7;
}
