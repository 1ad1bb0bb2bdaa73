#include "webflat/core/html_tree.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <unordered_map>

#include "webflat/core/entities.h"

namespace quillon::webflat {
namespace {

// Element names in the order of Tag, from Tag::kA on.
constexpr const char *kTagNames[] = {
    "a", "abbr", "address", "applet", "area", "article", "aside", "audio", "b", "base", "basefont",
    "bgsound", "big", "blockquote", "body", "br", "button", "canvas", "caption", "center", "code",
    "col", "colgroup", "dd", "details", "dialog", "dir", "div", "dl", "dt", "em", "embed", "fieldset",
    "figcaption", "figure", "font", "footer", "form", "frame", "frameset", "h1", "h2", "h3", "h4",
    "h5", "h6", "head", "header", "hgroup", "hr", "html", "i", "iframe", "img", "input", "keygen",
    "label", "legend", "li", "link", "listing", "main", "marquee", "math", "menu", "meta", "nav",
    "nobr", "noembed", "noframes", "noscript", "object", "ol", "optgroup", "option", "p", "param",
    "plaintext", "pre", "s", "script", "section", "select", "small", "source", "span", "strike",
    "strong", "style", "summary", "svg", "table", "tbody", "td", "template", "textarea", "tfoot",
    "th", "thead", "title", "tr", "track", "tt", "u", "ul", "video", "wbr", "xmp"};
constexpr size_t kFirstNamedTag = static_cast<size_t>(Tag::kA);
static_assert(std::size(kTagNames) == static_cast<size_t>(Tag::kCount) - kFirstNamedTag,
              "one name per tag");

enum Flag : uint32_t {
    kVoid = 1u << 0,      // never has children
    kSpecial = 1u << 1,   // the HTML standard's "special" category
    kClosesP = 1u << 2,   // its start tag closes an open paragraph
    kRawText = 1u << 3,   // content read as text up to the end tag
    kRcData = 1u << 4,    // raw text with character references decoded
    kHeadOnly = 1u << 5,  // goes into head when it comes before the body
    kScopeEdge = 1u << 6, // bounds "in scope" searches
    kFormatting = 1u << 7,
    kHeading = 1u << 8,
    kTableSection = 1u << 9, // tbody, thead, tfoot
    kTableContext = 1u << 10, // where text and stray elements are fostered out
};

struct TagRule {
    Tag tag;
    uint32_t flags;
};

constexpr TagRule kRules[] = {
    {Tag::kA, kFormatting},
    {Tag::kAddress, kSpecial | kClosesP},
    {Tag::kApplet, kSpecial | kScopeEdge},
    {Tag::kArea, kSpecial | kVoid},
    {Tag::kArticle, kSpecial | kClosesP},
    {Tag::kAside, kSpecial | kClosesP},
    {Tag::kB, kFormatting},
    {Tag::kBase, kSpecial | kVoid | kHeadOnly},
    {Tag::kBasefont, kSpecial | kVoid},
    {Tag::kBgsound, kSpecial | kVoid},
    {Tag::kBig, kFormatting},
    {Tag::kBlockquote, kSpecial | kClosesP},
    {Tag::kBody, kSpecial},
    {Tag::kBr, kSpecial | kVoid},
    {Tag::kButton, kSpecial},
    {Tag::kCaption, kSpecial | kScopeEdge},
    {Tag::kCenter, kSpecial | kClosesP},
    {Tag::kCode, kFormatting},
    {Tag::kCol, kSpecial | kVoid},
    {Tag::kColgroup, kSpecial},
    {Tag::kDd, kSpecial},
    {Tag::kDetails, kSpecial | kClosesP},
    {Tag::kDialog, kClosesP},
    {Tag::kDir, kSpecial | kClosesP},
    {Tag::kDiv, kSpecial | kClosesP},
    {Tag::kDl, kSpecial | kClosesP},
    {Tag::kDt, kSpecial},
    {Tag::kEm, kFormatting},
    {Tag::kEmbed, kSpecial | kVoid},
    {Tag::kFieldset, kSpecial | kClosesP},
    {Tag::kFigcaption, kSpecial | kClosesP},
    {Tag::kFigure, kSpecial | kClosesP},
    {Tag::kFont, kFormatting},
    {Tag::kFooter, kSpecial | kClosesP},
    {Tag::kForm, kSpecial | kClosesP},
    {Tag::kFrame, kSpecial | kVoid},
    {Tag::kFrameset, kSpecial},
    {Tag::kH1, kSpecial | kClosesP | kHeading},
    {Tag::kH2, kSpecial | kClosesP | kHeading},
    {Tag::kH3, kSpecial | kClosesP | kHeading},
    {Tag::kH4, kSpecial | kClosesP | kHeading},
    {Tag::kH5, kSpecial | kClosesP | kHeading},
    {Tag::kH6, kSpecial | kClosesP | kHeading},
    {Tag::kHead, kSpecial},
    {Tag::kHeader, kSpecial | kClosesP},
    {Tag::kHgroup, kSpecial | kClosesP},
    {Tag::kHr, kSpecial | kVoid | kClosesP},
    {Tag::kHtml, kSpecial | kScopeEdge},
    {Tag::kI, kFormatting},
    {Tag::kIframe, kSpecial | kRawText},
    {Tag::kImg, kSpecial | kVoid},
    {Tag::kInput, kSpecial | kVoid},
    {Tag::kKeygen, kVoid},
    {Tag::kLi, kSpecial},
    {Tag::kLink, kSpecial | kVoid | kHeadOnly},
    {Tag::kListing, kSpecial | kClosesP},
    {Tag::kMain, kSpecial | kClosesP},
    {Tag::kMarquee, kSpecial | kScopeEdge},
    {Tag::kMenu, kSpecial | kClosesP},
    {Tag::kMeta, kSpecial | kVoid | kHeadOnly},
    {Tag::kNav, kSpecial | kClosesP},
    {Tag::kNobr, kFormatting},
    {Tag::kNoembed, kSpecial | kRawText},
    {Tag::kNoframes, kSpecial | kRawText | kHeadOnly},
    {Tag::kNoscript, kSpecial | kRawText | kHeadOnly},
    {Tag::kObject, kSpecial | kScopeEdge},
    {Tag::kOl, kSpecial | kClosesP},
    {Tag::kP, kSpecial | kClosesP},
    {Tag::kParam, kSpecial | kVoid},
    {Tag::kPlaintext, kSpecial | kClosesP | kRawText},
    {Tag::kPre, kSpecial | kClosesP},
    {Tag::kS, kFormatting},
    {Tag::kScript, kSpecial | kRawText | kHeadOnly},
    {Tag::kSection, kSpecial | kClosesP},
    {Tag::kSelect, kSpecial},
    {Tag::kSmall, kFormatting},
    {Tag::kSource, kSpecial | kVoid},
    {Tag::kStrike, kFormatting},
    {Tag::kStrong, kFormatting},
    {Tag::kStyle, kSpecial | kRawText | kHeadOnly},
    {Tag::kSummary, kSpecial | kClosesP},
    {Tag::kTable, kSpecial | kClosesP | kScopeEdge | kTableContext},
    {Tag::kTbody, kSpecial | kTableSection | kTableContext},
    {Tag::kTd, kSpecial | kScopeEdge},
    {Tag::kTemplate, kSpecial | kScopeEdge | kHeadOnly | kRawText},
    {Tag::kTextarea, kSpecial | kRawText | kRcData},
    {Tag::kTfoot, kSpecial | kTableSection | kTableContext},
    {Tag::kTh, kSpecial | kScopeEdge},
    {Tag::kThead, kSpecial | kTableSection | kTableContext},
    {Tag::kTitle, kSpecial | kRawText | kRcData | kHeadOnly},
    {Tag::kTr, kSpecial | kTableContext},
    {Tag::kTrack, kSpecial | kVoid},
    {Tag::kTt, kFormatting},
    {Tag::kU, kFormatting},
    {Tag::kUl, kSpecial | kClosesP},
    {Tag::kWbr, kSpecial | kVoid},
    {Tag::kXmp, kSpecial | kClosesP | kRawText},
};

struct FlagTable {
    uint32_t flags[static_cast<size_t>(Tag::kCount)] = {};
    FlagTable()
    {
        for (const TagRule &rule : kRules)
            flags[static_cast<size_t>(rule.tag)] = rule.flags;
    }
};
const FlagTable kFlags;

inline uint32_t FlagsOf(Tag tag) { return kFlags.flags[static_cast<size_t>(tag)]; }
inline bool Has(Tag tag, uint32_t flag) { return (FlagsOf(tag) & flag) != 0; }

// Character classes of the tokenizer, one table look-up per byte.
enum CharClass : uint8_t {
    kSpaceChar = 1u << 0,   // HTML white space
    kAlphaChar = 1u << 1,   // ASCII letter
    kEndsName = 1u << 2,    // ends a tag name: white space, '/', '>'
    kEndsAttrName = 1u << 3, // ends an attribute name: the above and '='
    kEndsUnquoted = 1u << 4, // ends an unquoted attribute value: white space, '>'
};

struct CharTable {
    uint8_t classes[256] = {};
    char lower[256] = {};
    constexpr CharTable()
    {
        for (int c = 0; c < 256; ++c) {
            uint8_t bits = 0;
            const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
            if (space)
                bits |= kSpaceChar | kEndsName | kEndsAttrName | kEndsUnquoted;
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                bits |= kAlphaChar;
            if (c == '/')
                bits |= kEndsName | kEndsAttrName;
            if (c == '>')
                bits |= kEndsName | kEndsAttrName | kEndsUnquoted;
            if (c == '=')
                bits |= kEndsAttrName;
            classes[c] = bits;
            lower[c] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
    }
};
constexpr CharTable kChars;

inline bool Is(char c, uint8_t charClass) { return (kChars.classes[static_cast<unsigned char>(c)] & charClass) != 0; }
inline bool IsSpace(char c) { return Is(c, kSpaceChar); }
inline bool IsAsciiAlpha(char c) { return Is(c, kAlphaChar); }
inline char LowerAscii(char c) { return kChars.lower[static_cast<unsigned char>(c)]; }

bool IsAllSpace(std::string_view text)
{
    for (char c : text)
        if (!IsSpace(c))
            return false;
    return true;
}

// Drops NUL bytes and reads CR LF and lone CR as LF, as the HTML input stream does.
std::string NormalizeInput(std::string_view markup)
{
    std::string out;
    out.reserve(markup.size());
    size_t i = 0;
    while (i < markup.size()) {
        const char *start = markup.data() + i;
        const void *special = nullptr;
        size_t run = markup.size() - i;
        // Copy up to the next CR or NUL in one step.
        const char *cr = static_cast<const char *>(std::memchr(start, '\r', run));
        const char *nul = static_cast<const char *>(std::memchr(start, '\0', cr ? static_cast<size_t>(cr - start) : run));
        special = nul ? nul : cr;
        if (special == nullptr) {
            out.append(start, run);
            break;
        }
        size_t length = static_cast<size_t>(static_cast<const char *>(special) - start);
        out.append(start, length);
        i += length;
        if (markup[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < markup.size() && markup[i + 1] == '\n')
                ++i;
        }
        ++i;
    }
    return out;
}

} // namespace

namespace {

// Tag names by hash: a look-up is one hash of a few bytes and, mostly, one comparison.
class TagNameTable {
public:
    static constexpr size_t kLongestName = 10; // "blockquote", "figcaption"

