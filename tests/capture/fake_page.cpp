#include "tests/capture/fake_page.h"

#include <string>
#include <vector>

#include "tests/capture/markup_page.h"

using quillon::capture::testing::MarkupPage;
using quillon::capture::testing::Utf16;
using quillon::webflat::kNoNode;
using quillon::webflat::Tag;

struct FakePage {
    explicit FakePage(const char *markup) : page(markup)
    {
        const std::u16string wide = Utf16(markup);
        markupW.assign(wide.begin(), wide.end());
        for (int32_t i = 0; i < static_cast<int32_t>(page.Tree().Nodes().size()); ++i) {
            tags.push_back(std::string());
            if (page.Tree().At(i).tag == Tag::kText)
                continue;
            auto view = quillon::capture::testing::ElementTag(page, i);
            tags.back() = view;
        }
    }
    MarkupPage page;
    std::wstring markupW;
    std::vector<std::string> tags;
};

namespace {
const std::u16string &Text16(const FakePage *page, int node) { return page->page.ElementText(node); }
} // namespace

extern "C" {

FakePage *FakePageCreate(const char *utf8Markup) { return new FakePage(utf8Markup); }
void FakePageDestroy(FakePage *page) { delete page; }
int FakePageSelectText(FakePage *page, const char *utf8, int occurrence)
{
    return page->page.SelectText(utf8, occurrence) ? 1 : 0;
}
void FakePageSelectNone(FakePage *page) { page->page.SelectNone(); }
int FakePageSelection(const FakePage *page, size_t *begin, size_t *end)
{
    return page->page.Selection(begin, end) ? 1 : 0;
}
const wchar_t *FakePageMarkup(const FakePage *page, size_t *length)
{
    *length = page->markupW.size();
    return page->markupW.c_str();
}
const wchar_t *FakePageBodyText(const FakePage *page, size_t *length)
{
    *length = page->page.BodyText().size();
    return reinterpret_cast<const wchar_t *>(page->page.BodyText().c_str());
}
int FakePageRoot(const FakePage *page)
{
    const auto children = page->page.Tree().ElementChildren(page->page.Tree().Document());
    return children.empty() ? -1 : children.front();
}
int FakePageParent(const FakePage *page, int node)
{
    const int32_t parent = page->page.Tree().At(node).parent;
    if (parent == kNoNode || page->page.Tree().At(parent).tag == Tag::kDocument)
        return -1;
    return parent;
}
int FakePageChildCount(const FakePage *page, int node)
{
    return static_cast<int>(page->page.Tree().ElementChildren(node).size());
}
int FakePageChild(const FakePage *page, int node, int index)
{
    const auto children = page->page.Tree().ElementChildren(node);
    return index < 0 || static_cast<size_t>(index) >= children.size() ? -1 : children[static_cast<size_t>(index)];
}
const char *FakePageTag(const FakePage *page, int node) { return page->tags[static_cast<size_t>(node)].c_str(); }
const wchar_t *FakePageElementText(const FakePage *page, int node, size_t *length)
{
    *length = Text16(page, node).size();
    return reinterpret_cast<const wchar_t *>(Text16(page, node).c_str());
}
void FakePageSpan(const FakePage *page, int node, size_t *begin, size_t *end)
{
    *begin = page->page.SpanBegin(node);
    *end = page->page.SpanEnd(node);
}
int FakePageElementAround(const FakePage *page, size_t begin, size_t end)
{
    return page->page.ElementAround(begin, end);
}

} // extern "C"
