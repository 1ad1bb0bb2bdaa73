#include "schedule/component/component_module.h"

#include <string>

#include "common/log.h"
#include "common/names.h"

namespace quillon::tasqui {

namespace {

ComponentModule &ModuleInstance()
{
    static ComponentModule module;
    return module;
}

LONG g_lockCount = 0;

// Registered while the DLL's static objects are constructed, before DllMain runs.
const UINT g_taskChangedMessage = [] {
    UINT id = RegisterWindowMessageA(kMsgAppTaskChanged);
    ModuleInstance().taskChangedMessage = id;
    return id;
}();

} // namespace

ComponentModule &Module() { return ModuleInstance(); }

void LockModule() { InterlockedIncrement(&g_lockCount); }
void UnlockModule() { InterlockedDecrement(&g_lockCount); }
LONG ModuleLockCount() { return InterlockedCompareExchange(&g_lockCount, 0, 0); }

void WriteTraceLine(const char *text)
{
    const ComponentModule &module = Module();
    if (!module.config.logging || module.config.logPath[0] == '\0')
        return;
    std::string line = text != nullptr ? text : "";
    line += "\r\n";
    AppendLogText(module.config.logPath, line);
}

} // namespace quillon::tasqui
