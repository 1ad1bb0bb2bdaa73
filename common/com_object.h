// Reference counting and aggregation shared by the COM classes of the suite's servers
// (the schedule component's two classes, the browser add-in's object).
//
// ComObject<Interface, Lock, Unlock> implements the IUnknown of `Interface` by
// delegating to the controlling unknown: the outer object when aggregated, else the
// object's own inner (non-delegating) unknown. The inner unknown answers IUnknown and the
// class's own interface (*iid) only; it never hands out IDispatch or anything else.
//
// Each live object holds one lock of its own module from construction to destruction:
// Lock and Unlock are that module's functions (every server keeps its own count for
// DllCanUnloadNow). The reference count is interlocked, so a reference taken or dropped
// on another thread (a browser window's, say) is counted safely.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace quillon {

template <typename Interface, void (*Lock)(), void (*Unlock)()>
class ComObject : public Interface {
public:
    ComObject(const ComObject &) = delete;
    ComObject &operator=(const ComObject &) = delete;

    // Delegating IUnknown of the class's interface.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        return outer_->QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return outer_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return outer_->Release(); }

    // The non-delegating unknown: what an aggregating outer object holds, and what a
    // factory queries for the caller's interface.
    IUnknown *InnerUnknown() { return &inner_; }

protected:
    ComObject(IUnknown *outer, const IID &iid)
        : inner_(this), outer_(outer != nullptr ? outer : &inner_), iid_(iid)
    {
        Lock();
    }
    virtual ~ComObject() { Unlock(); }

private:
    class Inner : public IUnknown {
    public:
        explicit Inner(ComObject *owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
        {
            if (object == nullptr)
                return E_POINTER;
            if (IsEqualIID(riid, IID_IUnknown)) {
                *object = static_cast<IUnknown *>(this);
                AddRef();
                return S_OK;
            }
            if (IsEqualIID(riid, owner_->iid_)) {
                *object = static_cast<Interface *>(owner_);
                owner_->AddRef();
                return S_OK;
            }
            *object = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
        ULONG STDMETHODCALLTYPE Release() override
        {
            const LONG left = InterlockedDecrement(&refs_);
            if (left == 0)
                delete owner_;
            return static_cast<ULONG>(left);
        }

    private:
        ComObject *owner_;
        LONG refs_ = 0;
    };

    Inner inner_;
    IUnknown *outer_;
    const IID &iid_;
};

// Hands a freshly constructed object (reference count 0) to its creator: queries the
// inner unknown for riid, which destroys the object again when the query fails.
template <typename Object>
HRESULT HandOut(Object *object, REFIID riid, void **result)
{
    IUnknown *inner = object->InnerUnknown();
    inner->AddRef();
    HRESULT hr = inner->QueryInterface(riid, result);
    inner->Release();
    return hr;
}

} // namespace quillon
