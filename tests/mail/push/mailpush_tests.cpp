// mailpush against loopback doubles of the seven services (tests/mail/push/push_fake.py
// on 127.0.0.201, started and stopped around this program by CTest fixtures, with its
// test authority trusted in the prefix). Each double checks the request's method, path,
// headers and body as its service documents them and records what arrived; these tests
// read that record.
#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "mail/loader/mail_library.h"
#include "common/push/push_secret.h"
#include "mail/push/push_session.h"
#include "tests/resources/debug_output_reader.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

using Json = nlohmann::json;
using push::Service;

const char kHost[] = "https://127.0.0.201";
const char kNtfyToken[] = "tk_QuillonNtfyToken";
const char kBotToken[] = "123456:QuillonBotToken";
const char kGotifyKey[] = "AQuillonGotifyKey";
const char kPushoverToken[] = "aQuillonPushoverToken";
const char kPushoverUser[] = "uQuillonUserKey";

std::string At(int port, const std::string &path = "") { return std::string(kHost) + ":" + std::to_string(port) + path; }

push::ServiceSettings SettingsFor(Service service)
{
    push::ServiceSettings s;
    s.service = static_cast<uint32_t>(service);
    switch (service) {
    case Service::kNtfy: s.server = At(8441); s.target = "alerts"; s.secret = kNtfyToken; break;
    case Service::kTelegram: s.server = At(8442); s.target = "-1001234"; s.secret = kBotToken; break;
    case Service::kDiscord: s.secret = At(8443, "/api/webhooks/4242/QuillonDiscordSecret"); break;
    case Service::kSlack: s.secret = At(8444, "/services/T0/B0/QuillonSlackSecret"); break;
    case Service::kGotify: s.server = At(8445); s.secret = kGotifyKey; break;
    case Service::kPushover: s.server = At(8446); s.target = kPushoverUser; s.secret = kPushoverToken; break;
    case Service::kJsonWebhook: s.secret = At(8447, "/hooks/QuillonJsonSecret"); break;
    }
    return s;
}

const char *FakeName(Service service)
{
    static const char *names[] = {"", "ntfy", "telegram", "discord", "slack", "gotify", "pushover", "json"};
    return names[static_cast<uint32_t>(service)];
}

std::vector<std::string> AllSecrets()
{
    std::vector<std::string> secrets;
    for (uint32_t v = push::kFirstService; v <= push::kLastService; ++v)
        secrets.push_back(SettingsFor(static_cast<Service>(v)).secret);
    return secrets;
}

std::string FakeDir()
{
    const char *dir = std::getenv("QUILLON_PUSH_FAKE_DIR");
    return dir != nullptr ? test::WindowsPathOf(dir) : std::string();
}

// The requests the doubles recorded whose body holds `marker`, waiting up to timeoutMs
// for at least `count` of them.
std::vector<Json> Arrivals(const std::string &marker, size_t count = 1, DWORD timeoutMs = 3000)
{
    std::vector<Json> found;
    for (DWORD waited = 0;; waited += 100) {
        found.clear();
        std::istringstream lines(test::ReadWholeFile(FakeDir() + "\\received.jsonl"));
        std::string line;
        while (std::getline(lines, line)) {
            Json entry = Json::parse(line, nullptr, false);
            // The parsed fields too: a form body carries the marker percent-encoded.
            if (!entry.is_discarded() && (entry.value("body", "").find(marker) != std::string::npos ||
                                          (entry.contains("fields") && entry["fields"].dump().find(marker) !=
                                                                           std::string::npos)))
                found.push_back(entry);
        }
        if (found.size() >= count || waited >= timeoutMs)
            return found;
        Sleep(100);
    }
}

std::string LogFile()
{
    static const std::string file = test::MakeScratchDir("mailpush_tests") + "\\push.log";
    return file;
}

std::string LogText() { return test::ReadWholeFile(LogFile()); }

// A session of a library built from settings, logging to LogFile().
struct Session {
    explicit Session(const push::ServiceSettings &settings, DWORD waitMs = kDefaultPushMessageWaitMs)
        : library(settings, true, waitMs)
    {
        logon = library.Logon(&handle, 1, LogFile().c_str());
    }
    ~Session() { library.Logoff(handle); }
    MailResult Send(const std::string &subject, const std::string &body)
    {
        return library.Send(handle, subject.c_str(), body.c_str());
    }
    PushLibrary library;
    MailSession handle = 0;
    MailResult logon;
};

