#include "mail/wire/wire_kept_session.h"

namespace quillon::wire {

KeptSendResult KeptSmtpSession::Defer()
{
    if (!deferred_)
        output_.Log("Rest of the dispatch pass left for later: the server is not available");
    deferred_ = true;
    Drop();
    return KeptSendResult::kNotAttempted;
}

bool KeptSmtpSession::Open(const SmtpMessage &message, KeptSendResult *result)
{
    const bool reconnect = opened_;
    connection_ = source_.OpenConnection();
    if (connection_ == nullptr) {
        // Before any session of this pass was open this is the message's failure, as it
        // always was; a lost session that cannot be opened again defers the rest.
        *result = reconnect ? Defer() : KeptSendResult::kRefused;
        return false;
    }
    ++connectionsOpened_;
    connection_->BeginMessage();
    features_ = SessionFeatures();
    const DialogueResult opening = OpenSecuredSession(*connection_, output_, message, &features_);
    if (opening == DialogueResult::kDone) {
        opened_ = true;
        needsReset_ = false;
        return true;
    }
    if (reconnect || TimedOut(opening) || opening == DialogueResult::kServiceClosing) {
        *result = Defer();
    } else {
        Drop();
        *result = KeptSendResult::kRefused;
    }
    return false;
}

KeptSendResult KeptSmtpSession::Send(const SmtpMessage &message, const DateTime &now)
{
    if (deferred_)
        return KeptSendResult::kNotAttempted;
    for (;;) {
        KeptSendResult failure;
        if (connection_ == nullptr && !Open(message, &failure))
            return failure;
        connection_->BeginMessage();
        DialogueResult result = DialogueResult::kDone;
        if (needsReset_) {
            result = SendReset(*connection_, output_);
            if (result == DialogueResult::kDone)
                needsReset_ = false;
            else if (result == DialogueResult::kRejected)
                result = DialogueResult::kServiceClosing;   // a session that cannot reset is no use
        }
        if (result == DialogueResult::kDone)
            result = SendMailTransaction(*connection_, output_, message, now, features_.pipelining, true);
        if (result == DialogueResult::kDone)
            return KeptSendResult::kSent;
        if (result == DialogueResult::kRejected) {
            needsReset_ = true;
            return KeptSendResult::kRefused;
        }
        // The connection is gone (closed, broken, 421) or the server did not answer in
        // time. Waiting again would cost the scheduler's thread the whole wait for every
        // message, so a time-out defers at once; a loss gets one new connection per pass.
        if (TimedOut(result) || reconnected_)
            return Defer();
        reconnected_ = true;
        Drop();
        output_.Log("Connection lost: connecting again");
    }
}

void KeptSmtpSession::Close()
{
    if (connection_ != nullptr) {
        connection_->BeginMessage();
        SendQuit(*connection_, output_, true);
    }
    Drop();
}

} // namespace quillon::wire
