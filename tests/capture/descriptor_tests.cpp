// Selection descriptors built over a page and read back by the text library: the text the
// library extracts for the descriptor has to be the text that was selected.
#include <gtest/gtest.h>

#include <map>

#include "capture/capture_text.h"
#include "capture/selection_descriptor.h"
#include "webflat/webflat_contract.h"
#include "tests/capture/markup_page.h"
#include "webflat/core/flatten.h"

using namespace quillon::capture;
using quillon::capture::testing::MarkupPage;
using quillon::capture::testing::Utf8;

namespace {

// Runs of white space, CR LF and break marks read as one space; the ends are trimmed.
std::string Collapsed(const std::string &text)
{
    std::string out;
    bool space = false;
    for (char c : text) {
        if (c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == quillon::kBreakMark) {
            space = true;
            continue;
        }
        if (space && !out.empty())
            out.push_back(' ');
        space = false;
        out.push_back(c);
    }
    return out;
}

std::string Extracted(const std::string &markup, const std::string &descriptor)
{
    quillon::webflat::MarkupSource source(markup);
    quillon::webflat::FlatText flat;
    EXPECT_EQ(quillon::webflat::FlattenPage(source, descriptor.c_str(), flat), quillon::webflat::FlattenResult::kOk)
        << descriptor;
    return flat.body;
}

const char kFiveParagraphs[] =
    "<html><head><title>Harbour</title></head><body><p>First paragraph.</p><p>Second paragraph here.</p>"
    "<p>Third paragraph, the one.</p><p>Fourth paragraph.</p><p>Fifth paragraph.</p></body></html>";
const char kThreeElements[] =
    "<body><h1>Harbour report</h1><p>High tide at 14:32, low tide at 20:47.</p><div>Wind south-west 4.</div></body>";
const char kTable[] =
    "<body><p>Before the table.</p><table><tr><td>A1 text</td><td>B1 text</td></tr>"
    "<tr><td>A2 text</td><td>B2 text</td></tr></table><p>After.</p></body>";
const char kInline[] = "<body><p>Plain start <b>bold words</b> plain end.</p><p>Next one.</p></body>";

struct RoundTripRow {
    const char *label;
    const char *markup;
    const char *select; // the selected text, found in the body text
    int occurrence;
    const char *descriptor;
};

const RoundTripRow kRoundTrips[] = {
    {"one paragraph under BODY", kFiveParagraphs, "Third paragraph, the one.", 0, "(<,,<0,-1>,,>)"},
    {"first of five", kFiveParagraphs, "First paragraph.", 0, "(<<0,-1>,,,,>)"},
    {"offset 13 into the second of three", kThreeElements, "14:32, low tide at 20:47.", 0, "(<,<13,-1>,>)"},
    {"second of three cut at its end", kThreeElements, "High tide at 14:32", 0, "(<,<0,20>,>)"},
    {"inline element inside a paragraph", kInline, "bold words", 0, "(<<<0,-1>>,>)"},
    {"cells of a table, from inside A1 to inside B2", kTable, "1 text B1 text\r\nA2 text B2", 0,
     "(<,<<<<1,-1>,<0,-1>>,<<0,-1>,<0,5>>>>,>)"},
    {"whole table row", kTable, "A2 text B2 text", 0, "(<,<<,<0,-1>>>,>)"},
    {"one cell", kTable, "B1 text", 0, "(<,<<<,<0,-1>>,>>,>)"},
};

TEST(SelectionDescriptor, BuiltFromSelectionAndReadBackByTheLibrary)
{
    for (const RoundTripRow &row : kRoundTrips) {
        SCOPED_TRACE(row.label);
        MarkupPage page(row.markup);
        ASSERT_TRUE(page.SelectText(row.select, row.occurrence)) << Utf8(page.BodyText());
        std::string descriptor = "untouched";
        EXPECT_EQ(BuildSelectionDescriptor(page, &descriptor), DescriptorStatus::kSuccess);
        EXPECT_EQ(descriptor, row.descriptor);
        EXPECT_EQ(Collapsed(Extracted(row.markup, descriptor)), Collapsed(row.select));
        EXPECT_EQ(page.Reports(), 0);
    }
}

TEST(SelectionDescriptor, EverySuffixOfAnElementRoundTrips)
{
    // Selections from any character of the second paragraph to its end.
    MarkupPage page(kThreeElements);
    const std::string second = "High tide at 14:32, low tide at 20:47.";
    for (size_t from = 1; from + 1 < second.size(); ++from) {
        SCOPED_TRACE(from);
        ASSERT_TRUE(page.SelectText(second.substr(from)));
        std::string descriptor;
        ASSERT_EQ(BuildSelectionDescriptor(page, &descriptor), DescriptorStatus::kSuccess);
        if (second[from] == ' ')
            continue; // the trimmed selection starts one character later
        EXPECT_EQ(descriptor, "(<,<" + std::to_string(from) + ",-1>,>)");
        EXPECT_EQ(Collapsed(Extracted(kThreeElements, descriptor)), Collapsed(second.substr(from)));
    }
}

TEST(SelectionDescriptor, NoSelectionGivesTheFramesOrNothing)
{
    MarkupPage plain(kFiveParagraphs);
    std::string descriptor;
    EXPECT_EQ(BuildSelectionDescriptor(plain, &descriptor), DescriptorStatus::kFailure);
    EXPECT_EQ(descriptor, "()");

    // Two frames without a selection, and a third that refuses its document.
    MarkupPage frameset("<frameset><frame src=a.htm><frame src=b.htm></frameset>");
    frameset.AddFrame(std::make_shared<MarkupPage>(kFiveParagraphs));
    frameset.AddFrame(std::make_shared<MarkupPage>(kThreeElements));
    frameset.AddFrame(nullptr);
    EXPECT_EQ(BuildSelectionDescriptor(frameset, &descriptor), DescriptorStatus::kFailure);
    EXPECT_EQ(descriptor, "(()())");

    // A selection in the second frame makes the whole descriptor a success.
    auto selectedFrame = std::make_shared<MarkupPage>(kThreeElements);
    ASSERT_TRUE(selectedFrame->SelectText("Wind south-west 4."));
    MarkupPage withSelection("<frameset><frame src=a.htm><frame src=b.htm></frameset>");
    withSelection.AddFrame(std::make_shared<MarkupPage>(kFiveParagraphs));
    withSelection.AddFrame(selectedFrame);
    EXPECT_EQ(BuildSelectionDescriptor(withSelection, &descriptor), DescriptorStatus::kSuccess);
    EXPECT_EQ(descriptor, "(()(<,,<0,-1>>))");
}

// A hand-built element tree for the rules markup cannot reach (BASE parents, failing
// calls, ranges that cannot be duplicated).
struct Node {
    std::string tag;
    std::u16string text;
    long sourceIndex = 0;
    Node *parent = nullptr;
    std::vector<Node *> children;
    std::vector<PageElement::ChildKind> kinds; // per child; kElement when shorter
};

class NodeView : public PageElement {
public:
    explicit NodeView(const Node *node) : node_(node) {}
    bool InnerText(std::u16string &text) const override
    {
        text = node_->text;
        return true;
    }
    std::string TagName() const override { return node_->tag; }
    std::unique_ptr<PageElement> Parent() const override
    {
        return node_->parent ? std::make_unique<NodeView>(node_->parent) : nullptr;
    }
    long ChildCount() const override { return static_cast<long>(node_->children.size()); }
    ChildKind Child(long index, std::unique_ptr<PageElement> &child) const override
    {
        const size_t i = static_cast<size_t>(index);
        const ChildKind kind = i < node_->kinds.size() ? node_->kinds[i] : ChildKind::kElement;
        if (kind == ChildKind::kElement)
            child = std::make_unique<NodeView>(node_->children[i]);
        return kind;
    }
    long SourceIndex() const override { return node_->sourceIndex; }

private:
    const Node *node_;
};

struct Tree {
    std::map<long, Node> nodes;
    Node *Add(long index, const char *tag, Node *parent, const char16_t *text = u"")
    {
        Node &n = nodes[index];
        n.tag = tag;
        n.text = text;
        n.sourceIndex = index;
        n.parent = parent;
        if (parent != nullptr)
            parent->children.push_back(&n);
        return &n;
    }
};

TEST(WrapWithAncestors, ListsUpToBodyAndFoldsBaseContentIntoItsParent)
{
    Tree t;
    Node *html = t.Add(0, "HTML", nullptr);
    Node *body = t.Add(1, "body", html);
    t.Add(2, "DIV", body);
    Node *base = t.Add(3, "BASE", body);
    t.Add(4, "P", base);
    Node *p5 = t.Add(5, "P", base);
    Node *span = t.Add(6, "SPAN", p5);

    EXPECT_EQ(WrapWithAncestors(NodeView(body), "<0,-1>"), "<0,-1>");
    // BODY lists DIV, BASE, then BASE's own children: P5 is its fourth member.
    EXPECT_EQ(WrapWithAncestors(NodeView(p5), "<0,-1>"), "<,,,<0,-1>>");
    EXPECT_EQ(WrapWithAncestors(NodeView(span), "<3,-1>"), "<,,,<<3,-1>>>");
    // No parent at all: the entry stays as it is.
    EXPECT_EQ(WrapWithAncestors(NodeView(html), "<0,-1>"), "<0,-1>");
    Node *div = t.Add(8, "DIV", body);
    EXPECT_EQ(WrapWithAncestors(NodeView(t.Add(7, "EM", div)), "<0,-1>"), "<,,<<0,-1>>>");
}

TEST(WrapWithAncestors, LeavesOutChildrenThatCannotBeFetched)
{
    Tree t;
    Node *body = t.Add(1, "BODY", nullptr);
    t.Add(2, "P", body);
    t.Add(3, "P", body);
    Node *target = t.Add(4, "P", body);
    body->kinds = {PageElement::ChildKind::kFailed, PageElement::ChildKind::kNotElement};
    EXPECT_EQ(WrapWithAncestors(NodeView(target), "<0,-1>"), "<<0,-1>>");
    body->kinds = {PageElement::ChildKind::kFailed, PageElement::ChildKind::kFailed, PageElement::ChildKind::kFailed};
    EXPECT_EQ(WrapWithAncestors(NodeView(target), "<0,-1>"), "<>");
}

TEST(HasTablePart, FindsATablePartAtAnyDepthInAnyCase)
{
    Tree t;
    Node *body = t.Add(1, "BODY", nullptr);
    Node *deep = t.Add(2, "DIV", body);
    for (long i = 3; i < 2000; ++i)
        deep = t.Add(i, "DIV", deep);
    EXPECT_FALSE(HasTablePart(NodeView(body)));
    t.Add(5000, "td", deep);
    EXPECT_TRUE(HasTablePart(NodeView(body)));
    EXPECT_FALSE(HasTablePart(NodeView(t.Add(6000, "TABLE", nullptr))));
}

class NoDuplicateRange : public PageTextRange {
public:
    explicit NoDuplicateRange(const Node *parent) : parent_(parent) {}
    bool Text(std::u16string &text) const override
    {
        text = u"some text";
        return true;
    }
    std::unique_ptr<PageElement> ParentElement() const override { return std::make_unique<NodeView>(parent_); }
    std::unique_ptr<PageTextRange> Duplicate() const override { return nullptr; }
    bool MoveToElementText(const PageElement &) override { return false; }
    bool InRange(const PageTextRange &, bool *) const override { return false; }
    bool CompareEndPoints(EndPoints, const PageTextRange &, int *) const override { return false; }

private:
    const Node *parent_;
};

class ScriptedDocument : public PageDocument {
public:
    std::string type = "Text";
    const Node *parent = nullptr;
    mutable int reports = 0;
    std::string SelectionType() const override { return type; }
    std::unique_ptr<PageTextRange> SelectionRange() const override
    {
        return parent ? std::make_unique<NoDuplicateRange>(parent) : nullptr;
    }
    long FrameCount() const override { return 0; }
    std::unique_ptr<PageDocument> FrameDocument(long) const override { return nullptr; }
    void ReportUndescribableSelection() const override { ++reports; }
};

TEST(SelectionDescriptor, UndescribableRangeIsReportedOnceAndLeavesTheDescriptor)
{
    Tree t;
    Node *body = t.Add(1, "BODY", nullptr, u"some text and more");
    ScriptedDocument document;
    document.parent = body;
    std::string descriptor = "before";
    EXPECT_EQ(BuildSelectionDescriptor(document, &descriptor), DescriptorStatus::kAborted);
    EXPECT_EQ(descriptor, "before");
    EXPECT_EQ(document.reports, 1);

    // "TEXT" in any case is a text selection; without a range it is a failure.
    document.type = "tExT";
    document.parent = nullptr;
    EXPECT_EQ(BuildSelectionDescriptor(document, &descriptor), DescriptorStatus::kFailure);
    EXPECT_EQ(descriptor, "()");
    EXPECT_EQ(document.reports, 1);
}

TEST(ShortLocation, ShortensTheMiddleOfLongPaths)
{
    const struct {
        const char *address;
        const char *expected;
    } rows[] = {
        {"http://host/a/b/page.htm", "host/.../page.htm"},
        {"http://host/ab/page.htm", "host/ab/page.htm"},
        {"http://host/abc/page.htm", "host/.../page.htm"},
        {"http://host", "host"},
        {"http://host/", "host/"},
        {"file://C:\\docs\\page.htm", "page.htm"},
        {"file:///tmp/page.htm", "/tmp/page.htm"},
        {"C:\\docs\\page.htm", "page.htm"},
        {"page.htm", "page.htm"},
        {"", ""},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ShortLocation(row.address), row.expected) << row.address;
}

} // namespace
