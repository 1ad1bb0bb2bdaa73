// The portable core of WEBFLAT.DLL: what text a person gets from a page, the element tree
// the selection descriptors count in, descriptors themselves, character sets and the
// word-boundary break marks. Expected bodies write a break mark as '|'.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "webflat/core/address.h"
#include "webflat/core/charset.h"
#include "webflat/core/descriptor.h"
#include "webflat/core/flatten.h"
#include "webflat/core/html_tree.h"

using namespace quillon::webflat;

namespace {

std::string Visible(std::string text)
{
    for (char &c : text)
        if (c == '\x01')
            c = '|';
    return text;
}

std::string BodyOf(const std::string &html) { return Visible(FlattenMarkup(html).body); }

// A page made of documents held in memory; frames are found by their src.
class MemorySite : public DocumentSource {
public:
    MemorySite(const std::map<std::string, std::string> *pages, std::string name) : pages_(pages), name_(std::move(name)) {}
    bool Markup(std::string &utf8) override
    {
        auto it = pages_->find(name_);
        if (it == pages_->end())
            return false;
        utf8 = it->second;
        return true;
    }
    std::unique_ptr<DocumentSource> Frame(size_t index, const std::string &src) override
    {
        requested.push_back(src);
        if (frameCalls != nullptr)
            ++*frameCalls;
        if (pages_->count(src) == 0)
            return nullptr;
        auto frame = std::make_unique<MemorySite>(pages_, src);
        frame->frameCalls = frameCalls;
        return frame;
    }
    std::vector<std::string> requested; // by this document, not its frames
    size_t *frameCalls = nullptr;       // by this document and every frame below it

private:
    const std::map<std::string, std::string> *pages_;
    std::string name_;
};

struct TextCase {
    const char *label;
    const char *html;
    const char *body;
};

TEST(Extraction, TextAsAPersonReadsIt)
{
    const TextCase cases[] = {
        {"paragraphs and headings are blocks", "<h1>Title</h1><p>One</p><p>Two", "Title|One|Two"},
        {"script, style, comments and head hidden",
         "<head><title>T</title><style>p{}</style><script>x='<p>'</script></head>"
         "<body>A<!-- <p>no</p> -->B<script>if(a<b)document.write('</div>')</script>C<noscript>N</noscript>",
         "ABC"},
        {"white space collapsed", "<p>  many \n\t spaces   here  </p>", "many spaces here"},
        {"named references", "<p>&lt;a&gt; &amp; &quot;q&quot; &eacute;t&eacute; &hellip;", "<a> & \"q\" été …"},
        {"legacy reference without semicolon", "<p>&copy 2009 AT&T &ampx", "© 2009 AT&T &x"},
        {"numeric references", "<p>&#65;&#x42;&#X43; &#8220;q&#x201d; &#150; &#0; &#99999999999;",
         "ABC “q” – \xEF\xBF\xBD \xEF\xBF\xBD"},
        {"unknown reference kept", "<p>&nosuchthing; & &#; &#x;", "&nosuchthing; & &#; &#x;"},
        {"non-breaking space is a space", "<p>a&nbsp;&nbsp;b\xC2\xA0" "c", "a b c"},
        {"soft hyphen and zero width vanish", "<p>ex&shy;am\xE2\x80\x8Bple", "example"},
        {"br runs give no empty segments", "<p>a<br><br><br>b</p><p></p><div> </div><p>c", "a|b|c"},
        {"table cells spaced, rows blocks", "<table><tr><td>a</td><td>b</td></tr><tr><th>c<td>d</table>", "a b|c d"},
        {"list items", "<ul><li>one<li>two<ol><li>three</ol></ul>", "one|two|three"},
        {"inline elements join", "<p>a<b>b</b><i>c</i> <a href=x>d</a>", "abc d"},
        {"image alt text", "<p>see <img src=x alt=\"the map\">here<img src=y>", "see the map here"},
        {"hidden elements", "<p>a</p><p hidden>b</p><div style=\"color:red; display: none\">c</div><p>d", "a|d"},
        {"pre keeps its lines", "<pre>line 1\nline  2\n\nline 3</pre>", "line 1|line 2|line 3"},
        {"text before any tag", "plain text<p>para", "plain text|para"},
        {"unclosed tags", "<div><p>a<div><span>b", "a|b"},
        {"misnested inline and block", "<b><p>x</b>y</p>z", "xy|z"},
        {"stray end tags ignored", "</div></span>a</td></table>b", "ab"},
        {"unterminated comment hides the rest", "a<!-- b <p>c", "a"},
        {"unterminated tag is dropped", "a<p class=\"x", "a"},
        {"gt inside quoted attribute", "<p title=\"a>b\">text", "text"},
        {"lone lt is text", "<p>1 < 2 and 3 <> 4 <=5", "1 < 2 and 3 <> 4 <=5"},
        {"control bytes are space, never marks", "<p>a\x01\x02" "b", "a b"},
        {"CR LF and CR are line ends", "<pre>a\r\nb\rc</pre>", "a|b|c"},
        {"textarea shows its text", "<textarea>x &amp; <b>y</b></textarea>", "x & <b>y</b>"},
        {"select and buttons hidden", "<p>a<select><option>o1<option>o2</select><button>b</button>c", "ac"},
        {"frameset noframes content not shown", "<frameset><frame src=a><noframes>old</noframes></frameset>", ""},
        {"doctype and processing instructions", "<!DOCTYPE html><?xml x?><p>t", "t"},
        {"uppercase tags", "<P>A<BR>B<TABLE><TR><TD>C<TD>D</TABLE>", "A|B|C D"},
        {"svg text hidden", "<p>a<svg><text>chart</text><rect/></svg>b", "ab"},
        {"definition lists", "<dl><dt>term<dd>meaning<dt>t2<dd>m2</dl>", "term|meaning|t2|m2"},
        {"text split by comments and ignored tags reads as one", "<p>wo<!--x-->rd a&amp;<!---->b</html>c",
         "word a&bc"},
        {"text fostered out of a table in pieces", "<table>x &amp;<!---->z<tr><td>c</td></tr>y&lt;</table>",
         "x &zy<|c"},
    };
    for (const TextCase &c : cases)
        EXPECT_EQ(BodyOf(c.html), c.body) << c.label;
    EXPECT_EQ(BodyOf(std::string("<p>a\0b</p>\0<p>c", 16)), "ab|c") << "NUL bytes dropped";
}

TEST(Extraction, HeadingIsTheCollapsedTitle)
{
    EXPECT_EQ(FlattenMarkup("<title>\n  Rent &amp;\n Bills </title><p>x").heading, "Rent & Bills");
    EXPECT_EQ(FlattenMarkup("<title>a <b> c</title><body>").heading, "a <b> c");
    EXPECT_EQ(FlattenMarkup("<p>no title").heading, "");
    EXPECT_EQ(FlattenMarkup("<title>first</title><title>second</title>").heading, "first");
    EXPECT_EQ(FlattenMarkup("<title>unterminated").heading, "unterminated");
}

// Paths of element children from BODY, as the browser's children collections give them.
struct TreeCase {
    const char *label;
    const char *html;
    std::vector<size_t> path; // child indices from BODY
    const char *name;         // element name found there
    size_t childCount;        // its element children
};

TEST(ElementTree, ChildrenCountedAsTheBrowserCountsThem)
{
    const TreeCase cases[] = {
        {"paragraphs close each other", "<p>a<p>b<p>c", {}, "", 3},
        {"text nodes are not children", "a<b>x</b>b<i>y</i>c", {}, "", 2},
        {"head content stays in head", "<title>t</title><meta charset=utf-8><link rel=x><p>a", {}, "", 1},
        {"implied tbody", "<table><tr><td>a</table>", {0, 0}, "tbody", 1},
        {"implied row", "<table><td>a<td>b</table>", {0, 0, 0}, "tr", 2},
        {"explicit tbody kept single", "<table><tbody><tr><td>a</tbody></table>", {0}, "table", 1},
        {"cells close cells", "<table><tr><td>a<td>b<td>c</table>", {0, 0, 0}, "tr", 3},
        {"rows close rows", "<table><tr><td>a<tr><td>b</table>", {0, 0}, "tbody", 2},
        {"list items close list items", "<ul><li>a<li>b<li>c</ul>", {0}, "ul", 3},
        {"nested list stays inside", "<ul><li>a<ul><li>b</ul><li>c</ul>", {0}, "ul", 2},
        {"block closes paragraph", "<p>a<div>b</div>", {}, "", 2},
        {"heading closes heading", "<h1>a<h2>b", {}, "", 2},
        {"stray end p makes an empty p", "<div>a</p></div>", {0}, "div", 1},
        {"comments are not children", "<!--x--><p>a<!--y--></p><!--z-->", {}, "", 1},
        {"void elements have no children", "<p>a<br>b<img>c<hr>d", {}, "", 2},
        {"nested tables", "<table><tr><td><table><tr><td>x</table><td>y</table>", {0, 0, 0}, "tr", 2},
        {"stray table elements outside tables", "<td>a<tr>b<tbody>c", {}, "", 0},
        {"unknown elements count", "<custom-el><x>a</x></custom-el><p>b", {0}, "custom-el", 1},
        {"end tag of a parent closes children", "<div><span><b>a</div><p>b", {}, "", 2},
        {"fostered element goes before the table", "<table><div>x</div><tr><td>a</table>", {}, "", 2},
    };
    for (const TreeCase &c : cases) {
        HtmlTree tree(c.html);
        int32_t node = tree.Body();
        ASSERT_NE(node, kNoNode) << c.label;
        bool found = true;
        for (size_t index : c.path) {
            std::vector<int32_t> children = tree.ElementChildren(node);
            if (index >= children.size()) {
                found = false;
                break;
            }
            node = children[index];
        }
        ASSERT_TRUE(found) << c.label;
        if (!c.path.empty()) {
            EXPECT_EQ(tree.ElementName(node), c.name) << c.label;
        }
        EXPECT_EQ(tree.ElementChildren(node).size(), c.childCount) << c.label;
    }
    HtmlTree fostered("<table><div>x</div><tr><td>a</table>");
    std::vector<int32_t> children = fostered.ElementChildren(fostered.Body());
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(fostered.ElementName(children[0]), "div");
    EXPECT_EQ(fostered.ElementName(children[1]), "table");
    EXPECT_EQ(BodyOf("<table><div>x</div><tr><td>a</table>"), "x|a");
}

struct ParseCase {
    const char *label;
    const char *text;
    bool ok;
    bool selects;
};

TEST(Descriptor, ParsesWhatTheAddInWritesAndRefusesTheRest)
{
    const ParseCase cases[] = {
        {"null-like empty", "", true, false},
        {"empty document", "()", true, false},
        {"frames without selection", "(()())", true, false},
        {"third of five", "(<,,<0,-1>,,>)", true, true},
        {"offset to end", "(<,<12,-1>,>)", true, true},
        {"trim end", "(<0,7>)", true, true},
        {"whole body", "(<0,-1>)", true, true},
        {"nested lists", "(<<,<<0,-1>,<3,-1>>>,>)", true, true},
        {"single empty child list", "(<>)", true, true},
        {"selection in second frame", "(()(<,<0,-1>>))", true, true},
        {"bare entry", "<1,<0,-1>>", false, false},
        {"bare list entry", "<,<0,-1>>", true, true},
        {"blanks around", "  (<0,-1>)  ", true, true},
        {"huge numbers clamp", "(<99999999999999999999999,-1>)", true, true},
        {"unbalanced open", "(<,<0,-1>", false, false},
        {"unbalanced close", "(<0,-1>>)", false, false},
        {"missing paren", "(<0,-1>", false, false},
        {"extra paren", "(<0,-1>))", false, false},
        {"stray text", "(<0,-1>x)", false, false},
        {"three numbers", "(<0,1,2>)", false, false},
        {"bad range", "(<3,4>)", false, false},
        {"negative offset", "(<-3,-1>)", false, false},
        {"number and list mixed", "(<1,<0,-1>>)", false, false},
        {"two entries in one document", "(<0,-1><0,-1>)", false, false},
        {"text after", "() junk", false, false},
        {"lone minus", "(<-,-1>)", false, false},
    };
    for (const ParseCase &c : cases) {
        Descriptor d;
        EXPECT_EQ(ParseDescriptor(c.text, d), c.ok) << c.label;
        ASSERT_FALSE(d.documents.empty()) << c.label;
        EXPECT_EQ(d.Selects(0), c.selects) << c.label;
    }
    Descriptor d;
    ASSERT_TRUE(ParseDescriptor("(<99999999999999999999999,-1>)", d));
    EXPECT_EQ(d.entries[static_cast<size_t>(d.documents[0].entry)].number, 2147483647);
}

TEST(Descriptor, DeepAndLongInputNeitherRecursesNorFails)
{
    std::string deep(200000, '<');
    deep += "0,-1";
    deep += std::string(200000, '>');
    Descriptor d;
    EXPECT_TRUE(ParseDescriptor(deep, d)); // lists of one child, 200,000 deep
    std::string nested = "(" + std::string(100000, '<') + "0,-1" + std::string(100000, '>') + ")";
    EXPECT_TRUE(ParseDescriptor(nested, d));
    std::string frames = std::string(100000, '(') + std::string(100000, ')');
    EXPECT_TRUE(ParseDescriptor(frames, d));
    EXPECT_FALSE(d.Selects(0));
    std::string unbalanced(300000, '(');
    EXPECT_FALSE(ParseDescriptor(unbalanced, d));
}

const char kFivePage[] =
    "<title>Five</title><body><p>Zero para</p><p>One para</p><div>Two <b>bold</b> div</div>"
    "<p>Three para</p><table><tr><td>c00<td>c01<td>c02<tr><td>c10<td>c11 text here<td>c12</table>";

struct SelectCase {
    const char *label;
    const char *descriptor;
    const char *body;
};

TEST(Descriptor, SelectsThePartTheUserSelected)
{
    const SelectCase cases[] = {
        {"no descriptor is the whole page", "()", "Zero para|One para|Two bold div|Three para|c00 c01 c02|c10 c11 text here c12"},
        {"third of five", "(<,,<0,-1>,,>)", "Two bold div"},
        {"from offset to end", "(<,<4,-1>,,,>)", "para"},
        {"start less the end", "(<0,4>)", "Zero para|One para|Two bold div|Three para|c00 c01 c02|c10 c11 text here"},
        {"two siblings", "(<<0,-1>,<0,-1>>)", "Zero para|One para"},
        {"table cells wholly and partly",
         "(<,,,,<<<,<1,-1>,<0,-1>>,<<0,-1>,<0,5>,>>>>)", "01|c02|c10|c11 text"},
        {"offsets count a block break as CR LF", "(<,,,,<0,-1>>)", "c00 c01 c02|c10 c11 text here c12"},
        {"body text from an offset across blocks", "(<11,-1>)", "One para|Two bold div|Three para|c00 c01 c02|c10 c11 text here c12"},
    };
    for (const SelectCase &c : cases) {
        MarkupSource page(kFivePage);
        FlatText out;
        ASSERT_EQ(FlattenPage(page, c.descriptor, out), FlattenResult::kOk) << c.label;
        EXPECT_EQ(Visible(out.body), c.body) << c.label;
        EXPECT_EQ(out.heading, "Five") << c.label;
    }
}

TEST(Descriptor, APageThatChangedGivesWhatStillFitsOrTheWholePage)
{
    const SelectCase cases[] = {
        {"list longer than the children: what fits", "(<,,,,,,<0,-1>,<0,-1>>)", ""},
        {"offset past the text end", "(<,<400,-1>,,,>)", ""},
        {"trim more than there is", "(<,<0,400>,,,>)", ""},
        {"partly fitting list", "(<<0,-1>,,,,,,,,<0,-1>>)", "Zero para"},
        {"nested list into an element without children", "(<<<<0,-1>>>>)", ""},
    };
    const std::string whole = "Zero para|One para|Two bold div|Three para|c00 c01 c02|c10 c11 text here c12";
    for (const SelectCase &c : cases) {
        MarkupSource page(kFivePage);
        FlatText out;
        ASSERT_EQ(FlattenPage(page, c.descriptor, out), FlattenResult::kOk) << c.label;
        EXPECT_EQ(Visible(out.body), *c.body != '\0' ? std::string(c.body) : whole) << c.label;
    }
    MarkupSource page(kFivePage);
    FlatText out;
    EXPECT_EQ(FlattenPage(page, "(<,<0,-1>", out), FlattenResult::kBadDescriptor);
    EXPECT_TRUE(out.body.empty());
}

TEST(Descriptor, AFrameThatHoldsItsOwnPageStops)
{
    const std::map<std::string, std::string> site = {
        {"loop", "<frameset><frame src=loop><frame src=loop><frame src=leaf></frameset>"},
        {"leaf", "<p>leaf"},
    };
    size_t fetched = 0;
    MemorySite top(&site, "loop");
    top.frameCalls = &fetched;
    FlatText out;
    ASSERT_EQ(FlattenPage(top, nullptr, out), FlattenResult::kOk);
    EXPECT_GT(fetched, 3u);
    EXPECT_LE(fetched, kMaxFramesPerPage);
    EXPECT_NE(out.body.find("leaf"), std::string::npos);
}

TEST(Descriptor, FramesSelectWithinEachFramesDocument)
{
    const std::map<std::string, std::string> site = {
        {"top", "<title>Top</title><frameset cols=\"50%,50%\"><frame src=\"left.htm\"><frame src=\"right.htm\"></frameset>"},
        {"left.htm", "<title>Left</title><p>left one<p>left two"},
        {"right.htm", "<p>right one<p>right two"},
        {"inline", "<p>before<iframe src=\"ad.htm\">fallback</iframe><p>after"},
        {"ad.htm", "<p>advert"},
    };
    struct FrameCase {
        const char *label;
        const char *page;
        const char *descriptor;
        const char *body;
        std::vector<std::string> fetched;
    };
    const FrameCase cases[] = {
        {"whole frameset page", "top", "(()())", "left one|left two|right one|right two", {"left.htm", "right.htm"}},
        {"selection in the second frame", "top", "(()(<,<0,-1>>))", "right two", {"right.htm"}},
        {"selection in the first frame", "top", "((<<0,-1>>)())", "left one", {"left.htm"}},
        {"iframes are not part of the whole page", "inline", nullptr, "before|after", {}},
        {"but a selection in an iframe is followed", "inline", "((<<0,-1>>))", "advert", {"ad.htm"}},
        {"a frame that is gone gives the whole page", "top", "(()()(<0,-1>))", "left one|left two|right one|right two",
         {"", "left.htm", "right.htm"}},
    };
    for (const FrameCase &c : cases) {
        MemorySite top(&site, c.page);
        FlatText out;
        ASSERT_EQ(FlattenPage(top, c.descriptor, out), FlattenResult::kOk) << c.label;
        EXPECT_EQ(Visible(out.body), c.body) << c.label;
        EXPECT_EQ(top.requested, c.fetched) << c.label;
        if (std::string(c.page) == "top") {
            EXPECT_EQ(out.heading, "Top") << c.label;
        }
    }
}

struct BreakCase {
    const char *label;
    const char *text;
    int32_t maxLen;
    const char *marked;
};

TEST(WordBreaks, LongBlocksGetMarksAtWordBoundaries)
{
    const BreakCase cases[] = {
        {"short text untouched", "one two three", 20, "one two three"},
        {"exactly the limit", "one two", 7, "one two"},
        {"one over the limit", "one two", 6, "one|two"},
        {"greedy last space", "aa bb cc dd ee", 8, "aa bb cc|dd ee"},
        {"space at the limit position", "aaaa bbbb", 4, "aaaa|bbbb"},
        {"existing marks restart the count", "aa bb|cc dd ee ff", 6, "aa bb|cc dd|ee ff"},
        {"word longer than the limit is left to the hard cut", "abcdefghij kl", 4, "abcdefghij|kl"},
        {"after a hard cut marks resume", "abcdefgh ij kl mn", 4, "abcdefgh|ij|kl|mn"},
        {"limit zero leaves text", "a b c", 0, "a b c"},
        {"negative limit leaves text", "a b c", -5, "a b c"},
        {"empty text", "", 3, ""},
    };
    for (const BreakCase &c : cases) {
        std::string text = c.text;
        for (char &ch : text)
            if (ch == '|')
                ch = '\x01';
        MarkWordBreaks(text, c.maxLen);
        EXPECT_EQ(Visible(text), c.marked) << c.label;
    }
}

// Cuts text the way the page sender does and returns the messages; true when every cut
// fell on a mark (never inside a word).
bool CutLikeTheSender(const std::string &text, size_t maxLen, std::vector<std::string> &messages)
{
    bool onlyMarks = true;
    size_t start = 0;
    while (start < text.size()) {
        if (text.size() - start <= maxLen) {
            messages.push_back(text.substr(start));
            break;
        }
        size_t cut = std::string::npos;
        for (size_t k = start + maxLen; k > start; --k)
            if (text[k] == '\x01') {
                cut = k;
                break;
            }
        if (cut == std::string::npos) {
            onlyMarks = false;
            messages.push_back(text.substr(start, maxLen));
            start += maxLen;
        } else {
            messages.push_back(text.substr(start, cut - start));
            start = cut + 1;
        }
    }
    return onlyMarks;
}

TEST(WordBreaks, TheSenderNeverCutsAWordWhenWordsFit)
{
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        const size_t maxLen = 8 + random() % 60;
        std::string text;
        const size_t words = 1 + random() % 80;
        for (size_t w = 0; w < words; ++w) {
            if (!text.empty())
                text.push_back(random() % 9 == 0 ? '\x01' : ' ');
            text.append(1 + random() % (maxLen - 1), static_cast<char>('a' + w % 26));
        }
        std::string marked = text;
        MarkWordBreaks(marked, static_cast<int32_t>(maxLen));
        ASSERT_EQ(marked.size(), text.size());
        std::vector<std::string> messages;
        EXPECT_TRUE(CutLikeTheSender(marked, maxLen, messages)) << "round " << round;
        std::string joined;
        for (const std::string &m : messages) {
            EXPECT_LE(m.size(), maxLen) << "round " << round;
            joined += (joined.empty() ? "" : " ") + m;
        }
        for (char &c : text)
            if (c == '\x01')
                c = ' ';
        for (char &c : joined)
            if (c == '\x01')
                c = ' ';
        EXPECT_EQ(joined, text) << "round " << round;
    }
}

