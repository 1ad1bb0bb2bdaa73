// The bodies of the three exports every mail library shares: no exception leaves an
// export, and a library whose load left no state refuses every call.
#pragma once

#include "mail/mail_contract.h"

namespace quillon {

// call(*library)'s result; kMailFailed when library is null or call throws.
template <typename Library, typename Call>
MailResult CallMailLibrary(Library *library, Call call) noexcept
{
    if (library == nullptr)
        return kMailFailed;
    try {
        return call(*library);
    } catch (...) {
        return kMailFailed;
    }
}

} // namespace quillon
