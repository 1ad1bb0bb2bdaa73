#include "mail/rich/mapi_utilities.h"

namespace quillon {

namespace {

// Plain name first (Windows), then the decorated one (Wine on x64, and every 32-bit
// MAPI32.DLL).
FARPROC ResolveEither(HMODULE mapi, const char *plainName, const char *decoratedName)
{
    FARPROC function = GetProcAddress(mapi, plainName);
    return function != nullptr ? function : GetProcAddress(mapi, decoratedName);
}

template <typename Function>
Function As(FARPROC function)
{
    return reinterpret_cast<Function>(reinterpret_cast<void *>(function));
}

} // namespace

bool ResolveMapiUtilities(HMODULE mapi, MapiUtilities *utilities)
{
    *utilities = MapiUtilities();
    if (mapi == nullptr)
        return false;
    utilities->queryAllRows = As<HrQueryAllRowsFunction>(ResolveEither(mapi, "HrQueryAllRows", "HrQueryAllRows@24"));
    utilities->getOneProp = As<HrGetOnePropFunction>(ResolveEither(mapi, "HrGetOneProp", "HrGetOneProp@12"));
    utilities->setOneProp = As<HrSetOnePropFunction>(ResolveEither(mapi, "HrSetOneProp", "HrSetOneProp@8"));
    utilities->freeRows = As<FreeProwsFunction>(ResolveEither(mapi, "FreeProws", "FreeProws@4"));
    return utilities->queryAllRows != nullptr && utilities->getOneProp != nullptr &&
           utilities->setOneProp != nullptr && utilities->freeRows != nullptr;
}

} // namespace quillon
