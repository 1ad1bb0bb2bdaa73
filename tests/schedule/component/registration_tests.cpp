// Self-registration of tasqui.dll through regsvr32: exactly the listed entries under
// HKEY_CLASSES_ROOT and the type library; unregistration removes them again but leaves
// the CLSID key itself.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <set>
#include <string>

#include "common/registry.h"
#include "tasqui_h.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;

namespace {

const char kUiClsid[] = "{7C3A91D5-2B6E-4F10-A5C8-3E0D9B41F627}";
const char kTaskClsid[] = "{7C3A91E1-2B6E-4F10-A5C8-3E0D9B41F627}";
const char kLibid[] = "{7C3A91C0-2B6E-4F10-A5C8-3E0D9B41F627}";

std::string ComponentPath() { return test::BinDir() + "\\tasqui.dll"; }

DWORD RunRegsvr32(const std::string &arguments)
{
    test::ProcessResult result = test::RunProcess("regsvr32.exe /s " + arguments, 30000);
    EXPECT_TRUE(result.started) << arguments;
    EXPECT_FALSE(result.timedOut) << arguments;
    return result.exitCode;
}

bool KeyExists(const std::string &path)
{
    RegistryKey key;
    return key.Open(HKEY_CLASSES_ROOT, path.c_str()) == ERROR_SUCCESS;
}

// Names of the subkeys and of the values of a key (the default value as "").
struct KeyContents {
    bool exists = false;
    std::set<std::string> subkeys;
    std::set<std::string> values;
};

KeyContents ContentsOf(const std::string &path)
{
    KeyContents contents;
    RegistryKey key;
    if (key.Open(HKEY_CLASSES_ROOT, path.c_str()) != ERROR_SUCCESS)
        return contents;
    contents.exists = true;
    std::string name;
    for (DWORD i = 0; key.EnumSubkeyName(i, &name) == ERROR_SUCCESS; ++i)
        contents.subkeys.insert(name);
    for (DWORD i = 0;; ++i) {
        char valueName[256];
        DWORD size = sizeof valueName;
        if (RegEnumValueA(key.Get(), i, valueName, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        contents.values.insert(valueName);
    }
    return contents;
}

std::string StringValue(const std::string &path, const char *valueName)
{
    RegistryKey key;
    if (key.Open(HKEY_CLASSES_ROOT, path.c_str()) != ERROR_SUCCESS)
        return "<no key>";
    DWORD type = 0, size = 0;
    if (key.QueryValueInfo(valueName, &type, &size) != ERROR_SUCCESS)
        return "<no value>";
    if (type != REG_SZ)
        return "<not REG_SZ>";
    std::string text;
    key.ReadString(valueName, &text);
    return text;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return text;
}

struct ExpectedKey {
    std::string path;
    std::set<std::string> subkeys;
    std::set<std::string> values;   // "" is the default value
};

// The keys one class owns, with exactly the subkeys and values each holds.
std::vector<ExpectedKey> KeysOfClass(const std::string &clsid, const std::string &progId)
{
    std::string clsidKey = "CLSID\\" + clsid;
    return {
        {progId + ".1", {"CLSID"}, {""}},
        {progId + ".1\\CLSID", {}, {""}},
        {progId, {"CLSID", "CurVer"}, {""}},
        {progId + "\\CLSID", {}, {""}},
        {progId + "\\CurVer", {}, {""}},
        {clsidKey, {"ProgID", "VersionIndependentProgID", "Programmable", "InprocServer32", "TypeLib"}, {""}},
        {clsidKey + "\\ProgID", {}, {""}},
        {clsidKey + "\\VersionIndependentProgID", {}, {""}},
        {clsidKey + "\\Programmable", {}, {}},
        {clsidKey + "\\InprocServer32", {}, {"", "ThreadingModel"}},
        {clsidKey + "\\TypeLib", {}, {""}},
    };
}

struct ExpectedValue {
    std::string path;
    const char *valueName;
    std::string value;
};

std::vector<ExpectedValue> ValuesOfClass(const std::string &clsid, const std::string &progId,
                                         const std::string &description)
{
    std::string clsidKey = "CLSID\\" + clsid;
    return {
        {progId + ".1", nullptr, description},
        {progId + ".1\\CLSID", nullptr, clsid},
        {progId, nullptr, description},
        {progId + "\\CLSID", nullptr, clsid},
        {progId + "\\CurVer", nullptr, progId + ".1"},
        {clsidKey, nullptr, description},
        {clsidKey + "\\ProgID", nullptr, progId + ".1"},
        {clsidKey + "\\VersionIndependentProgID", nullptr, progId},
        {clsidKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {clsidKey + "\\TypeLib", nullptr, kLibid},
    };
}

class Registration : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitialize(nullptr); }
    static void TearDownTestSuite()
    {
        RunRegsvr32("/u \"" + ComponentPath() + "\"");
        CoUninitialize();
    }
};

TEST_F(Registration, RegisterWritesExactlyTheListedEntriesAndUnregisterRemovesThem)
{
    ASSERT_EQ(0u, RunRegsvr32("\"" + ComponentPath() + "\""));

    struct Class {
        const char *clsid;
        const char *progId;
        const char *description;
    } classes[] = {
        {kUiClsid, "Tasqui.TasqeduleUI", "TasqeduleUI Class"},
        {kTaskClsid, "Tasqui.AppTaskData", "AppTaskData Class"},
    };

    for (const Class &cls : classes) {
        for (const ExpectedKey &expected : KeysOfClass(cls.clsid, cls.progId)) {
            KeyContents actual = ContentsOf(expected.path);
            ASSERT_TRUE(actual.exists) << expected.path;
            EXPECT_EQ(expected.subkeys, actual.subkeys) << expected.path;
            EXPECT_EQ(expected.values, actual.values) << expected.path;
        }
        for (const ExpectedValue &expected : ValuesOfClass(cls.clsid, cls.progId, cls.description))
            EXPECT_EQ(expected.value, StringValue(expected.path, expected.valueName))
                << expected.path << " " << (expected.valueName ? expected.valueName : "(default)");
        // The module path as the component knows itself.
        EXPECT_EQ(Lower(ComponentPath()),
                  Lower(StringValue(std::string("CLSID\\") + cls.clsid + "\\InprocServer32", nullptr)))
            << cls.progId;
    }

    // The embedded type library is registered with the classes and loads by LIBID.
    EXPECT_TRUE(KeyExists(std::string("TypeLib\\") + kLibid + "\\1.0"));
    ITypeLib *typeLib = nullptr;
    ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_TASQUILib, 1, 0, 0, &typeLib));
    BSTR name = nullptr, doc = nullptr;
    EXPECT_EQ(S_OK, typeLib->GetDocumentation(-1, &name, &doc, nullptr, nullptr));
    EXPECT_STREQ(L"TASQUILib", name);
    EXPECT_STREQ(L"tasqui 1.0 Type Library", doc);
    SysFreeString(name);
    SysFreeString(doc);
    typeLib->Release();

