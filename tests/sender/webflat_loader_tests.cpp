// The WEBFLAT.DLL loader against the test double: where it loads from, what it refuses,
// and that each extracted text is released exactly once, heading first.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/module_path.h"
#include "webflat/webflat_loader.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;
using namespace quillon::test;

namespace {

std::string DoublePath(const char *file) { return ModuleDirectory(nullptr) + "\\" + file; }

// A scratch folder holding the double as WEBFLAT.DLL (or nothing when file is null).
std::string FolderWith(const std::string &name, const char *file)
{
    std::string dir = MakeScratchDir(name);
    if (file != nullptr) {
        EXPECT_TRUE(CopyFileA(DoublePath(file).c_str(), (dir + "\\WEBFLAT.DLL").c_str(), FALSE)) << file;
    }
    return dir;
}

class WebFlatLoader : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = FolderWith("webflat_loader", "webflat_double.dll");
        script_ = dir_ + "\\script.txt";
        trace_ = dir_ + "\\trace.txt";
        SetEnvironmentVariableA("QUILLON_WEBFLAT_SCRIPT", script_.c_str());
        SetEnvironmentVariableA("QUILLON_WEBFLAT_TRACE", trace_.c_str());
        WriteWholeFile(script_,
                       "http://a.test/\t0\tThe title\tfirst\\1second\n"
                       "http://fail.test/\t-5\tignored\tignored\n"
                       "http://untitled.test/\t3\t(null)\tonly a body\n"
                       "(document)\t0\tDoc title\tdoc body\n");
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("QUILLON_WEBFLAT_SCRIPT", nullptr);
        SetEnvironmentVariableA("QUILLON_WEBFLAT_TRACE", nullptr);
    }
    // The calls the library has seen since the last look.
    std::string TakeTrace()
    {
        std::string trace = ReadWholeFile(trace_);
        DeleteFileA(trace_.c_str());
        return trace;
    }

    std::string dir_, script_, trace_;
};

} // namespace

TEST(WebFlatLoading, LoadsOnlyFromTheNamedFolderAndOnlyAWholeLibrary)
{
    struct Row {
        const char *label;
        const char *file;  // copied in as WEBFLAT.DLL; null: folder left empty
        bool loads;
    } rows[] = {
        {"the double", "webflat_double.dll", true},
        {"no library in the folder", nullptr, false},
        {"a library without WebFlatFree", "webflat_double_nofree.dll", false},
    };
    for (const Row &row : rows) {
        std::string dir = FolderWith(std::string("webflat_load_") + (row.file ? row.file : "none"), row.file);
        WebFlatLibrary library;
        EXPECT_EQ(row.loads, library.Load(dir)) << row.label;
        EXPECT_EQ(row.loads, library.IsLoaded()) << row.label;
        ExtractedText text;
        if (!row.loads) {
            EXPECT_EQ(-1, library.WebFlat("http://a.test/", nullptr, 10, &text)) << row.label;
        }
        library.Unload();
        EXPECT_TRUE(row.loads ? library.Load(dir + "\\") : !library.Load(dir + "\\")) << row.label << ", trailing slash";
    }
    WebFlatLibrary missing;
    EXPECT_FALSE(missing.Load("Z:\\no\\such\\folder"));

    // A file of that name that is no library at all.
    std::string dir = FolderWith("webflat_load_garbage", nullptr);
    ASSERT_TRUE(WriteWholeFile(dir + "\\WEBFLAT.DLL", "MZ but nothing more"));
    WebFlatLibrary garbage;
    EXPECT_FALSE(garbage.Load(dir));
    EXPECT_FALSE(garbage.IsLoaded());
}

