// The secured modes' kept session in the library's contract: one KeptSmtpSession from
// Logon to Logoff, its results turned into the contract's.
#include "mail/wire/wire_session.h"

#include "mail/wire/wire_stamp.h"

namespace quillon {

MailResult WireLibrary::SendKept(const char *sender, const char *destination, const char *subject, const char *body)
{
    const MessageStamp stamp = StampMessage();
    const wire::SmtpMessage message = MessageFor(sender, destination, subject, body, stamp);
    switch (keptSession_->Send(message, stamp.localTime)) {
    case wire::KeptSendResult::kSent: return kMailOk;
    case wire::KeptSendResult::kNotAttempted: return kMailNotAttempted;
    default: return kMailFailed;
    }
}

void WireLibrary::CloseKeptSession()
{
    if (keptSession_ != nullptr) {
        keptSession_->Close();
        keptSession_.reset();
    }
}

} // namespace quillon
