#include "sender/text_digest_cng.h"

#include <windows.h>
#include <bcrypt.h>

namespace quillon {

namespace {

// Owners of the CNG algorithm and hash handles, closed on every path.
class AlgorithmHandle {
public:
    AlgorithmHandle() = default;
    ~AlgorithmHandle()
    {
        if (handle_ != nullptr)
            BCryptCloseAlgorithmProvider(handle_, 0);
    }
    AlgorithmHandle(const AlgorithmHandle &) = delete;
    AlgorithmHandle &operator=(const AlgorithmHandle &) = delete;
    BCRYPT_ALG_HANDLE *Put() { return &handle_; }
    BCRYPT_ALG_HANDLE Get() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class HashHandle {
public:
    HashHandle() = default;
    ~HashHandle()
    {
        if (handle_ != nullptr)
            BCryptDestroyHash(handle_);
    }
    HashHandle(const HashHandle &) = delete;
    HashHandle &operator=(const HashHandle &) = delete;
    BCRYPT_HASH_HANDLE *Put() { return &handle_; }
    BCRYPT_HASH_HANDLE Get() const { return handle_; }

private:
    BCRYPT_HASH_HANDLE handle_ = nullptr;
};

bool Succeeded(NTSTATUS status) { return status >= 0; }

} // namespace

bool Sha256Digest(const std::string &data, TextDigest *digest)
{
    AlgorithmHandle algorithm;
    if (!Succeeded(BCryptOpenAlgorithmProvider(algorithm.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return false;
    DWORD length = 0;
    ULONG written = 0;
    if (!Succeeded(BCryptGetProperty(algorithm.Get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                     sizeof length, &written, 0)) ||
        length != digest->size())
        return false;
    HashHandle hash;
    // No object buffer: the provider allocates it (Windows 7 and later, and Wine).
    if (!Succeeded(BCryptCreateHash(algorithm.Get(), hash.Put(), nullptr, 0, nullptr, 0, 0)))
        return false;
    // Fed in pieces: BCryptHashData takes a 32-bit length.
    const char *next = data.data();
    size_t left = data.size();
    while (left > 0) {
        ULONG piece = left > 0x40000000u ? 0x40000000u : static_cast<ULONG>(left);
        if (!Succeeded(BCryptHashData(hash.Get(), reinterpret_cast<PUCHAR>(const_cast<char *>(next)), piece, 0)))
            return false;
        next += piece;
        left -= piece;
    }
    TextDigest out{};
    if (!Succeeded(BCryptFinishHash(hash.Get(), out.data(), static_cast<ULONG>(out.size()), 0)))
        return false;
    *digest = out;
    return true;
}

} // namespace quillon
