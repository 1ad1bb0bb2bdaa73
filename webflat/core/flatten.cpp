#include "webflat/core/flatten.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "webflat/webflat_contract.h"
#include "webflat/core/charset.h"
#include "webflat/core/descriptor.h"
#include "webflat/core/html_tree.h"

namespace quillon::webflat {
namespace {

constexpr char kMark = quillon::kBreakMark;

enum class Role : uint8_t {
    kInline,
    kBlock,   // text before and after it are separate segments
    kCell,    // separated from its neighbours by a space
    kSkip,    // nothing of it is shown
    kLineBreak,
    kPre,     // a block whose line ends are breaks
};

struct RoleTable {
    Role roles[static_cast<size_t>(Tag::kCount)] = {};
    RoleTable()
    {
        for (Tag t : {Tag::kAddress, Tag::kArticle, Tag::kAside, Tag::kBlockquote, Tag::kBody, Tag::kCaption,
                      Tag::kCenter, Tag::kDd, Tag::kDetails, Tag::kDialog, Tag::kDir, Tag::kDiv, Tag::kDl, Tag::kDt,
                      Tag::kFieldset, Tag::kFigcaption, Tag::kFigure, Tag::kFooter, Tag::kForm, Tag::kFrameset,
                      Tag::kH1, Tag::kH2, Tag::kH3, Tag::kH4, Tag::kH5, Tag::kH6, Tag::kHeader, Tag::kHgroup,
                      Tag::kHr, Tag::kHtml, Tag::kLegend, Tag::kLi, Tag::kMain, Tag::kMenu, Tag::kNav, Tag::kOl,
                      Tag::kP, Tag::kSection, Tag::kSummary, Tag::kTable, Tag::kTbody, Tag::kThead, Tag::kTfoot,
                      Tag::kTr, Tag::kUl, Tag::kOption, Tag::kOptgroup, Tag::kMarquee})
            roles[static_cast<size_t>(t)] = Role::kBlock;
        for (Tag t : {Tag::kPre, Tag::kListing, Tag::kPlaintext, Tag::kXmp, Tag::kTextarea})
            roles[static_cast<size_t>(t)] = Role::kPre;
        for (Tag t : {Tag::kTd, Tag::kTh})
            roles[static_cast<size_t>(t)] = Role::kCell;
        for (Tag t : {Tag::kHead, Tag::kScript, Tag::kStyle, Tag::kTitle, Tag::kNoscript, Tag::kNoframes,
                      Tag::kNoembed, Tag::kIframe, Tag::kTemplate, Tag::kSelect, Tag::kSvg, Tag::kInput,
                      Tag::kButton, Tag::kColgroup, Tag::kCol, Tag::kMeta, Tag::kLink, Tag::kBase, Tag::kParam,
                      Tag::kSource, Tag::kTrack, Tag::kArea, Tag::kFrame, Tag::kEmbed, Tag::kApplet, Tag::kCanvas})
            roles[static_cast<size_t>(t)] = Role::kSkip;
        roles[static_cast<size_t>(Tag::kBr)] = Role::kLineBreak;
    }
};
const RoleTable kRoles;

Role RoleOf(Tag tag) { return kRoles.roles[static_cast<size_t>(tag)]; }

// Printable ASCII (and DEL): bytes that stand in the text as they are.
struct PlainTable {
    bool plain[256] = {};
    constexpr PlainTable()
    {
        for (int c = 0x21; c < 0x80; ++c)
            plain[c] = true;
    }
};
constexpr PlainTable kPlain;

inline bool IsPlain(char c) { return kPlain.plain[static_cast<unsigned char>(c)]; }

// Whether eight bytes, following a plain byte, continue a run of words joined by single
// spaces: all of them printable ASCII or space, no two spaces together, the last one
// not a space. Tested on the eight at once.
inline bool IsPlainGroup(const char *bytes)
{
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    uint64_t x;
    std::memcpy(&x, bytes, sizeof x);
    if ((x & kHigh) != 0 || ((x - kOnes * 0x20) & ~x & kHigh) != 0)
        return false; // a byte of 0x80 or more, or a control byte
    // High bit of each byte that is a space, exactly.
    const uint64_t t = x ^ (kOnes * 0x20);
    const uint64_t spaces = ~(((t & kLow7) + kLow7) | t | kLow7);
    uint64_t last;
    std::memcpy(&last, "\0\0\0\0\0\0\0\x80", sizeof last); // the byte at bytes[7]
    return (spaces & (spaces << 8)) == 0 && (spaces & last) == 0;
}

// Collects text with white space collapsed and blocks separated by single break marks.
class TextBuilder {
public:
    explicit TextBuilder(std::string &out) : out_(out) {}

