// WEBFLAT.DLL as its callers use it: loaded by file name from the installation folder,
// its exports looked up by name, pages fetched over loopback HTTP (a server thread in
// this test on 127.0.0.61), read from files by path and file:// URL, and taken from a
// double of the browser's document object.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/handles.h"
#include "webflat/webflat_contract.h"
#include "tests/support/wine_test_support.h"
#include "tests/webflat/fake_document.h"
#include "tests/webflat/loopback_http_server.h"

using namespace quillon;
using quillon::test::HttpResponse;
using quillon::test::LoopbackHttpServer;

namespace {

// The fakes are COM objects; this test only names IHTMLDocument2, so it releases them
// through IUnknown.
void ReleaseDocument(IHTMLDocument2 *document) { reinterpret_cast<IUnknown *>(document)->Release(); }

class Library {
public:
    Library()
    {
        module_.Reset(LoadLibraryA((test::BinDir() + "\\" + kWebFlatLibraryName).c_str()));
        webFlat = module_.Resolve<WebFlatFunction>(kWebFlatExport);
        pageFlat = module_.Resolve<PageFlatFunction>(kPageFlatExport);
        free = module_.Resolve<WebFlatFreeFunction>(kWebFlatFreeExport);
    }
    UniqueModule module_;
    WebFlatFunction webFlat = nullptr;
    PageFlatFunction pageFlat = nullptr;
    WebFlatFreeFunction free = nullptr;
};

Library &Lib()
{
    static Library library;
    return library;
}

struct Flat {
    int32_t result = 0;
    std::string body;    // break marks shown as '|'
    std::string heading;
    bool bodyNull = true;
};

Flat Take(int32_t result, char *body, char *heading)
{
    Flat flat;
    flat.result = result;
    flat.bodyNull = body == nullptr;
    if (body != nullptr) {
        body[0] = body[0]; // writable
        flat.body = body;
        for (char &c : flat.body)
            if (c == '\x01')
                c = '|';
    }
    if (heading != nullptr)
        flat.heading = heading;
    Lib().free(heading);
    Lib().free(body);
    return flat;
}

Flat WebFlatOf(const std::string &address, const char *selection = nullptr, int32_t maxLen = 160)
{
    char *body = reinterpret_cast<char *>(1);
    char *heading = reinterpret_cast<char *>(1);
    int32_t result = Lib().webFlat(address.c_str(), selection, &body, &heading, maxLen);
    if (result < 0) {
        EXPECT_EQ(body, nullptr) << address;
        EXPECT_EQ(heading, nullptr) << address;
        return Take(result, nullptr, nullptr);
    }
    return Take(result, body, heading);
}

Flat PageFlatOf(IHTMLDocument2 *document, const char *descriptor = "()", int32_t maxLen = 160)
{
    char *body = nullptr;
    char *heading = nullptr;
    int32_t result = Lib().pageFlat(document, descriptor, &body, &heading, maxLen);
    return Take(result, body, heading);
}

const char kMenuPage[] = "<html><head><title>Caf\xC3\xA9 menu</title><meta charset=utf-8></head>"
                         "<body><h1>Today</h1><p>Soup &amp; bread</p><p>Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e</p></body></html>";
const char kMenuBody[] = "Today|Soup & bread|Cr\xE8me br\xFBl\xE9" "e";
const char kMenuHeading[] = "Caf\xE9 menu";

TEST(Exports, AreFoundByName)
{
    ASSERT_NE(Lib().webFlat, nullptr);
    ASSERT_NE(Lib().pageFlat, nullptr);
    ASSERT_NE(Lib().free, nullptr);
    Lib().free(nullptr); // freeing nothing is harmless
    char *body = nullptr;
    char *heading = nullptr;
    EXPECT_LT(Lib().webFlat(nullptr, nullptr, &body, &heading, 100), 0);
    EXPECT_LT(Lib().webFlat("C:\\x.htm", nullptr, nullptr, &heading, 100), 0);
    EXPECT_LT(Lib().webFlat("C:\\x.htm", nullptr, &body, nullptr, 100), 0);
    EXPECT_LT(Lib().pageFlat(nullptr, "()", &body, &heading, 100), 0);
    EXPECT_EQ(body, nullptr);
    EXPECT_EQ(heading, nullptr);
}

TEST(WebFlatOverHttp, CharsetsRedirectsAndFailures)
{
    std::string koi8 = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\"><title>K</title><p>\xBF 2026";
    LoopbackHttpServer server(
        "127.0.0.61",
        {
            {"/menu.htm", HttpResponse("200 OK", "Content-Type: text/html; charset=UTF-8\r\n", kMenuPage)},
            {"/latin.htm", HttpResponse("200 OK", "Content-Type: text/html; charset=ISO-8859-1\r\n",
                                        "<meta charset=utf-8><title>L</title><p>caf\xE9")},
            {"/koi8.htm", HttpResponse("200 OK", "Content-Type: text/html\r\n", koi8)},
            {"/moved", HttpResponse("302 Found", "Location: /menu.htm\r\n", "")},
            {"/error", HttpResponse("500 Internal Server Error", "Content-Type: text/html\r\n", "<p>oops")},
            {"/frames.htm", HttpResponse("200 OK", "Content-Type: text/html\r\n",
                                         "<title>Framed</title><frameset cols=\"*,*\"><frame src=\"left.htm\">"
                                         "<frame src=\"sub/right.htm\"></frameset>")},
            {"/left.htm", HttpResponse("200 OK", "Content-Type: text/html\r\n", "<p>left one<p>left two")},
            {"/sub/right.htm", HttpResponse("200 OK", "Content-Type: text/html\r\n", "<p>right one<p>right two")},
        });
    ASSERT_FALSE(server.Base().empty());
    struct Case {
        const char *label;
        std::string path;
        const char *selection;
        bool ok;
        const char *body;
        const char *heading;
    };
    const Case cases[] = {
        {"utf-8 from the header", "/menu.htm", nullptr, true, kMenuBody, kMenuHeading},
        {"header charset beats the meta", "/latin.htm", nullptr, true, "caf\xE9", "L"},
        {"meta charset through a system code page", "/koi8.htm", nullptr, true, "\xA9 2026", "K"},
        {"redirect followed", "/moved", nullptr, true, kMenuBody, kMenuHeading},
        {"selection applied", "/menu.htm", "(<,<0,-1>,>)", true, "Soup & bread", kMenuHeading},
        {"empty descriptor is the whole page", "/menu.htm", "()", true, kMenuBody, kMenuHeading},
        {"frames fetched relative to the page", "/frames.htm", nullptr, true, "left one|left two|right one|right two",
         "Framed"},
        {"selection in a frame", "/frames.htm", "(()(<,<0,-1>>))", true, "right two", "Framed"},
        {"404 fails", "/missing.htm", nullptr, false, "", ""},
        {"500 fails", "/error", nullptr, false, "", ""},
        {"bad descriptor fails", "/menu.htm", "(<,<0,-1>", false, "", ""},
    };
    for (const Case &c : cases) {
        Flat flat = WebFlatOf(server.Base() + c.path, c.selection);
        EXPECT_EQ(flat.result >= 0, c.ok) << c.label << " result " << flat.result;
        EXPECT_EQ(flat.body, c.body) << c.label;
        EXPECT_EQ(flat.heading, c.heading) << c.label;
    }
    Flat refused = WebFlatOf("http://127.0.0.61:1/nothing-listens-here");
    EXPECT_LT(refused.result, 0);
    EXPECT_LT(WebFlatOf("ftp://127.0.0.61/x.htm").result, 0);
}

class LocalFiles : public ::testing::Test {
protected:
    void SetUp() override { dir_ = test::MakeScratchDir("webflat_library"); }
    std::string Write(const std::string &name, const std::string &content)
    {
        std::string path = dir_ + "\\" + name;
        EXPECT_TRUE(test::WriteWholeFile(path, content));
        return path;
    }
    std::string dir_;
};

TEST_F(LocalFiles, PathsAndFileUrlsAreRead)
{
    const std::string path = Write("menu page.htm", kMenuPage);
    std::string slashed = path;
    for (char &c : slashed)
        if (c == '\\')
            c = '/';
    std::string escaped;
    for (char c : slashed)
        escaped += c == ' ' ? std::string("%20") : std::string(1, c);
    struct Case {
        const char *label;
        std::string address;
    };
    const Case cases[] = {
        {"plain path", path},
        {"plain path with blanks around", "  " + path + " "},
        {"file URL with three slashes", "file:///" + escaped},
        {"file URL with backslashes", "file://" + path},
    };
    for (const Case &c : cases) {
        Flat flat = WebFlatOf(c.address);
        EXPECT_EQ(flat.result, 0) << c.label;
        EXPECT_EQ(flat.body, kMenuBody) << c.label;
        EXPECT_EQ(flat.heading, kMenuHeading) << c.label;
    }
    EXPECT_LT(WebFlatOf(dir_ + "\\no such page.htm").result, 0);
    EXPECT_LT(WebFlatOf("file:///" + slashed + ".missing").result, 0);
    EXPECT_LT(WebFlatOf("").result, 0);
}

TEST_F(LocalFiles, WhatTheReminderWritesReadsBack)
{
    // An undeclared page in the ANSI code page, the way a small program writes one.
    const std::string path = Write("Rent.htm", "<HTML><HEAD><TITLE>Rent due</TITLE></HEAD><BODY>Pay the rent \x80 450"
                                               "<BR>Caf\xE9 at 5</BODY></HTML>");
    Flat flat = WebFlatOf(path);
    EXPECT_EQ(flat.result, 0);
    EXPECT_EQ(flat.body, "Pay the rent \x80 450|Caf\xE9 at 5");
    EXPECT_EQ(flat.heading, "Rent due");
}

TEST_F(LocalFiles, LongBlocksAreMarkedForTheLengthLimit)
{
    std::string words;
    for (int i = 0; i < 60; ++i)
        words += "word" + std::to_string(i) + " ";
    const std::string path = Write("long.htm", "<p>" + words + "</p><p>short</p>");
    Flat flat = WebFlatOf(path, nullptr, 30);
    ASSERT_EQ(flat.result, 0);
    size_t start = 0;
    size_t segments = 0;
    while (start <= flat.body.size()) {
        size_t mark = flat.body.find('|', start);
        size_t end = mark == std::string::npos ? flat.body.size() : mark;
        EXPECT_LE(end - start, 30u) << flat.body.substr(start, end - start);
        EXPECT_GT(end - start, 0u);
        ++segments;
        if (mark == std::string::npos)
            break;
        start = mark + 1;
    }
    EXPECT_GT(segments, 10u);
    EXPECT_EQ(flat.body.substr(flat.body.size() - 6), "|short");
}

TEST_F(LocalFiles, OversizedAndHostilePagesGiveAResult)
{
    std::string big = "<title>Big</title>";
    while (big.size() < (20u << 20))
        big += "<p>The same paragraph again, and again, and again.</p>\n";
    Flat flat = WebFlatOf(Write("big.htm", big));
    EXPECT_EQ(flat.result, 0);
    EXPECT_EQ(flat.heading, "Big");
    EXPECT_LT(flat.body.size(), 16u << 20); // read up to the size cap

    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<div><span>";
    deep += "deep text";
    EXPECT_EQ(WebFlatOf(Write("deep.htm", deep)).body, "deep text");

    std::string hostile("<p>a\0b\xFF\xFE\xC3<p title=\"", 18);
    hostile += std::string(10u << 20, 'q') + "\">c";
    Flat odd = WebFlatOf(Write("hostile.htm", hostile), "(<99999999999999999999,-1>)");
    EXPECT_EQ(odd.result, 0);
}

TEST(PageFlatOfBrowserDocument, GivesTheSameTextAsWebFlat)
{
    const std::wstring outer = L"<html><head><title>Caf\u00e9 menu</title></head><body><h1>Today</h1>"
                               L"<p>Soup &amp; bread</p><p>Cr\u00e8me br\u00fbl\u00e9e</p></body></html>";
    IHTMLDocument2 *document = CreateFakeDocument(outer.c_str(), nullptr, 0);
    ASSERT_NE(document, nullptr);
    Flat flat = PageFlatOf(document, "()");
    EXPECT_EQ(flat.result, 0);
    EXPECT_EQ(flat.body, kMenuBody);
    EXPECT_EQ(flat.heading, kMenuHeading);
    Flat none = PageFlatOf(document, nullptr);
    EXPECT_EQ(none.body, kMenuBody);
    Flat selected = PageFlatOf(document, "(<,,<0,7>>)");
    EXPECT_EQ(selected.body, "Cr\xE8me");
    EXPECT_EQ(FakeDocumentReferences(document), 1) << "PageFlat released all it took";
    ReleaseDocument(document);
}

TEST(PageFlatOfBrowserDocument, FramesAndSavedMarkup)
{
    IHTMLDocument2 *left = CreateFakeDocument(L"<html><body><p>left one<p>left two</body></html>", nullptr, 0);
    IHTMLDocument2 *right = CreateFakeDocument(L"<html><body><p>right one<p>right two</body></html>", nullptr, 0);
    IHTMLDocument2 *frames[] = {left, nullptr, right};
    IHTMLDocument2 *top = CreateFakeDocument(
        L"<HTML><HEAD><TITLE>Framed</TITLE></HEAD><FRAMESET cols=\"*,*,*\"><FRAME src=\"l.htm\">"
        L"<FRAME src=\"http://elsewhere/\"><FRAME src=\"r.htm\"></FRAMESET></HTML>",
        frames, 3);
    struct Case {
        const char *label;
        const char *descriptor;
        const char *body;
    };
    const Case cases[] = {
        {"whole page: each frame that can be read", "(()()())", "left one|left two|right one|right two"},
        {"selection in the third frame", "(()()(<,<0,-1>>))", "right two"},
        {"selection in a refused frame gives the whole page", "(()(<0,-1>)())", "left one|left two|right one|right two"},
    };
    for (const Case &c : cases) {
        Flat flat = PageFlatOf(top, c.descriptor);
        EXPECT_EQ(flat.result, 0) << c.label;
        EXPECT_EQ(flat.body, c.body) << c.label;
        EXPECT_EQ(flat.heading, "Framed") << c.label;
    }
    EXPECT_EQ(FakeDocumentReferences(top), 1);
    EXPECT_EQ(FakeDocumentReferences(left), 2); // this test's and the top fake's
    ReleaseDocument(top);
    ReleaseDocument(left);
    ReleaseDocument(right);

    const char saved[] = "<html><head><title>Saved</title></head><body><p>caf\xE9 au lait</body></html>";
    IHTMLDocument2 *streamOnly = CreateFakeStreamDocument(saved, sizeof(saved) - 1, L"iso-8859-1");
    Flat flat = PageFlatOf(streamOnly);
    EXPECT_EQ(flat.result, 0);
    EXPECT_EQ(flat.body, "caf\xE9 au lait");
    EXPECT_EQ(flat.heading, "Saved");
    EXPECT_EQ(FakeDocumentReferences(streamOnly), 1);
    ReleaseDocument(streamOnly);
}

} // namespace