TEST_F(WebFlatLoader, LoadsBesideAnotherModule)
{
    // Any module's folder works: a second copy stands in for a caller's own file.
    ASSERT_TRUE(CopyFileA(DoublePath("webflat_double.dll").c_str(), (dir_ + "\\caller.dll").c_str(), FALSE));
    HMODULE caller = LoadLibraryA((dir_ + "\\caller.dll").c_str());
    ASSERT_NE(nullptr, caller);
    EXPECT_EQ(dir_, ModuleDirectory(caller));
    {
        WebFlatLibrary library;
        EXPECT_TRUE(library.LoadBesideModule(caller));
        ExtractedText text;
        EXPECT_EQ(0, library.WebFlat("http://a.test/", nullptr, 10, &text));
    }
    FreeLibrary(caller);
    // The test program's own folder holds no WEBFLAT.DLL.
    WebFlatLibrary beside;
    EXPECT_FALSE(beside.LoadBesideModule(nullptr));
}

TEST_F(WebFlatLoader, HandsOutWritableTextsAndReleasesHeadingThenBodyOnce)
{
    WebFlatLibrary library;
    ASSERT_TRUE(library.Load(dir_));
    EXPECT_TRUE(library.HasPageFlat());
    {
        ExtractedText text;
        ASSERT_EQ(0, library.WebFlat("http://a.test/", nullptr, 160, &text));
        EXPECT_EQ("WebFlat http://a.test/|(none)|160\n", TakeTrace());
        ASSERT_NE(nullptr, text.Body());
        ASSERT_NE(nullptr, text.Heading());
        EXPECT_STREQ("The title", text.Heading());
        EXPECT_STREQ("first\x01second", text.Body());
        text.Body()[5] = ' ';  // the sender cuts in place
        text.Heading()[0] = '\0';

        // Ownership moves; the moved-from owner releases nothing.
        ExtractedText moved(std::move(text));
        EXPECT_TRUE(text.IsEmpty());
        text.Reset();
        EXPECT_EQ("", TakeTrace());
        ExtractedText assigned;
        assigned = std::move(moved);
        moved.Reset();
        EXPECT_EQ("", TakeTrace());

        // A new extraction into a holder releases what it held first.
        ASSERT_EQ(3, library.WebFlat("http://untitled.test/", "<1,2>", 7, &assigned));
        EXPECT_EQ("free heading\nfree body\nWebFlat http://untitled.test/|<1,2>|7\n", TakeTrace());
        EXPECT_EQ(nullptr, assigned.Heading());
        EXPECT_STREQ("only a body", assigned.Body());
    }
    // A null heading is never passed to WebFlatFree.
    EXPECT_EQ("free body\n", TakeTrace());
}

TEST_F(WebFlatLoader, AFailedExtractionOwnsNothing)
{
    WebFlatLibrary library;
    ASSERT_TRUE(library.Load(dir_));
    {
        ExtractedText text;
        EXPECT_EQ(-5, library.WebFlat("http://fail.test/", "()", 20, &text));
        EXPECT_TRUE(text.IsEmpty());
        EXPECT_EQ(-1, library.WebFlat("http://unscripted.test/", nullptr, 20, &text));
        EXPECT_TRUE(text.IsEmpty());
    }
    EXPECT_EQ("WebFlat http://fail.test/|()|20\nWebFlat http://unscripted.test/|(none)|20\n", TakeTrace());
}

TEST_F(WebFlatLoader, PageFlatTextsAreReleasedTheSameWay)
{
    WebFlatLibrary library;
    ASSERT_TRUE(library.Load(dir_));
    {
        ExtractedText text;
        // The double only names the document; any non-null pointer serves.
        IHTMLDocument2 *document = reinterpret_cast<IHTMLDocument2 *>(&text);
        ASSERT_EQ(0, library.PageFlat(document, "()", 40, &text));
        EXPECT_STREQ("Doc title", text.Heading());
        EXPECT_STREQ("doc body", text.Body());
    }
    EXPECT_EQ("PageFlat (document)|()|40\nfree heading\nfree body\n", TakeTrace());
}
