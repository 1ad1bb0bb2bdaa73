#include "common/watch_address.h"

namespace quillon {
namespace {

bool StartsWithNoCase(const std::string &text, const char *prefix)
{
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size())
            return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

std::string WatchableAddress(const std::string &typed)
{
    size_t begin = 0;
    size_t end = typed.size();
    while (begin < end && IsSpace(typed[begin]))
        ++begin;
    while (end > begin && IsSpace(typed[end - 1]))
        --end;
    const std::string address = typed.substr(begin, end - begin);
    if (address.empty() || address.find('"') != std::string::npos)
        return std::string();
    for (char c : address)
        if (static_cast<unsigned char>(c) < 0x20)
            return std::string();
    for (const char *scheme : {"http://", "https://"}) {
        if (StartsWithNoCase(address, scheme)) {
            const size_t host = std::char_traits<char>::length(scheme);
            if (address.size() > host && address[host] != '/' && address[host] != ' ')
                return address;
            return std::string();
        }
    }
    if (StartsWithNoCase(address, "file://"))
        return address.size() > 7 ? address : std::string();
    const bool drive = address.size() >= 3 &&
                       ((address[0] >= 'A' && address[0] <= 'Z') || (address[0] >= 'a' && address[0] <= 'z')) &&
                       address[1] == ':' && (address[2] == '\\' || address[2] == '/');
    const bool unc = address.size() > 2 && address[0] == '\\' && address[1] == '\\' && address[2] != '\\';
    return drive || unc ? address : std::string();
}

} // namespace quillon
