#include "schedule/component/component_module.h"

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

} // namespace quillon::tasqui
