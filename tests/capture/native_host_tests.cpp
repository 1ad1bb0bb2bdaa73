// The native host's portable part: the browser's message frames, the request, the
// caller check, the reply, and the descriptor built from what the extension sends, read
// back by the text library's own rules.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "capture/host/capture_request.h"
#include "capture/host/native_message.h"
#include "common/watch_address.h"
#include "webflat/core/flatten.h"

using namespace quillon::capture;
using quillon::WatchableAddress;

namespace {

// Gives its bytes one at a time, as a pipe may.
class TricklingSource : public ByteSource {
public:
    explicit TricklingSource(std::string bytes) : bytes_(std::move(bytes)) {}
    size_t Read(void *buffer, size_t size) override
    {
        if (at_ >= bytes_.size() || size == 0)
            return 0;
        static_cast<char *>(buffer)[0] = bytes_[at_++];
        return 1;
    }

private:
    std::string bytes_;
    size_t at_ = 0;
};

std::string Header(uint32_t length)
{
    std::string h;
    for (int shift = 0; shift < 32; shift += 8)
        h.push_back(static_cast<char>((length >> shift) & 0xFF));
    return h;
}

// A JSON text of exactly `size` bytes.
std::string JsonOfSize(size_t size)
{
    const std::string open = "{\"kind\":\"capture\",\"address\":\"http://h/\",\"title\":\"";
    const std::string close = "\"}";
    return open + std::string(size - open.size() - close.size(), 'x') + close;
}

TEST(NativeMessage, LengthsWhoseBytesLookLikeLineEndsOrEndOfFileOrZero)
{
    // 0x0A is a line feed and 0x1A the end-of-file byte of text streams; 0x00 bytes fill
    // every short length's high bytes. The host reads them all as plain binary.
    for (uint32_t length : {0x6Au, 0x10Au, 0x11Au, 0x1A0Au, 0x100u, 0x10000u, 0x0A0Au}) {
        const std::string payload = JsonOfSize(length);
        ASSERT_EQ(payload.size(), length);
        const std::string frame = FrameNativeMessage(payload);
        EXPECT_EQ(frame.substr(0, 4), Header(length)) << length;
        for (int trickle = 0; trickle < 2; ++trickle) {
            MemorySource memory(frame);
            TricklingSource slow(frame);
            ByteSource &source = trickle != 0 ? static_cast<ByteSource &>(slow) : memory;
            std::string read;
            EXPECT_EQ(ReadNativeMessage(source, &read), ReadStatus::kMessage) << length;
            EXPECT_EQ(read, payload) << length;
            CaptureRequest request;
            std::string error;
            EXPECT_TRUE(ParseCaptureRequest(read, &request, &error)) << length << ": " << error;
        }
    }
}

TEST(NativeMessage, RefusesWhatIsNotOneWholeUtf8Message)
{
    struct Row {
        const char *label;
        std::string bytes;
        ReadStatus expected;
    };
    const std::string ok = "{\"a\":\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"}";
    const std::vector<Row> rows = {
        {"nothing at all", "", ReadStatus::kEnd},
        {"two bytes of the length", std::string("\x05\x00", 2), ReadStatus::kCutOff},
        {"payload shorter than its length", Header(10) + "{\"a\":", ReadStatus::kCutOff},
        {"length over the cap", Header(kMaxRequestBytes + 1) + "{}", ReadStatus::kTooLarge},
        {"length 0xFFFFFFFF", Header(0xFFFFFFFFu), ReadStatus::kTooLarge},
        {"overlong slash", Header(4) + "\"\xC0\xAF\"", ReadStatus::kBadUtf8},
        {"surrogate", Header(5) + "\"\xED\xA0\x80\"", ReadStatus::kBadUtf8},
        {"above U+10FFFF", Header(6) + "\"\xF4\x90\x80\x80\"", ReadStatus::kBadUtf8},
        {"lone continuation", Header(3) + "\"\x80\"", ReadStatus::kBadUtf8},
        {"cut character", Header(4) + "\"\xE2\x82\"", ReadStatus::kBadUtf8},
        {"Latin-1 byte", Header(3) + "\"\xE9\"", ReadStatus::kBadUtf8},
        {"well-formed characters", FrameNativeMessage(ok), ReadStatus::kMessage},
        {"empty payload", Header(0), ReadStatus::kMessage},
    };
    for (const Row &row : rows) {
        MemorySource source(row.bytes);
        std::string payload = "stale";
        EXPECT_EQ(ReadNativeMessage(source, &payload), row.expected) << row.label;
        if (row.expected != ReadStatus::kMessage) {
            EXPECT_TRUE(payload.empty()) << row.label;
        }
        EXPECT_STRNE(DescribeReadStatus(row.expected), "") << row.label;
    }
}

