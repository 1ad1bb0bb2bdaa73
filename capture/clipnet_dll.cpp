// clipnet.dll's entry points: the load and unload sequence, the class factory and the
// four COM server exports.
#include <windows.h>

#include <new>
#include <string>

#include "capture/clip_obj.h"
#include "capture/clipnet_module.h"
#include "capture/registrar.h"
#include "capture/clipnet_ids.h"
#include "common/class_factory.h"
#include "common/module_path.h"
#include "common/names.h"
#include "common/resource_module.h"

namespace quillon::capture {
namespace {

ClipnetModule module;
LONG moduleLocks = 0;

// The update message is registered before anything else of the load runs.
const UINT registeredUpdateMessage = RegisterWindowMessageA(kMsgUpdateConfig);

// The add-in cannot be aggregated.
HRESULT CreateClipObj(IUnknown *outer, REFIID riid, void **object)
{
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    return ClipObj::Create(riid, object);
}

StaticClassFactory factory(&CreateClipObj, &LockModule, &UnlockModule);

BOOL Attach(HINSTANCE instance)
{
    module.instance = instance;
    module.updateMessage = registeredUpdateMessage;
    DisableThreadLibraryCalls(instance);
    char language[kLanguagePrefixSize] = {};
    if (!UserLanguagePrefix(language))
        return FALSE;
    const std::string path = ModuleFilePath(instance);
    OutputDebugStringA((path + " loading\n").c_str());
    UniqueModule resources;
    if (LoadResourceModuleFor(language, ResourceModuleSearch::BesideModule, instance, resources) !=
        ResourceModuleStatus::Loaded)
        return FALSE;
    module.resources = resources.Release();
    const std::string folder = ModuleDirectory(instance);
    CopyBounded(module.helpFilePath, (folder.empty() ? folder : folder + "\\") + "quillon.chm");
    LoadCaptureSettings(&module.settings);
    return TRUE;
}

void Detach(LPVOID reserved)
{
    OutputDebugStringA((ModuleFilePath(module.instance) + " unloading\n").c_str());
    // At process end the loader unloads everything itself; freeing then is not allowed.
    if (module.resources != nullptr && reserved == nullptr)
        FreeLibrary(module.resources);
    module.resources = nullptr;
}

} // namespace

ClipnetModule &Module() { return module; }
void LockModule() { InterlockedIncrement(&moduleLocks); }
void UnlockModule() { InterlockedDecrement(&moduleLocks); }
LONG ModuleLockCount() { return moduleLocks; }

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void **object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_ClipObj))
        return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(riid, object);
}

} // namespace quillon::capture

using namespace quillon::capture;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        return Attach(instance);
    if (reason == DLL_PROCESS_DETACH)
        Detach(reserved);
    return TRUE;
}

STDAPI DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID *object)
{
    return GetClassObject(clsid, riid, object);
}

STDAPI DllRegisterServer() { return UpdateRegistryFromResource(Module().instance, true); }

STDAPI DllUnregisterServer() { return UpdateRegistryFromResource(Module().instance, false); }

} // extern "C"
