// The four MAPI utility functions mailrich.dll calls, taken from the MAPI32.DLL it is
// bound to. They are resolved by name at load time instead of through an import
// library because their export names differ between implementations on x64: Windows
// exports them plain ("HrQueryAllRows"), Wine's mapi32 only with the stdcall size
// suffix ("HrQueryAllRows@24"). An import library can name only one of the two, and an
// import bound to the wrong name lands on a different export, which crashes at the first
// call. The rest of what the library uses (MAPIInitialize, MAPILogonEx,
// MAPIUninitialize, MAPIAllocateBuffer, MAPIFreeBuffer) has the plain name everywhere
// and is imported normally.
#pragma once

#include <windows.h>
#include <mapix.h>

namespace quillon {

typedef HRESULT(STDAPICALLTYPE *HrQueryAllRowsFunction)(LPMAPITABLE table, LPSPropTagArray columns,
                                                        LPSRestriction restriction, LPSSortOrderSet sortOrder,
                                                        LONG maxRows, LPSRowSet *rows);
typedef HRESULT(STDAPICALLTYPE *HrGetOnePropFunction)(LPMAPIPROP object, ULONG tag, LPSPropValue *value);
typedef HRESULT(STDAPICALLTYPE *HrSetOnePropFunction)(LPMAPIPROP object, LPSPropValue value);
typedef void(STDAPICALLTYPE *FreeProwsFunction)(LPSRowSet rows);

struct MapiUtilities {
    HrQueryAllRowsFunction queryAllRows = nullptr;
    HrGetOnePropFunction getOneProp = nullptr;
    HrSetOnePropFunction setOneProp = nullptr;
    FreeProwsFunction freeRows = nullptr;
};

// Looks each function up in `mapi` under its plain name first, then under its decorated
// name. True only when all four were found; *utilities is filled either way.
bool ResolveMapiUtilities(HMODULE mapi, MapiUtilities *utilities);

} // namespace quillon
