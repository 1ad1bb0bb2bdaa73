// Win32 side of the common code: the portable date arithmetic against the system's own
// conversion, the registry key owner on hand-written (hostile) values, the log appender.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include <string>

#include "common/datetime.h"
#include "common/log.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/socket_handle.h"
#include "common/timestamp_key.h"
#include "common/win_datetime.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;

TEST(DateTimeAgainstWin32, TicksMatchFileTimeBothWays)
{
    // A walk through four centuries in steps that hit every field.
    Ticks step = kTicksPerDay * 13 + kTicksPerHour * 7 + kTicksPerMinute * 11 + kTicksPerSecond * 17 + 123 * kTicksPerMillisecond;
    Ticks start = 0;
    ASSERT_TRUE(DateTimeToTicks(DateTime{1890, 1, 0, 1, 0, 0, 0, 0}, &start));
    for (Ticks ticks = start; ticks < start + 400ULL * 366 * kTicksPerDay; ticks += step) {
        FILETIME ft;
        ft.dwLowDateTime = static_cast<DWORD>(ticks);
        ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
        SYSTEMTIME st;
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
        DateTime ours{};
        ASSERT_TRUE(TicksToDateTime(ticks, &ours));
        ASSERT_EQ(0, memcmp(&st, &ours, sizeof st)) << "ticks " << ticks;

        FILETIME back;
        ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
        Ticks ourTicks = 0;
        ASSERT_TRUE(DateTimeToTicks(ours, &ourTicks));
        ASSERT_EQ((static_cast<Ticks>(back.dwHighDateTime) << 32) | back.dwLowDateTime, ourTicks);
    }
}

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ResetProductRegistry();
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, kConfigurationKeyPath));
    }
    void TearDown() override
    {
        key.Close();
        test::ResetProductRegistry();
    }
    void SetRaw(const char *name, DWORD type, const void *data, DWORD size)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), name, 0, type, static_cast<const BYTE *>(data), size));
    }
    RegistryKey key;
};

TEST_F(RegistryKeyTest, RoundTripsEveryWrittenType)
{
    ASSERT_EQ(ERROR_SUCCESS, key.WriteString("Text", "hello"));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteDword("Number", 0xDEADBEEF));
    DateTime when{2024, 2, 4, 29, 23, 59, 58, 999};
    ASSERT_EQ(ERROR_SUCCESS, key.WriteBinary("When", &when, sizeof when));

    DWORD type = 0, size = 0;
    ASSERT_EQ(ERROR_SUCCESS, key.QueryValueInfo("Text", &type, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(6u, size) << "REG_SZ is stored with its terminating zero";

    char text[16];
    EXPECT_EQ(ERROR_SUCCESS, key.ReadString("Text", text));
    EXPECT_STREQ("hello", text);
    DWORD number = 0;
    EXPECT_EQ(ERROR_SUCCESS, key.ReadDword("Number", &number));
    EXPECT_EQ(0xDEADBEEFu, number);
    DateTime back{};
    EXPECT_EQ(ERROR_SUCCESS, key.ReadBinary("When", &back, sizeof back));
    EXPECT_EQ(0, memcmp(&when, &back, sizeof when));

    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadDword("Missing", &number));
    EXPECT_FALSE(key.HasValue("Missing"));
    EXPECT_TRUE(key.HasValue("Text"));
    EXPECT_EQ(ERROR_SUCCESS, key.DeleteValue("Text"));
    EXPECT_FALSE(key.HasValue("Text"));
}

