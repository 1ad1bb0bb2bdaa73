// The libraries a long-running process loads and unloads again and again (the mail
// libraries once per dispatch pass of the scheduler, the text library per preview in the
// browser) must give back what each load took: 100 loads may not leave more than a few
// hundred KB behind in the process's heaps. Before, each load kept the C++ runtime's
// exception pool (some 70 KB): 7 MB per 100 dispatch passes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

SIZE_T HeapBytesInUse()
{
    HANDLE heaps[256];
    DWORD count = GetProcessHeaps(256, heaps);
    SIZE_T total = 0;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

TEST(LibraryReload, HundredLoadsOfEachLibraryLeaveItsMemoryBehindNot)
{
    test::ResetProductRegistry();
    {
        // mailwire.dll refuses to load without an SMTP server in the configuration.
        RegistryKey config;
        ASSERT_EQ(ERROR_SUCCESS, config.Create(HKEY_CURRENT_USER, kConfigurationKeyPath));
        config.WriteString(config_values::kSMTPServer, "127.0.0.157");
    }
    for (const char *name : {"mailwire.dll", "MAILSIMPLE.DLL", "mailrich.dll", "WEBFLAT.DLL"}) {
        SCOPED_TRACE(name);
        const std::string path = test::BinDir() + "\\" + name;
        auto cycle = [&]() {
            HMODULE module = LoadLibraryA(path.c_str());
            ASSERT_NE(nullptr, module) << GetLastError();
            FreeLibrary(module);
        };
        for (int i = 0; i < 5; ++i)
            cycle();
        const SIZE_T before = HeapBytesInUse();
        for (int i = 0; i < 100; ++i)
            cycle();
        const SIZE_T after = HeapBytesInUse();
        const SIZE_T grown = after > before ? after - before : 0;
        std::cout << name << ": heap in use grew by " << grown / 1024 << " KB over 100 loads\n";
        EXPECT_LT(grown, 512u * 1024);
    }
    test::ResetProductRegistry();
}

} // namespace
} // namespace quillon
