// Selection descriptors: the place of the user's selection in a page, as the browser
// add-in writes it. One document's descriptor is "(" content ")"; the content is either
// one range entry (for a text selection; it applies to the document's BODY), or the
// descriptors of the document's frames one after another, or nothing.
//
// Range entries, in angle brackets, numbers decimal:
//   <0,-1>            the whole element
//   <N,-1>            the element's text from character offset N to its end
//   <0,N>             the element's text less its last N characters
//   <e1,e2,...>       one entry per element child, in child order; each entry is empty,
//                     <0,-1> or a nested entry
// A bare entry without the parentheses ("<1,<0,-1>>") is read as a document's content.
// Portable.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace quillon::webflat {

enum class EntryKind : uint8_t {
    kEmpty,   // this child is not selected
    kWhole,   // <0,-1>
    kFrom,    // <N,-1>: the text from offset `number` on
    kTrimEnd, // <0,N>: the text less its last `number` characters
    kList,    // one entry per element child
};

struct DescriptorEntry {
    EntryKind kind = EntryKind::kEmpty;
    int64_t number = 0;             // kFrom, kTrimEnd: the offset (clamped to 2^31-1)
    std::vector<int32_t> children;  // kList: indices into Descriptor::entries
};

struct DocumentSelection {
    int32_t entry = -1;            // index into Descriptor::entries, or -1
    std::vector<int32_t> frames;   // indices into Descriptor::documents
};

// A parsed descriptor: documents[0] is the top document.
struct Descriptor {
    std::vector<DocumentSelection> documents;
    std::vector<DescriptorEntry> entries;

    // True when document d (or a frame below it) names a part of its page; false means
    // the whole page.
    bool Selects(int32_t document) const;
};

// Parses text (null, empty or blank text gives a descriptor that selects nothing, i.e.
// the whole page). Returns false for text that is not a descriptor: unbalanced
// brackets, stray characters, a malformed range entry, trailing text. Never recursive on
// nesting depth; input of any length is fine.
bool ParseDescriptor(std::string_view text, Descriptor &out);

} // namespace quillon::webflat
