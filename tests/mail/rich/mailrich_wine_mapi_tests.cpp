// mailrich.dll with the MAPI32.DLL of the system it runs on (Wine's own here, no test
// double): Wine's x64 mapi32 exports the utility functions only under their decorated
// names, which an ordinary import library would not find. The library must load against
// it, and without a mail system behind it a logon must fail cleanly.
#include <gtest/gtest.h>

#include <windows.h>

#include "mail/loader/mail_library.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {
namespace {

TEST(MailrichWithSystemMapi, LoadsAndFailsCleanlyWithoutAMailSystem)
{
    MailLibrary library;
    ASSERT_EQ(library.Load((BinDir() + "\\mailrich.dll").c_str()), static_cast<DWORD>(ERROR_SUCCESS));
    HMODULE mapi = GetModuleHandleA("MAPI32.DLL");
    ASSERT_NE(mapi, nullptr);
    if (GetProcAddress(mapi, "HrQueryAllRows") != nullptr)
        GTEST_SKIP() << "this MAPI32.DLL has the plain names";
    EXPECT_NE(GetProcAddress(mapi, "HrQueryAllRows@24"), nullptr);

    // The test prefix has no Extended MAPI provider behind Wine's mapi32.
    MailSession session = 0;
    EXPECT_LT(library.Logon("No Such Profile", "", &session, 0, ""), 0);
    EXPECT_EQ(session, 0u);
}

} // namespace
} // namespace quillon::test