std::string Ansi(const wchar_t *text)
{
    char buffer[512];
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, &lossy);
    EXPECT_GT(n, 0);
    EXPECT_FALSE(lossy) << "the system code page cannot hold the test text";
    return buffer;
}

TEST(Mailpush, FakesAreRunning) { ASSERT_FALSE(FakeDir().empty()) << "QUILLON_PUSH_FAKE_DIR is not set"; }

// Every service receives one message in its documented shape, non-ASCII text arriving
// as the same characters in UTF-8.
TEST(Mailpush, EachServiceReceivesTheMessageInItsOwnShape)
{
    const std::string subject = Ansi(L"Caf\u00e9 news");
    const std::string utf8Subject = "Caf\xC3\xA9 news";
    for (uint32_t v = push::kFirstService; v <= push::kLastService; ++v) {
        const Service service = static_cast<Service>(v);
        SCOPED_TRACE(FakeName(service));
        const std::string marker = std::string("shape-") + FakeName(service);
        const std::string body = Ansi(L"Price \u20ac5 \u00fcber <b> & \"q\" ") + marker;
        const std::string utf8Body = "Price \xE2\x82\xAC" "5 \xC3\xBC" "ber <b> & \"q\" " + marker;
        Session session(SettingsFor(service));
        ASSERT_EQ(session.logon, kMailOk);
        EXPECT_EQ(session.Send(subject, body), kMailOk);

        std::vector<Json> got = Arrivals(marker);
        ASSERT_EQ(got.size(), 1u);
        const Json &arrival = got[0];
        EXPECT_EQ(arrival["service"], FakeName(service));
        EXPECT_EQ(arrival["shape_errors"], Json::array()) << arrival.dump();
        EXPECT_EQ(arrival["method"], "POST");
        const Json &fields = arrival["fields"];
        const Json &headers = arrival["headers"];
        const std::string joined = utf8Subject + "\n" + utf8Body;
        switch (service) {
        case Service::kNtfy:
            EXPECT_EQ(fields, (Json{{"topic", "alerts"}, {"title", utf8Subject}, {"message", utf8Body}}));
            EXPECT_EQ(headers.value("authorization", ""), std::string("Bearer ") + kNtfyToken);
            break;
        case Service::kTelegram:
            EXPECT_EQ(fields, (Json{{"chat_id", "-1001234"}, {"text", joined}}));
            break;
        case Service::kDiscord:
            EXPECT_EQ(fields, (Json{{"content", joined}, {"allowed_mentions", {{"parse", Json::array()}}}}));
            break;
        case Service::kSlack:
            EXPECT_EQ(fields, (Json{{"text", utf8Subject + "\n" + "Price \xE2\x82\xAC" "5 \xC3\xBC" "ber &lt;b&gt; &amp; \"q\" " +
                                                 marker}}));
            break;
        case Service::kGotify:
            EXPECT_EQ(fields, (Json{{"title", utf8Subject}, {"message", utf8Body}}));
            EXPECT_EQ(headers.value("x-gotify-key", ""), kGotifyKey);
            break;
        case Service::kPushover:
            EXPECT_EQ(fields, (Json{{"token", kPushoverToken}, {"user", kPushoverUser}, {"title", utf8Subject},
                                    {"message", utf8Body}}));
            break;
        case Service::kJsonWebhook:
            EXPECT_EQ(fields, (Json{{"title", utf8Subject}, {"message", utf8Body}}));
            break;
        }
        EXPECT_EQ(headers.count("authorization") != 0, service == Service::kNtfy);
    }
    EXPECT_NE(LogText().find("MAILPUSH Sent to Telegram: status 200"), std::string::npos) << LogText();
}