TEST(NativeMessage, AMessageExactlyAtTheCapIsRead)
{
    const std::string payload = JsonOfSize(kMaxRequestBytes);
    const std::string frame = FrameNativeMessage(payload);
    MemorySource source(frame);
    std::string read;
    EXPECT_EQ(ReadNativeMessage(source, &read), ReadStatus::kMessage);
    EXPECT_EQ(read.size(), kMaxRequestBytes);
}

TEST(CaptureRequestParse, RefusesTextThatIsNotARequest)
{
    struct Row {
        const char *label;
        const char *json;
    };
    const Row rows[] = {
        {"not JSON", "{\"kind\":"},
        {"trailing garbage", "{\"kind\":\"capture\",\"address\":\"http://h/\"} x"},
        {"an array", "[1,2]"},
        {"no kind", "{\"address\":\"http://h/\"}"},
        {"other kind", "{\"kind\":\"delete\",\"address\":\"http://h/\"}"},
        {"no address", "{\"kind\":\"capture\"}"},
        {"empty address", "{\"kind\":\"capture\",\"address\":\"\"}"},
        {"address a number", "{\"kind\":\"capture\",\"address\":5}"},
        {"selection a text", "{\"kind\":\"capture\",\"address\":\"a\",\"selection\":\"x\"}"},
        {"selection without text", "{\"kind\":\"capture\",\"address\":\"a\",\"selection\":{}}"},
        {"bad point", "{\"kind\":\"capture\",\"address\":\"a\",\"selection\":{\"text\":\"t\",\"start\":{\"path\":[-1],\"offset\":0}}}"},
        {"offset a text", "{\"kind\":\"capture\",\"address\":\"a\",\"selection\":{\"text\":\"t\",\"start\":{\"path\":[],\"offset\":\"1\"}}}"},
        {"frame step a number", "{\"kind\":\"capture\",\"address\":\"a\",\"selection\":{\"text\":\"t\",\"frame\":[3]}}"},
        {"unreadableFrame a text", "{\"kind\":\"capture\",\"address\":\"a\",\"unreadableFrame\":\"yes\"}"},
        {"huge number", "{\"kind\":\"capture\",\"address\":\"a\",\"selection\":{\"text\":\"t\",\"start\":{\"path\":[99999999999999],\"offset\":0}}}"},
    };
    for (const Row &row : rows) {
        CaptureRequest request;
        std::string error;
        EXPECT_FALSE(ParseCaptureRequest(row.json, &request, &error)) << row.label;
        EXPECT_FALSE(error.empty()) << row.label;
    }
}

