// Small non-copyable owners for Win32 handles and COM pointers. Each closes what it
// holds exactly once; Release()/Detach() hand ownership on.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace quillon {

// Owner of a kernel object handle (CloseHandle). Null and INVALID_HANDLE_VALUE both mean
// "none", since CreateFile and the other creators disagree on which they return.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle &) = delete;
    UniqueHandle &operator=(const UniqueHandle &) = delete;
    UniqueHandle(UniqueHandle &&other) noexcept : handle_(other.Release()) {}
    UniqueHandle &operator=(UniqueHandle &&other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return IsValid(); }
    HANDLE Release() { return std::exchange(handle_, nullptr); }
    void Reset(HANDLE handle = nullptr)
    {
        if (IsValid())
            CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

// Typed GetProcAddress for a module the caller does not own (one from GetModuleHandle, or
// one an owner elsewhere keeps loaded): null when the module is null or lacks the export.
// UniqueModule::Resolve is the same for an owned module.
template <typename Function>
Function ResolveExport(HMODULE module, const char *name)
{
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

// Owner of a loaded library (FreeLibrary).
class UniqueModule {
public:
    UniqueModule() = default;
    explicit UniqueModule(HMODULE module) : module_(module) {}
    ~UniqueModule() { Reset(); }
    UniqueModule(const UniqueModule &) = delete;
    UniqueModule &operator=(const UniqueModule &) = delete;
    UniqueModule(UniqueModule &&other) noexcept : module_(other.Release()) {}
    UniqueModule &operator=(UniqueModule &&other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    HMODULE Get() const { return module_; }
    explicit operator bool() const { return module_ != nullptr; }
    HMODULE Release() { return std::exchange(module_, nullptr); }
    void Reset(HMODULE module = nullptr)
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
        module_ = module;
    }

    // Typed GetProcAddress: null when the module lacks the export.
    template <typename Function>
    Function Resolve(const char *name) const
    {
        return ResolveExport<Function>(module_, name);
    }

private:
    HMODULE module_ = nullptr;
};

// Owner of a FindFirstFile search (FindClose).
class UniqueFindHandle {
public:
    UniqueFindHandle() = default;
    explicit UniqueFindHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueFindHandle() { Reset(); }
    UniqueFindHandle(const UniqueFindHandle &) = delete;
    UniqueFindHandle &operator=(const UniqueFindHandle &) = delete;

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (IsValid())
            FindClose(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Owner of a GDI object such as a pen, brush or font (DeleteObject; users link gdi32).
// The object must not be selected into a device context when the owner lets it go.
template <typename Handle>
class UniqueGdiObject {
public:
    UniqueGdiObject() = default;
    explicit UniqueGdiObject(Handle object) : object_(object) {}
    ~UniqueGdiObject() { Reset(); }
    UniqueGdiObject(const UniqueGdiObject &) = delete;
    UniqueGdiObject &operator=(const UniqueGdiObject &) = delete;
    UniqueGdiObject(UniqueGdiObject &&other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    UniqueGdiObject &operator=(UniqueGdiObject &&other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.object_, nullptr));
        return *this;
    }

    Handle Get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    void Reset(Handle object = nullptr)
    {
        if (object_ != nullptr && object_ != object)
            DeleteObject(object_);
        object_ = object;
    }

private:
    Handle object_ = nullptr;
};

// Owner of one reference to a COM interface.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr &other) : ptr_(other.ptr_)
    {
        if (ptr_ != nullptr)
            ptr_->AddRef();
    }
    ComPtr &operator=(const ComPtr &other)
    {
        if (this != &other) {
            if (other.ptr_ != nullptr)
                other.ptr_->AddRef();
            Reset();
            ptr_ = other.ptr_;
        }
        return *this;
    }
    ComPtr(ComPtr &&other) noexcept : ptr_(other.Detach()) {}
    ComPtr &operator=(ComPtr &&other) noexcept
    {
        if (this != &other) {
            Reset();
            ptr_ = other.Detach();
        }
        return *this;
    }

    Interface *Get() const { return ptr_; }
    Interface *operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

    // Releases what is held and returns the slot for an out-parameter.
    Interface **Put()
    {
        Reset();
        return &ptr_;
    }
    void **PutVoid() { return reinterpret_cast<void **>(Put()); }

    // Takes ownership of a reference the caller already holds.
    void Attach(Interface *ptr)
    {
        Reset();
        ptr_ = ptr;
    }
    Interface *Detach() { return std::exchange(ptr_, nullptr); }
    void Reset()
    {
        if (ptr_ != nullptr) {
            Interface *old = ptr_;
            ptr_ = nullptr;
            old->Release();
        }
    }

private:
    Interface *ptr_ = nullptr;
};

} // namespace quillon
