// The push services' requests, the split of long texts and the judging of answers,
// without a network.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "common/push/push_request.h"

namespace quillon::push {
namespace {

using Json = nlohmann::json;

ServiceSettings Settings(Service service, const std::string &server, const std::string &target,
                         const std::string &secret)
{
    ServiceSettings s;
    s.service = static_cast<uint32_t>(service);
    s.server = server;
    s.target = target;
    s.secret = secret;
    return s;
}

PushRequest RequestFor(const ServiceSettings &settings, const std::string &subject, const std::string &body)
{
    Url url;
    std::string chat, error;
    bool plain = false;
    EXPECT_TRUE(CheckSettings(settings, &url, &chat, &plain, &error)) << error;
    const ServiceInfo *info = FindService(settings.service);
    std::vector<MessagePart> parts = SplitMessage(*info, subject, body);
    EXPECT_EQ(parts.size(), 1u);
    return BuildRequest(settings, url, parts.front());
}

std::string HeaderOf(const PushRequest &request, const std::string &name)
{
    for (const auto &header : request.headers)
        if (header.first == name)
            return header.second;
    return "<absent>";
}

// Each service's request, as its documentation shows it.
TEST(PushRequest, EachServiceGetsItsDocumentedShape)
{
    struct Case {
        const char *label;
        ServiceSettings settings;
        std::string host;
        uint16_t port;
        std::string path;
        std::string contentType;
        std::string authorization, gotifyKey;
        std::string body;   // exact text for the form, JSON compared as JSON otherwise
    };
    const Case cases[] = {
        {"ntfy.sh with token", Settings(Service::kNtfy, "", "alerts", "tk_secret"), "ntfy.sh", 443, "/",
         "application/json", "Bearer tk_secret", "<absent>",
         R"({"topic":"alerts","title":"Page","message":"Text"})"},
        {"ntfy self-hosted, no token", Settings(Service::kNtfy, "https://push.example.net:8443/ntfy/", "t", ""),
         "push.example.net", 8443, "/ntfy/", "application/json", "<absent>", "<absent>",
         R"({"topic":"t","title":"Page","message":"Text"})"},
        {"telegram", Settings(Service::kTelegram, "", "-100123", "123:ABC"), "api.telegram.org", 443,
         "/bot123:ABC/sendMessage", "application/json", "<absent>", "<absent>",
         R"({"chat_id":"-100123","text":"Page\nText"})"},
        {"discord", Settings(Service::kDiscord, "", "", "https://discord.com/api/webhooks/1/tok"), "discord.com", 443,
         "/api/webhooks/1/tok?wait=true", "application/json", "<absent>", "<absent>",
         R"({"content":"Page\nText","allowed_mentions":{"parse":[]}})"},
        {"discord with a thread query",
         Settings(Service::kDiscord, "", "", "https://discord.com/api/webhooks/1/tok?thread_id=9"), "discord.com",
         443, "/api/webhooks/1/tok?thread_id=9&wait=true", "application/json", "<absent>", "<absent>",
         R"({"content":"Page\nText","allowed_mentions":{"parse":[]}})"},
        {"slack", Settings(Service::kSlack, "", "", "https://hooks.slack.com/services/T/B/X"), "hooks.slack.com", 443,
         "/services/T/B/X", "application/json", "<absent>", "<absent>", R"({"text":"Page\nText"})"},
        {"gotify", Settings(Service::kGotify, "https://gotify.example.net/", "", "AppTok"), "gotify.example.net", 443,
         "/message", "application/json", "<absent>", "AppTok", R"({"title":"Page","message":"Text"})"},
        {"pushover", Settings(Service::kPushover, "", "uKey", "aTok"), "api.pushover.net", 443, "/1/messages.json",
         "application/x-www-form-urlencoded", "<absent>", "<absent>", "token=aTok&user=uKey&title=Page&message=Text"},
        {"json webhook", Settings(Service::kJsonWebhook, "", "", "https://hooks.example.org/in/42"),
         "hooks.example.org", 443, "/in/42", "application/json", "<absent>", "<absent>",
         R"({"title":"Page","message":"Text"})"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        PushRequest request = RequestFor(c.settings, "Page", "Text");
        EXPECT_EQ(request.url.host, c.host);
        EXPECT_EQ(request.url.port, c.port);
        EXPECT_TRUE(request.url.secure);
        EXPECT_EQ(request.url.path, c.path);
        EXPECT_EQ(request.contentType, c.contentType);
        EXPECT_EQ(HeaderOf(request, "Authorization"), c.authorization);
        EXPECT_EQ(HeaderOf(request, "X-Gotify-Key"), c.gotifyKey);
        if (c.contentType == "application/json") {
            EXPECT_EQ(Json::parse(request.body), Json::parse(c.body));
        } else {
            EXPECT_EQ(request.body, c.body);
        }
    }
}

TEST(PushRequest, TextsAreEscapedByTheirFormat)
{
    // JSON escaping of quotes, backslashes, control characters and non-ASCII text.
    const std::string tricky = "a \"q\" \\ \x01 \xC3\xA9\xE2\x82\xAC <b>&amp;";
    PushRequest ntfy = RequestFor(Settings(Service::kNtfy, "", "t", ""), "", tricky);
    EXPECT_EQ(Json::parse(ntfy.body)["message"].get<std::string>(), tricky);
    EXPECT_FALSE(Json::parse(ntfy.body).contains("title")) << "an empty subject sends no title";
    // Slack: &, < and > as entities, so that "<!channel>" pings nobody.
    PushRequest slack = RequestFor(Settings(Service::kSlack, "", "", "https://h.example/x"), "", "<!channel> & Co");
    EXPECT_EQ(Json::parse(slack.body)["text"].get<std::string>(), "&lt;!channel&gt; &amp; Co");
    // Pushover: form encoding of UTF-8.
    PushRequest pushover = RequestFor(Settings(Service::kPushover, "", "u", "k"), "Ti tle", "\xC3\xA9=&+");
    EXPECT_EQ(pushover.body, "token=k&user=u&title=Ti%20tle&message=%C3%A9%3D%26%2B");
    // Bytes that are not UTF-8 cannot break the JSON.
    PushRequest broken = RequestFor(Settings(Service::kNtfy, "", "t", ""), "", "bad \xFF byte");
    EXPECT_NO_THROW(Json::parse(broken.body));
}

TEST(PushRequest, SettingsThatCannotMakeARequestAreRefusedWithoutTheSecret)
{
    struct Case {
        const char *label;
        ServiceSettings settings;
        bool accepted;
        bool plainHttp;
    };
    const Case cases[] = {
        {"no such service", Settings(static_cast<Service>(9), "", "t", "SECRET9"), false, false},
        {"service 0", Settings(static_cast<Service>(0), "", "t", "SECRET0"), false, false},
        {"ntfy without topic", Settings(Service::kNtfy, "", "", ""), false, false},
        {"telegram without token", Settings(Service::kTelegram, "", "1", ""), false, false},
        {"gotify without server", Settings(Service::kGotify, "", "", "tok"), false, false},
        {"self-hosted ntfy over http", Settings(Service::kNtfy, "http://192.168.1.5:8080", "t", ""), true, true},
        {"self-hosted gotify over http", Settings(Service::kGotify, "http://gotify.lan", "", "tok"), true, true},
        {"pushover over http", Settings(Service::kPushover, "http://api.pushover.net", "u", "tok"), false, false},
        {"discord webhook over http", Settings(Service::kDiscord, "", "", "http://discord.com/api/webhooks/1/SECRET"),
         false, false},
        {"webhook not a URL", Settings(Service::kJsonWebhook, "", "", "ftp://SECRET@example"), false, false},
        {"webhook with user info", Settings(Service::kSlack, "", "", "https://SECRET@example.com/x"), false, false},
        {"port out of range", Settings(Service::kNtfy, "https://h:70000", "t", ""), false, false},
        {"empty port", Settings(Service::kNtfy, "https://h:/", "t", ""), false, false},
        {"space in URL", Settings(Service::kNtfy, "https://h /x", "t", ""), false, false},
        {"IPv6 host and port", Settings(Service::kNtfy, "https://[::1]:8443", "t", ""), true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        Url url;
        std::string chat, error;
        bool plain = true;
        EXPECT_EQ(CheckSettings(c.settings, &url, &chat, &plain, &error), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(plain, c.plainHttp);
        } else {
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(error.find("SECRET"), std::string::npos) << error;
        }
    }
}

TEST(PushRequest, OneChatGivesOneKey)
{
    Url url;
    std::string a, b, c, error;
    bool plain;
    ASSERT_TRUE(CheckSettings(Settings(Service::kTelegram, "", "1", "t"), &url, &a, &plain, &error));
    ASSERT_TRUE(CheckSettings(Settings(Service::kTelegram, "", "1", "t"), &url, &b, &plain, &error));
    ASSERT_TRUE(CheckSettings(Settings(Service::kTelegram, "", "2", "t"), &url, &c, &plain, &error));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(PushSplit, LongTextsBecomeNumberedPartsWithinEachLimitAndNothingIsLost)
{
    // A text of many words with non-ASCII characters of 2, 3 and 4 UTF-8 bytes.
    std::string body;
    for (int i = 0; body.size() < 9000; ++i)
        body += "word" + std::to_string(i) + (i % 7 == 0 ? " \xC3\xA9t\xC3\xA9" : "") +
                (i % 11 == 0 ? " \xE2\x82\xAC" : "") + (i % 13 == 0 ? " \xF0\x9F\x93\x9F" : "") + " ";
    for (uint32_t value = kFirstService; value <= kLastService; ++value) {
        const ServiceInfo &service = *FindService(value);
        SCOPED_TRACE(service.name);
        std::vector<MessagePart> parts = SplitMessage(service, "Subject", body);
        ASSERT_GE(parts.size(), 2u);
        std::string joined;
        for (size_t k = 0; k < parts.size(); ++k) {
            const std::string marker = "(" + std::to_string(k + 1) + "/" + std::to_string(parts.size()) + ") ";
            ASSERT_EQ(parts[k].text.compare(0, marker.size(), marker), 0) << parts[k].text.substr(0, 12);
            // (The text holds no &, < or >, so Slack's escaped length is the same.)
            size_t measured = MeasureText(parts[k].text, service.unit);
            EXPECT_LE(measured, service.limit) << "part " << k + 1;
            joined += parts[k].text.substr(marker.size());
            EXPECT_EQ(parts[k].title, service.titleLimit > 0 ? "Subject" : "");
        }
        const std::string expected = service.titleLimit > 0 ? body : "Subject\n" + body;
        EXPECT_EQ(joined, expected) << "every character arrives once, in order";
    }
}

TEST(PushSplit, TextWithinTheLimitIsOnePartWithoutMarker)
{
    const ServiceInfo &discord = *FindService(static_cast<uint32_t>(Service::kDiscord));
    std::string exact(2000 - 8, 'x');   // "Subject\n" + text = 2000 characters
    std::vector<MessagePart> parts = SplitMessage(discord, "Subject", exact);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].text, "Subject\n" + exact);
    EXPECT_EQ(SplitMessage(discord, "Subject", exact + "y").size(), 2u);
}

TEST(PushSplit, EachServiceCountsInItsOwnUnit)
{
    // 2,048 euro signs: 2,048 UTF-16 units (fits Telegram), 6,144 bytes (too long for ntfy).
    std::string euros;
    for (int i = 0; i < 2048; ++i)
        euros += "\xE2\x82\xAC";
    EXPECT_EQ(SplitMessage(*FindService(2), "", euros).size(), 1u);
    EXPECT_EQ(SplitMessage(*FindService(1), "", euros).size(), 2u);
    // 2,048 characters beyond U+FFFF are 4,096 UTF-16 units: still one Telegram message;
    // one more is two.
    std::string pagers;
    for (int i = 0; i < 2048; ++i)
        pagers += "\xF0\x9F\x93\x9F";
    EXPECT_EQ(SplitMessage(*FindService(2), "", pagers).size(), 1u);
    EXPECT_EQ(SplitMessage(*FindService(2), "", pagers + "\xF0\x9F\x93\x9F").size(), 2u);
    // Slack counts its entities: 600 ampersands are 3,000 characters once escaped.
    EXPECT_EQ(SplitMessage(*FindService(4), "", std::string(600, '&')).size(), 1u);
    EXPECT_EQ(SplitMessage(*FindService(4), "", std::string(601, '&')).size(), 2u);
    // A cut never falls inside a character.
    for (const MessagePart &part : SplitMessage(*FindService(1), "", euros)) {
        const std::string text = part.text.substr(6);   // after "(k/2) "
        EXPECT_EQ(text.size() % 3, 0u) << "cut inside a character";
        EXPECT_EQ(text[0], '\xE2');
    }
}

TEST(PushSplit, PushoverTitleIsCutTo250Characters)
{
    std::string title;
    for (int i = 0; i < 300; ++i)
        title += "\xC3\xA9";
    std::vector<MessagePart> parts = SplitMessage(*FindService(6), title, "x");
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(MeasureText(parts[0].title, LengthUnit::kCharacters), 250u);
}

TEST(PushAnswer, VerdictsFollowTheServicesOwnAnswers)
{
    struct Case {
        const char *label;
        Service service;
        int status;
        std::string body;
        std::string retryAfter;
        Verdict verdict;
        std::string errorText;
        long retryAfterSeconds;
    };
    const Case cases[] = {
        {"ntfy published", Service::kNtfy, 200, R"({"id":"abc","event":"message","topic":"t"})", "",
         Verdict::kDelivered, "", -1},
        {"ntfy unauthorized", Service::kNtfy, 401,
         R"({"code":40101,"http":401,"error":"unauthorized","link":"https://ntfy.sh/docs/publish/#authentication"})",
         "", Verdict::kRefused, "unauthorized", -1},
        {"ntfy rate limited", Service::kNtfy, 429,
         R"({"code":42901,"http":429,"error":"limit reached: too many requests"})", "30", Verdict::kDeferred,
         "limit reached: too many requests", 30},
        {"telegram ok", Service::kTelegram, 200, R"({"ok":true,"result":{"message_id":5}})", "", Verdict::kDelivered,
         "", -1},
        {"telegram 200 without ok", Service::kTelegram, 200, R"({"ok":false,"description":"odd"})", "",
         Verdict::kRefused, "odd", -1},
        {"telegram 200 not JSON", Service::kTelegram, 200, "<html>portal</html>", "", Verdict::kRefused,
         "<html>portal</html>", -1},
        {"telegram chat not found", Service::kTelegram, 400,
         R"({"ok":false,"error_code":400,"description":"Bad Request: chat not found"})", "", Verdict::kRefused,
         "Bad Request: chat not found", -1},
        {"telegram flood", Service::kTelegram, 429,
         R"({"ok":false,"error_code":429,"description":"Too Many Requests: retry after 17","parameters":{"retry_after":17}})",
         "", Verdict::kDeferred, "Too Many Requests: retry after 17", 17},
        {"discord posted", Service::kDiscord, 200, R"({"id":"1","content":"x"})", "", Verdict::kDelivered, "", -1},
        {"discord deleted webhook", Service::kDiscord, 404, R"({"message": "Unknown Webhook", "code": 10015})", "",
         Verdict::kRefused, "Unknown Webhook", -1},
        {"discord rate limited, body only", Service::kDiscord, 429,
         R"({"message":"You are being rate limited.","retry_after":1.2,"global":false})", "", Verdict::kDeferred,
         "You are being rate limited.", 2},
        {"slack ok", Service::kSlack, 200, "ok", "", Verdict::kDelivered, "", -1},
        {"slack 200 other body", Service::kSlack, 200, "no_text", "", Verdict::kRefused, "no_text", -1},
        {"slack gone", Service::kSlack, 404, "no_service", "", Verdict::kRefused, "no_service", -1},
        {"slack forbidden", Service::kSlack, 403, "invalid_token", "", Verdict::kRefused, "invalid_token", -1},
        {"gotify ok", Service::kGotify, 200, R"({"id":1,"appid":1,"message":"x"})", "", Verdict::kDelivered, "", -1},
        {"gotify bad token", Service::kGotify, 401,
         R"({"error":"Unauthorized","errorCode":401,"errorDescription":"you need to provide a valid access token or user credentials to access this api"})",
         "", Verdict::kRefused,
         "you need to provide a valid access token or user credentials to access this api", -1},
        {"pushover ok", Service::kPushover, 200, R"({"status":1,"request":"647d2300"})", "", Verdict::kDelivered, "",
         -1},
        {"pushover invalid user", Service::kPushover, 400,
         R"({"user":"invalid","errors":["user identifier is invalid"],"status":0,"request":"5042853c"})", "",
         Verdict::kRefused, "user identifier is invalid", -1},
        {"webhook 204", Service::kJsonWebhook, 204, "", "", Verdict::kDelivered, "", -1},
        {"webhook 500 html", Service::kJsonWebhook, 500, "<h1>Internal\n  Server Error</h1>", "", Verdict::kDeferred,
         "<h1>Internal Server Error</h1>", -1},
        {"503 with an HTTP date", Service::kGotify, 503, "", "Wed, 21 Oct 2026 07:28:00 GMT", Verdict::kDeferred, "",
         -1},
        {"redirect is no success", Service::kNtfy, 302, "", "", Verdict::kRefused, "", -1},
        {"huge retry-after is capped", Service::kNtfy, 429, "", "99999999999999", Verdict::kDeferred, "", 604800},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        Judgement j = JudgeAnswer(c.service, c.status, c.body, c.retryAfter);
        EXPECT_EQ(j.verdict, c.verdict);
        EXPECT_EQ(j.status, c.status);
        EXPECT_EQ(j.errorText, c.errorText);
        EXPECT_EQ(j.retryAfterSeconds, c.retryAfterSeconds);
    }
}

TEST(PushAnswer, ErrorTextsAreShortAndPrintable)
{
    std::string longBody = R"({"error":")" + std::string(5000, 'e') + "\x01\xC3\xA9\"}";
    Judgement j = JudgeAnswer(Service::kNtfy, 400, longBody, "");
    EXPECT_LE(j.errorText.size(), kErrorTextLimit);
    for (char c : j.errorText)
        EXPECT_TRUE(c >= 0x20 && c < 0x7F);
    EXPECT_EQ(PrintableText("a\r\n\tb\xC3\xA9", 10), "a b??");
}

TEST(PushService, TableAndDestinations)
{
    const char *names[] = {"ntfy", "Telegram", "Discord", "Slack", "Gotify", "Pushover", "JSON webhook"};
    const size_t limits[] = {4096, 4096, 2000, 3000, 4096, 1024, 4096};
    for (uint32_t v = kFirstService; v <= kLastService; ++v) {
        ASSERT_NE(FindService(v), nullptr);
        EXPECT_STREQ(FindService(v)->name, names[v - 1]);
        EXPECT_EQ(FindService(v)->limit, limits[v - 1]);
    }
    EXPECT_EQ(FindService(0), nullptr);
    EXPECT_EQ(FindService(8), nullptr);
    EXPECT_EQ(DestinationText(*FindService(1), "alerts"), "ntfy: alerts");
    EXPECT_EQ(DestinationText(*FindService(3), "ignored"), "Discord");
}

} // namespace
} // namespace quillon::push