    // Registering again over existing entries is fine.
    EXPECT_EQ(0u, RunRegsvr32("\"" + ComponentPath() + "\""));

    ASSERT_EQ(0u, RunRegsvr32("/u \"" + ComponentPath() + "\""));
    for (const Class &cls : classes) {
        for (std::string path : {std::string(cls.progId), std::string(cls.progId) + ".1",
                                 std::string("CLSID\\") + cls.clsid})
            EXPECT_FALSE(KeyExists(path)) << path << " survived unregistration";
    }
    EXPECT_TRUE(KeyExists("CLSID")) << "the CLSID key itself must stay";
    EXPECT_FALSE(KeyExists(std::string("TypeLib\\") + kLibid + "\\1.0"));

    // Unregistering what is not registered is no failure.
    EXPECT_EQ(0u, RunRegsvr32("/u \"" + ComponentPath() + "\""));
}

TEST_F(Registration, ExportsServeTheRegistrarDirectly)
{
    HMODULE module = LoadLibraryA(ComponentPath().c_str());
    ASSERT_NE(nullptr, module) << GetLastError();
    using EntryPoint = HRESULT(STDAPICALLTYPE *)();
    auto reg = reinterpret_cast<EntryPoint>(reinterpret_cast<void *>(GetProcAddress(module, "DllRegisterServer")));
    auto unreg = reinterpret_cast<EntryPoint>(reinterpret_cast<void *>(GetProcAddress(module, "DllUnregisterServer")));
    auto canUnload = reinterpret_cast<EntryPoint>(reinterpret_cast<void *>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(nullptr, reg);
    ASSERT_NE(nullptr, unreg);
    ASSERT_NE(nullptr, canUnload);
    EXPECT_NE(nullptr, GetProcAddress(module, "DllGetClassObject"));

    EXPECT_EQ(S_OK, reg());
    EXPECT_TRUE(KeyExists(std::string("CLSID\\") + kUiClsid + "\\InprocServer32"));
    EXPECT_EQ(S_OK, unreg());
    EXPECT_FALSE(KeyExists(std::string("CLSID\\") + kUiClsid));
    EXPECT_EQ(S_OK, canUnload());
    FreeLibrary(module);
}

} // namespace