    void Break()
    {
        pendingBreak_ = true;
        pendingSpace_ = false;
    }
    void Space() { pendingSpace_ = true; }

    // Appends text from a text node; inPre keeps its line ends as breaks.
    void Text(std::string_view text, bool inPre)
    {
        const char *data = text.data();
        const size_t n = text.size();
        size_t i = 0;
        while (i < n) {
            if (IsPlain(data[i])) {
                // Words of plain ASCII joined by single spaces stand as they are written:
                // copied in one step.
                size_t end = i + 1;
                while (end < n) {
                    if (end + 8 <= n && IsPlainGroup(data + end)) {
                        end += 8;
                        continue;
                    }
                    if (IsPlain(data[end]))
                        ++end;
                    else if (data[end] == ' ' && end + 1 < n && IsPlain(data[end + 1]))
                        end += 2;
                    else
                        break;
                }
                Flush();
                out_.append(data + i, end - i);
                i = end;
                continue;
            }
            const unsigned char c = static_cast<unsigned char>(data[i]);
            if (c < 0x80) {
                if (c == '\n' && inPre)
                    Break();
                else
                    pendingSpace_ = true; // white space and control characters alike
                ++i;
                continue;
            }
            size_t length = 0;
            uint32_t cp = DecodeUtf8(text, i, length);
            if (cp == 0xA0 || cp == 0x2007 || cp == 0x202F || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x3000 ||
                cp == 0x1680 || cp == 0x2028 || cp == 0x2029 || cp == 0x85) {
                pendingSpace_ = true;
            } else if (cp == 0xAD || cp == 0x200B || cp == 0x200C || cp == 0x200D || cp == 0xFEFF ||
                       cp == 0x2060 || (cp >= 0x80 && cp < 0xA0)) {
                // soft hyphens, zero-width characters and C1 controls show nothing
            } else {
                Flush();
                out_.append(data + i, length);
            }
            i += length;
        }
    }

    // Appends text that is already flat (with marks), keeping its marks.
    void Flat(std::string_view flat)
    {
        size_t start = 0;
        while (start <= flat.size()) {
            size_t mark = flat.find(kMark, start);
            std::string_view piece = flat.substr(start, mark == std::string_view::npos ? flat.size() - start : mark - start);
            Text(piece, false);
            if (mark == std::string_view::npos)
                break;
            Break();
            start = mark + 1;
        }
    }

private:
    void Flush()
    {
        if (!out_.empty()) {
            if (pendingBreak_)
                out_.push_back(kMark);
            else if (pendingSpace_)
                out_.push_back(' ');
        }
        pendingBreak_ = false;
        pendingSpace_ = false;
    }