struct CharsetCase {
    const char *label;
    std::string bytes;
    const char *header;
    const char *charset;
};

TEST(Charset, FoundInTheOrderBrowsersUse)
{
    const CharsetCase cases[] = {
        {"utf-8 bom beats header", "\xEF\xBB\xBF<p>x", "iso-8859-2", "utf-8"},
        {"utf-16le bom", "\xFF\xFE<\0p\0", "", "utf-16le"},
        {"header beats meta", "<meta charset=utf-8>", "ISO-8859-2", "iso-8859-2"},
        {"meta charset", "<html><head><meta charset=\"Shift_JIS\">", "", "shift_jis"},
        {"meta http-equiv", "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=koi8-r\">", "", "koi8-r"},
        {"meta in a comment ignored", "<!-- <meta charset=koi8-r> --><p>plain", "", "windows-1252"},
        {"latin1 read as windows-1252", "<meta charset=iso-8859-1>", "", "windows-1252"},
        {"undeclared valid utf-8", "<p>caf\xC3\xA9", "", "utf-8"},
        {"undeclared invalid utf-8", "<p>caf\xE9", "", "windows-1252"},
        {"plain ascii", "<p>cafe", "", "windows-1252"},
        {"meta utf-16 read as utf-8", "<meta charset=utf-16>", "", "utf-8"},
    };
    for (const CharsetCase &c : cases)
        EXPECT_EQ(DetectCharset(c.bytes, c.header), c.charset) << c.label;
    EXPECT_EQ(CharsetFromContentType("text/html; charset=\"UTF-8\""), "utf-8");
    EXPECT_EQ(CharsetFromContentType("text/html;charset=windows-1251;x=y"), "windows-1251");
    EXPECT_EQ(CharsetFromContentType("text/html"), "");
}

