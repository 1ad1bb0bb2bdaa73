// Self-registration of tasqui.dll: one table of registry entries per class under
// HKEY_CLASSES_ROOT, plus the type library embedded as resource 1.
#pragma once

#include <windows.h>

namespace quillon::tasqui {

// Writes every entry of both classes (InprocServer32 = modulePath) and registers the type
// library found in modulePath. Returns S_OK or the first failure as an HRESULT.
HRESULT RegisterServer(const char *modulePath);

// Removes the ProgID keys, the version-independent ProgID keys and the CLSID\{clsid}
// keys of both classes (each as a whole; the CLSID key itself stays) and unregisters the
// type library. Entries that are already gone are no error. Returns S_OK or the first
// failure as an HRESULT.
HRESULT UnregisterServer();

} // namespace quillon::tasqui
