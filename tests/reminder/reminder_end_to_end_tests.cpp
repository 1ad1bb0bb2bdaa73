// A reminder from the window to the queue: scheduled through the real task editor, then
// the page sender quillon.exe run on the created task with the real WEBFLAT.DLL, as the
// scheduler runs it. The queued message is the typed text, under the typed subject,
// characters that HTML would take for markup included.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "resources/resource_ids.h"
#include "tests/reminder/reminder_run.h"
#include "tests/support/mail_queue.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr DWORD kSucceeded = 0xFFFFFFFFu;

std::vector<QueuedMessage> Queue()
{
    std::vector<QueuedMessage> queue;
    for (const QueuedMessage &message : ReadQueuedMessages())
        if (message.opened)
            queue.push_back(message);
    return queue;
}

TEST(ReminderEndToEnd, TheTypedReminderReachesTheQueueAsTyped)
{
    ASSERT_EQ(S_OK, RegisterScheduleComponent());
    HMODULE resources = LoadLibraryA((BinDir() + "\\tasqen.dll").c_str());
    ASSERT_NE(resources, nullptr);
    ResetProductRegistry();
    WriteReminderConfiguration("160", 1);
    const std::string folder = MakeScratchDir("reminder_end_to_end");
    PersonalFolderRedirect redirect(folder);

    const std::string subject = "Rent <May> & water";
    const std::string message = "Pay <landlord> 500 & the water bill by Friday";
    {
        ReminderRun run(resources);
        ASSERT_NE(run.Window(), nullptr);
        run.SetField(IDM_FOCUS_SUBJECT, subject);
        run.SetField(IDM_FOCUS_MESSAGE, message);
        EXPECT_EQ(run.Schedule(0, true), "Send text from " + subject);
        EXPECT_EQ(run.Stop(), 0);
    }
    std::vector<StoredTask> tasks = StoredTasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].selection, "\"" + folder + "\\Rent -May- & water.htm\"");

    ProcessResult result =
        RunProcess("\"" + BinDir() + "\\" + tasks[0].appName + "\" " + tasks[0].commandLine, 30000, BinDir().c_str());
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, kSucceeded);
    std::vector<QueuedMessage> queue = Queue();
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue[0].subject, subject);
    EXPECT_EQ(queue[0].body, message);
    ResetProductRegistry();
}

} // namespace
