// The class object of an in-process COM server: one static instance per class, handed out
// by DllGetClassObject. Its references, like server locks, hold the module through the
// server's own lock count: a client that keeps a factory must keep the DLL loaded.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace quillon {

class StaticClassFactory final : public IClassFactory {
public:
    // Creates an instance: outer is the aggregating object or null; on success *object
    // holds one reference to riid. It is called with an outer object only for
    // IID_IUnknown; a class that cannot be aggregated returns CLASS_E_NOAGGREGATION then.
    using CreateFunction = HRESULT (*)(IUnknown *outer, REFIID riid, void **object);
    // The server's module lock count, which its DllCanUnloadNow reads.
    using LockFunction = void (*)();

    StaticClassFactory(CreateFunction create, LockFunction lockModule, LockFunction unlockModule)
        : create_(create), lockModule_(lockModule), unlockModule_(unlockModule)
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static: its references only keep the module loaded.
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        lockModule_();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        unlockModule_();
        return 1;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **object) override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown))
            return CLASS_E_NOAGGREGATION;
        return create_(outer, riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            lockModule_();
        else
            unlockModule_();
        return S_OK;
    }

private:
    CreateFunction create_;
    LockFunction lockModule_;
    LockFunction unlockModule_;
};

} // namespace quillon
