// Loading a mail library by file name: the three functions resolved and called, the
// default library for an empty name, a missing file, a library lacking a function.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "mail/loader/mail_library.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

std::string TestDouble(const char *name) { return test::BuildDir() + "\\tests\\" + name; }

TEST(MailLibrary, LoadsResolvesCallsAndUnloads)
{
    const std::string path = TestDouble("mail_double.dll");
    MailLibrary library;
    ASSERT_EQ(library.Load(path.c_str()), static_cast<DWORD>(ERROR_SUCCESS));
    MailSession session = 0;
    EXPECT_EQ(library.Logon("nope", "pw", &session, 1, "x.log"), kMailFailed);
    EXPECT_EQ(session, 0u);
    ASSERT_EQ(library.Logon("ok", "pw", &session, 1, "x.log"), kMailOk);
    EXPECT_EQ(session, 7u);
    EXPECT_EQ(library.Send(session, "ab", "cde", "f", "body"), 6);   // non-negative counts as sent
    EXPECT_LT(library.Send(session, "a", "b", "c", "fail"), 0);
    EXPECT_EQ(library.Logoff(session), kMailOk);

    EXPECT_NE(GetModuleHandleA(path.c_str()), nullptr);
    library.Unload();
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);
    EXPECT_EQ(library.Logon("ok", "pw", &session, 1, "x.log"), kMailFailed);
    EXPECT_EQ(library.Send(7, "a", "b", "c", "d"), kMailFailed);
    EXPECT_EQ(library.Logoff(7), kMailFailed);
}

TEST(MailLibrary, FailuresLeaveNothingLoaded)
{
    struct {
        const char *label;
        std::string path;
        DWORD error;
    } cases[] = {
        {"missing file", TestDouble("no_such_mail_library.dll"), ERROR_MOD_NOT_FOUND},
        {"no QLLogoff", TestDouble("mail_double_nologoff.dll"), ERROR_PROC_NOT_FOUND},
    };
    for (const auto &c : cases) {
        MailLibrary library;
        EXPECT_EQ(library.Load(c.path.c_str()), c.error) << c.label;
        EXPECT_FALSE(library.IsLoaded()) << c.label;
        EXPECT_EQ(GetModuleHandleA(c.path.c_str()), nullptr) << c.label;
    }
}

TEST(MailLibrary, EmptyNameLoadsTheDefaultLibrary)
{
    std::string dir = test::MakeScratchDir("mail_library_default");
    ASSERT_TRUE(CopyFileA(TestDouble("mail_double.dll").c_str(), (dir + "\\MAILSIMPLE.DLL").c_str(), FALSE));
    ASSERT_TRUE(SetDllDirectoryA(dir.c_str()));
    for (const char *name : {"", static_cast<const char *>(nullptr)}) {
        MailLibrary library;
        ASSERT_EQ(library.Load(name), static_cast<DWORD>(ERROR_SUCCESS));
        HMODULE module = GetModuleHandleA("MAILSIMPLE.DLL");
        ASSERT_NE(module, nullptr);
        char loaded[MAX_PATH] = "";
        GetModuleFileNameA(module, loaded, sizeof loaded);
        EXPECT_EQ(std::string(loaded), dir + "\\MAILSIMPLE.DLL");
    }
    SetDllDirectoryA(nullptr);
}

} // namespace
} // namespace quillon
