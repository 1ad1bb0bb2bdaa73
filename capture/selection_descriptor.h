// Describing the user's selection in a page as a selection descriptor, the text that
// WEBFLAT.DLL reads back (webflat/core/descriptor.h) to extract the same part of the page
// when the task runs. Portable: it works over the small document interface below, which
// the add-in maps onto the browser's document object and tests implement in memory.
//
// Texts are UTF-16 as the browser gives them, so every length and offset written into a
// descriptor counts UTF-16 units, as the text library counts them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quillon::capture {

// One element of the page. Calls that fail answer as the comments say; none throws.
class PageElement {
public:
    virtual ~PageElement() = default;
    // The element's innerText; false when the call fails (the text is then empty).
    virtual bool InnerText(std::u16string &text) const = 0;
    // The tag name as the browser reports it ("P", "TD"); empty when the call fails.
    virtual std::string TagName() const = 0;
    // The parent element; null at the top or when the call fails.
    virtual std::unique_ptr<PageElement> Parent() const = 0;
    // Number of members of the element's children collection (element children and
    // whatever else the browser counts there); 0 when the call fails.
    virtual long ChildCount() const = 0;
    enum class ChildKind { kFailed, kNotElement, kElement };
    // Member `index` of the children collection. *child is set for kElement only.
    virtual ChildKind Child(long index, std::unique_ptr<PageElement> &child) const = 0;
    // The element's sourceIndex; -1 when the call fails.
    virtual long SourceIndex() const = 0;
};

// compareEndPoints' four comparisons: the first word names this range's end point, the
// second the other range's.
enum class EndPoints { kStartToEnd, kStartToStart, kEndToEnd, kEndToStart };

// A text range of the page.
class PageTextRange {
public:
    virtual ~PageTextRange() = default;
    virtual bool Text(std::u16string &text) const = 0;
    virtual std::unique_ptr<PageElement> ParentElement() const = 0;
    virtual std::unique_ptr<PageTextRange> Duplicate() const = 0;
    virtual bool MoveToElementText(const PageElement &element) = 0;
    // True in *contains when `other` lies wholly inside this range. False when the call fails.
    virtual bool InRange(const PageTextRange &other, bool *contains) const = 0;
    // -1, 0 or 1 in *order: this range's end point before, at or after the other's.
    // False when the call fails.
    virtual bool CompareEndPoints(EndPoints which, const PageTextRange &other, int *order) const = 0;
};

// One document of the page (the top document or a frame's).
class PageDocument {
public:
    virtual ~PageDocument() = default;
    // The selection object's type ("Text", "None", "Control"); empty when there is none.
    virtual std::string SelectionType() const = 0;
    // A text range over the selection; null when it cannot be had.
    virtual std::unique_ptr<PageTextRange> SelectionRange() const = 0;
    virtual long FrameCount() const = 0;
    // The document of frame `index`; null when the frame has no window or refuses its
    // document (as a frame from another site does).
    virtual std::unique_ptr<PageDocument> FrameDocument(long index) const = 0;
    // Tells the user that the selection could not be described (the add-in shows its
    // message 193). Called once per document whose description is aborted.
    virtual void ReportUndescribableSelection() const = 0;
};

enum class DescriptorStatus { kSuccess, kFailure, kAborted };

// The descriptor of `document`'s selection, "(" ... ")". kSuccess: it names a part of the
// page; kFailure: there is no text selection here or in any frame (the descriptor is still
// well formed, "()" or one "()" per frame); kAborted: the selection could not be
// described, the user has been told, and *descriptor is left as it was.
DescriptorStatus BuildSelectionDescriptor(const PageDocument &document, std::string *descriptor);

// Appends element's range entry for range to *out. Returns whether anything was ever
// written, even when an unmatched child list was withdrawn again afterwards.
bool DescribeRangeInElement(const PageElement &element, const PageTextRange &range, std::string *out);

// True when any element below element, at any depth, is a table part (TABLE, THEAD,
// TBODY, TFOOT, TR, TH, TD, in any case).
bool HasTablePart(const PageElement &element);

// entry wrapped in the child lists of element's ancestors, up to but not including BODY.
std::string WrapWithAncestors(const PageElement &element, std::string entry);

// Frames are followed this deep, and ranges described this many levels down; deeper
// parts of a hostile page are left out rather than walked without end.
constexpr int kMaxFrameDepth = 8;
constexpr int kMaxDescribeDepth = 256;

} // namespace quillon::capture