TEST(CaptureRequestParse, ReadsEveryField)
{
    const char *json = R"({"kind":"capture","address":"http://h/p.html","title":"T","unreadableFrame":false,
      "selection":{"text":"sel","frameAddress":"http://h/f.html","frame":[{"index":1,"count":2}],
                   "markup":"<p>x</p>","start":{"path":[0,2],"offset":3},"end":null}})";
    CaptureRequest request;
    std::string error;
    ASSERT_TRUE(ParseCaptureRequest(json, &request, &error)) << error;
    EXPECT_EQ(request.address, "http://h/p.html");
    EXPECT_EQ(request.title, "T");
    ASSERT_TRUE(request.hasSelection);
    EXPECT_EQ(request.selection.text, "sel");
    EXPECT_EQ(request.selection.frameAddress, "http://h/f.html");
    ASSERT_EQ(request.selection.frame.size(), 1u);
    EXPECT_EQ(request.selection.frame[0].index, 1);
    EXPECT_EQ(request.selection.frame[0].count, 2);
    EXPECT_TRUE(request.selection.hasMarkup);
    EXPECT_TRUE(request.selection.hasStart);
    EXPECT_EQ(request.selection.start.path, (std::vector<long>{0, 2}));
    EXPECT_EQ(request.selection.start.offset, 3);
    EXPECT_FALSE(request.selection.hasEnd);
}

TEST(HostCallerCheck, AcceptsOnlyTheShippedIds)
{
    const char *origin = "chrome-extension://abcdefghijklmnopabcdefghijklmnop/";
    const char *addon = "capture@quillon.kestrova";
    struct Row {
        const char *label;
        std::vector<std::string> arguments;
        bool accepted;
        uint64_t parent;
    };
    const Row rows[] = {
        {"Chromium with its window", {origin, "--parent-window=4242"}, true, 4242},
        {"Chromium without a window", {origin, "--parent-window=0"}, true, 0},
        {"Chromium on Linux", {origin}, true, 0},
        {"bad window number", {origin, "--parent-window=12x"}, true, 0},
        {"window number too large", {origin, "--parent-window=99999999999999999999999"}, true, 0},
        {"another extension", {"chrome-extension://pppppppppppppppppppppppppppppppp/", "--parent-window=1"}, false, 1},
        {"origin without the slash", {"chrome-extension://abcdefghijklmnopabcdefghijklmnop"}, false, 0},
        {"Firefox", {"C:\\Program Files\\Quillon\\com.kestrova.quillon.firefox.json", addon}, true, 0},
        {"another add-on", {"C:\\x.json", "evil@example.com"}, false, 0},
        {"nobody", {}, false, 0},
        {"only a manifest path", {"C:\\x.json"}, false, 0},
    };
    for (const Row &row : rows) {
        const HostCaller caller = IdentifyCaller(row.arguments, origin, addon);
        EXPECT_EQ(caller.accepted, row.accepted) << row.label;
        EXPECT_EQ(caller.parentWindow, row.parent) << row.label;
    }
}

TEST(HostReply, StaysSmallValidUtf8Json)
{
    const std::string huge(3u << 20, 'y');
    const std::string bad = "caf\xE9 \xC3\xA9";
    for (const std::string &message : {huge, bad, std::string("Scheduled: Send text from h/p.html")}) {
        const std::string reply = MakeReply(ReplyStatus::kScheduled, message, "2026 12 11 16 5 0");
        EXPECT_LT(reply.size(), kMaxReplyBytes);
        EXPECT_TRUE(IsWellFormedUtf8(reply));
        const auto parsed = nlohmann::json::parse(reply);
        EXPECT_EQ(parsed["status"], "scheduled");
        EXPECT_EQ(parsed["task"], "2026 12 11 16 5 0");
    }
    EXPECT_EQ(nlohmann::json::parse(MakeReply(ReplyStatus::kCancelled, "x"))["status"], "cancelled");
    const auto error = nlohmann::json::parse(MakeReply(ReplyStatus::kError, "boom"));
    EXPECT_EQ(error["status"], "error");
    EXPECT_EQ(error["message"], "boom");
    EXPECT_FALSE(error.contains("task"));
}

// ---- Descriptors from the extension's points -----------------------------------------

