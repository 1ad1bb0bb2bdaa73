#include "common/push/push_secret.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

#include "common/names.h"
#include "common/registry.h"

namespace quillon {

namespace {

// Shown by nothing, but names the blob for anyone who inspects it.
const wchar_t kSecretDescription[] = L"Quillon push secret";

std::string TakeBlob(DATA_BLOB *blob)
{
    std::string out(reinterpret_cast<const char *>(blob->pbData), blob->cbData);
    SecureZeroMemory(blob->pbData, blob->cbData);
    LocalFree(blob->pbData);
    return out;
}

} // namespace

bool ProtectPushSecret(const std::string &plain, std::string *blob)
{
    DATA_BLOB in = {static_cast<DWORD>(plain.size()), reinterpret_cast<BYTE *>(const_cast<char *>(plain.data()))};
    DATA_BLOB out = {};
    if (!CryptProtectData(&in, kSecretDescription, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return false;
    *blob = TakeBlob(&out);
    return true;
}

bool UnprotectPushSecret(const std::string &blob, std::string *plain)
{
    plain->clear();
    if (blob.empty())
        return false;
    DATA_BLOB in = {static_cast<DWORD>(blob.size()), reinterpret_cast<BYTE *>(const_cast<char *>(blob.data()))};
    DATA_BLOB out = {};
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return false;
    *plain = TakeBlob(&out);
    return true;
}

bool ReadPushSecret(std::string *plain)
{
    plain->clear();
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kConfigurationKeyPath) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    if (key.QueryValueInfo(config_values::kPushSecret, &type, &size) != ERROR_SUCCESS || type != REG_BINARY ||
        size == 0 || size > kMaxPushSecretBlob)
        return false;
    std::string blob(size, '\0');
    if (key.ReadBinary(config_values::kPushSecret, &blob[0], size) != ERROR_SUCCESS)
        return false;
    return UnprotectPushSecret(blob, plain);
}

void ClearSecretText(std::string *text)
{
    if (!text->empty())
        SecureZeroMemory(&(*text)[0], text->size());
    text->clear();
}

} // namespace quillon
