// The libraries a long-running process loads and unloads again and again (the mail
// libraries once per dispatch pass of the scheduler, the text library per preview in the
// browser) must give back what each load took: 100 loads, each with a mail session where
// the library has one, may leave no more than a few KB behind in the process's heaps.
// Before, each load kept the C++ runtime's exception pool (some 70 KB): 7 MB per 100
// dispatch passes; then each load of mailwire.dll still unloaded and reloaded the
// system's socket and security libraries, which keep some 80 to 530 bytes each time.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "common/socket_handle.h"
#include "mail/mail_contract.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

TEST(LibraryReload, HundredLoadsOfEachLibraryLeaveItsMemoryBehindNot)
{
    test::ResetProductRegistry();
    // mailwire.dll's sessions connect to a listener of this process; the connection is
    // taken and closed at once (the logon only connects, the greeting waits for a send).
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    UniqueSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    ASSERT_TRUE(listener);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(listener.Get(), reinterpret_cast<sockaddr *>(&where), sizeof where));
    int length = sizeof where;
    ASSERT_EQ(0, getsockname(listener.Get(), reinterpret_cast<sockaddr *>(&where), &length));
    ASSERT_EQ(0, listen(listener.Get(), SOMAXCONN));
    {
        // mailwire.dll refuses to load without an SMTP server in the configuration.
        RegistryKey config;
        ASSERT_EQ(ERROR_SUCCESS, config.Create(HKEY_CURRENT_USER, kConfigurationKeyPath));
        config.WriteString(config_values::kSMTPServer, "127.0.0.1");
        config.WriteDword(config_values::kSMTPPort, ntohs(where.sin_port));
    }
    for (const char *name : {"mailwire.dll", "MAILSIMPLE.DLL", "mailrich.dll", "WEBFLAT.DLL"}) {
        SCOPED_TRACE(name);
        const std::string path = test::BinDir() + "\\" + name;
        const bool wire = std::string(name) == "mailwire.dll";
        auto cycle = [&]() {
            HMODULE module = LoadLibraryA(path.c_str());
            ASSERT_NE(nullptr, module) << GetLastError();
            if (wire) {
                // A dispatch pass: log on (starts Winsock) and off (releases it).
                auto logon = reinterpret_cast<QLLogonFunction>(GetProcAddress(module, kQLLogonName));
                auto logoff = reinterpret_cast<QLLogoffFunction>(GetProcAddress(module, kQLLogoffName));
                ASSERT_NE(nullptr, logon);
                ASSERT_NE(nullptr, logoff);
                MailSession session = 0;
                const bool loggedOn = logon("", "", &session, 0, "") == kMailOk;
                EXPECT_TRUE(loggedOn);
                if (loggedOn) {
                    UniqueSocket accepted(accept(listener.Get(), nullptr, nullptr));
                    EXPECT_TRUE(accepted);
                    EXPECT_EQ(kMailOk, logoff(session));
                }
            }
            FreeLibrary(module);
        };
        for (int i = 0; i < 5; ++i)
            cycle();
        const SIZE_T before = test::HeapBytesInUse();
        const DWORD handlesBefore = test::OpenHandleCount();
        for (int i = 0; i < 100; ++i)
            cycle();
        const SIZE_T after = test::HeapBytesInUse();
        EXPECT_LE(test::OpenHandleCount(), handlesBefore + 2);
        const SIZE_T grown = after > before ? after - before : 0;
        std::cout << name << ": heap in use grew by " << grown / 1024 << " KB over 100 loads\n";
        EXPECT_LT(grown, 4u * 1024);
    }
    listener.Reset();
    WSACleanup();
    test::ResetProductRegistry();
}

} // namespace
} // namespace quillon
