#include "schedule/component/class_factory.h"

#include "common/class_factory.h"
#include "schedule/component/app_task_data.h"
#include "schedule/component/component_module.h"
#include "schedule/component/tasqedule_ui.h"
#include "tasqui_h.h"

namespace quillon::tasqui {

namespace {

StaticClassFactory g_tasqeduleUIFactory(&CreateTasqeduleUI, &LockModule, &UnlockModule);
StaticClassFactory g_appTaskDataFactory(&CreateAppTaskData, &LockModule, &UnlockModule);

} // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void **object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualCLSID(clsid, CLSID_TasqeduleUI))
        return g_tasqeduleUIFactory.QueryInterface(riid, object);
    if (IsEqualCLSID(clsid, CLSID_AppTaskData))
        return g_appTaskDataFactory.QueryInterface(riid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace quillon::tasqui
