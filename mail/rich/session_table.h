// The session handles of mailrich.dll. The mail-library contract passes a session as a
// 32-bit value, but an Extended MAPI session is an object pointer, 64 bits wide on x64:
// it can never travel through the contract itself. The library keeps its sessions in
// this small table and hands out table handles instead.
//
// Handles are never 0 (the contract's "no session") and are not handed out again while
// the library stays loaded (until the 32-bit count wraps), so a stale or foreign handle
// finds nothing rather than somebody else's session. No locking: the contract allows one
// call at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

template <typename Entry, size_t Capacity>
class SessionTable {
public:
    // Stores `entry` and returns its new handle, or 0 when every slot is taken.
    uint32_t Add(const Entry &entry)
    {
        Slot *free = nullptr;
        for (Slot &slot : slots_)
            if (slot.handle == 0) {
                free = &slot;
                break;
            }
        if (free == nullptr)
            return 0;
        uint32_t handle = lastHandle_;
        do
            ++handle;
        while (handle == 0 || Lookup(handle) != nullptr);
        lastHandle_ = handle;
        free->handle = handle;
        free->entry = entry;
        return handle;
    }

    // The entry stored under `handle`, or null for 0 and for handles not (or no longer)
    // in the table. The pointer stays valid until that handle is removed.
    Entry *Find(uint32_t handle)
    {
        Slot *slot = Lookup(handle);
        return slot != nullptr ? &slot->entry : nullptr;
    }

    // Takes the entry out of the table into *entry; false when the handle is unknown.
    bool Remove(uint32_t handle, Entry *entry)
    {
        Slot *slot = Lookup(handle);
        if (slot == nullptr)
            return false;
        *entry = slot->entry;
        slot->entry = Entry();
        slot->handle = 0;
        return true;
    }

    size_t Count() const
    {
        size_t count = 0;
        for (const Slot &slot : slots_)
            count += slot.handle != 0;
        return count;
    }

private:
    struct Slot {
        uint32_t handle = 0;
        Entry entry = Entry();
    };

    Slot *Lookup(uint32_t handle)
    {
        if (handle == 0)
            return nullptr;
        for (Slot &slot : slots_)
            if (slot.handle == handle)
                return &slot;
        return nullptr;
    }

    Slot slots_[Capacity];
    uint32_t lastHandle_ = 0;
};

} // namespace quillon
