#include "capture/selection_descriptor.h"

#include <vector>

namespace quillon::capture {
namespace {

char16_t FoldCase(char16_t c)
{
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - u'a' + u'A');
    // Latin-1 letters, as the ANSI comparison of the system code page folds them.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<char16_t>(c - 0x20);
    return c;
}

bool EqualNoCase(const std::u16string &a, const std::u16string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    return true;
}

bool TagIs(const std::string &tag, const char *upper)
{
    size_t i = 0;
    for (; i < tag.size() && upper[i] != '\0'; ++i) {
        char c = tag[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != upper[i])
            return false;
    }
    return i == tag.size() && upper[i] == '\0';
}

bool IsTrimmed(char16_t c) { return c == u' ' || c == u'\r' || c == u'\n' || c == u'\t'; }

std::u16string Trim(const std::u16string &text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsTrimmed(text[begin]))
        ++begin;
    while (end > begin && IsTrimmed(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::u16string TextOf(const PageElement &element)
{
    std::u16string text;
    if (!element.InnerText(text))
        text.clear();
    return text;
}

std::u16string TextOf(const PageTextRange &range)
{
    std::u16string text;
    if (!range.Text(text))
        text.clear();
    return text;
}

bool Compare(const PageTextRange &range, EndPoints which, const PageTextRange &other, int *order)
{
    *order = 0;
    return range.CompareEndPoints(which, other, order);
}

// The range starts inside other: after its start and not after its end.
bool StartsInside(const PageTextRange &range, const PageTextRange &other)
{
    int order = 0;
    if (!Compare(range, EndPoints::kStartToStart, other, &order) || order != 1)
        return false;
    return Compare(range, EndPoints::kStartToEnd, other, &order) && order <= 0;
}

// The range ends inside other: not before its start and before its end.
bool EndsInside(const PageTextRange &range, const PageTextRange &other)
{
    int order = 0;
    if (!Compare(range, EndPoints::kEndToStart, other, &order) || order < 0)
        return false;
    return Compare(range, EndPoints::kEndToEnd, other, &order) && order == -1;
}

// The smallest k for which text from k on occurs in selected. A tail of an occurring text
// occurs too, so the answer is found by halving; k = size always qualifies.
size_t FirstTailInside(const std::u16string &text, const std::u16string &selected)
{
    size_t low = 0;
    size_t high = text.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (selected.find(text.data() + middle, 0, text.size() - middle) != std::u16string::npos)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

// The fewest characters to take off text's end so that the rest occurs in selected.
size_t LastCharsOutside(const std::u16string &text, const std::u16string &selected)
{
    size_t low = 0;
    size_t high = text.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (selected.find(text.data(), 0, text.size() - middle) != std::u16string::npos)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

void ReplaceLast(std::string *text, char c)
{
    if (!text->empty())
        text->back() = c;
}

bool Describe(const PageElement &element, const PageTextRange &range, std::string *out, int depth)
{
    if (depth > kMaxDescribeDepth)
        return false;
    const std::u16string selected = Trim(TextOf(range));
    if (EqualNoCase(Trim(TextOf(element)), selected)) {
        out->append("<0,-1>");
        return true;
    }
    const size_t mark = out->size();
    std::unique_ptr<PageTextRange> probe = range.Duplicate();
    if (!probe)
        return false;
    bool wrote = false;

    const long count = element.ChildCount();
    if (count >= 1 && HasTablePart(element)) {
        out->push_back('<');
        wrote = true;
        bool matched = false;
        for (long i = 0; i < count; ++i) {
            std::unique_ptr<PageElement> child;
            const PageElement::ChildKind kind = element.Child(i, child);
            if (kind == PageElement::ChildKind::kFailed)
                continue;
            if (kind == PageElement::ChildKind::kElement) {
                const std::u16string childText = TextOf(*child);
                // A child whose text the probe cannot cover is written as an empty entry
                // rather than judged against where the probe was left by the last child.
                if (!childText.empty() && probe->MoveToElementText(*child)) {
                    bool contains = false;
                    if (range.InRange(*probe, &contains) && contains) {
                        out->append("<0,-1>");
                        matched = true;
                    } else if (StartsInside(range, *probe) || EndsInside(range, *probe)) {
                        Describe(*child, range, out, depth + 1);
                        matched = true;
                    }
                }
            }
            out->push_back(',');
        }
        ReplaceLast(out, '>');
        if (matched)
            return true;
    }
    out->resize(mark);

    if (!probe->MoveToElementText(element))
        return wrote;
    if (StartsInside(range, *probe)) {
        const std::u16string whole = TextOf(*probe);
        out->append("<" + std::to_string(FirstTailInside(whole, selected)) + ",-1>");
        return true;
    }
    if (EndsInside(range, *probe)) {
        const std::u16string whole = TextOf(*probe);
        out->append("<0," + std::to_string(LastCharsOutside(whole, selected)) + ">");
        return true;
    }
    return wrote;
}

DescriptorStatus Build(const PageDocument &document, std::string *descriptor, int depth)
{
    std::string result = "(";
    DescriptorStatus status = DescriptorStatus::kFailure;
    if (TagIs(document.SelectionType(), "TEXT")) {
        std::unique_ptr<PageTextRange> range = document.SelectionRange();
        if (range) {
            std::unique_ptr<PageElement> element = range->ParentElement();
            status = DescriptorStatus::kSuccess;
            if (element) {
                const size_t selectedLength = TextOf(*range).size();
                // Climb to the first element whose text is at least as long as the selection.
                while (TextOf(*element).size() < selectedLength) {
                    std::unique_ptr<PageElement> parent = element->Parent();
                    if (!parent)
                        break;
                    element = std::move(parent);
                }
                std::string entry;
                if (!DescribeRangeInElement(*element, *range, &entry)) {
                    document.ReportUndescribableSelection();
                    return DescriptorStatus::kAborted;
                }
                result += WrapWithAncestors(*element, std::move(entry));
            }
        }
    } else if (depth < kMaxFrameDepth) {
        const long frames = document.FrameCount();
        for (long i = 0; i < frames; ++i) {
            std::unique_ptr<PageDocument> frame = document.FrameDocument(i);
            if (!frame)
                continue;
            std::string frameDescriptor;
            const DescriptorStatus frameStatus = Build(*frame, &frameDescriptor, depth + 1);
            if (frameStatus == DescriptorStatus::kAborted)
                continue;
            result += frameDescriptor;
            if (frameStatus == DescriptorStatus::kSuccess)
                status = DescriptorStatus::kSuccess;
        }
    }
    result += ")";
    *descriptor = std::move(result);
    return status;
}

} // namespace

bool DescribeRangeInElement(const PageElement &element, const PageTextRange &range, std::string *out)
{
    return Describe(element, range, out, 0);
}

bool HasTablePart(const PageElement &element)
{
    static const char *const kTableParts[] = {"TABLE", "THEAD", "TBODY", "TFOOT", "TR", "TH", "TD"};
    // Depth first, child by child, without recursion: a page may nest very deep.
    struct Level {
        std::unique_ptr<PageElement> owned;
        const PageElement *element;
        long next;
        long count;
    };
    std::vector<Level> stack;
    stack.push_back(Level{nullptr, &element, 0, element.ChildCount()});
    while (!stack.empty()) {
        Level &level = stack.back();
        if (level.next >= level.count) {
            stack.pop_back();
            continue;
        }
        std::unique_ptr<PageElement> child;
        if (level.element->Child(level.next++, child) != PageElement::ChildKind::kElement)
            continue;
        const std::string tag = child->TagName();
        for (const char *part : kTableParts)
            if (TagIs(tag, part))
                return true;
        const long count = child->ChildCount();
        const PageElement *raw = child.get();
        stack.push_back(Level{std::move(child), raw, 0, count});
    }
    return false;
}

std::string WrapWithAncestors(const PageElement &element, std::string entry)
{
    std::unique_ptr<PageElement> owned;
    const PageElement *current = &element;
    while (!TagIs(current->TagName(), "BODY")) {
        const long index = current->SourceIndex();
        std::unique_ptr<PageElement> parent = current->Parent();
        if (!parent)
            return entry;
        std::string wrapped = entry;
        const long count = parent->ChildCount();
        if (count >= 1) {
            wrapped = "<";
            for (long i = 0; i < count; ++i) {
                std::unique_ptr<PageElement> child;
                if (parent->Child(i, child) != PageElement::ChildKind::kElement)
                    continue;
                if (child->SourceIndex() == index)
                    wrapped += entry;
                wrapped += ",";
            }
            // A list of which no member could be fetched names no child: "<>", not a
            // lone ">" that no reader accepts.
            if (wrapped.size() == 1)
                wrapped += ">";
            else
                ReplaceLast(&wrapped, '>');
        }
        if (TagIs(parent->TagName(), "BASE")) {
            // Content the page put inside BASE elements is listed among the children of
            // the first ancestor that is not one.
            while (TagIs(parent->TagName(), "BASE")) {
                std::unique_ptr<PageElement> up = parent->Parent();
                if (!up)
                    break;
                parent = std::move(up);
            }
            const long outerCount = parent->ChildCount();
            size_t position = 1;
            for (long i = 0; i < outerCount; ++i) {
                std::unique_ptr<PageElement> child;
                if (parent->Child(i, child) != PageElement::ChildKind::kElement)
                    continue;
                if (position > wrapped.size())
                    position = wrapped.size();
                if (child->SourceIndex() == index) {
                    wrapped.insert(position, entry);
                    position += entry.size();
                }
                if (position > wrapped.size())
                    position = wrapped.size();
                wrapped.insert(position, ",");
                position += 1;
            }
        }
        entry = std::move(wrapped);
        owned = std::move(parent);
        current = owned.get();
    }
    return entry;
}

DescriptorStatus BuildSelectionDescriptor(const PageDocument &document, std::string *descriptor)
{
    return Build(document, descriptor, 0);
}

} // namespace quillon::capture
