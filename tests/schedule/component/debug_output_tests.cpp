// What tasqui.dll writes to the debugger output as it loads and unloads, in order: its
// own path with " loading\n", the resource module's lines, and its path with
// " unloading\n"; without a resource module, "Couldn't find resource file\n".
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/resources/debug_output_reader.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;

namespace {

bool Copy(const std::string &from, const std::string &to) { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }

std::string Joined(const std::vector<std::string> &pieces)
{
    std::string all;
    for (const std::string &piece : pieces)
        all += "[" + piece + "]";
    return all;
}

TEST(ComponentDebugOutput, LoadAndUnloadLinesAroundTheResourceModules)
{
    std::string dir = test::MakeScratchDir("tasqui_debug_output");
    std::string component = dir + "\\tasqui.dll";
    std::string resources = dir + "\\tasqen.dll";
    ASSERT_TRUE(Copy(test::BinDir() + "\\tasqui.dll", component));
    ASSERT_TRUE(Copy(test::BinDir() + "\\tasqen.dll", resources));

    test::DebugOutputReader reader;
    std::string error;
    ASSERT_TRUE(reader.Start(error)) << error;
    HMODULE module = LoadLibraryA(component.c_str());
    ASSERT_NE(nullptr, module) << GetLastError();
    char loadedPath[MAX_PATH] = {};
    GetModuleFileNameA(module, loadedPath, MAX_PATH);
    FreeLibrary(module);
    ASSERT_TRUE(reader.WaitFor(std::string(loadedPath) + " unloading\n", 5000)) << Joined(reader.Pieces());

    std::vector<std::string> expected = {
        std::string(loadedPath) + " loading\n",
        resources + " loading\n",
        std::string(loadedPath) + " unloading\n",
    };
    std::vector<std::string> pieces = reader.Pieces();
    size_t next = 0;
    for (const std::string &piece : pieces)
        if (next < expected.size() && _stricmp(piece.c_str(), expected[next].c_str()) == 0)
            ++next;
    EXPECT_EQ(expected.size(), next) << "in this order: " << Joined(expected) << "\ngot: " << Joined(pieces);
}

TEST(ComponentDebugOutput, MissingResourceModuleIsReportedAndTheLoadFails)
{
    std::string dir = test::MakeScratchDir("tasqui_debug_output_missing");
    std::string component = dir + "\\tasqui.dll";
    ASSERT_TRUE(Copy(test::BinDir() + "\\tasqui.dll", component));

    test::DebugOutputReader reader;
    std::string error;
    ASSERT_TRUE(reader.Start(error)) << error;
    EXPECT_EQ(nullptr, LoadLibraryA(component.c_str()));
    EXPECT_TRUE(reader.WaitFor("Couldn't find resource file\n", 5000)) << Joined(reader.Pieces());
    std::vector<std::string> pieces = reader.Pieces();
    ASSERT_FALSE(pieces.empty());
    EXPECT_EQ(0, _stricmp((component + " loading\n").c_str(), pieces.front().c_str()))
        << "the load is announced before the resource module is looked for: " << Joined(pieces);
}

} // namespace
