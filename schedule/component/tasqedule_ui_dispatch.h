// The vtable of a TasqeduleUI object continues after ITasqeduleUI's four methods with the
// four IDispatch operations, served from the embedded type library's description of
// ITasqeduleUI. QueryInterface does not hand out IDispatch; a caller that needs
// late-bound calls reaches these slots through this declaration. It describes only
// the object's own (non-aggregated) ITasqeduleUI pointer.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "tasqui_h.h"

struct ITasqeduleUIDispatchSlots : public ITasqeduleUI {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo **typeInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR *names, UINT count, LCID lcid,
                                                    DISPID *ids) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS *params,
                                             VARIANT *result, EXCEPINFO *exception, UINT *argError) = 0;
};
