// The language rule of the resource-module loader, run once per user locale (CTest runs
// this program under en-US, en-GB, de-DE and it-IT; QUILLON_EXPECT_LANGUAGE names the
// abbreviation that locale must give). The installation in each case holds only
// tasqen.dll, so every locale loads it: the English ones as their own module, the
// others because their own is missing. A folder without tasqen.dll as well gives
// nothing, as before.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/resource_module.h"
#include "resources/resource_ids.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

std::string ExpectedAbbreviation()
{
    const char *value = std::getenv("QUILLON_EXPECT_LANGUAGE");
    return value != nullptr ? value : "";
}

bool ExpectEnglish() { return ExpectedAbbreviation().compare(0, 2, "EN") == 0; }

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

// An installation folder holding tasqen.dll and a DLL that stands in for the loading
// component (a second copy of the module under another name: any DLL in the folder
// will do as the "own module" whose directory is searched).
class LanguageFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = test::MakeScratchDir("resource_language_" + ExpectedAbbreviation());
        std::string source = test::BinDir() + "\\tasqen.dll";
        ASSERT_TRUE(CopyFileA(source.c_str(), (dir_ + "\\tasqen.dll").c_str(), FALSE)) << source;
        ASSERT_TRUE(CopyFileA(source.c_str(), (dir_ + "\\component.dll").c_str(), FALSE));
        component_.Reset(LoadLibraryA((dir_ + "\\component.dll").c_str()));
        ASSERT_TRUE(component_) << GetLastError();
    }
    void TearDown() override { SetDllDirectoryA(nullptr); }

    std::string dir_;
    UniqueModule component_;
};

TEST(LanguagePrefix, IsTheFirstTwoLettersOfTheLocaleAbbreviation)
{
    std::string abbreviation = ExpectedAbbreviation();
    ASSERT_EQ(abbreviation.size(), 3u) << "QUILLON_EXPECT_LANGUAGE not set";
    char raw[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, raw, sizeof raw);
    EXPECT_EQ(std::string(raw), abbreviation) << "the test locale is not in effect";

    char prefix[kLanguagePrefixSize] = {'x', 'x', 'x'};
    ASSERT_TRUE(UserLanguagePrefix(prefix));
    EXPECT_EQ(std::string(prefix), abbreviation.substr(0, 2));
}

TEST_F(LanguageFixture, BesideModuleLoadsTheEnglishModuleWhenTheLanguageHasNone)
{
    UniqueModule module;
    ASSERT_EQ(LoadResourceModule(ResourceModuleSearch::BesideModule, component_.Get(), module),
              ResourceModuleStatus::Loaded);
    ASSERT_TRUE(module);
    // tasqEN.dll (or this language's own name) was asked for; the file is tasqen.dll in
    // the component's folder.
    EXPECT_STRCASEEQ(ModulePath(module.Get()).c_str(), (dir_ + "\\tasqen.dll").c_str());
    char text[260] = {};
    EXPECT_GT(LoadStringA(module.Get(), IDS_APP_CAPTION, text, sizeof text), 0);
    EXPECT_STREQ(text, "Quillon Scheduler");
}

TEST_F(LanguageFixture, SystemSearchLoadsTheEnglishModuleWhenTheLanguageHasNone)
{
    // The programs load by name alone; the library search here reaches the folder
    // through SetDllDirectory, as it reaches a program's own directory in real use.
    ASSERT_TRUE(SetDllDirectoryA(dir_.c_str()));
    UniqueModule module;
    ASSERT_EQ(LoadResourceModule(ResourceModuleSearch::SystemSearch, nullptr, module), ResourceModuleStatus::Loaded);
    EXPECT_STRCASEEQ(ModulePath(module.Get()).c_str(), (dir_ + "\\tasqen.dll").c_str());
}