std::string Extract(const std::string &markup, const std::string *descriptor)
{
    quillon::webflat::MarkupSource source(markup);
    quillon::webflat::FlatText flat;
    EXPECT_EQ(quillon::webflat::FlattenPage(source, descriptor != nullptr ? descriptor->c_str() : nullptr, flat),
              quillon::webflat::FlattenResult::kOk);
    return flat.body;
}

CaptureRequest Selecting(const std::string &markup, const std::string &text, TextPoint start, TextPoint end,
                         std::vector<FrameStep> frame = {})
{
    CaptureRequest request;
    request.address = "http://127.0.0.1/page.html";
    request.hasSelection = true;
    request.selection.text = text;
    request.selection.markup = markup;
    request.selection.hasMarkup = true;
    request.selection.hasStart = request.selection.hasEnd = true;
    request.selection.start = std::move(start);
    request.selection.end = std::move(end);
    request.selection.frame = std::move(frame);
    return request;
}

const char kPage[] = "<html><head><title>Harbour</title></head><body>\n<h1>Harbour report</h1>\n"
                     "<p>High tide at 14:32,\n   low tide at 20:47.</p>\n<p>Wind <b>south-west</b> 4.</p>\n"
                     "<table><tr><td>A1 text</td><td>B1 text</td></tr>\n<tr><td>A2 text</td><td>B2 text</td></tr></table>\n"
                     "</body></html>";

TEST(CapturedDescriptor, PointsAsTheExtensionSendsThemSelectWhatWasSelected)
{
    struct Row {
        const char *label;
        const char *selected; // what the browser's selection text would read
        TextPoint start;
        TextPoint end;
        const char *descriptor;
    };
    // Offsets count the element's text nodes as the DOM holds them (white space as written).
    const Row rows[] = {
        {"a whole paragraph", "High tide at 14:32, low tide at 20:47.", {{1}, 0}, {{1}, 41}, "(<,<0,-1>,,>)"},
        {"a paragraph with an inline element", "Wind south-west 4.", {{2}, 0}, {{2}, 18}, "(<,,<0,-1>,>)"},
        {"from a word to the end", "low tide at 20:47.", {{1}, 23}, {{1}, 41}, nullptr},
        {"from the start to a word", "High tide at 14:32,", {{1}, 0}, {{1}, 19}, nullptr},
        {"across table cells", "B1 text A2 text B2", {{3, 0, 0, 1}, 0}, {{3, 0, 1, 1}, 2}, nullptr},
        {"into the bold part", "Wind south", {{2}, 0}, {{2, 0}, 5}, nullptr},
    };
    for (const Row &row : rows) {
        const CaptureRequest request = Selecting(kPage, row.selected, row.start, row.end);
        std::string descriptor;
        ASSERT_EQ(DescribeCapturedSelection(request, &descriptor), DescribeResult::kDescribed) << row.label;
        if (row.descriptor != nullptr) {
            EXPECT_EQ(descriptor, row.descriptor) << row.label;
        }
        const std::string extracted = Extract(kPage, &descriptor);
        EXPECT_TRUE(ExtractedTextIsSelection(extracted, row.selected))
            << row.label << ": " << descriptor << " gave \"" << extracted << "\"";
    }
}

TEST(CapturedDescriptor, ASelectionInsideOneTextIsNotTheExtraction)
{
    // The grammar names an element, its text from an offset, or less its last characters:
    // never a piece from the middle. The library then gives the whole page, and the host
    // must notice that this is not the selection.
    const CaptureRequest request = Selecting(kPage, "tide at 14:32", {{1}, 5}, {{1}, 18});
    std::string descriptor;
    if (DescribeCapturedSelection(request, &descriptor) == DescribeResult::kDescribed) {
        EXPECT_FALSE(ExtractedTextIsSelection(Extract(kPage, &descriptor), request.selection.text)) << descriptor;
    }
}