    TagNameTable()
    {
        for (size_t i = 0; i < std::size(kTagNames); ++i) {
            const std::string_view name = kTagNames[i];
            size_t slot = Hash(name);
            while (slots_[slot] != 0)
                slot = (slot + 1) & (kSlots - 1);
            slots_[slot] = static_cast<uint8_t>(i + 1);
            lengths_[i] = static_cast<uint8_t>(name.size());
        }
    }

    Tag Find(std::string_view name) const
    {
        if (name.empty() || name.size() > kLongestName)
            return Tag::kOther;
        for (size_t slot = Hash(name); slots_[slot] != 0; slot = (slot + 1) & (kSlots - 1)) {
            const size_t index = slots_[slot] - 1u;
            if (lengths_[index] == name.size() && SameBytes(kTagNames[index], name))
                return static_cast<Tag>(kFirstNamedTag + index);
        }
        return Tag::kOther;
    }

private:
    static constexpr size_t kSlots = 512;
    // Names are a few bytes: compared in line, without a library call.
    static bool SameBytes(const char *known, std::string_view name)
    {
        for (size_t k = 0; k < name.size(); ++k)
            if (known[k] != name[k])
                return false;
        return true;
    }
    static size_t Hash(std::string_view name)
    {
        const size_t n = name.size();
        const auto at = [&](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(name[i])); };
        return (n * 97 + at(0) * 31 + at(n - 1) * 7 + at(n / 2)) & (kSlots - 1);
    }