TEST_F(LanguageFixture, WithoutTheEnglishModuleAsWellNothingLoads)
{
    // The component's folder with no resource module at all.
    ASSERT_TRUE(DeleteFileA((dir_ + "\\tasqen.dll").c_str()));
    UniqueModule module;
    EXPECT_EQ(LoadResourceModule(ResourceModuleSearch::BesideModule, component_.Get(), module),
              ResourceModuleStatus::NotFound);
    EXPECT_FALSE(module);
    ASSERT_TRUE(SetDllDirectoryA(dir_.c_str()));
    EXPECT_EQ(LoadResourceModule(ResourceModuleSearch::SystemSearch, nullptr, module), ResourceModuleStatus::NotFound);
    EXPECT_FALSE(module);
}

TEST_F(LanguageFixture, AnOwnModuleThatCannotBeLoadedGivesEnglish)
{
    if (ExpectEnglish())
        GTEST_SKIP() << "the English module is the language's own";
    // A damaged file under the language's own name, beside a sound tasqen.dll.
    std::string own = dir_ + "\\tasq" + ExpectedAbbreviation().substr(0, 2) + ".dll";
    test::WriteWholeFile(own, "MZ not a library");
    UniqueModule module;
    ASSERT_EQ(LoadResourceModule(ResourceModuleSearch::BesideModule, component_.Get(), module),
              ResourceModuleStatus::Loaded);
    EXPECT_STRCASEEQ(ModulePath(module.Get()).c_str(), (dir_ + "\\tasqen.dll").c_str());
}

TEST_F(LanguageFixture, TheLanguagesOwnModuleIsFoundOnceInstalled)
{
    // Install a module under this language's own name (German: tasqDE.dll). It is the
    // one loaded, whatever else lies beside it.
    std::string own = "tasq" + ExpectedAbbreviation().substr(0, 2) + ".dll";
    std::string ownPath = dir_ + "\\" + own;
    if (!ExpectEnglish()) {
        ASSERT_TRUE(CopyFileA((dir_ + "\\tasqen.dll").c_str(), ownPath.c_str(), FALSE));
    }
    UniqueModule module;
    ASSERT_EQ(LoadResourceModule(ResourceModuleSearch::BesideModule, component_.Get(), module),
              ResourceModuleStatus::Loaded);
    EXPECT_STRCASEEQ(ModulePath(module.Get()).c_str(), ownPath.c_str());
}

// Run only as a child: a copy of this program placed beside tasqen.dll loads the module
// by name alone, as the scheduler and the reminder do (English in every locale here).
TEST(ProgramFolderChild, LoadsByNameAlone)
{
    if (std::getenv("QUILLON_RESOURCE_CHILD") == nullptr)
        GTEST_SKIP() << "runs only in the child process";
    // Tells the parent this check really ran (a skipped child would also exit with 0).
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    test::WriteWholeFile(std::string(self) + ".ran", "1");
    UniqueModule module;
    ASSERT_EQ(LoadResourceModule(ResourceModuleSearch::SystemSearch, nullptr, module), ResourceModuleStatus::Loaded);
    char text[260] = {};
    LoadStringA(module.Get(), IDS_APP_CAPTION, text, sizeof text);
    EXPECT_STREQ(text, "Quillon Scheduler");
}

TEST_F(LanguageFixture, ProgramsFindTheModuleInTheirOwnFolder)
{
    if (std::getenv("QUILLON_RESOURCE_CHILD") != nullptr)
        GTEST_SKIP() << "parent only";
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string program = dir_ + "\\program.exe";
    ASSERT_TRUE(CopyFileA(self, program.c_str(), FALSE));
    // The working folder is elsewhere, so only the program's own folder can supply it.
    std::string elsewhere = test::MakeScratchDir("resource_language_cwd_" + ExpectedAbbreviation());
    SetEnvironmentVariableA("QUILLON_RESOURCE_CHILD", "1");
    test::ProcessResult result =
        test::RunProcess("\"" + program + "\" --gtest_filter=ProgramFolderChild.*", 20000, elsewhere.c_str());
    SetEnvironmentVariableA("QUILLON_RESOURCE_CHILD", nullptr);
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0u) << "the child's check failed";
    EXPECT_NE(GetFileAttributesA((program + ".ran").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the child did not run its check";
}

} // namespace
} // namespace quillon