TEST(CapturedDescriptor, FramesOnTheWayAreListed)
{
    const std::string frame = "<body><p>Frame one.</p><p>Frame two.</p></body>";
    const CaptureRequest request =
        Selecting(frame, "Frame two.", {{1}, 0}, {{1}, 10}, {{1, 3}, {0, 1}});
    std::string descriptor;
    ASSERT_EQ(DescribeCapturedSelection(request, &descriptor), DescribeResult::kDescribed);
    EXPECT_EQ(descriptor, "(()((<,<0,-1>>))())");
}

TEST(CapturedDescriptor, WhatCannotBeDescribed)
{
    struct Row {
        const char *label;
        CaptureRequest request;
        DescribeResult expected;
    };
    CaptureRequest none;
    none.address = "http://h/";
    CaptureRequest noMarkup = Selecting(kPage, "x", {{1}, 0}, {{1}, 3});
    noMarkup.selection.hasMarkup = false;
    CaptureRequest outsideBody = Selecting(kPage, "x", {{1}, 0}, {{1}, 3});
    outsideBody.selection.hasStart = false;
    const Row rows[] = {
        {"nothing selected", none, DescribeResult::kWholePage},
        {"no markup", noMarkup, DescribeResult::kUndescribable},
        {"a point outside BODY", outsideBody, DescribeResult::kUndescribable},
        {"a path past the last child", Selecting(kPage, "x", {{9}, 0}, {{9}, 1}), DescribeResult::kUndescribable},
        {"an offset past the text", Selecting(kPage, "x", {{1}, 0}, {{1}, 500}), DescribeResult::kUndescribable},
        {"ends reversed", Selecting(kPage, "x", {{2}, 0}, {{1}, 0}), DescribeResult::kUndescribable},
        {"a frame index outside its count", Selecting(kPage, "x", {{1}, 0}, {{1}, 3}, {{2, 2}}),
         DescribeResult::kUndescribable},
    };
    for (const Row &row : rows) {
        std::string descriptor = "untouched";
        EXPECT_EQ(DescribeCapturedSelection(row.request, &descriptor), row.expected) << row.label;
        EXPECT_EQ(descriptor, "untouched") << row.label;
    }
}

TEST(ExtractionCheck, HoldsTheSelectionAndLittleElse)
{
    struct Row {
        const char *extracted;
        const char *selected;
        bool expected;
    };
    const Row rows[] = {
        {"High tide\x01" "at 14:32.", "High tide\nat 14:32.", true},
        {"A1 text B1 text\x01" "A2 text", "A1 text\tB1 text\nA2 text", true},
        {"  spaced   out  ", "spaced out", true},
        {"no\xA0" "break", "no break", true},
        {"Other words entirely", "High tide", false},
        {"", "High tide", false},
        {"anything", "  \n ", false},
        {"A whole page of text that holds the few selected words and a great deal more besides them.", "selected words",
         false},
        {"High tide", "high tide", false},
    };
    for (const Row &row : rows)
        EXPECT_EQ(ExtractedTextIsSelection(row.extracted, row.selected), row.expected) << row.extracted;
}

TEST(WatchAddress, TakesWebAddressesAndFilePaths)
{
    struct Row {
        const char *typed;
        const char *expected;
    };
    const Row rows[] = {
        {"http://example.com/page.html", "http://example.com/page.html"},
        {"  HTTPS://Example.com  ", "HTTPS://Example.com"},
        {"file:///C:/docs/page.htm", "file:///C:/docs/page.htm"},
        {"C:\\docs\\page.htm", "C:\\docs\\page.htm"},
        {"\\\\server\\share\\page.htm", "\\\\server\\share\\page.htm"},
        {"", ""},
        {"   ", ""},
        {"example.com", ""},
        {"http://", ""},
        {"http:///path", ""},
        {"ftp://example.com/", ""},
        {"C:", ""},
        {"http://example.com/\"quoted\"", ""},
        {"http://example.com/\x01", ""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(WatchableAddress(row.typed), row.expected) << row.typed;
}

} // namespace