    uint8_t slots_[kSlots] = {};
    uint8_t lengths_[std::size(kTagNames)] = {};
};
const TagNameTable kTagTable;

} // namespace

Tag TagOfName(std::string_view lowerName)
{
    return kTagTable.Find(lowerName);
}

namespace {

// Upper-case tag names, made by the compiler (no initialisation at first use in a library
// that is loaded and unloaded again and again).
struct UpperTagNames {
    char names[std::size(kTagNames)][TagNameTable::kLongestName + 1] = {};
    constexpr UpperTagNames()
    {
        for (size_t i = 0; i < std::size(kTagNames); ++i)
            for (size_t k = 0; kTagNames[i][k] != '\0' && k < TagNameTable::kLongestName; ++k) {
                const char c = kTagNames[i][k];
                names[i][k] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
            }
    }
};
constexpr UpperTagNames kUpperTagNames;

} // namespace

const char *NameOfTag(Tag tag)
{
    size_t index = static_cast<size_t>(tag);
    if (index < kFirstNamedTag || index >= static_cast<size_t>(Tag::kCount))
        return "";
    return kUpperTagNames.names[index - kFirstNamedTag];
}

std::string_view HtmlTree::TextOf(int32_t index) const
{
    const Node &node = At(index);
    if (node.tag == Tag::kOther)
        return std::string_view();
    return (node.textInMarkup ? markup_ : std::string_view(text_)).substr(node.textBegin, node.textLength);
}

std::string_view HtmlTree::ElementName(int32_t index) const
{
    const Node &node = At(index);
    if (node.tag == Tag::kOther)
        return node.textBegin < names.size() ? std::string_view(names[node.textBegin]) : std::string_view();
    if (static_cast<size_t>(node.tag) < kFirstNamedTag)
        return std::string_view();
    return kTagNames[static_cast<size_t>(node.tag) - kFirstNamedTag];
}

std::vector<int32_t> HtmlTree::ElementChildren(int32_t element) const
{
    std::vector<int32_t> children;
    for (int32_t c = At(element).firstChild; c != kNoNode; c = At(c).nextSibling)
        if (At(c).tag != Tag::kText)
            children.push_back(c);
    return children;
}

// Builds an HtmlTree from normalised markup in one pass, with an explicit stack of open
// elements (never recursion).
class TreeBuilder {
public:
    TreeBuilder(HtmlTree &tree, std::string_view input) : tree_(tree), in_(input)
    {
        Node document;
        document.tag = Tag::kDocument;
        tree_.nodes_.push_back(document);
        open_.push_back(0);
    }

    void Run()
    {
        size_t i = 0;
        while (i < in_.size()) {
            const char *lt = static_cast<const char *>(std::memchr(in_.data() + i, '<', in_.size() - i));
            size_t next = lt ? static_cast<size_t>(lt - in_.data()) : in_.size();
            if (next > i)
                InsertText(in_.substr(i, next - i), true);
            if (next >= in_.size())
                break;
            i = ReadMarkup(next);
        }
    }

private:
    // Names longer than this are cut: no rule needs more, and a cut name still matches
    // its own end tag.
    static constexpr size_t kMaxNameLength = 64;

    struct StartTag {
        Tag tag = Tag::kOther;
        char name[kMaxNameLength];
        size_t nameLength = 0;
        bool selfClosing = false;
        bool hidden = false;
        std::string attribute; // alt or src, decoded
        bool hasAttribute = false;

        std::string_view Name() const { return std::string_view(name, nameLength); }
    };

    // Reads the markup at in_[lt] == '<'; returns where text continues.
    size_t ReadMarkup(size_t lt)
    {
        const size_t n = in_.size();
        size_t i = lt + 1;
        if (i < n && IsAsciiAlpha(in_[i]))
            return ReadStartTag(i);
        if (i < n && in_[i] == '/') {
            if (i + 1 < n && IsAsciiAlpha(in_[i + 1]))
                return ReadEndTag(i + 1);
            if (i + 1 < n && in_[i + 1] == '>')
                return i + 2; // "</>" is dropped
            return SkipPast(i, '>'); // bogus comment
        }
        if (i < n && in_[i] == '!') {
            if (in_.compare(i, 3, "!--") == 0) {
                size_t body = i + 3;
                if (in_.compare(body, 1, ">") == 0)
                    return body + 1;
                if (in_.compare(body, 2, "->") == 0)
                    return body + 2;
                size_t end = in_.find("-->", body);
                return end == std::string_view::npos ? n : end + 3;
            }
            return SkipPast(i, '>'); // doctype and other declarations
        }
        if (i < n && in_[i] == '?')
            return SkipPast(i, '>');
        InsertText(in_.substr(lt, 1), false);
        return lt + 1;
    }

