#include "webflat/core/descriptor.h"

namespace quillon::webflat {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class DescriptorParser {
public:
    DescriptorParser(std::string_view text, Descriptor &out) : text_(text), out_(out) {}

    bool Parse()
    {
        SkipBlank();
        out_.documents.emplace_back();
        if (pos_ >= text_.size())
            return true;
        if (text_[pos_] == '<') {
            if (!ParseEntry(out_.documents[0].entry))
                return false;
        } else if (text_[pos_] == '(') {
            ++pos_;
            if (!ParseDocumentContent(0))
                return false;
        } else {
            return false;
        }
        SkipBlank();
        return pos_ == text_.size();
    }

private:
    void SkipBlank()
    {
        while (pos_ < text_.size() && IsBlank(text_[pos_]))
            ++pos_;
    }

    // Content of the document at index doc, after its "(": frames are nested documents,
    // kept on an explicit stack.
    bool ParseDocumentContent(int32_t doc)
    {
        std::vector<int32_t> stack{doc};
        while (!stack.empty()) {
            SkipBlank();
            if (pos_ >= text_.size())
                return false;
            const int32_t current = stack.back();
            const char c = text_[pos_];
            if (c == ')') {
                ++pos_;
                stack.pop_back();
            } else if (c == '(') {
                ++pos_;
                if (out_.documents[static_cast<size_t>(current)].entry >= 0)
                    return false;
                out_.documents.emplace_back();
                const int32_t frame = static_cast<int32_t>(out_.documents.size() - 1);
                out_.documents[static_cast<size_t>(current)].frames.push_back(frame);
                stack.push_back(frame);
            } else if (c == '<') {
                DocumentSelection &selection = out_.documents[static_cast<size_t>(current)];
                if (selection.entry >= 0 || !selection.frames.empty())
                    return false;
                int32_t entry = -1;
                if (!ParseEntry(entry))
                    return false;
                out_.documents[static_cast<size_t>(current)].entry = entry;
            } else {
                return false;
            }
        }
        return true;
    }

    // An item inside angle brackets: empty, a number, or a nested entry.
    struct Item {
        bool isNumber = false;
        bool negative = false;
        int64_t number = 0;
        int32_t entry = -1; // nested entry, or -1 for an empty item
    };

    bool ParseNumber(Item &item)
    {
        if (text_[pos_] == '-') {
            item.negative = true;
            ++pos_;
        }
        size_t start = pos_;
        int64_t value = 0;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            if (value < INT32_MAX)
                value = value * 10 + (text_[pos_] - '0');
            ++pos_;
        }
        if (pos_ == start)
            return false;
        item.isNumber = true;
        item.number = value > INT32_MAX ? INT32_MAX : value;
        return true;
    }

    // Turns the items of one bracket pair into the entry at index entry.
    bool Finish(int32_t entry, const std::vector<Item> &items)
    {
        DescriptorEntry &e = out_.entries[static_cast<size_t>(entry)];
        bool anyNumber = false;
        for (const Item &item : items)
            anyNumber = anyNumber || item.isNumber;
        if (!anyNumber) {
            e.kind = EntryKind::kList;
            for (const Item &item : items) {
                if (item.entry < 0) {
                    out_.entries.emplace_back(); // empty entry
                    out_.entries[static_cast<size_t>(entry)].children.push_back(
                        static_cast<int32_t>(out_.entries.size() - 1));
                } else {
                    out_.entries[static_cast<size_t>(entry)].children.push_back(item.entry);
                }
            }
            return true;
        }
        // A range entry: exactly two numbers, <N,-1> or <0,N>.
        if (items.size() != 2 || !items[0].isNumber || !items[1].isNumber || items[0].negative)
            return false;
        if (items[1].negative) {
            if (items[1].number != 1)
                return false;
            e.kind = items[0].number == 0 ? EntryKind::kWhole : EntryKind::kFrom;
            e.number = items[0].number;
            return true;
        }
        if (items[0].number != 0)
            return false;
        e.kind = items[1].number == 0 ? EntryKind::kWhole : EntryKind::kTrimEnd;
        e.number = items[1].number;
        return true;
    }

    // An entry starting at text_[pos_] == '<'. Nested entries use an explicit stack.
    bool ParseEntry(int32_t &result)
    {
        struct Frame {
            int32_t entry;
            std::vector<Item> items;
            Item current;
        };
        std::vector<Frame> stack;
        auto open = [&]() {
            out_.entries.emplace_back();
            stack.push_back(Frame{static_cast<int32_t>(out_.entries.size() - 1), {}, {}});
        };
        ++pos_;
        open();
        bool itemFilled = false;
        while (true) {
            SkipBlank();
            if (pos_ >= text_.size())
                return false;
            const char c = text_[pos_];
            Frame &top = stack.back();
            if (c == '<') {
                if (itemFilled)
                    return false;
                ++pos_;
                open();
                itemFilled = false;
            } else if (c == ',' || c == '>') {
                ++pos_;
                top.items.push_back(top.current);
                top.current = Item();
                itemFilled = false;
                if (c == '>') {
                    Frame done = std::move(stack.back());
                    stack.pop_back();
                    if (!Finish(done.entry, done.items))
                        return false;
                    if (stack.empty()) {
                        result = done.entry;
                        return true;
                    }
                    stack.back().current.entry = done.entry;
                    itemFilled = true;
                }
            } else if (c == '-' || (c >= '0' && c <= '9')) {
                if (itemFilled || !ParseNumber(top.current))
                    return false;
                itemFilled = true;
            } else {
                return false;
            }
        }
    }

    std::string_view text_;
    Descriptor &out_;
    size_t pos_ = 0;
};

} // namespace

bool Descriptor::Selects(int32_t document) const
{
    std::vector<int32_t> pending{document};
    while (!pending.empty()) {
        const DocumentSelection &d = documents[static_cast<size_t>(pending.back())];
        pending.pop_back();
        if (d.entry >= 0)
            return true;
        pending.insert(pending.end(), d.frames.begin(), d.frames.end());
    }
    return false;
}

bool ParseDescriptor(std::string_view text, Descriptor &out)
{
    out = Descriptor();
    DescriptorParser parser(text, out);
    if (!parser.Parse()) {
        out = Descriptor();
        out.documents.emplace_back();
        return false;
    }
    return true;
}

} // namespace quillon::webflat
