// In-memory double of the retry queue for native tests: entries in insertion order, a
// clock the test sets, counters of the calls evaluation makes, and a switch that makes
// removal fail (to prove a stubborn entry cannot trap the search in a loop).
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "schedule/retry_queue.h"

namespace quillon::test {

class MemoryRetryQueue : public RetryQueue {
public:
    struct Entry {
        std::string name;
        uint32_t count;
        DateTime retryTime;
    };

    DateTime now{};                 // the "current local time" of FindDueEntry
    std::vector<Entry> entries;
    bool failRemoval = false;
    int findCalls = 0;
    int removeCalls = 0;

    void Add(const std::string &name, const DateTime &retryTime, uint32_t count = 1)
    {
        entries.push_back({name, count, retryTime});
    }
    const Entry *Find(const std::string &name) const
    {
        auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry &e) { return e.name == name; });
        return it == entries.end() ? nullptr : &*it;
    }

    bool FindDueEntry(std::string *keyName) override
    {
        ++findCalls;
        for (const Entry &e : entries) {
            if (CompareDateTime(e.retryTime, now) <= 0) {
                *keyName = e.name;
                return true;
            }
        }
        return false;
    }

    bool RemoveEntry(const std::string &keyName) override
    {
        ++removeCalls;
        if (failRemoval)
            return false;
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const Entry &e) { return e.name == keyName; }),
                      entries.end());
        return true;
    }

    RequeueResult Requeue(const std::string &keyName, const DateTime &retryTime, uint32_t maxRetries,
                          bool unqueue) override
    {
        if (keyName.empty())
            return RequeueResult::kDone;
        auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry &e) { return e.name == keyName; });
        if (unqueue) {
            if (it != entries.end())
                entries.erase(it);
            return RequeueResult::kDone;
        }
        uint32_t count = 0;
        if (!DecideRequeue(it != entries.end(), it != entries.end() ? it->count : 0, maxRetries, &count)) {
            entries.erase(it);
            return RequeueResult::kRetriesUsedUp;
        }
        if (it == entries.end())
            entries.push_back({keyName, count, retryTime});
        else
            *it = {keyName, count, retryTime};
        return RequeueResult::kDone;
    }
};

} // namespace quillon::test
