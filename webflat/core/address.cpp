#include "webflat/core/address.h"

#include <vector>

namespace quillon::webflat {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The scheme of an address in lower case ("http"), or empty when it has none. One
// letter before ':' is a drive, not a scheme.
std::string SchemeOf(std::string_view address)
{
    size_t i = 0;
    while (i < address.size() && (IsAlpha(address[i]) || (i > 0 && (address[i] == '+' || address[i] == '-' ||
                                                                     address[i] == '.' || (address[i] >= '0' && address[i] <= '9')))))
        ++i;
    if (i < 2 || i >= address.size() || address[i] != ':')
        return std::string();
    std::string scheme;
    for (size_t k = 0; k < i; ++k)
        scheme.push_back(Lower(address[k]));
    return scheme;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string PercentDecoded(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            char decoded = static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            if (decoded != '\0') {
                out.push_back(decoded);
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

// Resolves "." and ".." among the segments of path (separator sep), keeping a leading
// separator and never climbing above the root.
std::string RemoveDotSegments(std::string_view path, char sep)
{
    std::vector<std::string_view> kept;
    size_t start = 0;
    const bool trailing = !path.empty() && path.back() == sep;
    while (start <= path.size()) {
        size_t end = path.find(sep, start);
        if (end == std::string_view::npos)
            end = path.size();
        std::string_view segment = path.substr(start, end - start);
        if (segment == "..") {
            if (kept.size() > 1)
                kept.pop_back();
        } else if (segment != "." || kept.empty()) {
            kept.push_back(segment == "." ? std::string_view() : segment);
        }
        start = end + 1;
    }
    std::string out;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0)
            out.push_back(sep);
        out.append(kept[i]);
    }
    if ((trailing || path.substr(path.size() >= 2 ? path.size() - 2 : 0) == std::string(1, sep) + "..") &&
        (out.empty() || out.back() != sep))
        out.push_back(sep);
    return out;
}

} // namespace

AddressKind ClassifyAddress(std::string_view address)
{
    address = Trim(address);
    if (address.empty())
        return AddressKind::kUnsupported;
    const std::string scheme = SchemeOf(address);
    if (scheme.empty())
        return AddressKind::kLocalPath;
    if (scheme == "http" || scheme == "https")
        return AddressKind::kWeb;
    if (scheme == "file")
        return AddressKind::kFile;
    return AddressKind::kUnsupported;
}

std::string PathOfFileUrl(std::string_view url)
{
    url = Trim(url);
    url.remove_prefix(5); // "file:"
    size_t cut = url.find_first_of("?#");
    if (cut != std::string_view::npos)
        url = url.substr(0, cut);
    std::string rest = PercentDecoded(url);
    for (char &c : rest)
        if (c == '/')
            c = '\\';
    // "\\\C:\x" (file:///C:/x) and "\\C:\x" (file://C:/x) both name a drive path.
    size_t slashes = 0;
    while (slashes < rest.size() && rest[slashes] == '\\')
        ++slashes;
    std::string_view tail = std::string_view(rest).substr(slashes);
    const bool drive = tail.size() >= 2 && IsAlpha(tail[0]) && (tail[1] == ':' || tail[1] == '|');
    if (drive) {
        std::string path(tail);
        path[1] = ':';
        return path;
    }
    if (slashes == 2 || slashes == 4) // file://server/share or file:////server/share
        return "\\\\" + std::string(tail);
    if (slashes >= 3) // file:///x: the local host's path \x
        return "\\" + std::string(tail);
    return std::string(tail);
}

std::string ResolveAddress(std::string_view base, std::string_view src)
{
    base = Trim(base);
    src = Trim(src);
    if (src.empty())
        return std::string();
    if (!SchemeOf(src).empty())
        return std::string(src);
    const AddressKind baseKind = ClassifyAddress(base);
    if (baseKind == AddressKind::kWeb) {
        const size_t schemeEnd = base.find("://");
        const size_t authorityStart = schemeEnd + 3;
        size_t pathStart = base.find_first_of("/?#", authorityStart);
        if (pathStart == std::string_view::npos)
            pathStart = base.size();
        const std::string_view origin = base.substr(0, pathStart);
        if (src.size() >= 2 && src[0] == '/' && src[1] == '/')
            return std::string(base.substr(0, schemeEnd + 1)) + std::string(src);
        std::string_view relative = src;
        std::string_view suffix;
        size_t query = relative.find_first_of("?#");
        if (query != std::string_view::npos) {
            suffix = relative.substr(query);
            relative = relative.substr(0, query);
        }
        std::string path;
        if (!relative.empty() && relative[0] == '/') {
            path = std::string(relative);
        } else {
            std::string_view basePath = base.substr(pathStart);
            size_t baseQuery = basePath.find_first_of("?#");
            if (baseQuery != std::string_view::npos)
                basePath = basePath.substr(0, baseQuery);
            size_t lastSlash = basePath.rfind('/');
            path = lastSlash == std::string_view::npos ? std::string("/")
                                                       : std::string(basePath.substr(0, lastSlash + 1));
            path += std::string(relative);
        }
        return std::string(origin) + RemoveDotSegments(path, '/') + std::string(suffix);
    }
    std::string basePath = baseKind == AddressKind::kFile ? PathOfFileUrl(base) : std::string(base);
    std::string relative = PercentDecoded(src.substr(0, src.find_first_of("?#")));
    for (char &c : relative)
        if (c == '/')
            c = '\\';
    if (relative.size() >= 2 && IsAlpha(relative[0]) && relative[1] == ':')
        return relative;
    if (!relative.empty() && relative[0] == '\\') {
        if (relative.size() >= 2 && relative[1] == '\\')
            return relative;
        // Rooted: on the drive of the base.
        if (basePath.size() >= 2 && basePath[1] == ':')
            return basePath.substr(0, 2) + relative;
        return relative;
    }
    size_t lastSep = basePath.find_last_of("\\/");
    std::string folder = lastSep == std::string::npos ? std::string() : basePath.substr(0, lastSep + 1);
    return RemoveDotSegments(folder + relative, '\\');
}

} // namespace quillon::webflat
