// SHA-256 through the system's CNG provider (bcrypt.dll), the only digest the page
// sender uses: no other library is linked for it.
#pragma once

#include <string>

#include "sender/text_digest.h"

namespace quillon {

// SHA-256 of `data`. False when the provider is missing or refuses (the caller then
// treats the text as changed, so a page is sent rather than held back).
bool Sha256Digest(const std::string &data, TextDigest *digest);

} // namespace quillon
