// What a change-watching page task compares between runs: the text it would queue, with
// every run of white space folded, reduced to a 32-byte SHA-256 digest. The folding is
// portable; the digest itself comes from the system's CNG provider (text_digest_cng.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quillon {

// SHA-256 of FoldedTextForDigest, as kept in the task value LastTextDigest.
using TextDigest = std::array<uint8_t, 32>;

// The subject and body a run would queue, made insensitive to layout: every run of white
// space (space, tab, CR, LF, vertical tab, form feed and the break mark 0x01) becomes
// one space, and white space at either end of each part is dropped. The two parts are
// joined by a NUL, which neither can hold, so text moving between heading and body is a
// change. A page that only reflowed gives the same result.
std::string FoldedTextForDigest(const std::string &subject, const std::string &body);

} // namespace quillon