    std::string &out_;
    bool pendingBreak_ = false;
    bool pendingSpace_ = false;
};

// Where a walk stops: before byte `offset` of text node `node`.
struct TextStop {
    int32_t node = kNoNode;
    size_t offset = 0;
};

// The visible text of the subtree at root, walked without recursion; with a stop, only
// the text that comes before it.
void ExtractSubtree(const HtmlTree &tree, int32_t root, TextBuilder &builder, const TextStop *stop = nullptr)
{
    if (root == kNoNode)
        return;
    int preDepth = 0;
    bool stopped = false;
    // Returns whether to walk into the children; entered tells whether leave() is due.
    auto enter = [&](int32_t index, bool &entered) -> bool {
        entered = false;
        const Node &node = tree.At(index);
        if (node.tag == Tag::kText) {
            std::string_view text = tree.TextOf(index);
            if (stop != nullptr && index == stop->node) {
                text = text.substr(0, std::min(stop->offset, text.size()));
                stopped = true;
            }
            builder.Text(text, preDepth > 0);
            return false;
        }
        if (node.hidden)
            return false;
        switch (RoleOf(node.tag)) {
        case Role::kSkip:
            return false;
        case Role::kLineBreak:
            builder.Break();
            return false;
        case Role::kBlock:
            builder.Break();
            break;
        case Role::kPre:
            builder.Break();
            ++preDepth;
            break;
        case Role::kCell:
            builder.Space();
            break;
        case Role::kInline:
            if (node.tag == Tag::kImg && node.textLength > 0) {
                builder.Space();
                builder.Text(tree.TextOf(index), false);
                builder.Space();
                return false;
            }
            break;
        }
        entered = true;
        return node.firstChild != kNoNode;
    };
    auto leave = [&](int32_t index) {
        switch (RoleOf(tree.At(index).tag)) {
        case Role::kBlock:
            builder.Break();
            break;
        case Role::kPre:
            builder.Break();
            --preDepth;
            break;
        case Role::kCell:
            builder.Space();
            break;
        default:
            break;
        }
    };

    int32_t node = root;
    while (true) {
        bool entered = false;
        const bool walkIn = enter(node, entered);
        if (stopped)
            return;
        if (walkIn) {
            node = tree.At(node).firstChild;
            continue;
        }
        if (entered)
            leave(node);
        // Climb until a next sibling exists, leaving every element passed.
        while (node != root && tree.At(node).nextSibling == kNoNode) {
            node = tree.At(node).parent;
            if (node == kNoNode)
                return;
            leave(node);
        }
        if (node == root)
            return;
        node = tree.At(node).nextSibling;
    }
}

std::string CollapsedTitle(const HtmlTree &tree)
{
    std::string title;
    if (tree.Title() == kNoNode)
        return title;
    TextBuilder builder(title);
    for (int32_t c = tree.At(tree.Title()).firstChild; c != kNoNode; c = tree.At(c).nextSibling)
        if (tree.At(c).tag == Tag::kText)
            builder.Text(tree.TextOf(c), false);
    return title;
}

// Frame and iframe elements in document order, as the browser's frames collection
// counts them.
std::vector<int32_t> FrameElements(const HtmlTree &tree)
{
    std::vector<int32_t> frames;
    const auto &nodes = tree.Nodes();
    for (size_t i = 0; i < nodes.size(); ++i)
        if (nodes[i].tag == Tag::kFrame || nodes[i].tag == Tag::kIframe)
            frames.push_back(static_cast<int32_t>(i));
    return frames;
}

// Offsets in a selection count UTF-16 units of the browser's text, where a block break
// is a CR LF pair.
size_t UnitsOf(std::string_view flat, size_t pos, size_t &length)
{
    if (flat[pos] == kMark) {
        length = 1;
        return 2;
    }
    uint32_t cp = DecodeUtf8(flat, pos, length);
    return cp >= 0x10000 ? 2 : 1;
}

std::string_view DropFront(std::string_view flat, int64_t units)
{
    size_t pos = 0;
    int64_t counted = 0;
    while (pos < flat.size() && counted < units) {
        size_t length = 0;
        counted += static_cast<int64_t>(UnitsOf(flat, pos, length));
        pos += length;
    }
    return flat.substr(pos);
}

std::string_view DropBack(std::string_view flat, int64_t units)
{
    int64_t total = 0;
    for (size_t pos = 0; pos < flat.size();) {
        size_t length = 0;
        total += static_cast<int64_t>(UnitsOf(flat, pos, length));
        pos += length;
    }
    const int64_t keep = total - units;
    size_t pos = 0;
    int64_t counted = 0;
    while (pos < flat.size()) {
        size_t length = 0;
        int64_t units = static_cast<int64_t>(UnitsOf(flat, pos, length));
        if (counted + units > keep)
            break;
        counted += units;
        pos += length;
    }
    return flat.substr(0, pos);
}

// Applies a document's range entry to the element it belongs to (the body).
void ApplyEntry(const HtmlTree &tree, int32_t element, const Descriptor &d, int32_t entry, TextBuilder &builder)
{
    struct Step {
        int32_t entry;
        int32_t element;
    };
    std::vector<Step> pending{{entry, element}};
    while (!pending.empty()) {
        Step step = pending.back();
        pending.pop_back();
        const DescriptorEntry &e = d.entries[static_cast<size_t>(step.entry)];
        switch (e.kind) {
        case EntryKind::kEmpty:
            break;
        case EntryKind::kWhole:
            builder.Break();
            ExtractSubtree(tree, step.element, builder);
            builder.Break();
            break;
        case EntryKind::kFrom:
        case EntryKind::kTrimEnd: {
            std::string whole;
            TextBuilder part(whole);
            ExtractSubtree(tree, step.element, part);
            std::string_view cut =
                e.kind == EntryKind::kFrom ? DropFront(whole, e.number) : DropBack(whole, e.number);
            builder.Break();
            builder.Flat(cut);
            builder.Break();
            break;
        }
        case EntryKind::kList: {
            const std::vector<int32_t> children = tree.ElementChildren(step.element);
            // Entries past the last child no longer fit the page and are skipped.
            const size_t count = std::min(children.size(), e.children.size());
            for (size_t i = count; i-- > 0;)
                pending.push_back(Step{e.children[i], children[i]});
            break;
        }
        }
    }
}

class PageFlattener {
public:
    PageFlattener(const Descriptor &descriptor, FlatText &out) : d_(descriptor), out_(out), builder_(out.body) {}

