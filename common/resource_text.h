// Strings of a resource module (tasq??.dll), for every program and library that shows
// one.
#pragma once

#include <windows.h>

#include <string>

namespace quillon {

// Resource string `id` of `module`; empty when the module is null or has no such
// string. Bounded to 260 bytes, the size every Quillon string fits in.
std::string LoadResourceText(HINSTANCE module, unsigned id);

} // namespace quillon
