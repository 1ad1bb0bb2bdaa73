// Identifiers of clipnet.dll, defined by the code widl generates from clipnet.idl. The
// generated header is not included: its coclass name would clash with the C++ class.
#pragma once

#include <windows.h>

extern "C" const CLSID CLSID_ClipObj;
extern "C" const IID LIBID_CLIPNETLib;
