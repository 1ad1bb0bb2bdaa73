#include "common/timestamp_key.h"

#include <utility>

#include "common/timestamp.h"

namespace quillon {

bool CreateKeyAtNextFreeSecond(HKEY parent, const std::string &firstName, int maxSeconds, size_t maxNameLength,
                               RegistryKey *key, std::string *name)
{
    std::string candidateName = firstName;
    for (int step = 0; step < maxSeconds; ++step) {
        if (candidateName.size() > maxNameLength)
            return false;
        RegistryKey candidate;
        bool created = false;
        if (candidate.Create(parent, candidateName.c_str(), &created) != ERROR_SUCCESS)
            return false;
        if (created) {
            *key = std::move(candidate);
            *name = candidateName;
            return true;
        }
        std::string next;
        if (!NextTimestampKeyName(candidateName, &next))
            return false;
        candidateName = next;
    }
    return false;
}

} // namespace quillon