    size_t SkipPast(size_t from, char c)
    {
        size_t at = in_.find(c, from);
        return at == std::string_view::npos ? in_.size() : at + 1;
    }

    // Reads a tag name, lower-cased, into name (kMaxNameLength bytes); returns where it ends.
    size_t ReadName(size_t i, char *name, size_t &length)
    {
        length = 0;
        const size_t n = in_.size();
        const char *data = in_.data();
        while (i < n && !Is(data[i], kEndsName)) {
            if (length < kMaxNameLength)
                name[length++] = LowerAscii(data[i]);
            ++i;
        }
        return i;
    }

    // Attributes up to '>'. Returns the position after '>' or npos when the input ends
    // inside the tag (the tag is then dropped, as browsers drop it).
    size_t ReadAttributes(size_t i, StartTag *tag)
    {
        const size_t n = in_.size();
        const char *data = in_.data();
        constexpr size_t kMaxAttrName = 16; // longer names are none the extraction reads
        char attrName[kMaxAttrName];
        while (true) {
            while (i < n && (IsSpace(data[i]) || data[i] == '/')) {
                if (tag != nullptr)
                    tag->selfClosing = data[i] == '/' && i + 1 < n && data[i + 1] == '>';
                ++i;
            }
            if (i >= n)
                return std::string_view::npos;
            if (data[i] == '>')
                return i + 1;
            if (tag != nullptr)
                tag->selfClosing = false;
            size_t attrLength = 0;
            // The first character of a name may be '='.
            do {
                if (attrLength < kMaxAttrName)
                    attrName[attrLength++] = LowerAscii(data[i]);
                ++i;
            } while (i < n && !Is(data[i], kEndsAttrName));
            size_t j = i;
            while (j < n && IsSpace(data[j]))
                ++j;
            std::string_view value;
            bool hasValue = false;
            if (j < n && data[j] == '=') {
                ++j;
                while (j < n && IsSpace(data[j]))
                    ++j;
                if (j >= n)
                    return std::string_view::npos;
                if (data[j] == '"' || data[j] == '\'') {
                    const char *close = static_cast<const char *>(std::memchr(data + j + 1, data[j], n - j - 1));
                    if (close == nullptr)
                        return std::string_view::npos;
                    const size_t closeAt = static_cast<size_t>(close - data);
                    value = in_.substr(j + 1, closeAt - j - 1);
                    i = closeAt + 1;
                } else {
                    size_t k = j;
                    while (k < n && !Is(data[k], kEndsUnquoted))
                        ++k;
                    value = in_.substr(j, k - j);
                    i = k;
                }
                hasValue = true;
            }
            if (tag != nullptr)
                NoteAttribute(*tag, std::string_view(attrName, attrLength), value, hasValue);
        }
    }

    // Whether a style attribute hides its element (display:none or visibility:hidden,
    // white space and case ignored), read without a copy of the value.
    static bool StyleHides(std::string_view value)
    {
        static constexpr std::string_view kHiding[] = {"display:none", "visibility:hidden"};
        value = value.substr(0, 4096);
        for (std::string_view pattern : kHiding) {
            for (size_t start = 0; start < value.size(); ++start) {
                if (LowerAscii(value[start]) != pattern[0])
                    continue;
                size_t matched = 1;
                for (size_t k = start + 1; k < value.size() && matched < pattern.size(); ++k) {
                    if (IsSpace(value[k]))
                        continue;
                    if (LowerAscii(value[k]) != pattern[matched])
                        break;
                    ++matched;
                }
                if (matched == pattern.size())
                    return true;
            }
        }
        return false;
    }

    static void NoteAttribute(StartTag &tag, std::string_view name, std::string_view value, bool hasValue)
    {
        if (name == "hidden") {
            tag.hidden = true;
        } else if (name == "style" && hasValue) {
            if (StyleHides(value))
                tag.hidden = true;
        } else if (!tag.hasAttribute &&
                   ((name == "alt" && tag.tag == Tag::kImg) ||
                    (name == "src" && (tag.tag == Tag::kFrame || tag.tag == Tag::kIframe)))) {
            constexpr size_t kMaxAttribute = 64 * 1024;
            AppendDecoded(value.substr(0, kMaxAttribute), true, tag.attribute);
            tag.hasAttribute = true;
        }
    }

    size_t ReadStartTag(size_t i)
    {
        StartTag tag;
        i = ReadName(i, tag.name, tag.nameLength);
        tag.tag = TagOfName(tag.Name());
        size_t after = ReadAttributes(i, &tag);
        if (after == std::string_view::npos)
            return in_.size();
        int32_t element = StartElement(tag);
        if (Has(tag.tag, kRawText))
            return ReadRawText(after, tag, element);
        return after;
    }

    size_t ReadEndTag(size_t i)
    {
        char name[kMaxNameLength];
        size_t nameLength = 0;
        i = ReadName(i, name, nameLength);
        size_t after = ReadAttributes(i, nullptr);
        if (after == std::string_view::npos)
            return in_.size();
        const std::string_view view(name, nameLength);
        EndElement(TagOfName(view), view);
        return after;
    }

    // Content of a raw-text element up to its end tag (or the end of the input).
    size_t ReadRawText(size_t from, const StartTag &tag, int32_t element)
    {
        const size_t n = in_.size();
        size_t end = n;
        size_t resume = n;
        if (tag.tag != Tag::kPlaintext) {
            size_t i = from;
            while (i < n) {
                const char *lt = static_cast<const char *>(std::memchr(in_.data() + i, '<', n - i));
                if (lt == nullptr)
                    break;
                size_t at = static_cast<size_t>(lt - in_.data());
                size_t k = at + 1;
                if (k < n && in_[k] == '/') {
                    size_t m = 0;
                    while (m < tag.nameLength && k + 1 + m < n && LowerAscii(in_[k + 1 + m]) == tag.name[m])
                        ++m;
                    size_t stop = k + 1 + m;
                    if (m == tag.nameLength && (stop >= n || IsSpace(in_[stop]) || in_[stop] == '/' || in_[stop] == '>')) {
                        end = at;
                        size_t close = ReadAttributes(stop, nullptr);
                        resume = close == std::string_view::npos ? n : close;
                        break;
                    }
                }
                i = at + 1;
            }
        }
        if (element != kNoNode && end > from) {
            const TextRef text = StageText(in_.substr(from, end - from), Has(tag.tag, kRcData));
            if (tag.tag != Tag::kScript && tag.tag != Tag::kStyle)
                tree_.shownTextBytes_ += text.length;
            PlaceText(element, text);
        }
        return resume;
    }

