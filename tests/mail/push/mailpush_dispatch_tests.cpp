// The scheduler's own dispatch pass delivering queued pages through mailpush.dll to the
// loopback doubles of the services (tests/mail/push/push_fake.py), and what a refusing
// or unavailable service leaves in the queue.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "common/win_datetime.h"
#include "common/push/push_secret.h"
#include "scheduler/engine/mail_dispatch.h"
#include "scheduler/engine/win_services.h"
#include "queue/message_queue.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

struct ServiceRows {
    uint32_t service;
    const char *server;
    const char *target;
    const char *secret;
    const char *destination;
};

const ServiceRows kServices[] = {
    {1, "https://127.0.0.201:8441", "alerts", "tk_QuillonNtfyToken", "ntfy: alerts"},
    {2, "https://127.0.0.201:8442", "-1001234", "123456:QuillonBotToken", "Telegram: -1001234"},
    {3, "", "", "https://127.0.0.201:8443/api/webhooks/4242/QuillonDiscordSecret", "Discord"},
    {4, "", "", "https://127.0.0.201:8444/services/T0/B0/QuillonSlackSecret", "Slack"},
    {5, "https://127.0.0.201:8445", "", "AQuillonGotifyKey", "Gotify"},
    {6, "https://127.0.0.201:8446", "uQuillonUserKey", "aQuillonPushoverToken", "Pushover: uQuillonUserKey"},
    {7, "", "", "https://127.0.0.201:8447/hooks/QuillonJsonSecret", "JSON webhook"},
};

std::string Received()
{
    const char *dir = std::getenv("QUILLON_PUSH_FAKE_DIR");
    return dir != nullptr ? test::ReadWholeFile(test::WindowsPathOf(dir) + "\\received.jsonl") : std::string();
}

class PushDispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(std::getenv("QUILLON_PUSH_FAKE_DIR"), nullptr);
        test::ResetProductRegistry();
        logFile_ = test::MakeScratchDir("mailpush_dispatch") + "\\dispatch.log";
    }
    void TearDown() override { test::ResetProductRegistry(); }

    void Configure(const ServiceRows &rows)
    {
        std::string blob;
        ASSERT_TRUE(ProtectPushSecret(rows.secret, &blob));
        ASSERT_TRUE(test::WriteConfigurationRows({test::Number(config_values::kMailSystem, 2),
                                                  test::Text(config_values::kMailLibrary, "mailpush.dll"),
                                                  test::Number(config_values::kPushService, rows.service),
                                                  test::Text(config_values::kPushServer, rows.server),
                                                  test::Text(config_values::kPushTarget, rows.target),
                                                  test::Raw(config_values::kPushSecret, REG_BINARY, blob)}));
        settings_.mailLibrary = test::BinDir() + "\\mailpush.dll";
        settings_.sender = "Quillon";
        settings_.destination = rows.destination;
        settings_.retryCount = 3;
        settings_.logging = true;
        settings_.logFile = logFile_;
    }

    // One pass of the scheduler's dispatcher, as tasqed runs it.
    void DispatchOnce()
    {
        LocalClock clock;
        FileEngineLog log(settings_);
        RegistryMailQueue queue;
        DllMailLibraryLoader libraries;
        MailDispatcher dispatcher(settings_, clock, log, queue, libraries);
        ASSERT_TRUE(dispatcher.IsMailDue());
        dispatcher.DispatchMail();
    }

    static void Queue(const std::string &subject, const std::string &body)
    {
        // Due a second ago, so that the pass finds it due at once.
        Ticks now = 0;
        DateTimeToTicks(LocalNow(), &now);
        DateTime when = {};
        TicksToDateTime(now - kTicksPerSecond, &when);
        ASSERT_TRUE(QueueMessage(when, subject.c_str(), body.c_str()));
    }

    SchedulerSettings settings_;
    std::string logFile_;
};

TEST_F(PushDispatch, QueuedPagesReachEveryServiceAndLeaveTheQueue)
{
    for (const ServiceRows &rows : kServices) {
        SCOPED_TRACE(rows.destination);
        Configure(rows);
        const std::string marker = "dispatched-" + std::to_string(rows.service);
        Queue("Headlines", "Page text " + marker);
        DispatchOnce();
        EXPECT_TRUE(ReadWholeQueue().empty());
        EXPECT_NE(Received().find(marker), std::string::npos);
    }
    const std::string log = test::ReadWholeFile(logFile_);
    EXPECT_NE(log.find("To: ntfy: alerts\r\n"), std::string::npos) << "the log shows the service as the recipient";
    EXPECT_NE(log.find("MAILPUSH Logon: Pushover, server https://127.0.0.201:8446, target uQuillonUserKey"),
              std::string::npos);
    for (const ServiceRows &rows : kServices) {
        std::string secret = rows.secret;
        EXPECT_EQ(log.find(secret.substr(secret.rfind('/') + 1)), std::string::npos) << rows.destination;
    }
}

TEST_F(PushDispatch, AnOverlongPageArrivesWholeInNumberedParts)
{
    Configure(kServices[1]);   // Telegram: 4,096 UTF-16 units
    std::string body;
    for (int i = 0; body.size() < 6000; ++i)
        body += "long-page-" + std::to_string(i) + " ";
    Queue("Long", body);
    DispatchOnce();
    EXPECT_TRUE(ReadWholeQueue().empty());
    const std::string received = Received();
    EXPECT_NE(received.find("\"text\": \"(1/2) Long\\nlong-page-0 "), std::string::npos);
    EXPECT_NE(received.find("\"text\": \"(2/2) "), std::string::npos);
    EXPECT_NE(test::ReadWholeFile(logFile_).find("MAILPUSH Sent part 2/2 to Telegram: status 200"), std::string::npos);
}

// A refusal costs the message one retry; a 429 or 5xx none; the message stays queued
// either way.
TEST_F(PushDispatch, RefusedAndUnavailableServicesLeaveTheMessageQueued)
{
    struct Case {
        const char *trigger;
        bool retryUsed;
    };
    const Case cases[] = {{"#401", true}, {"#404", true}, {"#429", false}, {"#500", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.trigger);
        test::ResetProductRegistry();
        Configure(kServices[2]);   // Discord: 404 is its deleted webhook
        Queue("Alert", std::string("queued ") + c.trigger);
        DispatchOnce();
        std::vector<QueuedMessageRecord> queue = ReadWholeQueue();
        ASSERT_EQ(queue.size(), 1u) << "the message is not lost";
        ASSERT_TRUE(queue[0].hasRetryCount);
        // A service that cannot take it now costs no retry: the message waits as it was.
        EXPECT_EQ(queue[0].retryCount, c.retryUsed ? 1u : 0u);
    }
}

} // namespace
} // namespace quillon
