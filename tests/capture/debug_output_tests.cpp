// What clipnet.dll writes to the debugger output as it loads and unloads: its own path
// with " loading\n" and " unloading\n"; without a resource module beside it,
// "Couldn't find resource file\n", and the load fails.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/resources/debug_output_reader.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;

namespace {

std::string Joined(const std::vector<std::string> &pieces)
{
    std::string all;
    for (const std::string &piece : pieces)
        all += "[" + piece + "]";
    return all;
}

bool Has(const std::vector<std::string> &pieces, const std::string &text)
{
    for (const std::string &piece : pieces)
        if (_stricmp(piece.c_str(), text.c_str()) == 0)
            return true;
    return false;
}

TEST(AddInDebugOutput, LoadAndUnloadLinesAndTheMissingResourceModule)
{
    const std::string dir = test::MakeScratchDir("capture_debug_output");
    const std::string addIn = dir + "\\clipnet.dll";
    ASSERT_TRUE(CopyFileA((test::BinDir() + "\\clipnet.dll").c_str(), addIn.c_str(), FALSE));
    test::DebugOutputReader reader;
    std::string error;
    ASSERT_TRUE(reader.Start(error)) << error;

    // Alone in its folder: no resource module, so the load is refused.
    EXPECT_EQ(nullptr, LoadLibraryA(addIn.c_str()));
    EXPECT_TRUE(reader.WaitFor("Couldn't find resource file\n", 5000)) << Joined(reader.Pieces());
    EXPECT_TRUE(Has(reader.Pieces(), addIn + " loading\n")) << Joined(reader.Pieces());

    ASSERT_TRUE(CopyFileA((test::BinDir() + "\\tasqen.dll").c_str(), (dir + "\\tasqen.dll").c_str(), FALSE));
    HMODULE module = LoadLibraryA(addIn.c_str());
    ASSERT_NE(nullptr, module) << GetLastError();
    char loadedPath[MAX_PATH] = {};
    GetModuleFileNameA(module, loadedPath, MAX_PATH);
    FreeLibrary(module);
    EXPECT_TRUE(reader.WaitFor(std::string(loadedPath) + " unloading\n", 5000)) << Joined(reader.Pieces());
    EXPECT_TRUE(Has(reader.Pieces(), std::string(loadedPath) + " loading\n")) << Joined(reader.Pieces());
}

} // namespace