    // ---- tree building ----

    Node &N(int32_t index) { return tree_.nodes_[static_cast<size_t>(index)]; }
    int32_t Current() const { return open_.back(); }
    Tag CurrentTag() { return N(Current()).tag; }

    int32_t NewNode(Tag tag)
    {
        // Text nodes may go past the cap on elements, so that text after it is kept; a
        // text node needs an element or another node between it and the next one.
        if (tree_.nodes_.size() >= (tag == Tag::kText ? 2 * HtmlTree::kMaxNodes : HtmlTree::kMaxNodes))
            return kNoNode;
        Node node;
        node.tag = tag;
        tree_.nodes_.push_back(node);
        return static_cast<int32_t>(tree_.nodes_.size() - 1);
    }

    void Append(int32_t parent, int32_t child)
    {
        Node &p = N(parent);
        N(child).parent = parent;
        N(child).previousSibling = p.lastChild;
        if (p.lastChild == kNoNode)
            p.firstChild = child;
        else
            N(p.lastChild).nextSibling = child;
        p.lastChild = child;
    }

    void InsertBefore(int32_t parent, int32_t child, int32_t before)
    {
        if (N(before).parent != parent) {
            Append(parent, child);
            return;
        }
        const int32_t previous = N(before).previousSibling;
        N(child).parent = parent;
        N(child).nextSibling = before;
        N(child).previousSibling = previous;
        N(before).previousSibling = child;
        if (previous == kNoNode)
            N(parent).firstChild = child;
        else
            N(previous).nextSibling = child;
    }

    // Where a node's text lies: in the markup (no copy) or in the tree's store.
    struct TextRef {
        uint32_t begin = 0;
        uint32_t length = 0;
        bool inMarkup = true;
    };

    // Text that needs no decoding stays where it is in the markup; text with character
    // references is decoded once, straight onto the end of the store ("staged"), and
    // the node that holds it is found afterwards.
    TextRef StageText(std::string_view raw, bool decode)
    {
        TextRef text;
        if (decode && std::memchr(raw.data(), '&', raw.size()) != nullptr) {
            text.inMarkup = false;
            text.begin = static_cast<uint32_t>(tree_.text_.size());
            AppendDecoded(raw, false, tree_.text_);
            text.length = static_cast<uint32_t>(tree_.text_.size() - text.begin);
        } else {
            text.begin = static_cast<uint32_t>(raw.data() - in_.data());
            text.length = static_cast<uint32_t>(raw.size());
        }
        return text;
    }

    std::string_view View(const TextRef &text) const
    {
        return (text.inMarkup ? in_ : std::string_view(tree_.text_)).substr(text.begin, text.length);
    }

    // Drops staged text that found no node.
    void Unstage(const TextRef &text)
    {
        if (!text.inMarkup)
            tree_.text_.resize(text.begin);
    }

    // Text that directly follows `neighbour`'s text where it lies (adjacent character
    // runs of the markup, or decoded text staged right after it) extends that node.
    bool ExtendTextNode(int32_t neighbour, const TextRef &text)
    {
        if (neighbour == kNoNode)
            return false;
        Node &node = N(neighbour);
        if (node.tag != Tag::kText || node.textInMarkup != text.inMarkup || node.textBegin + node.textLength != text.begin)
            return false;
        node.textLength += text.length;
        return true;
    }

    // Past the node budget text cannot get a node of its own: it joins the text node
    // before it, whose text then moves to the store (once; a node whose text is in the
    // store but not at its end takes no more, and the text is dropped).
    bool MergeIntoStore(int32_t neighbour, const TextRef &text)
    {
        if (neighbour == kNoNode || N(neighbour).tag != Tag::kText)
            return false;
        Node &node = N(neighbour);
        std::string &store = tree_.text_;
        const size_t staged = text.inMarkup ? store.size() : text.begin;
        if (node.textInMarkup) {
            store.insert(staged, in_.substr(node.textBegin, node.textLength));
            node.textBegin = static_cast<uint32_t>(staged);
            node.textInMarkup = false;
        } else if (node.textBegin + node.textLength != staged) {
            return false;
        }
        if (text.inMarkup)
            store.append(View(text));
        node.textLength = static_cast<uint32_t>(store.size() - node.textBegin);
        return true;
    }

    // A new, unattached text node holding text; kNoNode when the node budget is spent.
    int32_t NewTextNode(const TextRef &text)
    {
        int32_t node = NewNode(Tag::kText);
        if (node == kNoNode)
            return kNoNode;
        N(node).textBegin = text.begin;
        N(node).textLength = text.length;
        N(node).textInMarkup = text.inMarkup;
        return node;
    }

    // Puts text at the end of parent's children.
    void PlaceText(int32_t parent, const TextRef &text)
    {
        const int32_t last = N(parent).lastChild;
        if (text.length == 0 || ExtendTextNode(last, text))
            return;
        int32_t node = NewTextNode(text);
        if (node != kNoNode)
            Append(parent, node);
        else if (!MergeIntoStore(last, text))
            Unstage(text);
    }

    int32_t EnsureHtml()
    {
        if (html_ == kNoNode) {
            html_ = NewNode(Tag::kHtml);
            if (html_ == kNoNode)
                return kNoNode;
            Append(0, html_);
            Push(html_);
        }
        return html_;
    }

