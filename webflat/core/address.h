// Page addresses as tasks store them: http/https URLs, file:// URLs and plain local paths
// ("C:\Documents\Rent.htm"). Portable.
#pragma once

#include <string>
#include <string_view>

namespace quillon::webflat {

enum class AddressKind { kWeb, kFile, kLocalPath, kUnsupported };

// kWeb for http:// and https:// (any case), kFile for file:, kLocalPath for text without
// a scheme (a drive letter is not a scheme), kUnsupported for other schemes and empty
// text. Leading and trailing blanks are ignored.
AddressKind ClassifyAddress(std::string_view address);

// The local path of a file URL: "file:///C:/a%20b/x.htm" -> "C:\a b\x.htm",
// "file://server/share/x.htm" -> "\\server\share\x.htm", "file://C:\x.htm" -> "C:\x.htm".
// A query or fragment is dropped, %XX sequences decoded.
std::string PathOfFileUrl(std::string_view url);

// The address of src (a frame's src attribute) relative to the page at base, which is a
// web URL or a local path. Absolute URLs stand as they are; for a local base, src is
// joined to its folder with backslashes. Dot segments are resolved.
std::string ResolveAddress(std::string_view base, std::string_view src);

} // namespace quillon::webflat
