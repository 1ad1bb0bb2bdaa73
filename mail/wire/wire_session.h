// mailwire's Windows side: the settings read at load, the sockets, and the library-wide
// state behind QLLogon, QLSendMessage and QLLogoff. mailwire_dll.cpp holds one
// WireLibrary per loaded DLL; tests may build their own with a short reply wait.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>

#include "common/socket_handle.h"
#include "common/text.h"
#include "mail/mail_contract.h"
#include "mail/wire/wire_dialogue.h"
#include "mail/wire/wire_kept_session.h"
#include "mail/wire/wire_stamp.h"

namespace quillon {

// How long one server reply may take, from the start of its read to its first LF (and
// the bytes behind it). A silent server then fails the step like a closed connection
// instead of holding the scheduler's only thread. Half a minute is far beyond any
// working server's answer and still short next to the minute tick.
constexpr DWORD kDefaultReplyWaitMs = 30000;
// How long one message's whole dialogue may take, TLS handshake and sign-in included.
// Each reply is bounded on its own, but a server that trickles a byte now and then
// could otherwise stretch a dialogue of a dozen replies to minutes.
constexpr DWORD kDefaultMessageWaitMs = 120000;

struct WireSettings {
    char smtpServer[kTextBufferSize] = "";
    DWORD pop3Authentication = 0;
    char pop3Server[kTextBufferSize] = "";
    char pop3Login[kTextBufferSize] = "";
    char password[kTextBufferSize] = "";  // scrambled, as stored: passwordLength bytes
    uint32_t passwordLength = 0;
    DWORD smtpPort = 0;
    DWORD smtpSecurity = 0;
    char smtpLogin[kTextBufferSize] = "";
    bool smtpLoginUnreadable = false;   // SMTPLogin present but not readable text
};

// Reads the settings from Configuration. False only when the key exists but has no
// readable SMTPServer (then the library refuses to load); a missing key gives empty
// settings and true.
bool LoadSmtpSettings(WireSettings *settings);
// The secure-submission values (SMTPPort, SMTPSecurity, SMTPLogin), each 0 or empty
// when absent; part of LoadSmtpSettings.
void LoadSubmissionSettings(WireSettings *settings);

class WireLibrary : private wire::WireOutput, private wire::ConnectionSource {
public:
    explicit WireLibrary(const WireSettings &settings, DWORD replyWaitMs = kDefaultReplyWaitMs,
                         DWORD messageWaitMs = kDefaultMessageWaitMs);
    ~WireLibrary() override;
    WireLibrary(const WireLibrary &) = delete;
    WireLibrary &operator=(const WireLibrary &) = delete;

    // The contract (mail/mail_contract.h). The session handle is the socket opened by
    // Logon; the first Send runs its dialogue on that socket, every later Send of the
    // session on a new connection of its own (each message needs a full dialogue,
    // greeting to QUIT), which it closes again. Logoff closes the Logon socket.
    // With SMTPSecurity 1 or 2 the session is kept instead (wire_kept_session.h): the
    // Logon socket carries every message of the pass, QUIT is sent at Logoff, and a
    // message the session could not try returns kMailNotAttempted.
    // Once a reply of the session has not come within the reply wait (or a dialogue has
    // overrun its deadline), every later Send of that session returns kMailNotAttempted
    // at once: a server that accepts and then stays silent (or trickles) would otherwise
    // cost the caller the whole wait again for every queued message. A later Send that
    // cannot open its connection returns kMailNotAttempted too.
    MailResult Logon(MailSession *session, int logging, const char *logFile);
    MailResult Send(MailSession session, const char *sender, const char *destination, const char *subject,
                    const char *body);
    MailResult Logoff(MailSession session);

private:
    void Log(const std::string &line) override;
    void Debug(const char *text) override;
    void LogError(const char *step, int error);

    // Socket, bind, local host name, server address and service port, connect; one log
    // line and no socket on failure.
    struct ConnectSteps {
        const char *socketStep, *bindStep, *hostNameStep, *addressStep, *serviceStep, *connectStep;
        const char *service;
        DWORD port;   // nonzero: used instead of the service's port
    };
    UniqueSocket Connect(const char *server, const ConnectSteps &steps);
    ConnectSteps SmtpSteps() const;
    // SMTPPort, SMTPSecurity and SMTPLogin make sense together; false with a log line.
    bool SubmissionSettingsUsable();
    bool Pop3Login();
    wire::DialogueResult SendOn(SOCKET socket, const char *sender, const char *destination,
                                const char *subject, const char *body, int *lastError);
    // The message's fields from the settings; `stamp` must outlive the result.
    wire::SmtpMessage MessageFor(const char *sender, const char *destination, const char *subject,
                                 const char *body, const MessageStamp &stamp) const;

    // The kept session of the secured modes (wire_session_keeping.cpp).
    bool KeepsSession() const { return settings_.smtpSecurity != 0; }
    MailResult SendKept(const char *sender, const char *destination, const char *subject, const char *body);
    void CloseKeptSession();
    // ConnectionSource: the Logon socket first, then a new connection for each reconnect.
    std::unique_ptr<wire::WireConnection> OpenConnection() override;

    WireSettings settings_;
    DWORD replyWaitMs_;
    DWORD messageWaitMs_;
    bool logging_ = false;
    char logFile_[kTextBufferSize] = "";
    char hostName_[wire::kHostNameBufferSize] = "";
    bool winsockStarted_ = false;
    MailSession session_ = 0;                // handed out by Logon, 0 when none
    UniqueSocket logonSocket_;               // closed early after a network failure
    bool logonSocketUsed_ = false;
    bool sessionTimedOut_ = false;           // a reply of this session overran its wait
    wire::TextCharset charset_;              // the ANSI code page, read at Logon
    std::unique_ptr<wire::KeptSmtpSession> keptSession_;   // secured modes, Logon to Logoff
};

} // namespace quillon