    int32_t EnsureHead()
    {
        if (EnsureHtml() == kNoNode)
            return kNoNode;
        if (head_ == kNoNode) {
            head_ = NewNode(Tag::kHead);
            if (head_ != kNoNode)
                Append(html_, head_);
        }
        return head_;
    }

    // The body, created when content first needs it; kNoNode when content is dropped
    // (after a frameset, as browsers drop it).
    int32_t EnsureBody()
    {
        if (tree_.body_ != kNoNode)
            return tree_.body_;
        if (tree_.frameset_ != kNoNode)
            return kNoNode;
        if (EnsureHead() == kNoNode)
            return kNoNode;
        int32_t body = NewNode(Tag::kBody);
        if (body == kNoNode)
            return kNoNode;
        tree_.body_ = body;
        Append(html_, body);
        PopUntilIndex(html_);
        Push(body);
        return body;
    }

    void PopUntilIndex(int32_t node)
    {
        size_t k = open_.size();
        while (k > 1 && open_[k - 1] != node)
            --k;
        PopToDepthCounted(k);
    }

    // Index in open_ of the nearest open element with this tag, searching down from the
    // top and stopping at scope edges (and at tag-specific edges); npos when none.
    size_t FindInScope(Tag tag, uint32_t edgeFlags, std::initializer_list<Tag> extraEdges = {},
                       const std::string_view *otherName = nullptr)
    {
        if (!IsOpen(tag))
            return std::string_view::npos;
        for (size_t k = open_.size(); k-- > 1;) {
            const Node &node = N(open_[k]);
            if (node.tag == tag &&
                (tag != Tag::kOther || otherName == nullptr || tree_.names[node.textBegin] == *otherName))
                return k;
            if (Has(node.tag, edgeFlags))
                return std::string_view::npos;
            for (Tag edge : extraEdges)
                if (node.tag == edge)
                    return std::string_view::npos;
        }
        return std::string_view::npos;
    }

    // The innermost open table: tables bound only by html and template.
    size_t TableInScope() { return FindInScope(Tag::kTable, 0, {Tag::kHtml, Tag::kTemplate}); }

    void ClosePInButtonScope()
    {
        size_t k = FindInScope(Tag::kP, kScopeEdge, {Tag::kButton});
        if (k != std::string_view::npos)
            PopToDepthCounted(k);
    }

    // The table element among the open elements, when current insertion is in table
    // context (current node is a table, section or row).
    size_t TableForFostering()
    {
        if (!Has(CurrentTag(), kTableContext))
            return std::string_view::npos;
        for (size_t k = open_.size(); k-- > 1;)
            if (N(open_[k]).tag == Tag::kTable)
                return k;
        return std::string_view::npos;
    }

    // Inserts element at the current place, fostering it out before the table when the
    // current node is a table part.
    void InsertElement(int32_t element)
    {
        size_t table = TableForFostering();
        if (table != std::string_view::npos) {
            int32_t tableNode = open_[table];
            int32_t parent = N(tableNode).parent;
            if (parent != kNoNode) {
                InsertBefore(parent, element, tableNode);
                return;
            }
        }
        Append(Current(), element);
    }

    void InsertText(std::string_view raw, bool decode)
    {
        if (open_.size() == 1 || (tree_.body_ == kNoNode && Current() != tree_.frameset_) ||
            (Current() == head_ && head_ != kNoNode)) {
            // Before the body: white space is dropped, anything else opens the body.
            if (IsAllSpace(raw))
                return;
            if (EnsureBody() == kNoNode)
                return;
        }
        if (tree_.body_ == kNoNode && CurrentTag() == Tag::kFrameset)
            return; // text in a frameset is not shown
        const TextRef text = StageText(raw, decode);
        tree_.shownTextBytes_ += text.length;
        size_t table = TableForFostering();
        if (table != std::string_view::npos && !IsAllSpace(View(text))) {
            int32_t tableNode = open_[table];
            int32_t parent = N(tableNode).parent;
            if (parent != kNoNode) {
                // Fostered text goes before the table, merged with a text node there.
                const int32_t before = N(tableNode).previousSibling;
                if (!ExtendTextNode(before, text)) {
                    int32_t node = NewTextNode(text);
                    if (node != kNoNode)
                        InsertBefore(parent, node, tableNode);
                    else if (!MergeIntoStore(before, text))
                        Unstage(text);
                }
                return;
            }
        }
        PlaceText(Current(), text);
    }

    // Opens an element the markup left out (tbody, tr, colgroup) inside the current one
    // and makes it current; false when the node budget is spent.
    bool OpenImpliedElement(Tag tag)
    {
        StartTag implied;
        implied.tag = tag;
        int32_t node = MakeElement(implied);
        if (node == kNoNode)
            return false;
        Append(Current(), node);
        Push(node);
        return true;
    }

    int32_t MakeElement(const StartTag &tag)
    {
        int32_t element = NewNode(tag.tag);
        if (element == kNoNode)
            return kNoNode;
        Node &node = N(element);
        node.hidden = tag.hidden;
        if (tag.tag == Tag::kOther) {
            std::string name(tag.Name());
            auto it = nameIndex_.find(name);
            if (it == nameIndex_.end()) {
                tree_.names.push_back(name);
                it = nameIndex_.emplace(std::move(name), static_cast<uint32_t>(tree_.names.size() - 1)).first;
            }
            node.textBegin = it->second;
        }
        if (tag.hasAttribute) {
            node.textBegin = static_cast<uint32_t>(tree_.text_.size());
            node.textLength = static_cast<uint32_t>(tag.attribute.size());
            tree_.text_.append(tag.attribute);
            tree_.shownTextBytes_ += tag.attribute.size();
        }
        return element;
    }

    bool AnyHeadingOpen() const
    {
        return IsOpen(Tag::kH1) || IsOpen(Tag::kH2) || IsOpen(Tag::kH3) || IsOpen(Tag::kH4) || IsOpen(Tag::kH5) ||
               IsOpen(Tag::kH6);
    }
    bool IsOpen(Tag tag) const { return openCount_[static_cast<size_t>(tag)] > 0; }

