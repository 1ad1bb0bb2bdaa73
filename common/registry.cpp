#include "common/registry.h"

#include <vector>

namespace quillon {

RegistryKey &RegistryKey::operator=(RegistryKey &&other) noexcept
{
    if (this != &other) {
        Close();
        key_ = other.Release();
    }
    return *this;
}

LONG RegistryKey::Open(HKEY parent, const char *path)
{
    Close();
    return RegOpenKeyExA(parent, path, 0, KEY_ALL_ACCESS, &key_);
}

LONG RegistryKey::Create(HKEY parent, const char *path, bool *created)
{
    Close();
    DWORD disposition = 0;
    char emptyClass[1] = "";
    LONG rc = RegCreateKeyExA(parent, path, 0, emptyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &key_, &disposition);
    if (rc != ERROR_SUCCESS)
        key_ = nullptr;
    if (created != nullptr)
        *created = rc == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return rc;
}

void RegistryKey::Close()
{
    if (key_ != nullptr) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
}

LONG RegistryKey::QueryValueInfo(const char *name, DWORD *type, DWORD *size) const
{
    DWORD localType = 0, localSize = 0;
    LONG rc = RegQueryValueExA(key_, name, nullptr, &localType, nullptr, &localSize);
    if (type != nullptr)
        *type = localType;
    if (size != nullptr)
        *size = localSize;
    return rc;
}

bool RegistryKey::HasValue(const char *name) const
{
    return QueryValueInfo(name, nullptr, nullptr) == ERROR_SUCCESS;
}

bool RegistryKey::HasValueWithData(const char *name) const
{
    DWORD size = 0;
    return QueryValueInfo(name, nullptr, &size) == ERROR_SUCCESS && size > 0;
}

LONG RegistryKey::ReadDword(const char *name, DWORD *value) const
{
    DWORD data = 0;
    DWORD size = sizeof data;
    LONG rc = RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&data), &size);
    if (rc == ERROR_SUCCESS)
        *value = data;
    return rc;
}

LONG RegistryKey::ReadBinary(const char *name, void *data, DWORD size) const
{
    std::vector<BYTE> buffer(size);
    DWORD got = size;
    LONG rc = RegQueryValueExA(key_, name, nullptr, nullptr, buffer.data(), &got);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (got != size)
        return ERROR_INVALID_DATA;
    if (size > 0)
        memcpy(data, buffer.data(), size);
    return ERROR_SUCCESS;
}

LONG RegistryKey::ReadString(const char *name, char *buffer, DWORD bufferSize) const
{
    if (buffer == nullptr || bufferSize == 0)
        return ERROR_INVALID_PARAMETER;
    buffer[0] = '\0';
    // One spare byte, so that data stored without its terminator can still be terminated.
    std::vector<char> data(bufferSize + 1, '\0');
    DWORD size = bufferSize;
    LONG rc = RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE *>(data.data()), &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    size_t length = strnlen(data.data(), size);
    if (length >= bufferSize)
        return ERROR_MORE_DATA;
    memcpy(buffer, data.data(), length);
    buffer[length] = '\0';
    return ERROR_SUCCESS;
}

LONG RegistryKey::ReadString(const char *name, std::string *text, DWORD maxBytes) const
{
    DWORD size = 0;
    LONG rc = QueryValueInfo(name, nullptr, &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (size > maxBytes)
        return ERROR_MORE_DATA;
    // The value may grow between the two calls (another writer); retry a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<char> data(static_cast<size_t>(size) + 1, '\0');
        DWORD got = size;
        rc = RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE *>(data.data()), &got);
        if (rc == ERROR_MORE_DATA) {
            if (QueryValueInfo(name, nullptr, &size) != ERROR_SUCCESS || size > maxBytes)
                return ERROR_MORE_DATA;
            continue;
        }
        if (rc != ERROR_SUCCESS)
            return rc;
        text->assign(data.data(), strnlen(data.data(), got));
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

LONG RegistryKey::ReadStringBytes(const char *name, char *buffer, DWORD bufferSize, DWORD *length) const
{
    if (buffer == nullptr || bufferSize == 0 || length == nullptr)
        return ERROR_INVALID_PARAMETER;
    buffer[0] = '\0';
    *length = 0;
    // One spare byte: a text of bufferSize - 1 bytes may be stored with its terminator.
    std::vector<char> data(static_cast<size_t>(bufferSize) + 1, '\0');
    DWORD size = bufferSize;
    LONG rc = RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE *>(data.data()), &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (size > 0 && data[size - 1] == '\0')
        --size;
    if (size >= bufferSize)
        return ERROR_MORE_DATA;
    memcpy(buffer, data.data(), size);
    buffer[size] = '\0';
    *length = size;
    return ERROR_SUCCESS;
}

LONG RegistryKey::WriteStringBytes(const char *name, const char *data, DWORD length) const
{
    std::vector<char> bytes(static_cast<size_t>(length) + 1, '\0');
    if (length > 0)
        memcpy(bytes.data(), data, length);
    return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(bytes.data()), length + 1);
}

LONG RegistryKey::WriteString(const char *name, const char *text) const
{
    if (text == nullptr)
        text = "";
    return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                          static_cast<DWORD>(strlen(text) + 1));
}

LONG RegistryKey::WriteDword(const char *name, DWORD value) const
{
    return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
}

LONG RegistryKey::WriteBinary(const char *name, const void *data, DWORD size) const
{
    return RegSetValueExA(key_, name, 0, REG_BINARY, static_cast<const BYTE *>(data), size);
}

LONG RegistryKey::EnumSubkeyName(DWORD index, char *buffer, DWORD bufferSize) const
{
    if (buffer == nullptr || bufferSize == 0)
        return ERROR_INVALID_PARAMETER;
    DWORD length = bufferSize;
    LONG rc = RegEnumKeyExA(key_, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS)
        buffer[0] = '\0';
    else
        buffer[bufferSize - 1] = '\0';
    return rc;
}

LONG RegistryKey::EnumSubkeyName(DWORD index, std::string *name) const
{
    char buffer[256]; // registry key names are at most 255 characters
    LONG rc = EnumSubkeyName(index, buffer, sizeof buffer);
    if (rc == ERROR_SUCCESS)
        name->assign(buffer);
    return rc;
}

LONG RegistryKey::DeleteSubkey(const char *name) const
{
    return RegDeleteKeyA(key_, name);
}

LONG RegistryKey::DeleteSubkeyTree(const char *name) const
{
    // RegDeleteTree needs Vista; recurse by hand so that any key can go.
    RegistryKey child;
    LONG rc = child.Open(key_, name);
    if (rc != ERROR_SUCCESS)
        return rc;
    std::string sub;
    while (child.EnumSubkeyName(0, &sub) == ERROR_SUCCESS) {
        rc = child.DeleteSubkeyTree(sub.c_str());
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    child.Close();
    return RegDeleteKeyA(key_, name);
}

LONG RegistryKey::DeleteValue(const char *name) const
{
    return RegDeleteValueA(key_, name);
}

} // namespace quillon
