// RAII owner of an HKEY with the few operations the suite needs. Every call returns the
// Win32 error code unchanged (ERROR_SUCCESS on success), so callers can tell a missing
// value (ERROR_FILE_NOT_FOUND) from a present one, and a value too large for the caller's
// buffer (ERROR_MORE_DATA) from a read error. Keys are opened with KEY_ALL_ACCESS and
// created non-volatile with an empty class text.
//
// Registry data is written by hand as well as by the programs: no read trusts the stored
// type or size. DWORD reads take at most 4 bytes, binary reads exactly the caller's
// size, and string reads always leave a terminated text or fail.
#pragma once

#include <windows.h>

#include <string>

namespace quillon {

class RegistryKey {
public:
    RegistryKey() = default;
    explicit RegistryKey(HKEY key) : key_(key) {}
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey &) = delete;
    RegistryKey &operator=(const RegistryKey &) = delete;
    RegistryKey(RegistryKey &&other) noexcept : key_(other.Release()) {}
    RegistryKey &operator=(RegistryKey &&other) noexcept;

    // Opens an existing key (KEY_ALL_ACCESS). The previous key, if any, is closed first.
    LONG Open(HKEY parent, const char *path);
    // Opens or creates the key (empty class, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS).
    // *created (optional) tells whether it did not exist before.
    LONG Create(HKEY parent, const char *path, bool *created = nullptr);
    void Close();

    HKEY Get() const { return key_; }
    bool IsOpen() const { return key_ != nullptr; }
    HKEY Release()
    {
        HKEY key = key_;
        key_ = nullptr;
        return key;
    }

    // Type and size in bytes of a value, without reading it.
    LONG QueryValueInfo(const char *name, DWORD *type, DWORD *size) const;
    bool HasValue(const char *name) const;
    // True when the value exists and holds at least one byte of data.
    bool HasValueWithData(const char *name) const;

    // Reads up to 4 bytes into *value (zero-extended). A value larger than 4 bytes gives
    // ERROR_MORE_DATA and leaves *value untouched.
    LONG ReadDword(const char *name, DWORD *value) const;
    // Reads exactly `size` bytes: a value of another size fails (ERROR_INVALID_DATA or
    // ERROR_MORE_DATA) and leaves `data` untouched.
    LONG ReadBinary(const char *name, void *data, DWORD size) const;
    // Reads a string into buffer[bufferSize], always terminated. A value whose data (with
    // or without its terminating zero) does not fit gives ERROR_MORE_DATA and an empty
    // buffer. Data without a terminator is terminated; data with an embedded zero ends there.
    LONG ReadString(const char *name, char *buffer, DWORD bufferSize) const;
    template <size_t N>
    LONG ReadString(const char *name, char (&buffer)[N]) const
    {
        return ReadString(name, buffer, static_cast<DWORD>(N));
    }
    // Reads a string of any length up to maxBytes, asking its size first.
    LONG ReadString(const char *name, std::string *text, DWORD maxBytes = 1u << 20) const;
    // Byte-exact read for a text whose bytes may include zeros (the scrambled password):
    // every stored byte, whatever the value's type, except one trailing terminating zero.
    // *length receives their count and buffer is terminated after them. Data that leaves
    // no room for that terminator gives ERROR_MORE_DATA, an empty buffer and *length 0.
    LONG ReadStringBytes(const char *name, char *buffer, DWORD bufferSize, DWORD *length) const;

    // REG_SZ including the terminating zero; the text ends at its first zero byte.
    LONG WriteString(const char *name, const char *text) const;
    // REG_SZ of all of the string's bytes (zeros inside included) and one terminating zero.
    LONG WriteString(const char *name, const std::string &text) const
    {
        return WriteStringBytes(name, text.data(), static_cast<DWORD>(text.size()));
    }
    // REG_SZ of exactly `length` bytes and one terminating zero.
    LONG WriteStringBytes(const char *name, const char *data, DWORD length) const;
    LONG WriteDword(const char *name, DWORD value) const;
    LONG WriteBinary(const char *name, const void *data, DWORD size) const;

    // Name of the subkey at `index` into buffer[bufferSize]; ERROR_NO_MORE_ITEMS past the
    // end, ERROR_MORE_DATA for a name that does not fit.
    LONG EnumSubkeyName(DWORD index, char *buffer, DWORD bufferSize) const;
    // Any length of name.
    LONG EnumSubkeyName(DWORD index, std::string *name) const;

    // Deletes a subkey that has no subkeys of its own.
    LONG DeleteSubkey(const char *name) const;
    // Deletes a subkey and everything below it.
    LONG DeleteSubkeyTree(const char *name) const;
    LONG DeleteValue(const char *name) const;

private:
    HKEY key_ = nullptr;
};

// Opens HKEY_CURRENT_USER\<path>; convenience for the common case.
inline LONG OpenUserKey(const char *path, RegistryKey *key) { return key->Open(HKEY_CURRENT_USER, path); }
inline LONG CreateUserKey(const char *path, RegistryKey *key) { return key->Create(HKEY_CURRENT_USER, path); }

} // namespace quillon
