#include "capture/markup_page.h"

#include <algorithm>

#include "webflat/webflat_contract.h"
#include "webflat/core/flatten.h"

namespace quillon::capture {

using webflat::HtmlTree;
using webflat::kNoNode;
using webflat::Tag;

std::u16string Utf16(const std::string &utf8)
{
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp = c;
        size_t length = 1;
        if (c >= 0xF0 && i + 3 < utf8.size()) {
            cp = ((c & 0x07u) << 18) | ((utf8[i + 1] & 0x3Fu) << 12) | ((utf8[i + 2] & 0x3Fu) << 6) | (utf8[i + 3] & 0x3Fu);
            length = 4;
        } else if (c >= 0xE0 && i + 2 < utf8.size()) {
            cp = ((c & 0x0Fu) << 12) | ((utf8[i + 1] & 0x3Fu) << 6) | (utf8[i + 2] & 0x3Fu);
            length = 3;
        } else if (c >= 0xC0 && i + 1 < utf8.size()) {
            cp = ((c & 0x1Fu) << 6) | (utf8[i + 1] & 0x3Fu);
            length = 2;
        } else if (c >= 0x80) {
            cp = 0xFFFD;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += length;
    }
    return out;
}

std::string Utf8(const std::u16string &utf16)
{
    std::string out;
    for (size_t i = 0; i < utf16.size(); ++i) {
        uint32_t cp = utf16[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < utf16.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

namespace {

// The library's text with its break marks as the browser's CR LF.
std::u16string BrowserText(const std::string &flat)
{
    std::string withLines;
    for (char c : flat) {
        if (c == kBreakMark)
            withLines += "\r\n";
        else
            withLines.push_back(c);
    }
    return Utf16(withLines);
}

class ElementView : public PageElement {
public:
    ElementView(const MarkupPage &page, int32_t node) : page_(page), node_(node) {}

    bool InnerText(std::u16string &text) const override
    {
        text = page_.ElementText(node_);
        return true;
    }
    std::string TagName() const override { return ElementTag(page_, node_); }
    std::unique_ptr<PageElement> Parent() const override
    {
        const int32_t parent = page_.Tree().At(node_).parent;
        if (parent == kNoNode || page_.Tree().At(parent).tag == Tag::kDocument)
            return nullptr;
        return std::make_unique<ElementView>(page_, parent);
    }
    long ChildCount() const override { return static_cast<long>(page_.Tree().ElementChildren(node_).size()); }
    ChildKind Child(long index, std::unique_ptr<PageElement> &child) const override
    {
        const std::vector<int32_t> children = page_.Tree().ElementChildren(node_);
        if (index < 0 || static_cast<size_t>(index) >= children.size())
            return ChildKind::kFailed;
        child = std::make_unique<ElementView>(page_, children[static_cast<size_t>(index)]);
        return ChildKind::kElement;
    }
    long SourceIndex() const override { return node_; }
    int32_t Node() const { return node_; }

private:
    const MarkupPage &page_;
    int32_t node_;
};

class RangeView : public PageTextRange {
public:
    RangeView(const MarkupPage &page, size_t begin, size_t end) : page_(page), begin_(begin), end_(end) {}

    bool Text(std::u16string &text) const override
    {
        text = page_.BodyText().substr(begin_, end_ - begin_);
        return true;
    }
    std::unique_ptr<PageElement> ParentElement() const override
    {
        return std::make_unique<ElementView>(page_, page_.ElementAround(begin_, end_));
    }
    std::unique_ptr<PageTextRange> Duplicate() const override
    {
        return std::make_unique<RangeView>(page_, begin_, end_);
    }
    bool MoveToElementText(const PageElement &element) override
    {
        const int32_t node = static_cast<const ElementView &>(element).Node();
        begin_ = page_.SpanBegin(node);
        end_ = page_.SpanEnd(node);
        return true;
    }
    bool InRange(const PageTextRange &other, bool *contains) const override
    {
        const auto &o = static_cast<const RangeView &>(other);
        *contains = begin_ <= o.begin_ && o.end_ <= end_;
        return true;
    }
    bool CompareEndPoints(EndPoints which, const PageTextRange &other, int *order) const override
    {
        const auto &o = static_cast<const RangeView &>(other);
        size_t mine = 0;
        size_t theirs = 0;
        switch (which) {
        case EndPoints::kStartToEnd: mine = begin_; theirs = o.end_; break;
        case EndPoints::kStartToStart: mine = begin_; theirs = o.begin_; break;
        case EndPoints::kEndToEnd: mine = end_; theirs = o.end_; break;
        case EndPoints::kEndToStart: mine = end_; theirs = o.begin_; break;
        }
        *order = mine < theirs ? -1 : (mine > theirs ? 1 : 0);
        return true;
    }

private:
    const MarkupPage &page_;
    size_t begin_;
    size_t end_;
};

class FrameView : public PageDocument {
public:
    explicit FrameView(std::shared_ptr<MarkupPage> page) : page_(std::move(page)) {}
    std::string SelectionType() const override { return page_->SelectionType(); }
    std::unique_ptr<PageTextRange> SelectionRange() const override { return page_->SelectionRange(); }
    long FrameCount() const override { return page_->FrameCount(); }
    std::unique_ptr<PageDocument> FrameDocument(long index) const override { return page_->FrameDocument(index); }
    void ReportUndescribableSelection() const override { page_->ReportUndescribableSelection(); }

private:
    std::shared_ptr<MarkupPage> page_;
};

} // namespace

std::string ElementTag(const MarkupPage &page, int32_t node)
{
    const webflat::Node &n = page.Tree().At(node);
    if (n.tag != Tag::kOther)
        return webflat::NameOfTag(n.tag);
    std::string name(page.Tree().ElementName(node));
    for (char &c : name)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return name;
}

MarkupPage::MarkupPage(const std::string &markup) : markup_(markup), tree_(markup)
{
    const size_t count = tree_.Nodes().size();
    texts_.resize(count);
    begin_.assign(count, 0);
    end_.assign(count, 0);
    for (size_t i = 0; i < count; ++i)
        if (tree_.Nodes()[i].tag != Tag::kText)
            texts_[i] = BrowserText(webflat::FlattenElement(tree_, static_cast<int32_t>(i)));
    const int32_t body = tree_.Body();
    if (body == kNoNode)
        return;
    text_ = texts_[static_cast<size_t>(body)];
    begin_[static_cast<size_t>(body)] = 0;
    end_[static_cast<size_t>(body)] = text_.size();
    // Each child's text is looked for in its parent's span, after the previous child's.
    std::vector<int32_t> pending{body};
    while (!pending.empty()) {
        const int32_t parent = pending.back();
        pending.pop_back();
        size_t cursor = begin_[static_cast<size_t>(parent)];
        const size_t limit = end_[static_cast<size_t>(parent)];
        for (int32_t child : tree_.ElementChildren(parent)) {
            const std::u16string &t = texts_[static_cast<size_t>(child)];
            size_t at = t.empty() ? std::u16string::npos : text_.find(t, cursor);
            if (at == std::u16string::npos || at + t.size() > limit) {
                begin_[static_cast<size_t>(child)] = end_[static_cast<size_t>(child)] = cursor;
            } else {
                begin_[static_cast<size_t>(child)] = at;
                end_[static_cast<size_t>(child)] = cursor = at + t.size();
            }
            pending.push_back(child);
        }
    }
}

void MarkupPage::Select(size_t begin, size_t end)
{
    selected_ = true;
    selBegin_ = std::min(begin, text_.size());
    selEnd_ = std::min(std::max(end, selBegin_), text_.size());
}

bool MarkupPage::SelectText(const std::string &utf8, int occurrence)
{
    const std::u16string needle = Utf16(utf8);
    size_t at = text_.find(needle);
    while (at != std::u16string::npos && occurrence-- > 0)
        at = text_.find(needle, at + 1);
    if (at == std::u16string::npos)
        return false;
    Select(at, at + needle.size());
    return true;
}

bool MarkupPage::PointAt(const std::vector<long> &path, long offset, size_t *position) const
{
    int32_t element = tree_.Body();
    if (element == kNoNode || offset < 0)
        return false;
    for (long index : path) {
        const std::vector<int32_t> children = tree_.ElementChildren(element);
        if (index < 0 || static_cast<size_t>(index) >= children.size())
            return false;
        element = children[static_cast<size_t>(index)];
    }
    // The text nodes below the element in document order, until the one holding the point.
    size_t remaining = static_cast<size_t>(offset);
    int32_t node = tree_.At(element).firstChild;
    while (node != kNoNode) {
        const webflat::Node &n = tree_.At(node);
        if (n.tag == Tag::kText) {
            const std::string_view text = tree_.TextOf(node);
            const std::u16string units = Utf16(std::string(text));
            if (remaining <= units.size()) {
                const size_t bytes = Utf8(units.substr(0, remaining)).size();
                const std::string flat = webflat::FlattenElement(tree_, element);
                const size_t before = std::min(webflat::FlatLengthBefore(tree_, element, node, bytes), flat.size());
                const std::string prefix = flat.substr(0, before);
                *position = std::min(begin_[static_cast<size_t>(element)] + BrowserText(prefix).size(),
                                     end_[static_cast<size_t>(element)]);
                return true;
            }
            remaining -= units.size();
        }
        // Depth first: into the children, else on to the next sibling of this node or of
        // the nearest ancestor below the element that has one.
        if (n.tag != Tag::kText && n.firstChild != kNoNode) {
            node = n.firstChild;
            continue;
        }
        while (node != element && tree_.At(node).nextSibling == kNoNode)
            node = tree_.At(node).parent;
        node = node == element ? kNoNode : tree_.At(node).nextSibling;
    }
    if (remaining != 0)
        return false;
    *position = end_[static_cast<size_t>(element)];
    return true;
}

int32_t MarkupPage::ElementAround(size_t begin, size_t end) const
{
    int32_t element = tree_.Body();
    bool deeper = true;
    while (deeper) {
        deeper = false;
        for (int32_t child : tree_.ElementChildren(element)) {
            const size_t b = begin_[static_cast<size_t>(child)];
            const size_t e = end_[static_cast<size_t>(child)];
            if (b < e && b <= begin && end <= e) {
                element = child;
                deeper = true;
                break;
            }
        }
    }
    return element;
}

std::unique_ptr<PageTextRange> MarkupPage::SelectionRange() const
{
    if (!selected_ || tree_.Body() == kNoNode)
        return nullptr;
    return std::make_unique<RangeView>(*this, selBegin_, selEnd_);
}

std::unique_ptr<PageDocument> MarkupPage::FrameDocument(long index) const
{
    if (index < 0 || static_cast<size_t>(index) >= frames_.size() || !frames_[static_cast<size_t>(index)])
        return nullptr;
    return std::make_unique<FrameView>(frames_[static_cast<size_t>(index)]);
}

} // namespace quillon::capture