TEST_F(RegistryKeyTest, HostileValuesNeverOverrunAndReadAsMissing)
{
    std::string longText(300, 'x');
    SetRaw("Long", REG_SZ, longText.c_str(), static_cast<DWORD>(longText.size() + 1));
    const char unterminated[4] = {'a', 'b', 'c', 'd'};
    SetRaw("Unterminated", REG_BINARY, unterminated, sizeof unterminated);
    std::string exact(259, 'y');
    SetRaw("Exact", REG_SZ, exact.c_str(), 260);
    std::string exactNoNul(260, 'z');
    SetRaw("ExactNoNul", REG_SZ, exactNoNul.c_str(), 260);
    const char embedded[] = "ab\0cd";
    SetRaw("Embedded", REG_SZ, embedded, sizeof embedded);
    const BYTE eightBytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    SetRaw("Qword", REG_BINARY, eightBytes, sizeof eightBytes);
    const BYTE twoBytes[2] = {0x34, 0x12};
    SetRaw("Word", REG_BINARY, twoBytes, sizeof twoBytes);
    SetRaw("Empty", REG_SZ, "", 0);

    char buffer[260];
    EXPECT_EQ(ERROR_MORE_DATA, key.ReadString("Long", buffer));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(ERROR_SUCCESS, key.ReadString("Unterminated", buffer));
    EXPECT_STREQ("abcd", buffer);
    EXPECT_EQ(ERROR_SUCCESS, key.ReadString("Exact", buffer));
    EXPECT_EQ(exact, buffer);
    EXPECT_EQ(ERROR_MORE_DATA, key.ReadString("ExactNoNul", buffer));
    EXPECT_EQ(ERROR_SUCCESS, key.ReadString("Embedded", buffer));
    EXPECT_STREQ("ab", buffer);

    DWORD number = 7;
    EXPECT_EQ(ERROR_MORE_DATA, key.ReadDword("Qword", &number));
    EXPECT_EQ(7u, number);
    EXPECT_EQ(ERROR_SUCCESS, key.ReadDword("Word", &number));
    EXPECT_EQ(0x1234u, number);
    DateTime dt{};
    EXPECT_NE(ERROR_SUCCESS, key.ReadBinary("Word", &dt, sizeof dt));
    EXPECT_NE(ERROR_SUCCESS, key.ReadBinary("Qword", &dt, sizeof dt));

    std::string any;
    EXPECT_EQ(ERROR_SUCCESS, key.ReadString("Long", &any));
    EXPECT_EQ(longText, any);
    EXPECT_EQ(ERROR_MORE_DATA, key.ReadString("Long", &any, 100));

    EXPECT_TRUE(key.HasValue("Empty"));
    EXPECT_FALSE(key.HasValueWithData("Empty"));
    EXPECT_TRUE(key.HasValueWithData("Word"));
}

