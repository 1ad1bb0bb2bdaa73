#include "mail/rich/mapi_utilities.h"

#include "common/handles.h"

namespace quillon {

namespace {

// Plain name first (Windows), then the decorated one (Wine on x64, and every 32-bit
// MAPI32.DLL).
template <typename Function>
Function ResolveEither(HMODULE mapi, const char *plainName, const char *decoratedName)
{
    Function function = ResolveExport<Function>(mapi, plainName);
    return function != nullptr ? function : ResolveExport<Function>(mapi, decoratedName);
}

} // namespace

bool ResolveMapiUtilities(HMODULE mapi, MapiUtilities *utilities)
{
    *utilities = MapiUtilities();
    if (mapi == nullptr)
        return false;
    utilities->queryAllRows = ResolveEither<HrQueryAllRowsFunction>(mapi, "HrQueryAllRows", "HrQueryAllRows@24");
    utilities->getOneProp = ResolveEither<HrGetOnePropFunction>(mapi, "HrGetOneProp", "HrGetOneProp@12");
    utilities->setOneProp = ResolveEither<HrSetOnePropFunction>(mapi, "HrSetOneProp", "HrSetOneProp@8");
    utilities->freeRows = ResolveEither<FreeProwsFunction>(mapi, "FreeProws", "FreeProws@4");
    return utilities->queryAllRows != nullptr && utilities->getOneProp != nullptr &&
           utilities->setOneProp != nullptr && utilities->freeRows != nullptr;
}

} // namespace quillon
