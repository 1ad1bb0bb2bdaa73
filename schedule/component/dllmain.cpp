// Entry points of tasqui.dll: the load sequence at process attach and the four COM
// server exports (named in tasqui.def).
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "common/module_path.h"
#include "common/resource_module.h"
#include "common/text.h"
#include "schedule/component/class_factory.h"
#include "schedule/component/component_config.h"
#include "schedule/component/component_module.h"
#include "schedule/component/registration.h"
#include "schedule/component/time_format.h"

using namespace quillon;
using namespace quillon::tasqui;

namespace {

void BuildPickerTimeFormat(ComponentModule &module)
{
    char separator[4] = {};
    char format[64] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, sizeof separator) == 0)
        separator[0] = '\0';
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, format, sizeof format) == 0)
        format[0] = '\0';
    CopyBounded(module.pickerTimeFormat, RemoveSecondsFromTimeFormat(format, separator));
}

BOOL ProcessAttach(HINSTANCE instance)
{
    ComponentModule &module = Module();
    module.instance = instance;
    DisableThreadLibraryCalls(instance);
    // The component keeps its path in a fixed buffer: a path that does not fit is refused.
    const std::string path = ModuleFilePath(instance);
    if (path.empty() || !CopyBounded(module.modulePath, path))
        return FALSE;

    char language[kLanguagePrefixSize];
    if (!UserLanguagePrefix(language))
        return FALSE;

    std::string loading = std::string(module.modulePath) + " loading\n";
    OutputDebugStringA(loading.c_str());

    UniqueModule resources;
    if (LoadResourceModuleFor(language, ResourceModuleSearch::BesideModule, instance, resources) !=
        ResourceModuleStatus::Loaded)
        return FALSE;
    module.resources = resources.Release();

    const std::string folder = ModuleDirectory(instance);
    if (!folder.empty() && CopyBounded(module.directory, folder))
        FormatBounded(module.helpFilePath, "%s\\quillon.chm", module.directory);

    BuildPickerTimeFormat(module);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);

    // The interval constants of the schedule evaluation are compile-time constants
    // (common/datetime.h), so there is nothing to set up for them here.
    module.config = ReadComponentConfig();
    return TRUE;
}

// processEnding: the whole process exits (DllMain's reserved argument is non-null); the
// system then unloads every library itself, and calling FreeLibrary is not safe.
void ProcessDetach(bool processEnding)
{
    ComponentModule &module = Module();
    std::string unloading = std::string(module.modulePath) + " unloading\n";
    OutputDebugStringA(unloading.c_str());
    if (module.resources != nullptr && !processEnding)
        FreeLibrary(module.resources);
    module.resources = nullptr;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return ProcessAttach(instance);
    case DLL_PROCESS_DETACH:
        ProcessDetach(reserved != nullptr);
        return TRUE;
    default:
        return TRUE;
    }
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void **object)
{
    return GetClassObject(clsid, riid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
    return RegisterServer(Module().modulePath);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    return UnregisterServer();
}