// Texts whose bytes include zeros (the scrambled password) round-trip whole through the
// std::string write and the byte-exact read, under the same 260-byte rule as ReadString.
TEST_F(RegistryKeyTest, ByteExactStringsKeepZerosInside)
{
    const std::string withZeros("a\0b\0\0c", 6);
    ASSERT_EQ(ERROR_SUCCESS, key.WriteString("Zeros", withZeros));
    DWORD type = 0, size = 0;
    ASSERT_EQ(ERROR_SUCCESS, key.QueryValueInfo("Zeros", &type, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(7u, size) << "all bytes and one terminating zero";
    ASSERT_EQ(ERROR_SUCCESS, key.WriteStringBytes("Bytes", "xy\0z", 4));

    struct Case {
        const char *label;
        const char *name;
        std::string data;   // stored as is when not empty; include the NUL yourself
        LONG result;
        std::string bytes;
    } cases[] = {
        {"std::string write", "Zeros", "", ERROR_SUCCESS, withZeros},
        {"explicit length write", "Bytes", "", ERROR_SUCCESS, std::string("xy\0z", 4)},
        {"no terminator", "Raw1", std::string("p\0q", 3), ERROR_SUCCESS, std::string("p\0q", 3)},
        {"only a terminator", "Raw2", std::string(1, '\0'), ERROR_SUCCESS, ""},
        {"259 bytes and NUL", "Raw3", std::string(259, '\0') + '\0', ERROR_SUCCESS, std::string(259, '\0')},
        {"260 bytes, no NUL", "Raw4", std::string(260, 'k'), ERROR_MORE_DATA, ""},
        {"260 bytes and NUL", "Raw5", std::string(260, 'k') + '\0', ERROR_MORE_DATA, ""},
        {"missing", "Missing", "", ERROR_FILE_NOT_FOUND, ""},
    };
    for (const Case &c : cases) {
        if (!c.data.empty())
            SetRaw(c.name, REG_SZ, c.data.data(), static_cast<DWORD>(c.data.size()));
        char buffer[260];
        std::memset(buffer, 'u', sizeof buffer);
        DWORD length = 99;
        EXPECT_EQ(c.result, key.ReadStringBytes(c.name, buffer, sizeof buffer, &length)) << c.label;
        EXPECT_EQ(c.bytes, std::string(buffer, length)) << c.label;
        EXPECT_EQ('\0', buffer[length]) << c.label;
    }
}

TEST_F(RegistryKeyTest, EnumeratesSubkeysAndDeletesTrees)
{
    RegistryKey tasks;
    ASSERT_EQ(ERROR_SUCCESS, tasks.Create(HKEY_CURRENT_USER, kTasksKeyPath));
    for (const char *name : {"2000 7 4 9 5 3", "2000 7 4 9 5 4", "a name much longer than sixteen bytes"}) {
        RegistryKey sub;
        ASSERT_EQ(ERROR_SUCCESS, sub.Create(tasks.Get(), name));
        ASSERT_EQ(ERROR_SUCCESS, sub.WriteDword("Disabled", 0));
    }
    char shortName[16];
    std::string names;
    DWORD index = 0;
    LONG rc;
    int tooLong = 0;
    while ((rc = tasks.EnumSubkeyName(index++, shortName, sizeof shortName)) != ERROR_NO_MORE_ITEMS) {
        if (rc == ERROR_MORE_DATA)
            ++tooLong;
        else
            names += std::string(shortName) + "|";
        ASSERT_LT(index, 10u);
    }
    EXPECT_EQ("2000 7 4 9 5 3|2000 7 4 9 5 4|", names);
    EXPECT_EQ(1, tooLong);

    RegistryKey root;
    ASSERT_EQ(ERROR_SUCCESS, root.Open(HKEY_CURRENT_USER, kRootKeyPath));
    tasks.Close();
    EXPECT_EQ(ERROR_SUCCESS, root.DeleteSubkeyTree("Tasks"));
    RegistryKey gone;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, gone.Open(HKEY_CURRENT_USER, kTasksKeyPath));
}

// New keys named after a second: taken names are passed over without being opened for
// writing, and the search is bounded by the number of seconds and the name length.
TEST_F(RegistryKeyTest, KeyAtTheNextFreeSecond)
{
    for (const char *taken : {"2000 7 5 9 3 7", "2000 7 5 9 3 8"}) {
        RegistryKey existing;
        ASSERT_EQ(ERROR_SUCCESS, existing.Create(key.Get(), taken));
        existing.WriteString("Owner", "someone else");
    }
    struct Case {
        const char *label;
        const char *first;
        int maxSeconds;
        size_t maxNameLength;
        bool created;
        const char *name;
    } cases[] = {
        {"free at once", "2000 7 5 9 310", 5, 14, true, "2000 7 5 9 310"},
        {"two taken seconds", "2000 7 5 9 3 7", 5, 14, true, "2000 7 5 9 3 9"},
        {"out of seconds", "2000 7 5 9 3 7", 2, 14, false, ""},
        {"name too long", "2000 7 5 9 3 7", 5, 13, false, ""},
    };
    for (const Case &c : cases) {
        RegistryKey created;
        std::string name;
        EXPECT_EQ(c.created, CreateKeyAtNextFreeSecond(key.Get(), c.first, c.maxSeconds, c.maxNameLength, &created,
                                                         &name))
            << c.label;
        EXPECT_EQ(c.name, name) << c.label;
        EXPECT_EQ(c.created, created.IsOpen()) << c.label;
    }
    RegistryKey first;
    ASSERT_EQ(ERROR_SUCCESS, first.Open(key.Get(), "2000 7 5 9 3 7"));
    char owner[32];
    EXPECT_EQ(ERROR_SUCCESS, first.ReadString("Owner", owner));
    EXPECT_STREQ("someone else", owner);
}

TEST(SocketOwner, ClosesOnceAndHandsOn)
{
    WSADATA wsa;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa));
    SOCKET raw = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(INVALID_SOCKET, raw);
    int type = 0;
    int size = sizeof type;
    {
        UniqueSocket owner(raw);
        UniqueSocket moved(std::move(owner));
        EXPECT_FALSE(owner.IsValid());
        EXPECT_EQ(raw, moved.Get());
        EXPECT_EQ(0, getsockopt(raw, SOL_SOCKET, SO_TYPE, reinterpret_cast<char *>(&type), &size));
    }
    EXPECT_EQ(SOCKET_ERROR, getsockopt(raw, SOL_SOCKET, SO_TYPE, reinterpret_cast<char *>(&type), &size))
        << "the socket is still open";
    WSACleanup();
}

TEST(LogAppender, AppendsAndDropsSilentlyWhenTheFileIsHeld)
{
    std::string dir = test::MakeScratchDir("common_log");
    std::string path = dir + "\\quillon.log";
    AppendLogText(path.c_str(), "TASQED.EXE first\r\n");
    AppendLogText(path.c_str(), "QUILLON.EXE second\r\n");
    EXPECT_EQ("TASQED.EXE first\r\nQUILLON.EXE second\r\n", test::ReadWholeFile(path));

    // Held open without sharing by somebody else: the text is dropped, nothing hangs.
    HANDLE held = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    AppendLogText(path.c_str(), "lost\r\n");
    CloseHandle(held);
    EXPECT_EQ("TASQED.EXE first\r\nQUILLON.EXE second\r\n", test::ReadWholeFile(path));

    AppendLogText((dir + "\\no such folder\\x.log").c_str(), "nowhere\r\n");
    AppendLogText(nullptr, "nothing");
    AppendLogText("", "nothing");
}
