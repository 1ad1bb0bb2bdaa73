#include "common/timestamp_key.h"

#include <cstdio>
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

namespace {

constexpr char kStagingPrefix = '~';

// True when the process that made the staging key `name` has ended: its key is then
// abandoned.
bool IsAbandonedStagingKey(const char *name)
{
    unsigned long pid = 0;
    if (sscanf(name + 1, "%8lx", &pid) != 1)
        return true;
    if (pid == GetCurrentProcessId())
        return false;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr)
        return GetLastError() == ERROR_INVALID_PARAMETER;   // no such process
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

bool SubkeyExists(const RegistryKey &parent, const char *name)
{
    RegistryKey key;
    return key.Open(parent.Get(), name) == ERROR_SUCCESS;
}

} // namespace

bool IsStagingKeyName(const char *name) { return name[0] == kStagingPrefix; }

std::string NewStagingKeyName()
{
    static volatile LONG sequence = 0;
    const LONG n = InterlockedIncrement(&sequence);
    char name[kTimestampNameBufferSize];
    snprintf(name, sizeof name, "%c%08lx%04lx", kStagingPrefix, static_cast<unsigned long>(GetCurrentProcessId()),
             static_cast<unsigned long>(n) & 0xFFFFu);
    return name;
}

void RemoveAbandonedStagingKeys(const RegistryKey &parent)
{
    for (DWORD index = 0;;) {
        // Longer names are no staging names: their enumeration fails and is passed over.
        char name[kTimestampNameBufferSize] = {};
        LONG rc = parent.EnumSubkeyName(index, name, sizeof name);
        if (rc == ERROR_NO_MORE_ITEMS)
            return;
        if (rc == ERROR_SUCCESS && IsStagingKeyName(name) && IsAbandonedStagingKey(name) &&
            parent.DeleteSubkeyTree(name) == ERROR_SUCCESS)
            continue;   // the keys after it moved down one index
        ++index;
    }
}

LONG RenameSubkey(const RegistryKey &parent, const std::string &from, const std::string &to)
{
    std::wstring wideFrom(from.begin(), from.end());
    std::wstring wideTo(to.begin(), to.end());
    return RegRenameKey(parent.Get(), wideFrom.c_str(), wideTo.c_str());
}

bool StoreKeyAtNextFreeSecond(const RegistryKey &parent, const std::string &firstName, int maxSeconds,
                              size_t maxNameLength, const StagingKeyWriter &write, std::string *name)
{
    RemoveAbandonedStagingKeys(parent);
    const std::string stagingName = NewStagingKeyName();
    parent.DeleteSubkeyTree(stagingName.c_str());   // left by an ended process of the same id
    RegistryKey staging;
    if (staging.Create(parent.Get(), stagingName.c_str()) != ERROR_SUCCESS)
        return false;
    std::string candidate = firstName;
    bool stored = false;
    for (int step = 0; step < maxSeconds && candidate.size() <= maxNameLength; ++step) {
        if (!staging.IsOpen() && staging.Open(parent.Get(), stagingName.c_str()) != ERROR_SUCCESS)
            break;
        if (!write(staging, candidate))
            break;
        staging.Close();   // the key is renamed closed, as it would be by another program
        if (RenameSubkey(parent, stagingName, candidate) == ERROR_SUCCESS) {
            stored = true;
            break;
        }
        if (!SubkeyExists(parent, candidate.c_str()))
            break;   // the rename failed for another reason
        std::string next;
        if (!NextTimestampKeyName(candidate, &next))
            break;
        candidate = next;
    }
    staging.Close();
    if (!stored) {
        parent.DeleteSubkeyTree(stagingName.c_str());
        return false;
    }
    *name = candidate;
    return true;
}

} // namespace quillon