    bool ForeignOpen() const { return foreignDepth_ > 0; }

    void Push(int32_t element)
    {
        open_.push_back(element);
        Tag tag = N(element).tag;
        ++openCount_[static_cast<size_t>(tag)];
        if (tag == Tag::kSvg || tag == Tag::kMath)
            ++foreignDepth_;
    }

    void PopToDepthCounted(size_t k)
    {
        while (open_.size() > k) {
            Tag tag = N(open_.back()).tag;
            --openCount_[static_cast<size_t>(tag)];
            if (tag == Tag::kSvg || tag == Tag::kMath)
                --foreignDepth_;
            open_.pop_back();
        }
    }

    // Returns the new element (for raw-text content), or kNoNode.
    int32_t StartElement(const StartTag &tag)
    {
        const Tag t = tag.tag;
        switch (t) {
        case Tag::kHtml:
            EnsureHtml();
            return kNoNode;
        case Tag::kHead:
            if (tree_.body_ == kNoNode && tree_.frameset_ == kNoNode)
                EnsureHead();
            return kNoNode;
        case Tag::kBody:
            EnsureBody();
            return kNoNode;
        default:
            break;
        }

        if (Has(t, kHeadOnly) && tree_.body_ == kNoNode && tree_.frameset_ == kNoNode) {
            int32_t head = EnsureHead();
            if (head == kNoNode)
                return kNoNode;
            int32_t element = MakeElement(tag);
            if (element == kNoNode)
                return kNoNode;
            Append(head, element);
            if (t == Tag::kTitle && tree_.title_ == kNoNode)
                tree_.title_ = element;
            return element; // head elements are void or raw text: never pushed
        }

        if (t == Tag::kFrameset) {
            if (tree_.body_ != kNoNode)
                return kNoNode;
            int32_t element = MakeElement(tag);
            if (element == kNoNode)
                return kNoNode;
            if (tree_.frameset_ == kNoNode) {
                if (EnsureHtml() == kNoNode)
                    return kNoNode;
                EnsureHead();
                PopUntilIndex(html_);
                Append(html_, element);
                tree_.frameset_ = element;
            } else {
                if (CurrentTag() != Tag::kFrameset)
                    return kNoNode;
                Append(Current(), element);
            }
            Push(element);
            return kNoNode;
        }
        if (t == Tag::kFrame) {
            if (tree_.frameset_ == kNoNode || CurrentTag() != Tag::kFrameset)
                return kNoNode;
            int32_t element = MakeElement(tag);
            if (element != kNoNode)
                Append(Current(), element);
            return kNoNode;
        }
        if (t == Tag::kNoframes && tree_.frameset_ != kNoNode && tree_.body_ == kNoNode) {
            int32_t element = MakeElement(tag);
            if (element != kNoNode)
                Append(Current(), element);
            return element;
        }

        if (EnsureBody() == kNoNode)
            return kNoNode;

        // Elements closed by the start of another.
        if (Has(t, kClosesP))
            ClosePInButtonScope();
        switch (t) {
        case Tag::kLi:
        case Tag::kDd:
        case Tag::kDt:
            for (size_t k = open_.size(); (t == Tag::kLi ? IsOpen(Tag::kLi) : IsOpen(Tag::kDd) || IsOpen(Tag::kDt)) && k-- > 1;) {
                Tag open = N(open_[k]).tag;
                bool closes = t == Tag::kLi ? open == Tag::kLi : (open == Tag::kDd || open == Tag::kDt);
                if (closes) {
                    PopToDepthCounted(k);
                    break;
                }
                if (Has(open, kSpecial) && open != Tag::kAddress && open != Tag::kDiv && open != Tag::kP)
                    break;
            }
            ClosePInButtonScope();
            break;
        case Tag::kH1:
        case Tag::kH2:
        case Tag::kH3:
        case Tag::kH4:
        case Tag::kH5:
        case Tag::kH6:
            if (Has(CurrentTag(), kHeading))
                PopToDepthCounted(open_.size() - 1);
            break;
        case Tag::kA:
        case Tag::kNobr:
        case Tag::kButton: {
            size_t k = FindInScope(t, kScopeEdge);
            if (k != std::string_view::npos)
                PopToDepthCounted(k);
            break;
        }
        case Tag::kOption:
            if (CurrentTag() == Tag::kOption)
                PopToDepthCounted(open_.size() - 1);
            break;
        case Tag::kOptgroup:
            if (CurrentTag() == Tag::kOption)
                PopToDepthCounted(open_.size() - 1);
            if (CurrentTag() == Tag::kOptgroup)
                PopToDepthCounted(open_.size() - 1);
            break;
        case Tag::kCaption:
        case Tag::kColgroup:
        case Tag::kTbody:
        case Tag::kThead:
        case Tag::kTfoot: {
            size_t table = TableInScope();
            if (table == std::string_view::npos)
                return kNoNode; // outside a table these tags are ignored
            PopToDepthCounted(table + 1);
            break;
        }
        case Tag::kCol: {
            size_t table = TableInScope();
            if (table == std::string_view::npos)
                return kNoNode;
            if (CurrentTag() != Tag::kColgroup) {
                PopToDepthCounted(table + 1);
                if (!OpenImpliedElement(Tag::kColgroup))
                    return kNoNode;
            }
            break;
        }
        case Tag::kTr: {
            size_t table = TableInScope();
            if (table == std::string_view::npos)
                return kNoNode;
            PopToTableBody(table, false);
            break;
        }
        case Tag::kTd:
        case Tag::kTh: {
            size_t table = TableInScope();
            if (table == std::string_view::npos)
                return kNoNode;
            PopToTableBody(table, true);
            if (CurrentTag() != Tag::kTr) {
                if (!OpenImpliedElement(Tag::kTr))
                    return kNoNode;
            }
            break;
        }
        default:
            break;
        }

        int32_t element = MakeElement(tag);
        if (element == kNoNode)
            return kNoNode;
        if (t == Tag::kTitle && tree_.title_ == kNoNode)
            tree_.title_ = element;
        const bool tablePart = t == Tag::kCaption || t == Tag::kColgroup || t == Tag::kCol || t == Tag::kTbody ||
                               t == Tag::kThead || t == Tag::kTfoot || t == Tag::kTr || t == Tag::kTd ||
                               t == Tag::kTh || t == Tag::kTable || t == Tag::kScript || t == Tag::kStyle;
        if (tablePart)
            Append(Current(), element);
        else
            InsertElement(element);
        const bool selfClosed = tag.selfClosing && (ForeignOpen() || t == Tag::kSvg || t == Tag::kMath);
        if (!Has(t, kVoid) && !Has(t, kRawText) && !selfClosed)
            Push(element);
        return element;
    }