TEST(Charset, ConvertedToUtf8WithoutFailingOnBadBytes)
{
    std::string out;
    ASSERT_TRUE(ConvertToUtf8("\x80 \x93q\x94 \xE9", "windows-1252", out));
    EXPECT_EQ(out, "€ “q” é");
    out.clear();
    ASSERT_TRUE(ConvertToUtf8("a\xC3(b\xF0\x9F\x98\x80\xED\xA0\x80" "c\xC3", "utf-8", out));
    EXPECT_EQ(out, "a\xEF\xBF\xBD(b\xF0\x9F\x98\x80\xEF\xBF\xBD" "c\xEF\xBF\xBD");
    out.clear();
    ASSERT_TRUE(ConvertToUtf8(std::string("\xFF\xFEh\0\xE9\0=\xD8\0\xDE\0\xD8", 12), "utf-16le", out));
    EXPECT_EQ(out, "h\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD");
    out.clear();
    EXPECT_FALSE(ConvertToUtf8("x", "koi8-r", out));
    EXPECT_TRUE(out.empty());
}

TEST(Address, KindsFileUrlsAndFrameSources)
{
    struct KindCase {
        const char *address;
        AddressKind kind;
    };
    const KindCase kinds[] = {
        {"http://host/page.htm", AddressKind::kWeb},   {"HTTPS://host/", AddressKind::kWeb},
        {"file:///C:/a.htm", AddressKind::kFile},      {"C:\\docs\\Rent.htm", AddressKind::kLocalPath},
        {"\\\\server\\share\\x.htm", AddressKind::kLocalPath}, {"  page.htm ", AddressKind::kLocalPath},
        {"ftp://host/x", AddressKind::kUnsupported},   {"javascript:alert(1)", AddressKind::kUnsupported},
        {"", AddressKind::kUnsupported},
    };
    for (const KindCase &c : kinds)
        EXPECT_EQ(ClassifyAddress(c.address), c.kind) << c.address;

    const std::pair<const char *, const char *> files[] = {
        {"file:///C:/a%20b/x.htm", "C:\\a b\\x.htm"},
        {"file://server/share/x.htm", "\\\\server\\share\\x.htm"},
        {"file://C:\\docs\\x.htm", "C:\\docs\\x.htm"},
        {"file:///C|/x.htm?query#part", "C:\\x.htm"},
        {"file:///home/x.htm", "\\home\\x.htm"},
    };
    for (const auto &c : files)
        EXPECT_EQ(PathOfFileUrl(c.first), c.second) << c.first;

    struct ResolveCase {
        const char *base;
        const char *src;
        const char *resolved;
    };
    const ResolveCase resolved[] = {
        {"http://h/a/b/page.htm", "frame.htm", "http://h/a/b/frame.htm"},
        {"http://h/a/b/page.htm", "../x.htm", "http://h/a/x.htm"},
        {"http://h/a/b/page.htm", "../../../x.htm", "http://h/x.htm"},
        {"http://h", "f.htm", "http://h/f.htm"},
        {"http://h/a/?q=1", "/r/s.htm?x#y", "http://h/r/s.htm?x#y"},
        {"https://h/a/b", "//cdn/x", "https://cdn/x"},
        {"http://h/a/b/page.htm", "http://other/x", "http://other/x"},
        {"C:\\docs\\page.htm", "frames/left.htm", "C:\\docs\\frames\\left.htm"},
        {"C:\\docs\\page.htm", "../up.htm", "C:\\up.htm"},
        {"C:\\docs\\page.htm", "/root.htm", "C:\\root.htm"},
        {"file:///C:/docs/page.htm", "left.htm", "C:\\docs\\left.htm"},
        {"\\\\srv\\share\\p.htm", "a.htm", "\\\\srv\\share\\a.htm"},
        {"http://h/p.htm", "", ""},
    };
    for (const ResolveCase &c : resolved)
        EXPECT_EQ(ResolveAddress(c.base, c.src), c.resolved) << c.base << " + " << c.src;
}