// Refusals fail the message; a service that cannot take it now leaves it (and the rest
// of the session) not attempted, with the Retry-After it gave.
TEST(Mailpush, RefusalsFailAndUnavailableServicesDefer)
{
    struct Case {
        const char *trigger;
        MailResult result;
        const char *logged;
    };
    const Case cases[] = {
        {"#401", kMailFailed, "refused the message: status 401"},
        {"#404", kMailFailed, "refused the message: status 404"},
        {"#429", kMailNotAttempted, "cannot take the message now: status 429"},
        {"#500", kMailNotAttempted, "cannot take the message now: status 500"},
    };
    for (uint32_t v = push::kFirstService; v <= push::kLastService; ++v) {
        const Service service = static_cast<Service>(v);
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(FakeName(service)) + " " + c.trigger);
            const std::string marker = std::string("judge-") + FakeName(service) + c.trigger;
            const size_t logBefore = LogText().size();
            Session session(SettingsFor(service));
            ASSERT_EQ(session.logon, kMailOk);
            EXPECT_EQ(session.Send("Alert", marker), c.result);
            ASSERT_EQ(Arrivals(marker).size(), 1u);
            std::string logged = LogText().substr(logBefore);
            EXPECT_NE(logged.find(c.logged), std::string::npos) << logged;
            if (std::string(c.trigger) == "#429") {
                EXPECT_NE(logged.find("Retry-After 7 s"), std::string::npos) << logged;
                // The rest of the pass is not attempted, and not sent either.
                EXPECT_EQ(session.Send("Alert", marker + "-later"), kMailNotAttempted);
                EXPECT_TRUE(Arrivals(marker + "-later", 1, 300).empty());
            }
        }
    }
}

TEST(Mailpush, LongTextArrivesInNumberedPartsOneSecondApart)
{
    std::string body;
    for (int i = 0; body.size() < 4500; ++i)
        body += "split-word" + std::to_string(i) + " ";
    Session session(SettingsFor(Service::kDiscord));
    ASSERT_EQ(session.logon, kMailOk);
    EXPECT_EQ(session.Send("Long page", body), kMailOk);
    std::vector<Json> parts = Arrivals("split-word", 3);
    ASSERT_EQ(parts.size(), 3u);
    std::string joined;
    for (size_t k = 0; k < parts.size(); ++k) {
        std::string content = parts[k]["fields"]["content"];
        std::string marker = "(" + std::to_string(k + 1) + "/3) ";
        ASSERT_EQ(content.compare(0, marker.size(), marker), 0) << content.substr(0, 20);
        EXPECT_LE(content.size(), 2000u);
        EXPECT_EQ(parts[k]["shape_errors"], Json::array());
        joined += content.substr(marker.size());
        if (k > 0) {
            EXPECT_GE(parts[k]["time"].get<double>() - parts[k - 1]["time"].get<double>(), 0.9)
                << "one request a second to one chat";
        }
    }
    EXPECT_EQ(joined, "Long page\n" + body);
    EXPECT_NE(LogText().find("MAILPUSH Sent part 3/3 to Discord: status 200"), std::string::npos);
}

// The deadline covers the whole message: a server that never answers, or answers a
// byte now and then, is cut off at it, and the message is left for a later pass.
TEST(Mailpush, SilentAndTricklingServersAreCutOffAtTheDeadline)
{
    for (int port : {8450, 8451}) {
        SCOPED_TRACE(port);
        push::ServiceSettings settings = SettingsFor(Service::kNtfy);
        settings.server = At(port);
        Session session(settings, 3000);
        ASSERT_EQ(session.logon, kMailOk);
        ULONGLONG start = GetTickCount64();
        EXPECT_EQ(session.Send("Slow", "deadline-" + std::to_string(port)), kMailNotAttempted);
        ULONGLONG took = GetTickCount64() - start;
        EXPECT_GE(took, 2900u);
        EXPECT_LT(took, 15000u);
        EXPECT_EQ(Arrivals("deadline-" + std::to_string(port)).size(), 1u) << "the request did arrive";
        start = GetTickCount64();
        EXPECT_EQ(session.Send("Slow", "after"), kMailNotAttempted);
        EXPECT_LT(GetTickCount64() - start, 500u) << "later messages of the pass do not wait again";
    }
    EXPECT_NE(LogText().find("No answer from ntfy in time"), std::string::npos) << LogText();
}

TEST(Mailpush, UntrustedCertificateAndRefusedConnection)
{
    push::ServiceSettings untrusted = SettingsFor(Service::kNtfy);
    untrusted.server = At(8452);
    Session refusedCertificate(untrusted);
    ASSERT_EQ(refusedCertificate.logon, kMailOk);
    EXPECT_EQ(refusedCertificate.Send("Cert", "untrusted-cert"), kMailFailed);
    EXPECT_TRUE(Arrivals("untrusted-cert", 1, 500).empty()) << "nothing may reach an untrusted server";
    EXPECT_NE(LogText().find("certificate of ntfy's server was refused"), std::string::npos) << LogText();

    push::ServiceSettings closed = SettingsFor(Service::kNtfy);
    closed.server = At(8454);   // nobody listens there
    Session refused(closed);
    EXPECT_EQ(refused.Send("Closed", "closed-port"), kMailNotAttempted);
    EXPECT_NE(LogText().find("Cannot reach ntfy"), std::string::npos) << LogText();
}