    void Whole(DocumentSource &source, const std::string &markup, int depth)
    {
        HtmlTree tree(markup);
        NoteTitle(tree);
        // The text is written once into room for all of it: shown text never grows when
        // white space collapses, and each element adds at most one separator.
        out_.body.reserve(out_.body.size() + tree.ShownTextBytes() + tree.Nodes().size());
        builder_.Break();
        ExtractSubtree(tree, tree.Body(), builder_);
        builder_.Break();
        if (tree.Frameset() == kNoNode || depth >= kMaxFrameDepth)
            return;
        const std::vector<int32_t> frames = FrameElements(tree);
        for (size_t i = 0; i < frames.size() && i < kMaxFramesPerDocument; ++i) {
            if (tree.At(frames[i]).tag != Tag::kFrame)
                continue;
            if (!TakeFrame())
                return;
            std::string frameMarkup;
            std::unique_ptr<DocumentSource> frame = source.Frame(i, std::string(tree.TextOf(frames[i])));
            if (frame && frame->Markup(frameMarkup))
                Whole(*frame, frameMarkup, depth + 1);
        }
    }

    void Selected(DocumentSource &source, const std::string &markup, int32_t document, int depth)
    {
        HtmlTree tree(markup);
        NoteTitle(tree);
        const DocumentSelection &selection = d_.documents[static_cast<size_t>(document)];
        if (selection.entry >= 0 && tree.Body() != kNoNode)
            ApplyEntry(tree, tree.Body(), d_, selection.entry, builder_);
        if (depth >= kMaxFrameDepth)
            return;
        const std::vector<int32_t> frames = FrameElements(tree);
        for (size_t i = 0; i < selection.frames.size() && i < kMaxFramesPerDocument; ++i) {
            if (!d_.Selects(selection.frames[i]))
                continue;
            std::string src = i < frames.size() ? std::string(tree.TextOf(frames[i])) : std::string();
            if (!TakeFrame())
                return;
            std::string frameMarkup;
            std::unique_ptr<DocumentSource> frame = source.Frame(i, src);
            if (frame && frame->Markup(frameMarkup))
                Selected(*frame, frameMarkup, selection.frames[i], depth + 1);
        }
    }

private:
    bool TakeFrame()
    {
        if (framesTaken_ >= kMaxFramesPerPage)
            return false;
        ++framesTaken_;
        return true;
    }

    void NoteTitle(const HtmlTree &tree)
    {
        if (out_.heading.empty())
            out_.heading = CollapsedTitle(tree);
    }

    const Descriptor &d_;
    FlatText &out_;
    TextBuilder builder_;
    size_t framesTaken_ = 0;
};

} // namespace

FlattenResult FlattenPage(DocumentSource &top, const char *descriptor, FlatText &out)
{
    out = FlatText();
    Descriptor d;
    if (!ParseDescriptor(descriptor != nullptr ? std::string_view(descriptor) : std::string_view(), d))
        return FlattenResult::kBadDescriptor;
    std::string markup;
    if (!top.Markup(markup))
        return FlattenResult::kNoDocument;
    if (d.Selects(0)) {
        PageFlattener flattener(d, out);
        flattener.Selected(top, markup, 0, 0);
        if (!out.body.empty())
            return FlattenResult::kOk;
        out = FlatText();
    }
    PageFlattener flattener(d, out);
    flattener.Whole(top, markup, 0);
    return FlattenResult::kOk;
}

FlatText FlattenMarkup(std::string utf8Markup)
{
    MarkupSource source{std::move(utf8Markup)};
    FlatText out;
    FlattenPage(source, nullptr, out);
    return out;
}

std::string FlattenElement(const HtmlTree &tree, int32_t element)
{
    std::string text;
    TextBuilder builder(text);
    ExtractSubtree(tree, element, builder);
    return text;
}

size_t FlatLengthBefore(const HtmlTree &tree, int32_t element, int32_t textNode, size_t offset)
{
    std::string text;
    TextBuilder builder(text);
    const TextStop stop{textNode, offset};
    ExtractSubtree(tree, element, builder, &stop);
    return text.size();
}

void MarkWordBreaks(std::string &text, int32_t maxLen)
{
    if (maxLen < 1)
        return;
    const size_t limit = static_cast<size_t>(maxLen);
    size_t start = 0; // where the sender's next message would begin
    while (start < text.size()) {
        size_t nextMark = text.find(kMark, start);
        size_t segmentEnd = nextMark == std::string::npos ? text.size() : nextMark;
        if (segmentEnd - start <= limit) {
            if (nextMark == std::string::npos)
                return;
            start = nextMark + 1;
            continue;
        }
        // The segment is too long: mark the last space within reach.
        size_t cut = std::string::npos;
        for (size_t k = start + limit; k > start; --k) {
            if (text[k] == ' ') {
                cut = k;
                break;
            }
        }
        if (cut == std::string::npos) {
            start += limit; // a word longer than the limit: the sender cuts it hard
        } else {
            text[cut] = kMark;
            start = cut + 1;
        }
    }
}

} // namespace quillon::webflat