// Bad input gives a result in bounded memory and without recursion on depth.
TEST(BadInput, DeepWideAndHugePagesGiveAResult)
{
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<div><b>";
    deep += "bottom";
    EXPECT_EQ(BodyOf(deep), "bottom");

    std::string tables;
    for (int i = 0; i < 20000; ++i)
        tables += "<table><tr><td>";
    tables += "cell";
    EXPECT_EQ(BodyOf(tables), "cell");

    std::string bigAttribute = "<p title=\"" + std::string(10u << 20, 'x') + "\">after<img alt=\"" +
                               std::string(10u << 20, 'y') + "\">";
    FlatText flat = FlattenMarkup(bigAttribute);
    EXPECT_EQ(flat.body.substr(0, 6), "after ");
    EXPECT_LE(flat.body.size(), 70u * 1024); // an alt text is kept to 64 KB

    // Text and elements fostered out of a table that follows many siblings.
    std::string fostered;
    for (int i = 0; i < 50000; ++i)
        fostered += "<p>p";
    fostered += "<div><table>";
    for (int i = 0; i < 50000; ++i)
        fostered += "x<i>y</i>";
    fostered += "<tr><td>cell</table>";
    const std::string fosteredBody = BodyOf(fostered);
    ASSERT_GT(fosteredBody.size(), 11u);
    EXPECT_EQ(fosteredBody.substr(fosteredBody.size() - 11), "xyxyxy|cell");

    std::string unterminatedAttribute = "<p>before<p title=\"" + std::string(1u << 20, 'z');
    EXPECT_EQ(BodyOf(unterminatedAttribute), "before");

    std::string manyTags;
    manyTags.reserve(15u << 20);
    while (manyTags.size() < (15u << 20))
        manyTags += "<i>";
    manyTags += "end";
    FlatText many = FlattenMarkup(manyTags); // past the node cap new tags are ignored
    EXPECT_EQ(many.body, "end");
}

