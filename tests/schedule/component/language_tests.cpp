// The component's language rule, run once per user locale (CTest runs this program
// under en-US, en-GB, de-DE and it-IT; QUILLON_EXPECT_LANGUAGE names the abbreviation the
// locale must give). tasqui.dll loads "tasq" + the first two letters of that abbreviation
// + ".dll" from its own directory and nowhere else, or tasqen.dll from there when the
// language has no module; with neither it refuses to load, and then a client cannot
// create TasqeduleUI at all.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/handles.h"
#include "common/registry.h"
#include "tasqui_h.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;

namespace {

const char kClsidKey[] = "CLSID\\{7C3A91D5-2B6E-4F10-A5C8-3E0D9B41F627}";

std::string ExpectedAbbreviation()
{
    const char *value = std::getenv("QUILLON_EXPECT_LANGUAGE");
    return value != nullptr ? value : "";
}

bool ExpectEnglish() { return ExpectedAbbreviation().compare(0, 2, "EN") == 0; }

bool Copy(const std::string &from, const std::string &to) { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }

// The module the installation folder gives this locale: its own where one is
// installed, else the English one.
std::string InstalledModuleFor(const std::string &prefix)
{
    std::string own = test::BinDir() + "\\tasq" + prefix + ".dll";
    return GetFileAttributesA(own.c_str()) != INVALID_FILE_ATTRIBUTES ? own : test::BinDir() + "\\tasqen.dll";
}

TEST(ComponentLanguage, TheLocaleUnderTestIsInEffect)
{
    char abbreviation[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, abbreviation, sizeof abbreviation);
    ASSERT_EQ(3u, ExpectedAbbreviation().size()) << "QUILLON_EXPECT_LANGUAGE not set";
    EXPECT_EQ(ExpectedAbbreviation(), abbreviation);
}

// COM finds the installed component through its InprocServer32 entry; the installation
// folder's module of this language, or the English one, comes with it.
TEST(ComponentLanguage, CreationByClsidLoadsTheLanguagesModuleOrEnglishBesideTheComponent)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        RegistryKey server;
        ASSERT_EQ(ERROR_SUCCESS, server.Create(HKEY_CLASSES_ROOT, (std::string(kClsidKey) + "\\InprocServer32").c_str()));
        server.WriteString(nullptr, test::BinDir() + "\\tasqui.dll");
        server.WriteString("ThreadingModel", "Apartment");
    }
    ComPtr<ITasqeduleUI> ui;
    HRESULT hr = CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER, IID_ITasqeduleUI, ui.PutVoid());
    EXPECT_EQ(S_OK, hr) << ExpectedAbbreviation();
    EXPECT_TRUE(ui);
    const std::string expected = InstalledModuleFor(ExpectedAbbreviation().substr(0, 2));
    const size_t slash = expected.rfind('\\');
    HMODULE resources = GetModuleHandleA(expected.substr(slash + 1).c_str());
    ASSERT_NE(nullptr, resources) << expected;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(resources, path, MAX_PATH);
    EXPECT_EQ(0, _stricmp(expected.c_str(), path)) << path;
    ui.Reset();
    CoFreeUnusedLibraries();
    RegistryKey root(HKEY_CLASSES_ROOT);
    root.DeleteSubkeyTree(kClsidKey);
    root.Release();
    CoUninitialize();
}

// Copies of the component in folders holding different resource modules: the module
// named after this locale's language, or tasqen.dll, in the component's own folder lets
// it load; another language's module alone does not.
TEST(ComponentLanguage, OnlyTheModuleOfTheUsersLanguageInTheComponentsFolderCounts)
{
    std::string prefix = ExpectedAbbreviation().substr(0, 2);
    std::string component = test::BinDir() + "\\tasqui.dll";
    std::string english = test::BinDir() + "\\tasqen.dll";

    struct Case {
        const char *label;
        std::string moduleName;   // the resource module's file name in the folder, "" for none
        bool besideExe;           // also put it beside this test program instead
        bool loads;
    } cases[] = {
        {"own language beside the component", "tasq" + prefix + ".dll", false, true},
        {"own language, upper-case name", "TASQ" + prefix + ".DLL", false, true},
        {"no resource module at all", "", false, false},
        {"only another language", "tasq" + std::string(prefix == "FR" ? "DE" : "FR") + ".dll", false, false},
        {"only the English module", "tasqen.dll", false, true},
    };
    int index = 0;
    for (const Case &c : cases) {
        std::string dir = test::MakeScratchDir("tasqui_language_" + ExpectedAbbreviation() + "_" + std::to_string(index++));
        ASSERT_TRUE(Copy(component, dir + "\\tasqui.dll")) << c.label;
        if (!c.moduleName.empty()) {
            ASSERT_TRUE(Copy(english, dir + "\\" + c.moduleName)) << c.label;
        }
        SetLastError(0);
        UniqueModule loaded(LoadLibraryA((dir + "\\tasqui.dll").c_str()));
        EXPECT_EQ(c.loads, static_cast<bool>(loaded)) << c.label << " (error " << GetLastError() << ")";
    }
}

} // namespace
