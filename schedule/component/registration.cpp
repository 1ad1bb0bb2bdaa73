#include "schedule/component/registration.h"

#include <oleauto.h>

#include <string>

#include "common/registry.h"
#include "tasqui_h.h"

namespace quillon::tasqui {

namespace {

// Marks the entry whose value is the module's own path.
constexpr char kModulePathValue[] = "<module path>";

struct RegistryEntry {
    const char *keyPath;     // below HKEY_CLASSES_ROOT
    const char *valueName;   // nullptr: the key's default value
    const char *value;       // nullptr: the key only, no value
    bool removeWholeKey;     // unregistration deletes this key with everything below it
};

#define TASQEDULEUI_CLSID "{7C3A91D5-2B6E-4F10-A5C8-3E0D9B41F627}"
#define APPTASKDATA_CLSID "{7C3A91E1-2B6E-4F10-A5C8-3E0D9B41F627}"
#define TASQUI_LIBID "{7C3A91C0-2B6E-4F10-A5C8-3E0D9B41F627}"

const RegistryEntry kTasqeduleUIEntries[] = {
    {"Tasqui.TasqeduleUI.1", nullptr, "TasqeduleUI Class", true},
    {"Tasqui.TasqeduleUI.1\\CLSID", nullptr, TASQEDULEUI_CLSID, false},
    {"Tasqui.TasqeduleUI", nullptr, "TasqeduleUI Class", true},
    {"Tasqui.TasqeduleUI\\CLSID", nullptr, TASQEDULEUI_CLSID, false},
    {"Tasqui.TasqeduleUI\\CurVer", nullptr, "Tasqui.TasqeduleUI.1", false},
    {"CLSID\\" TASQEDULEUI_CLSID, nullptr, "TasqeduleUI Class", true},
    {"CLSID\\" TASQEDULEUI_CLSID "\\ProgID", nullptr, "Tasqui.TasqeduleUI.1", false},
    {"CLSID\\" TASQEDULEUI_CLSID "\\VersionIndependentProgID", nullptr, "Tasqui.TasqeduleUI", false},
    {"CLSID\\" TASQEDULEUI_CLSID "\\Programmable", nullptr, nullptr, false},
    {"CLSID\\" TASQEDULEUI_CLSID "\\InprocServer32", nullptr, kModulePathValue, false},
    {"CLSID\\" TASQEDULEUI_CLSID "\\InprocServer32", "ThreadingModel", "Apartment", false},
    {"CLSID\\" TASQEDULEUI_CLSID "\\TypeLib", nullptr, TASQUI_LIBID, false},
};

const RegistryEntry kAppTaskDataEntries[] = {
    {"Tasqui.AppTaskData.1", nullptr, "AppTaskData Class", true},
    {"Tasqui.AppTaskData.1\\CLSID", nullptr, APPTASKDATA_CLSID, false},
    {"Tasqui.AppTaskData", nullptr, "AppTaskData Class", true},
    {"Tasqui.AppTaskData\\CLSID", nullptr, APPTASKDATA_CLSID, false},
    {"Tasqui.AppTaskData\\CurVer", nullptr, "Tasqui.AppTaskData.1", false},
    {"CLSID\\" APPTASKDATA_CLSID, nullptr, "AppTaskData Class", true},
    {"CLSID\\" APPTASKDATA_CLSID "\\ProgID", nullptr, "Tasqui.AppTaskData.1", false},
    {"CLSID\\" APPTASKDATA_CLSID "\\VersionIndependentProgID", nullptr, "Tasqui.AppTaskData", false},
    {"CLSID\\" APPTASKDATA_CLSID "\\Programmable", nullptr, nullptr, false},
    {"CLSID\\" APPTASKDATA_CLSID "\\InprocServer32", nullptr, kModulePathValue, false},
    {"CLSID\\" APPTASKDATA_CLSID "\\InprocServer32", "ThreadingModel", "Apartment", false},
    {"CLSID\\" APPTASKDATA_CLSID "\\TypeLib", nullptr, TASQUI_LIBID, false},
};

struct ClassTable {
    const RegistryEntry *entries;
    size_t count;
};

const ClassTable kClassTables[] = {
    {kTasqeduleUIEntries, sizeof kTasqeduleUIEntries / sizeof kTasqeduleUIEntries[0]},
    {kAppTaskDataEntries, sizeof kAppTaskDataEntries / sizeof kAppTaskDataEntries[0]},
};

HRESULT WriteEntries(const ClassTable &table, const char *modulePath)
{
    for (size_t i = 0; i < table.count; ++i) {
        const RegistryEntry &entry = table.entries[i];
        RegistryKey key;
        LONG rc = key.Create(HKEY_CLASSES_ROOT, entry.keyPath);
        if (rc == ERROR_SUCCESS && entry.value != nullptr) {
            const char *value = entry.value == kModulePathValue ? modulePath : entry.value;
            rc = key.WriteString(entry.valueName, value);
        }
        if (rc != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}

HRESULT RemoveEntries(const ClassTable &table)
{
    RegistryKey root(HKEY_CLASSES_ROOT);
    HRESULT result = S_OK;
    for (size_t i = table.count; i-- > 0;) {
        const RegistryEntry &entry = table.entries[i];
        if (!entry.removeWholeKey)
            continue;
        LONG rc = root.DeleteSubkeyTree(entry.keyPath);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND && SUCCEEDED(result))
            result = HRESULT_FROM_WIN32(rc);
    }
    // HKEY_CLASSES_ROOT is predefined; it must not be closed.
    root.Release();
    return result;
}

HRESULT RegisterTypeLibrary(const char *modulePath)
{
    wchar_t widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, modulePath, -1, widePath, MAX_PATH) == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    ITypeLib *typeLib = nullptr;
    HRESULT hr = LoadTypeLibEx(widePath, REGKIND_NONE, &typeLib);
    if (FAILED(hr))
        return hr;
    hr = RegisterTypeLib(typeLib, widePath, nullptr);
    typeLib->Release();
    return hr;
}

} // namespace

HRESULT RegisterServer(const char *modulePath)
{
    for (const ClassTable &table : kClassTables) {
        HRESULT hr = WriteEntries(table, modulePath);
        if (FAILED(hr))
            return hr;
    }
    return RegisterTypeLibrary(modulePath);
}

HRESULT UnregisterServer()
{
    HRESULT result = S_OK;
    for (const ClassTable &table : kClassTables) {
        HRESULT hr = RemoveEntries(table);
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    // A type library that is not registered (any more) is no failure of unregistration;
    // systems disagree on what UnRegisterTypeLib returns then, so look first.
    RegistryKey version;
    if (version.Open(HKEY_CLASSES_ROOT, "TypeLib\\" TASQUI_LIBID "\\1.0") != ERROR_SUCCESS)
        return result;
    version.Close();
    HRESULT hr = UnRegisterTypeLib(LIBID_TASQUILib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    if (FAILED(hr) && SUCCEEDED(result))
        result = hr;
    return result;
}

} // namespace quillon::tasqui