// Past the node budget text still reaches the body, in order, whether it stands in the
// markup as written or needs decoding.
TEST(BadInput, TextPastTheNodeBudgetIsKept)
{
    const size_t elements = HtmlTree::kMaxNodes + 1000;
    const size_t texts = HtmlTree::kMaxNodes + 100000; // more than the text nodes allowed
    std::string page;
    page.reserve(elements * 3 + texts * 4 + 32);
    for (size_t i = 0; i < elements; ++i)
        page += "<b>";
    for (size_t i = 0; i < texts; ++i)
        page += "y<!>"; // a comment between keeps each y a text run of its own
    page += "&amp;<!>y<i>z<!>w";
    const std::string body = FlattenMarkup(page).body;
    EXPECT_EQ(body.size(), texts + 4);
    EXPECT_EQ(body.find_first_not_of('y'), texts);
    EXPECT_EQ(body.substr(texts), "&yzw");
}

TEST(BadInput, FiftyMegabytesOfPage)
{
    std::string page;
    page.reserve(51u << 20);
    page += "<title>Big</title>";
    const std::string paragraph = "<p>Lorem ipsum dolor sit amet, <b>consectetur</b> adipiscing elit &amp; more.</p>\n";
    while (page.size() < (50u << 20))
        page += paragraph;
    FlatText flat = FlattenMarkup(page);
    EXPECT_EQ(flat.heading, "Big");
    EXPECT_EQ(flat.body.substr(0, 62), "Lorem ipsum dolor sit amet, consectetur adipiscing elit & more");
}

} // namespace
