#include "common/module_path.h"

#include <vector>

namespace quillon {
namespace {

// The longest path the system hands out (the \\?\ form).
constexpr size_t kLongestPath = 32768;

} // namespace

std::string ModuleFilePath(HMODULE module)
{
    // GetModuleFileName cuts a path that does not fit without failing; grow until the whole
    // path fits with room for its terminator.
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::string();
        if (length < path.size())
            return std::string(path.data(), length);
        if (path.size() >= kLongestPath)
            return std::string();
        path.resize(path.size() * 2);
    }
}

std::string ModuleDirectory(HMODULE module)
{
    const std::string full = ModuleFilePath(module);
    const size_t slash = full.find_last_of('\\');
    if (slash == std::string::npos)
        return std::string();
    return full.substr(0, slash);
}

} // namespace quillon
