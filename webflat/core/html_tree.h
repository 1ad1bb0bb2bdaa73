// The element tree of an HTML page, built from its markup the way a browser builds it
// closely enough that counting an element's element children gives the same numbers as
// the browser's `children` collection: implied html/head/body, paragraphs and list items
// closed by the elements that close them, implied table bodies and rows, void elements,
// end tags matched against open elements (stray ones ignored), raw-text elements (script,
// style, ...) read to their end tag. Portable.
//
// Limits: any markup gives a tree; nothing is recursive on nesting depth (a page of
// 100,000 nested elements is fine); the node count is capped at kMaxNodes (further start
// tags are ignored while their text is kept), so memory stays a small multiple of the
// input size.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::webflat {

enum class Tag : uint16_t {
    kText, // not an element: a text node
    kDocument,
    kOther, // an element this library has no rule for; its name is in Node::name
    kA, kAbbr, kAddress, kApplet, kArea, kArticle, kAside, kAudio, kB, kBase, kBasefont,
    kBgsound, kBig, kBlockquote, kBody, kBr, kButton, kCanvas, kCaption, kCenter, kCode,
    kCol, kColgroup, kDd, kDetails, kDialog, kDir, kDiv, kDl, kDt, kEm, kEmbed, kFieldset,
    kFigcaption, kFigure, kFont, kFooter, kForm, kFrame, kFrameset, kH1, kH2, kH3, kH4,
    kH5, kH6, kHead, kHeader, kHgroup, kHr, kHtml, kI, kIframe, kImg, kInput, kKeygen,
    kLabel, kLegend, kLi, kLink, kListing, kMain, kMarquee, kMath, kMenu, kMeta, kNav,
    kNobr, kNoembed, kNoframes, kNoscript, kObject, kOl, kOptgroup, kOption, kP, kParam,
    kPlaintext, kPre, kS, kScript, kSection, kSelect, kSmall, kSource, kSpan, kStrike,
    kStrong, kStyle, kSummary, kSvg, kTable, kTbody, kTd, kTemplate, kTextarea, kTfoot,
    kTh, kThead, kTitle, kTr, kTrack, kTt, kU, kUl, kVideo, kWbr, kXmp,
    kCount
};

// Tag of a lower-case element name; Tag::kOther for names without a rule.
Tag TagOfName(std::string_view lowerName);
// Upper-case name of a known tag ("TD"), as the browser reports tag names.
const char *NameOfTag(Tag tag);

constexpr int32_t kNoNode = -1;

struct Node {
    Tag tag = Tag::kText;
    bool hidden = false;           // hidden attribute or an inline style display:none
    bool textInMarkup = false;     // text lies in the markup itself, not in the tree's store
    int32_t parent = kNoNode;
    int32_t firstChild = kNoNode;
    int32_t lastChild = kNoNode;
    int32_t nextSibling = kNoNode;
    int32_t previousSibling = kNoNode;
    // Text nodes: the decoded text (UTF-8); adjacent text nodes read as one text.
    // Elements: the one attribute the extraction uses, if present: alt of img/area/input,
    // src of frame/iframe. Tag::kOther elements (which carry no such attribute):
    // textBegin is the index of their name in HtmlTree::names.
    uint32_t textBegin = 0;
    uint32_t textLength = 0;
};

class HtmlTree {
public:
    static constexpr size_t kMaxNodes = 4u << 20;

    // Builds the tree of utf8Markup. NUL bytes are dropped, CR LF and lone CR read as LF.
    // Text that needs no decoding is not copied: the tree refers to utf8Markup, which
    // must outlive it.
    explicit HtmlTree(std::string_view utf8Markup);
    HtmlTree(const HtmlTree &) = delete;
    HtmlTree &operator=(const HtmlTree &) = delete;

    const std::vector<Node> &Nodes() const { return nodes_; }
    const Node &At(int32_t index) const { return nodes_[static_cast<size_t>(index)]; }
    std::string_view TextOf(int32_t index) const;
    std::string_view ElementName(int32_t index) const;

    int32_t Document() const { return 0; }
    // The body element, or the frameset of a frameset page; kNoNode when neither exists.
    int32_t Body() const { return body_ != kNoNode ? body_ : frameset_; }
    int32_t Frameset() const { return frameset_; }
    // The first title element, or kNoNode.
    int32_t Title() const { return title_; }

    // The element children of element, in order (text nodes are not counted, as the
    // browser's children collection does not count them).
    std::vector<int32_t> ElementChildren(int32_t element) const;

    // Bytes of text that may be shown (text nodes and alt texts; not script or style):
    // what the extracted text of the whole tree can hold at most, less separators.
    size_t ShownTextBytes() const { return shownTextBytes_; }

    std::vector<std::string> names; // names of Tag::kOther elements

private:
    friend class TreeBuilder;
    std::vector<Node> nodes_;
    std::string normalized_;  // the markup with CR and NUL dealt with, when it had any
    std::string_view markup_; // what textInMarkup offsets count in
    std::string text_;        // decoded text and attributes
    size_t shownTextBytes_ = 0;
    int32_t body_ = kNoNode;
    int32_t frameset_ = kNoNode;
    int32_t title_ = kNoNode;
};

} // namespace quillon::webflat
