// mailwire's protocol work without sockets: reading one server reply, judging it, and
// the POP3 log-in and SMTP dialogues with their exact command lines and log lines. The
// Windows shell (wire_session.h) supplies the connection and the log; tests supply
// scripted ones. Includes no Windows header.
#pragma once

#include <cstddef>
#include <string>

#include "common/datetime.h"
#include "mail/wire/wire_message.h"

namespace quillon::wire {

// Library-wide buffer sizes: a reply keeps at most 1023 characters and its NUL; command
// and header lines are cut to 1023 characters.
constexpr size_t kReplyBufferSize = 1024;
constexpr size_t kCommandBufferSize = 1024;
constexpr size_t kHostNameBufferSize = 1024;

enum class ReceiveStatus {
    kByte,            // *byte holds one received byte
    kNothingWaiting,  // only for a poll: no byte has arrived yet
    kClosed,          // the peer closed the connection
    kFailed,          // the receive failed or the reply's time ran out; see LastError()
};

// One connected stream. The shell's implementation bounds the whole of one reply read
// in time: once BeginReply's allowance is spent, a waiting receive fails and a poll
// reports nothing waiting, so a silent or endless server cannot hold the caller.
class WireConnection {
public:
    virtual ~WireConnection() = default;
    // Sends `length` bytes in one call; false on error.
    virtual bool Send(const char *data, size_t length) = 0;
    // Starts the time allowance of one reply.
    virtual void BeginReply() = 0;
    // Starts the time allowance of one message on a connection kept for several; a
    // connection without one does nothing.
    virtual void BeginMessage() {}
    // One byte; with onlyIfWaiting, never blocks (kNothingWaiting when none has arrived).
    virtual ReceiveStatus Receive(char *byte, bool onlyIfWaiting) = 0;
    // Error number of the failed call (the Winsock error of that moment).
    virtual int LastError() const = 0;
    // Turns the connection into a TLS channel: handshake, then the server's certificate
    // checked against the trusted roots and the server name. Every later Send and
    // Receive goes through the channel. On success the implementation logs the
    // negotiated protocol and cipher; on failure it logs why (untrusted, name mismatch,
    // expired, handshake error) and the connection must be closed. A connection without
    // TLS support fails.
    virtual bool StartTls(class WireOutput &output);
};

// Where the dialogues report. Log lines are given without the "MAILWIRE " prefix and
// without the final CR LF; the shell adds both, and writes them only while logging is on.
class WireOutput {
public:
    virtual ~WireOutput() = default;
    virtual void Log(const std::string &line) = 0;
    // A rejected reply goes to the system debug output.
    virtual void Debug(const char *text) = 0;
};

// Reads one reply into reply[kReplyBufferSize]: every byte up to the first LF, then the
// bytes that have already arrived behind it (the rest of a multi-line reply sent in one
// burst). Bytes past the 1023rd are received and dropped. False when the connection
// closes or fails before the first LF; reply then holds what arrived (terminated).
bool ReadReply(WireConnection &connection, char *reply);

// The decimal number at the start of an SMTP reply (C leading-digits conversion, 0
// when there are none).
long SmtpReplyCode(const char *reply);
// A POP3 reply is good when it begins with "+OK".
bool IsPop3Ok(const char *reply);

enum class DialogueResult {
    kDone,           // every step passed
    kNetworkFailed,  // a send or receive failed: the logged error; close the connection
    kRejected,       // a reply outside the accepted codes (SMTP: sent to Debug; the
                     // connection stays open. POP3: the connection must be closed)
    kServiceClosing, // SMTP reply 421: the server is closing the connection (sent to
                     // Debug); only the session functions below report it
};

// The POP3 log-in on a connected socket: greeting, USER, PASS, QUIT. `scrambledPassword`
// is the stored Password as read, `passwordLength` bytes (a scrambled byte may be 0, so
// it is not measured as a C string). The plain password exists only in the command
// buffer, for the time it takes to format and send PASS. PASS is never logged;
// "Sent Password" is.
DialogueResult RunPop3Login(WireConnection &connection, WireOutput &output, const char *login,
                            const char *scrambledPassword, size_t passwordLength);

// How a message's connection is secured (configuration value SMTPSecurity).
enum class SmtpSecurity : unsigned {
    kPlain = 0,        // as always: HELO, no TLS
    kStartTls = 1,     // EHLO, STARTTLS required, EHLO again inside TLS
    kImplicitTls = 2,  // TLS from the first byte, then EHLO
};

struct SmtpMessage {
    const char *localHost;
    const char *sender;
    const char *destination;
    const char *subject;
    const char *body;
    SmtpSecurity security = SmtpSecurity::kPlain;
    // Sign-in (SMTPLogin): null or empty for none. Credentials only ever go inside TLS:
    // with kPlain and a login the dialogue fails before anything is sent.
    const char *login = nullptr;
    // The stored Password as read, scrambledPasswordLength bytes (a scrambled byte may be
    // 0, so it is not measured as a C string); unscrambled into a local buffer only while
    // the AUTH lines are formatted, and every buffer that held it is wiped.
    const char *scrambledPassword = nullptr;
    size_t scrambledPasswordLength = 0;
    // What the message declares and carries: the ANSI code page (null: windows-1252),
    // the local zone's offset from UTC in minutes at `now`, and the left part of the
    // Message-ID, unique for every message.
    const TextCharset *charset = nullptr;
    int utcOffsetMinutes = 0;
    const char *uniqueId = "";
};

// Reads one complete reply, every line of a multi-line reply ("250-..." lines up to the
// first line whose fourth character is not '-'), into reply[kReplyBufferSize]; bytes
// past the 1023rd are received and dropped. Nothing behind the final line is taken.
// Used by the secured dialogue, where EHLO's extension list must be seen whole.
bool ReadCompleteReply(WireConnection &connection, char *reply);

// True when an EHLO reply lists `keyword` (case-insensitive) as an extension; its
// parameters (the text after the keyword) go to *parameters when given.
bool EhloOffers(const char *reply, const char *keyword, std::string *parameters = nullptr);

// True when a space-separated parameter list (an AUTH line) names `mechanism`.
bool ListsMechanism(const std::string &parameters, const char *mechanism);

// Standard base64 (RFC 4648, with padding) of bytes[0..length) into out[outSize];
// false (out empty) when it does not fit.
bool Base64Encode(const unsigned char *bytes, size_t length, char *out, size_t outSize);

// Fills `bytes` with zeros in a way the compiler may not drop.
void WipeBytes(void *bytes, size_t length);

// One full SMTP dialogue on a fresh connection, whose greeting has not been read yet:
// greeting 220, HELO 250, then the mail transaction (SendMailTransaction, one command at
// a time), QUIT (reply not judged, its failure ignored). `now` is the local time for the
// DATE line.
// With message.security other than kPlain, or a login, the greeting and HELO are
// replaced by the secured opening (OpenSecuredSession); from MAIL FROM on the dialogue
// is the same. A server that does not offer STARTTLS or a usable AUTH fails with
// kRejected and nothing more is sent; a failed TLS start is kNetworkFailed. The
// credentials are never logged: "Sent credentials" stands in the log in place of the
// AUTH command.
DialogueResult RunSmtpDialogue(WireConnection &connection, WireOutput &output, const SmtpMessage &message,
                               const DateTime &now);

// What a secured session learnt from the server's EHLO inside TLS.
struct SessionFeatures {
    bool pipelining = false;   // RFC 2920 PIPELINING offered
};

// The secured opening on a fresh connection: TLS first (kImplicitTls), greeting 220,
// EHLO 250, STARTTLS 220 and EHLO again inside TLS (kStartTls), AUTH PLAIN (or AUTH LOGIN
// when only that is offered) 235 when message.login is set. kServiceClosing when the
// server answers 421.
DialogueResult OpenSecuredSession(WireConnection &connection, WireOutput &output, const SmtpMessage &message,
                                  SessionFeatures *features);

// One mail transaction on a session that is ready for MAIL FROM: MAIL FROM 250, RCPT TO
// 250-299, DATA 354, the header lines (DATE, FROM, TO, SUBJECT as always, then
// Message-ID, MIME-Version, Content-Type, Content-Transfer-Encoding), the empty line, the
// quoted-printable body dot-stuffed, and the end-of-data line, 250-299. Every header
// line is logged as sent; DATA, the body and the end of data are not.
// With `pipelined`, MAIL FROM, RCPT TO and DATA go out in one send and their replies are
// read in order, and the whole message with its end-of-data line is a second send (a
// failure of it is logged as "body send"); when DATA was answered 354 although MAIL FROM or RCPT TO was refused,
// the end-of-data line goes out alone so that the server ends the empty transaction.
// `completeReplies` reads each reply whole (every line of a multi-line one), as a
// secured session must; otherwise a reply is read as the plain dialogue always has.
// kRejected: the server refused this message and the session is still usable (RSET
// before the next). kServiceClosing: it answered 421 (closing); kNetworkFailed: the
// connection broke or a reply did not come in time.
DialogueResult SendMailTransaction(WireConnection &connection, WireOutput &output, const SmtpMessage &message,
                                   const DateTime &now, bool pipelined, bool completeReplies);

// RSET 250 after a refused message, before the next transaction of the same session.
DialogueResult SendReset(WireConnection &connection, WireOutput &output);

// QUIT at the end of a kept session; the reply is logged when it comes, never judged.
void SendQuit(WireConnection &connection, WireOutput &output, bool completeReply);

} // namespace quillon::wire
