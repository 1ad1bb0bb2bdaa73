// A page built from markup with the text library's own tree and text rules, over which
// the capture core describes a selection (the native host builds its descriptor over the
// markup the browser extension sends; the descriptor tests over their own pages): every element's innerText is the text the library gives for that
// element (break marks as CR LF), placed in the body's text where the library puts it,
// and text ranges are spans of that body text. A descriptor built over this page and
// read back by the library therefore has to give the selected text again.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "capture/selection_descriptor.h"
#include "webflat/core/html_tree.h"

namespace quillon::capture {

std::u16string Utf16(const std::string &utf8);
std::string Utf8(const std::u16string &utf16);

class MarkupPage : public PageDocument {
public:
    explicit MarkupPage(const std::string &markup);

    const std::string &Markup() const { return markup_; }
    const std::u16string &BodyText() const { return text_; }

    // Selects [begin, end) of the body text; SelectNone drops the selection.
    void Select(size_t begin, size_t end);
    // The position in BodyText() of a point given as a browser gives it: the element at
    // `path` (element-child indices from BODY down), and the number of UTF-16 units of
    // that element's text (all its text nodes, as the DOM's textContent counts them)
    // before the point. False when the path or the offset does not fit this page.
    bool PointAt(const std::vector<long> &path, long offset, size_t *position) const;
    // Selects the nth occurrence of text in the body text; false when it is not there.
    bool SelectText(const std::string &utf8, int occurrence = 0);
    void SelectNone() { selected_ = false; }
    // The selected span; false when nothing is selected.
    bool Selection(size_t *begin, size_t *end) const
    {
        *begin = selBegin_;
        *end = selEnd_;
        return selected_;
    }
    // The frames of this page, in order (a null page refuses its document).
    void AddFrame(std::shared_ptr<MarkupPage> frame) { frames_.push_back(std::move(frame)); }
    int Reports() const { return reports_; }

    // PageDocument
    std::string SelectionType() const override { return selected_ ? "Text" : "None"; }
    std::unique_ptr<PageTextRange> SelectionRange() const override;
    long FrameCount() const override { return static_cast<long>(frames_.size()); }
    std::unique_ptr<PageDocument> FrameDocument(long index) const override;
    void ReportUndescribableSelection() const override { ++reports_; }

    // What the views read.
    const webflat::HtmlTree &Tree() const { return tree_; }
    size_t SpanBegin(int32_t node) const { return begin_[static_cast<size_t>(node)]; }
    size_t SpanEnd(int32_t node) const { return end_[static_cast<size_t>(node)]; }
    const std::u16string &ElementText(int32_t node) const { return texts_[static_cast<size_t>(node)]; }
    int32_t ElementAround(size_t begin, size_t end) const;

private:
    std::string markup_;
    webflat::HtmlTree tree_;
    std::u16string text_;
    std::vector<std::u16string> texts_;
    std::vector<size_t> begin_;
    std::vector<size_t> end_;
    bool selected_ = false;
    size_t selBegin_ = 0;
    size_t selEnd_ = 0;
    std::vector<std::shared_ptr<MarkupPage>> frames_;
    mutable int reports_ = 0;
};

// The tag name of element `node` as the browser reports it ("P", "TD").
std::string ElementTag(const MarkupPage &page, int32_t node);

} // namespace quillon::capture
