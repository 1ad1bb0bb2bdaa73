// Registration of clipnet.dll from its registrar script (resource "REGISTRY" 101, see
// registrar_script.h) and its type library (resource 1). Register and unregister apply
// the same script.
#pragma once

#include <windows.h>

#include <vector>

#include "capture/registrar_script.h"

namespace quillon::capture {

// Writes (registering true) or removes the script's keys and values. Keys that are
// already gone are no error when removing. S_OK, or the first failure as an HRESULT.
HRESULT ApplyRegistrarTrees(const std::vector<RegistrarTree> &trees, bool registering);

// The script of `module` with %MODULE% replaced by its path, applied in one direction,
// and the module's type library registered or unregistered. E_FAIL when the script
// resource is missing or outside the grammar (then nothing is written).
HRESULT UpdateRegistryFromResource(HMODULE module, bool registering);

} // namespace quillon::capture
