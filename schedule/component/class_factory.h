// Class objects of tasqui.dll, handed out by DllGetClassObject.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "common/class_factory.h"

namespace quillon::tasqui {

// Creates an instance: outer is the aggregating object or null; on success *object holds
// one reference to riid. With an outer object riid must be IID_IUnknown.
using CreateFunction = StaticClassFactory::CreateFunction;

// The class object for clsid queried for riid; CLASS_E_CLASSNOTAVAILABLE for a class this
// module does not serve.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void **object);

} // namespace quillon::tasqui
