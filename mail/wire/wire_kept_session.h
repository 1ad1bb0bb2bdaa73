// One SMTP session kept for a whole dispatch pass on a secured connection (SMTPSecurity 1
// or 2): the TLS handshake and the sign-in happen once, every message after the first
// goes on the same connection with its own MAIL FROM, and QUIT ends the pass. Includes no
// Windows header: the shell supplies the connections.
//
// Per message: a refusal fails that message only (RSET before the next); a server that
// closes the connection or answers 421 is reconnected once per pass (TLS and sign-in
// again) and the message is tried again on the new connection; when that reconnect fails,
// after a second loss, or after a reply that did not come in time, the message and every
// later one of the pass are "not attempted", so that none of them uses up a retry.
#pragma once

#include <memory>

#include "mail/wire/wire_dialogue.h"

namespace quillon::wire {

// The error number a connection reports when a reply's time (or the message's) ran out:
// Winsock's WSAETIMEDOUT.
constexpr int kReplyTimedOutError = 10060;

// Where the kept session gets its connections.
class ConnectionSource {
public:
    virtual ~ConnectionSource() = default;
    // A new connection to the server whose greeting has not been read, or null when none
    // can be opened (the source has logged why).
    virtual std::unique_ptr<WireConnection> OpenConnection() = 0;
};

enum class KeptSendResult {
    kSent,          // the server took the message
    kRefused,       // the server refused this message (or the session could not be opened
                    // for it): a failed attempt
    kNotAttempted,  // left for a later pass, with every later message of this one
};

class KeptSmtpSession {
public:
    // Both references must outlive the session.
    KeptSmtpSession(ConnectionSource &source, WireOutput &output) : source_(source), output_(output) {}
    KeptSmtpSession(const KeptSmtpSession &) = delete;
    KeptSmtpSession &operator=(const KeptSmtpSession &) = delete;

    // One message. message.security is kStartTls or kImplicitTls; the sign-in fields are
    // used whenever a connection is opened.
    KeptSendResult Send(const SmtpMessage &message, const DateTime &now);
    // QUIT on the open connection (its reply is logged, never judged), then drops it.
    void Close();

    // How many connections the session has opened (for tests and the log).
    int ConnectionsOpened() const { return connectionsOpened_; }

private:
    // Opens a connection and runs the secured opening; false with *result set.
    bool Open(const SmtpMessage &message, KeptSendResult *result);
    KeptSendResult Defer();
    void Drop() { connection_.reset(); }
    bool TimedOut(DialogueResult result) const
    {
        return result == DialogueResult::kNetworkFailed && connection_ != nullptr &&
               connection_->LastError() == kReplyTimedOutError;
    }

    ConnectionSource &source_;
    WireOutput &output_;
    std::unique_ptr<WireConnection> connection_;
    SessionFeatures features_;
    bool opened_ = false;       // a session was open once in this pass
    bool needsReset_ = false;   // the last transaction was refused: RSET first
    bool reconnected_ = false;  // the pass's one reconnect has been used
    bool deferred_ = false;     // the rest of the pass is not attempted
    int connectionsOpened_ = 0;
};

} // namespace quillon::wire
