// A change-watching page task on the whole road under Wine: the real tasqui.dll,
// quillon.exe, WEBFLAT.DLL and mailwire.dll, a page on loopback HTTP (127.0.0.119) and
// the SMTP server run_e2e.sh started on 127.0.0.118:25. The scheduler's minute tick runs
// the task twice over the same page and the server gets one message; after the page
// changes, the next tick delivers a second one.
#include "tests/webflat/loopback_http_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "scheduler/config/configuration.h"
#include "scheduler/engine/product_engine.h"
#include "tasqui_h.h"
#include "tests/support/end_to_end_setup.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {
namespace {

constexpr char kSmtpAddress[] = "127.0.0.118";
constexpr char kHttpAddress[] = "127.0.0.119";

std::string Page(const std::string &news)
{
    return "<html><head><title>Harbour board</title></head><body><h1>Harbour board</h1><p>" + news +
           "</p></body></html>";
}

std::string TaskPath(const std::string &name) { return std::string(kTasksKeyPath) + "\\" + name; }

// Makes the task due again within the same minute: a task run every minute is not due
// twice in one, and waiting for the clock would make this test minutes long. The
// scheduler then reloads its list as after a submission.
void MarkNeverRun(const std::string &name, ShellState *shell)
{
    RegistryKey key;
    ASSERT_EQ(OpenUserKey(TaskPath(name).c_str(), &key), ERROR_SUCCESS);
    DateTime zero = {};
    ASSERT_EQ(key.WriteBinary(task_values::kLastRun, &zero, sizeof zero), ERROR_SUCCESS);
    shell->taskListChanged = true;
}

size_t Count(const std::string &text, const std::string &what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

TEST(ChangeWatchEndToEnd, AnUnchangedPageIsDeliveredOnceAndAChangedOneAgain)
{
    ASSERT_NE(std::getenv("QUILLON_E2E_MAILDIR"), nullptr) << "run through run_e2e.sh";
    ResetProductRegistry();
    const std::string scratch = MakeScratchDir("change_watch_e2e");
    const std::string logFile = scratch + "\\quillon.log";
    ASSERT_TRUE(SetCurrentDirectoryA(BinDir().c_str()));

    LoopbackHttpServer server(kHttpAddress, {});
    ASSERT_FALSE(server.Base().empty());
    auto serve = [&](const std::string &news) {
        server.SetRoute("/board.htm", HttpResponse("200 OK", "Content-Type: text/html\r\n", Page(news)));
    };
    serve("Ferry on time.");
    ASSERT_EQ(S_OK, RegisterScheduleComponent());
    ASSERT_TRUE(WriteConfigurationRows(EndToEndConfiguration(kSmtpAddress, "scheduler@example.org", logFile)));
    const std::string taskKey = TimestampKeyName(LocalNow());
    ASSERT_TRUE(WriteMinutePageTask(taskKey, server.Base() + "/board.htm", true));

    std::vector<size_t> delivered;
    std::vector<size_t> pageFetches;
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        ComPtr<ITasqeduleUI> component;
        ASSERT_EQ(CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER, IID_ITasqeduleUI,
                                   component.PutVoid()),
                  S_OK);
        SchedulerSettings settings;
        ASSERT_TRUE(LoadConfiguration(&settings));
        ShellState shell;
        shell.taskListChanged = true;
        ProductEngine engine(settings, shell, nullptr, component.Get());
        auto tick = [&] {
            engine.MinuteTick();
            EXPECT_FALSE(shell.tickBusy);
            delivered.push_back(MaildirMessages(std::getenv("QUILLON_E2E_MAILDIR")).size());
            pageFetches.push_back(server.Requested().size());
        };
        tick();
        MarkNeverRun(taskKey, &shell);
        tick();
        serve("Ferry cancelled: storm warning.");
        MarkNeverRun(taskKey, &shell);
        tick();
    }
    CoUninitialize();

    EXPECT_EQ(pageFetches, (std::vector<size_t>{1, 2, 3})) << "every tick ran the task";
    EXPECT_EQ(delivered, (std::vector<size_t>{1, 1, 2}));
    std::vector<std::string> messages = MaildirMessages(std::getenv("QUILLON_E2E_MAILDIR"));
    ASSERT_EQ(messages.size(), 2u);
    std::string all = messages[0] + messages[1];
    EXPECT_EQ(Count(all, "Ferry on time."), 1u) << all;
    EXPECT_EQ(Count(all, "Ferry cancelled: storm warning."), 1u) << all;

    const std::string log = ReadWholeFile(logFile);
    EXPECT_EQ(Count(log, "QUILLON.EXE unchanged\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "Task completed successfully"), 3u) << "an unchanged page is no failure\n" << log;
    EXPECT_EQ(Count(log, "Succeeded in sending message"), 2u) << log;

    // The scheduler's LastRun writes kept the page sender's digest and the setting.
    RegistryKey task;
    ASSERT_EQ(OpenUserKey(TaskPath(taskKey).c_str(), &task), ERROR_SUCCESS);
    unsigned char digest[32] = {};
    EXPECT_EQ(task.ReadBinary(task_values::kLastTextDigest, digest, sizeof digest), ERROR_SUCCESS);
    DWORD setting = 0;
    EXPECT_EQ(task.ReadDword(task_values::kSendIfChanged, &setting), ERROR_SUCCESS);
    EXPECT_EQ(setting, 1u);
    ResetProductRegistry();
}

} // namespace
} // namespace quillon::test
