// mailrich.dll beside a MAPI32.DLL that lacks one of the MAPI utility functions the
// library looks up by name (FreeProws here): the library refuses to load, as it would
// for a missing import, so the scheduler holds its queue back instead of sending with a
// library that cannot finish a send.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "mail/loader/mail_library.h"
#include "tests/resources/debug_output_reader.h"

namespace quillon::test {
namespace {

TEST(MailrichWithIncompleteMapi, RefusesToLoad)
{
    HMODULE mapi = LoadLibraryA("MAPI32.DLL");
    ASSERT_NE(mapi, nullptr);
    ASSERT_NE(GetProcAddress(mapi, "TestMapiReset"), nullptr)
        << "MAPI32.DLL is not the test double: run with WINEDLLOVERRIDES mapi32=n";
    EXPECT_EQ(GetProcAddress(mapi, "FreeProws"), nullptr);
    EXPECT_EQ(GetProcAddress(mapi, "FreeProws@4"), nullptr);

    DebugOutputReader debug;
    std::string error;
    ASSERT_TRUE(debug.Start(error)) << error;
    MailLibrary library;
    EXPECT_NE(library.Load("mailrich.dll"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_TRUE(debug.WaitFor("MAILRICH loading\n", 3000));
    EXPECT_EQ(GetModuleHandleA("mailrich.dll"), nullptr);
    FreeLibrary(mapi);
}

} // namespace
} // namespace quillon::test