    // Closes what is open below the table down to its section (or, for a new cell, down
    // to its row), implying a tbody under a bare table.
    void PopToTableBody(size_t table, bool keepRow)
    {
        size_t k = open_.size();
        while (k > table + 1) {
            Tag open = N(open_[k - 1]).tag;
            if (Has(open, kTableSection) || (keepRow && open == Tag::kTr))
                break;
            --k;
        }
        PopToDepthCounted(k);
        if (CurrentTag() == Tag::kTable) {
            if (!OpenImpliedElement(Tag::kTbody))
                return;
        }
    }

    void EndElement(Tag t, std::string_view name)
    {
        switch (t) {
        case Tag::kHtml:
        case Tag::kBody:
        case Tag::kHead:
            return; // later content still belongs to the body
        case Tag::kBr: {
            StartTag br;
            br.tag = Tag::kBr;
            StartElement(br);
            return;
        }
        case Tag::kP: {
            size_t k = FindInScope(Tag::kP, kScopeEdge, {Tag::kButton});
            if (k != std::string_view::npos) {
                PopToDepthCounted(k);
            } else {
                StartTag p; // a stray </p> makes an empty paragraph, as browsers do
                p.tag = Tag::kP;
                if (EnsureBody() != kNoNode) {
                    int32_t element = MakeElement(p);
                    if (element != kNoNode)
                        InsertElement(element);
                }
            }
            return;
        }
        case Tag::kH1:
        case Tag::kH2:
        case Tag::kH3:
        case Tag::kH4:
        case Tag::kH5:
        case Tag::kH6:
            for (size_t k = open_.size(); AnyHeadingOpen() && k-- > 1;) {
                Tag open = N(open_[k]).tag;
                if (Has(open, kHeading)) {
                    PopToDepthCounted(k);
                    return;
                }
                if (Has(open, kScopeEdge))
                    return;
            }
            return;
        case Tag::kTr:
        case Tag::kTd:
        case Tag::kTh:
        case Tag::kTbody:
        case Tag::kThead:
        case Tag::kTfoot:
        case Tag::kCaption:
        case Tag::kColgroup:
        case Tag::kTable: {
            // Table parts close within their own table; </table> closes through open cells.
            size_t k = t == Tag::kTable ? TableInScope() : FindInScope(t, 0, {Tag::kTable, Tag::kHtml});
            if (k != std::string_view::npos)
                PopToDepthCounted(k);
            return;
        }
        case Tag::kFrameset:
            if (CurrentTag() == Tag::kFrameset && open_.size() > 2)
                PopToDepthCounted(open_.size() - 1);
            return;
        default:
            break;
        }
        if (t == Tag::kOther || Has(t, kFormatting) || !Has(t, kSpecial)) {
            // Phrasing end tags close the nearest match unless a block lies between.
            if (t != Tag::kOther && !IsOpen(t))
                return;
            for (size_t k = open_.size(); k-- > 1;) {
                const Node &node = N(open_[k]);
                if (node.tag == t && (t != Tag::kOther || tree_.names[node.textBegin] == name)) {
                    PopToDepthCounted(k);
                    return;
                }
                if (Has(node.tag, kScopeEdge))
                    return;
                // A block between keeps the inline element open until the block ends,
                // which is where browsers leave its text too.
                if (Has(node.tag, kSpecial))
                    return;
            }
            return;
        }
        size_t k = FindInScope(t, kScopeEdge);
        if (k != std::string_view::npos)
            PopToDepthCounted(k);
    }

    HtmlTree &tree_;
    std::string_view in_;
    std::vector<int32_t> open_;
    int32_t html_ = kNoNode;
    int32_t head_ = kNoNode;
    int foreignDepth_ = 0;
    // How many elements of each tag are open: searches for a tag that is not open at all
    // end at once, which keeps deeply nested pages linear.
    size_t openCount_[static_cast<size_t>(Tag::kCount)] = {};
    std::unordered_map<std::string, uint32_t> nameIndex_;
};

HtmlTree::HtmlTree(std::string_view utf8Markup)
{
    // Most pages have neither CR nor NUL and are read as they stand.
    markup_ = utf8Markup;
    if (!utf8Markup.empty() && (std::memchr(utf8Markup.data(), '\r', utf8Markup.size()) != nullptr ||
        std::memchr(utf8Markup.data(), '\0', utf8Markup.size()) != nullptr)) {
        normalized_ = NormalizeInput(utf8Markup);
        markup_ = normalized_;
    }
    // Text offsets are 32-bit: markup past 4 GB (far beyond any page) is not read.
    if (markup_.size() > UINT32_MAX)
        markup_ = markup_.substr(0, UINT32_MAX);
    // Pages hold about one node per 15 to 20 bytes; reserving that once spares the copies
    // of growing (markup with more nodes than that grows the vector as usual).
    nodes_.reserve(std::min<size_t>(markup_.size() / 16 + 16, 2 * kMaxNodes));
    TreeBuilder builder(*this, markup_);
    builder.Run();
}

} // namespace quillon::webflat
