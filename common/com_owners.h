// COM for a thread, and owners of the COM texts the suite handles. Header-only; users
// link ole32 (ComApartment) and oleaut32 (UniqueBstr). ComPtr is in handles.h.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace quillon {

// COM initialised for the calling thread for the owner's lifetime. Ok() is false when
// CoInitializeEx failed (then nothing is undone); S_FALSE (already initialised on this
// thread, same model) counts as success and is balanced like S_OK.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : result_(CoInitializeEx(nullptr, model)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComApartment(const ComApartment &) = delete;
    ComApartment &operator=(const ComApartment &) = delete;

    bool Ok() const { return SUCCEEDED(result_); }
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

// Owner of one BSTR (SysFreeString). Out() hands the address to a COM call that returns
// a new text, freeing what was held before.
class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(BSTR text) : text_(text) {}
    ~UniqueBstr() { Reset(); }
    UniqueBstr(const UniqueBstr &) = delete;
    UniqueBstr &operator=(const UniqueBstr &) = delete;
    UniqueBstr(UniqueBstr &&other) noexcept : text_(other.Release()) {}
    UniqueBstr &operator=(UniqueBstr &&other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    BSTR Get() const { return text_; }
    // Characters of the text (0 for none).
    UINT Length() const { return text_ != nullptr ? SysStringLen(text_) : 0; }
    BSTR *Out()
    {
        Reset();
        return &text_;
    }
    BSTR Release() { return std::exchange(text_, nullptr); }
    void Reset(BSTR text = nullptr)
    {
        if (text_ != nullptr)
            SysFreeString(text_);
        text_ = text;
    }

private:
    BSTR text_ = nullptr;
};

} // namespace quillon
