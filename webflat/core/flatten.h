// Turning a page into text a person reads on a pager: the body as blocks separated by
// break marks (kBreakMark), and the page title as the heading. Portable; works in UTF-8.
//
// What the text holds: the visible text of the page's body, with no script, style,
// comments or head content; character references decoded; white space collapsed; a
// break mark at the end of every block (paragraphs, headings, list items, table rows,
// <br>, divisions, ...); table cells separated by a space; images by their alt text. It
// never starts or ends with a break mark and never holds two in a row, so there are no
// empty segments.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quillon::webflat {

// One document of a page as the extraction reads it: the top document, or a frame's.
// Implementations fetch markup (the Windows library from the network, a file or the
// browser's document object; tests from memory).
class DocumentSource {
public:
    virtual ~DocumentSource() = default;
    // The document's markup as UTF-8. False when it cannot be had.
    virtual bool Markup(std::string &utf8) = 0;
    // The document of frame `index` of this document (its frame and iframe elements in
    // document order, as the browser's frames collection counts them); src is that
    // element's src attribute as written (empty when the markup has no such element).
    // Null when the frame cannot be had.
    virtual std::unique_ptr<DocumentSource> Frame(size_t index, const std::string &src) = 0;
};

// A document given as UTF-8 markup, without frames. The markup is handed over (moved,
// not copied) by the first call of Markup; later calls give it no more.
class MarkupSource : public DocumentSource {
public:
    explicit MarkupSource(std::string markup) : markup_(std::move(markup)) {}
    bool Markup(std::string &utf8) override
    {
        if (given_)
            return false;
        given_ = true;
        utf8 = std::move(markup_);
        return true;
    }
    std::unique_ptr<DocumentSource> Frame(size_t, const std::string &) override { return nullptr; }

private:
    std::string markup_;
    bool given_ = false;
};

struct FlatText {
    std::string body;    // UTF-8 with break marks
    std::string heading; // UTF-8, the page title with white space collapsed
};

enum class FlattenResult {
    kOk,
    kBadDescriptor, // the selection text is not a descriptor
    kNoDocument,    // the top document's markup could not be had
};

// Frames are followed this many levels deep, at most kMaxFramesPerDocument per document
// and kMaxFramesPerPage in all (a frame that contains its own page stops there).
constexpr int kMaxFrameDepth = 4;
constexpr size_t kMaxFramesPerDocument = 32;
constexpr size_t kMaxFramesPerPage = 32;

// The text of a page, or of the part of it that descriptor selects (see descriptor.h;
// null, "" or "()" mean the whole page). Whole page: the body's text, and for a frameset
// page the text of each frame's document in order. A descriptor that no longer fits the
// page (the page changed since the selection was made) is applied as far as it fits:
// entries for children that no longer exist are skipped and offsets past the end of an
// element's text select nothing of it; when nothing at all remains selected, the whole
// page is given instead, so the task still sends the page rather than nothing.
// The heading is the top document's title, or else the first frame title found.
FlattenResult FlattenPage(DocumentSource &top, const char *descriptor, FlatText &out);

// The whole text of one document's markup (no frames followed).
FlatText FlattenMarkup(std::string utf8Markup);

class HtmlTree;
// The text of one element of tree as a whole-element entry (<0,-1>) selects it: UTF-8
// with break marks between its blocks, none at either end.
std::string FlattenElement(const HtmlTree &tree, int32_t element);

// How many bytes of FlattenElement(tree, element) come from the element's text before
// byte `offset` of its descendant text node `textNode` (the whole text when that node
// is not met: hidden, or not below element). Where a selection's end falls in the
// element's text, as the library counts it.
size_t FlatLengthBefore(const HtmlTree &tree, int32_t element, int32_t textNode, size_t offset);

// Turns spaces of text into break marks where a segment between marks is longer than
// maxLen bytes, so that no segment is longer than maxLen where a space allows it: each
// mark goes at the last space that keeps the piece within maxLen, the way the page
// sender looks for a cut. A word longer than maxLen is left whole (the sender cuts it
// hard). maxLen < 1 leaves text unchanged. Counts bytes, as the sender counts characters
// of the ANSI text.
void MarkWordBreaks(std::string &text, int32_t maxLen);

} // namespace quillon::webflat
