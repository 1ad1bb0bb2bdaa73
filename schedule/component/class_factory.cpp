#include "schedule/component/class_factory.h"

#include "schedule/component/app_task_data.h"
#include "schedule/component/component_module.h"
#include "schedule/component/tasqedule_ui.h"
#include "tasqui_h.h"

namespace quillon::tasqui {

namespace {

// A static class object per class. Its references, like server locks, hold the module:
// a client that keeps a factory must keep the DLL loaded.
class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}

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
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        LockModule();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        UnlockModule();
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
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }

private:
    CreateFunction create_;
};

ClassFactory g_tasqeduleUIFactory(&CreateTasqeduleUI);
ClassFactory g_appTaskDataFactory(&CreateAppTaskData);

} // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void **object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualCLSID(clsid, CLSID_TasqeduleUI))
        return g_tasqeduleUIFactory.QueryInterface(riid, object);
    if (IsEqualCLSID(clsid, CLSID_AppTaskData))
        return g_appTaskDataFactory.QueryInterface(riid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace quillon::tasqui