TEST(Mailpush, PlainHttpOnlyForASelfHostedServerAndWithAWarning)
{
    push::ServiceSettings plain = SettingsFor(Service::kNtfy);
    plain.server = "http://127.0.0.201:8453";
    Session session(plain);
    ASSERT_EQ(session.logon, kMailOk);
    EXPECT_EQ(session.Send("Plain", "plain-http"), kMailOk);
    EXPECT_EQ(Arrivals("plain-http").size(), 1u);
    EXPECT_NE(LogText().find("the text travels in clear"), std::string::npos);

    push::ServiceSettings webhook = SettingsFor(Service::kJsonWebhook);
    webhook.secret = "http://127.0.0.201:8453/hooks/QuillonJsonSecret";
    Session refused(webhook);
    EXPECT_EQ(refused.logon, kMailFailed);
    EXPECT_NE(LogText().find("Logon failed: the webhook URL is not https"), std::string::npos);
}

// The library as the scheduler loads it: settings from the registry, the secret
// protected for the user, the debug lines at load and unload.
TEST(Mailpush, DllReadsItsSettingsAndSecretFromTheRegistry)
{
    test::ResetProductRegistry();
    std::string blob;
    ASSERT_TRUE(ProtectPushSecret(kBotToken, &blob));
    EXPECT_EQ(blob.find(kBotToken), std::string::npos);
    ASSERT_TRUE(test::WriteConfigurationRows({test::Number(config_values::kPushService, 2),
                                              test::Text(config_values::kPushServer, At(8442)),
                                              test::Text(config_values::kPushTarget, "-1001234"),
                                              test::Raw(config_values::kPushSecret, REG_BINARY, blob)}));
    test::DebugOutputReader debug;
    std::string error;
    ASSERT_TRUE(debug.Start(error)) << error;
    {
        MailLibrary library;
        ASSERT_EQ(library.Load((test::BinDir() + "\\mailpush.dll").c_str()), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_TRUE(debug.WaitFor("MAILPUSH loading\n", 3000));
        MailSession session = 0;
        ASSERT_EQ(library.Logon("", "", &session, 1, LogFile().c_str()), kMailOk);
        EXPECT_NE(session, 0u);
        EXPECT_EQ(library.Send(session, "Quillon", "Telegram: -1001234", "Dll", "through-the-dll"), kMailOk);
        library.Logoff(session);
    }
    EXPECT_TRUE(debug.WaitFor("MAILPUSH unloading\n", 3000));
    EXPECT_EQ(Arrivals("through-the-dll").size(), 1u);

    // A secret that is not a protected blob: the logon fails and says so.
    ASSERT_TRUE(test::WriteConfigurationRows({test::Raw(config_values::kPushSecret, REG_BINARY, "not a blob")}));
    {
        MailLibrary library;
        ASSERT_EQ(library.Load((test::BinDir() + "\\mailpush.dll").c_str()), static_cast<DWORD>(ERROR_SUCCESS));
        MailSession session = 0;
        EXPECT_EQ(library.Logon("", "", &session, 1, LogFile().c_str()), kMailFailed);
    }
    EXPECT_NE(LogText().find("Logon failed: PushSecret is missing or cannot be read"), std::string::npos);
    test::ResetProductRegistry();
}

// Runs last: nothing any test above logged holds a secret.
TEST(Mailpush, NoSecretInTheLog)
{
    const std::string log = LogText();
    ASSERT_FALSE(log.empty());
    for (const std::string &secret : AllSecrets()) {
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
        // Nor the secret part of a webhook's address.
        size_t slash = secret.rfind('/');
        if (secret.compare(0, 8, "https://") == 0) {
            EXPECT_EQ(log.find(secret.substr(slash + 1)), std::string::npos) << secret;
        }
    }
    EXPECT_EQ(log.find("QuillonBotToken"), std::string::npos);
}

} // namespace
} // namespace quillon
