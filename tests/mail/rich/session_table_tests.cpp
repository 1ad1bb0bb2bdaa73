// The session handle table of mailrich.dll: 32-bit handles for 64-bit session pointers.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "mail/rich/session_table.h"

namespace quillon {
namespace {

struct FakeSession {
    int id;
};

struct Entry {
    FakeSession *session = nullptr;
    bool initialized = false;
};

TEST(SessionTable, PointersAboveFourGigabytesComeBackWhole)
{
    // Session objects above 4 GiB, as a 64-bit MAPI hands them out: a handle that were
    // the truncated pointer would find another object or none.
    FakeSession *high = reinterpret_cast<FakeSession *>(uintptr_t{0x00007FF812345670});
    FakeSession *low = reinterpret_cast<FakeSession *>(uintptr_t{0x0000000012345670});
    SessionTable<Entry, 4> table;
    uint32_t highHandle = table.Add(Entry{high, true});
    uint32_t lowHandle = table.Add(Entry{low, false});
    ASSERT_NE(highHandle, 0u);
    ASSERT_NE(lowHandle, 0u);
    EXPECT_NE(highHandle, lowHandle);
    ASSERT_NE(table.Find(highHandle), nullptr);
    EXPECT_EQ(table.Find(highHandle)->session, high);
    EXPECT_TRUE(table.Find(highHandle)->initialized);
    EXPECT_EQ(table.Find(lowHandle)->session, low);
    EXPECT_EQ(table.Find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(high))), nullptr);
}

TEST(SessionTable, UnknownZeroAndRemovedHandlesFindNothing)
{
    FakeSession one{1};
    SessionTable<Entry, 2> table;
    EXPECT_EQ(table.Find(0), nullptr);
    EXPECT_EQ(table.Find(1), nullptr);
    uint32_t handle = table.Add(Entry{&one, true});
    Entry removed;
    ASSERT_TRUE(table.Remove(handle, &removed));
    EXPECT_EQ(removed.session, &one);
    EXPECT_EQ(table.Find(handle), nullptr);
    EXPECT_FALSE(table.Remove(handle, &removed)) << "a second log-off finds nothing";
    EXPECT_EQ(table.Count(), 0u);
}

TEST(SessionTable, HandlesAreNotReusedAndAFullTableRefuses)
{
    FakeSession sessions[3] = {{1}, {2}, {3}};
    SessionTable<Entry, 2> table;
    std::set<uint32_t> seen;
    for (int round = 0; round < 50; ++round) {
        uint32_t handle = table.Add(Entry{&sessions[0], false});
        ASSERT_NE(handle, 0u);
        EXPECT_TRUE(seen.insert(handle).second) << "handle " << handle << " handed out twice";
        Entry removed;
        ASSERT_TRUE(table.Remove(handle, &removed));
    }
    uint32_t first = table.Add(Entry{&sessions[0], false});
    uint32_t second = table.Add(Entry{&sessions[1], false});
    EXPECT_NE(first, 0u);
    EXPECT_NE(second, 0u);
    EXPECT_EQ(table.Add(Entry{&sessions[2], false}), 0u) << "full";
    EXPECT_EQ(table.Count(), 2u);
    EXPECT_EQ(table.Find(first)->session, &sessions[0]);
    EXPECT_EQ(table.Find(second)->session, &sessions[1]);
}

} // namespace
} // namespace quillon
