#include "mail/wire/wire_session.h"

#include "common/log.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/win_datetime.h"
#include "mail/wire/wire_stamp.h"
#include "mail/wire/wire_tls.h"
#include "common/config/configuration_key.h"

#include <cstring>
#include <memory>


namespace quillon {

namespace {

// A connected socket as the dialogues see it, with the time allowance of one reply.
// Once StartTls has succeeded, every byte goes through the TLS channel. A message
// deadline, when given, caps every reply's allowance and the handshake.
class SocketConnection : public wire::WireConnection {
public:
    SocketConnection(SOCKET socket, DWORD replyWaitMs, const char *serverName = "", ULONGLONG messageDeadline = 0)
        : socket_(socket), replyWaitMs_(replyWaitMs), serverName_(serverName), messageDeadline_(messageDeadline)
    {
    }

    ~SocketConnection() override
    {
        if (tls_ == nullptr)
            TakeHandedOut();
    }

    bool StartTls(wire::WireOutput &output) override
    {
        if (tls_ != nullptr) {
            output.Log("TLS handshake error: already secured");
            return false;
        }
        if (!TakeHandedOut()) {
            output.Log(FormatText("TLS handshake error: receive error %d", error_));
            return false;
        }
        tls_ = std::make_unique<TlsChannel>(socket_);
        std::string failure, description;
        if (!tls_->Handshake(serverName_, Capped(GetTickCount64() + replyWaitMs_), &failure, &description)) {
            output.Log(failure);
            error_ = WSAECONNABORTED;
            return false;
        }
        output.Log("TLS established: " + description);
        return true;
    }

    bool Send(const char *data, size_t length) override
    {
        if (length == 0)
            return true;
        if (tls_ != nullptr)
            return tls_->Send(data, length, &error_);
        if (!TakeHandedOut())
            return false;
        if (length > 0x7fffffff) {
            error_ = WSAEMSGSIZE;
            return false;
        }
        if (send(socket_, data, static_cast<int>(length), 0) == SOCKET_ERROR) {
            error_ = WSAGetLastError();
            return false;
        }
        return true;
    }

    void BeginReply() override { deadline_ = Capped(GetTickCount64() + replyWaitMs_); }
    // A connection kept for several messages gives each its own allowance.
    void BeginMessage() override
    {
        if (messageWaitMs_ != 0)
            messageDeadline_ = GetTickCount64() + messageWaitMs_;
    }
    void SetMessageWait(DWORD messageWaitMs) { messageWaitMs_ = messageWaitMs; }

    wire::ReceiveStatus Receive(char *byte, bool onlyIfWaiting) override
    {
        if (tls_ != nullptr) {
            switch (tls_->Receive(byte, onlyIfWaiting, deadline_, &error_)) {
            case TlsStatus::kOk: return wire::ReceiveStatus::kByte;
            case TlsStatus::kTimedOut:
                return onlyIfWaiting ? wire::ReceiveStatus::kNothingWaiting : wire::ReceiveStatus::kFailed;
            case TlsStatus::kClosed: return wire::ReceiveStatus::kClosed;
            default: return wire::ReceiveStatus::kFailed;
            }
        }
        // The reply's time is up even while bytes keep arriving: a server that streams a
        // line without end must not hold the read past its wait.
        if (GetTickCount64() >= deadline_) {
            if (onlyIfWaiting)
                return wire::ReceiveStatus::kNothingWaiting;
            error_ = WSAETIMEDOUT;
            return wire::ReceiveStatus::kFailed;
        }
        // What has arrived is looked at without taking it (one peek per burst) and
        // handed out from that copy; the socket gives up exactly the bytes handed out,
        // before it is asked again, before the next send and when the connection is
        // left. So the bytes that leave the socket are the same as with one receive
        // per byte, and whatever lies behind the point where the reader stops (the TLS
        // handshake after STARTTLS, say) stays in the socket.
        if (handedOut_ < peekedLength_)
            return HandOut(byte);
        if (onlyIfWaiting && taken_ < handedOut_)
            return TakeHandedOutAndWhatFollows(byte);
        if (!TakeHandedOut())
            return wire::ReceiveStatus::kFailed;
        wire::ReceiveStatus status = WaitForData(onlyIfWaiting);
        if (status != wire::ReceiveStatus::kByte)
            return status;
        int got = recv(socket_, peeked_, sizeof peeked_, MSG_PEEK);
        if (got <= 0) {
            error_ = got == 0 ? 0 : WSAGetLastError();
            return got == 0 ? wire::ReceiveStatus::kClosed : wire::ReceiveStatus::kFailed;
        }
        peekedLength_ = static_cast<size_t>(got);
        return HandOut(byte);
    }
    int LastError() const override { return error_; }

private:
    // kByte when a receive can go ahead now (data waiting, or the peer closed);
    // otherwise kNothingWaiting for a poll, kFailed (WSAETIMEDOUT) when the reply's
    // time has run out, or kFailed with the socket's error.
    wire::ReceiveStatus WaitForData(bool onlyIfWaiting)
    {
        ULONGLONG now = GetTickCount64();
        ULONGLONG remaining = now < deadline_ ? deadline_ - now : 0;
        if (onlyIfWaiting && remaining == 0)
            return wire::ReceiveStatus::kNothingWaiting;

        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_, &readable);
        timeval wait = {};
        if (!onlyIfWaiting) {
            wait.tv_sec = static_cast<long>(remaining / 1000);
            wait.tv_usec = static_cast<long>((remaining % 1000) * 1000);
        }
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready == SOCKET_ERROR) {
            error_ = WSAGetLastError();
            return wire::ReceiveStatus::kFailed;
        }
        if (ready == 0) {
            if (onlyIfWaiting)
                return wire::ReceiveStatus::kNothingWaiting;
            error_ = WSAETIMEDOUT;
            return wire::ReceiveStatus::kFailed;
        }
        return wire::ReceiveStatus::kByte;
    }

    wire::ReceiveStatus HandOut(char *byte)
    {
        *byte = peeked_[handedOut_++];
        return wire::ReceiveStatus::kByte;
    }

    // Takes the bytes handed out from the peeked copy out of the socket. They have
    // arrived already, so the receive does not wait.
    bool TakeHandedOut()
    {
        while (taken_ < handedOut_) {
            char discard[kPeekBytes];
            // (taken_ may run ahead of handedOut_: see TakeHandedOutAndWhatFollows.)
            int got = recv(socket_, discard, static_cast<int>(handedOut_ - taken_), 0);
            if (got <= 0) {
                error_ = got == 0 ? WSAECONNRESET : WSAGetLastError();
                return false;
            }
            taken_ += static_cast<size_t>(got);
        }
        if (handedOut_ == peekedLength_)
            peekedLength_ = handedOut_ = taken_ = 0;
        return true;
    }

    // A poll once the copy is used up: one receive takes the handed-out bytes together
    // with whatever has arrived behind them (they are waiting, so it does not block).
    // Nothing more means nothing is waiting; more becomes the next copy, already taken.
    wire::ReceiveStatus TakeHandedOutAndWhatFollows(char *byte)
    {
        if (GetTickCount64() >= deadline_)
            return TakeHandedOut() ? wire::ReceiveStatus::kNothingWaiting : wire::ReceiveStatus::kFailed;
        const size_t owed = handedOut_ - taken_;
        char received[kPeekBytes];
        int got = recv(socket_, received, static_cast<int>(sizeof received), 0);
        if (got <= 0) {
            error_ = got == 0 ? WSAECONNRESET : WSAGetLastError();
            return wire::ReceiveStatus::kFailed;
        }
        if (static_cast<size_t>(got) < owed) {
            // Not expected, the owed bytes had all arrived: take the rest as usual.
            taken_ += static_cast<size_t>(got);
            return TakeHandedOut() ? wire::ReceiveStatus::kNothingWaiting : wire::ReceiveStatus::kFailed;
        }
        const size_t extra = static_cast<size_t>(got) - owed;
        peekedLength_ = handedOut_ = taken_ = 0;
        if (extra == 0)
            return wire::ReceiveStatus::kNothingWaiting;
        memcpy(peeked_, received + owed, extra);
        peekedLength_ = taken_ = extra;
        return HandOut(byte);
    }

    ULONGLONG Capped(ULONGLONG deadline) const
    {
        return messageDeadline_ != 0 && messageDeadline_ < deadline ? messageDeadline_ : deadline;
    }

    SOCKET socket_;
    DWORD replyWaitMs_;
    const char *serverName_;
    ULONGLONG messageDeadline_;
    DWORD messageWaitMs_ = 0;
    std::unique_ptr<TlsChannel> tls_;
    ULONGLONG deadline_ = 0;
    // Plain socket only: the last peek's copy, how much of it the reader has had, and
    // how much of that has been taken out of the socket.
    static constexpr size_t kPeekBytes = 1024;
    char peeked_[kPeekBytes];
    size_t peekedLength_ = 0;
    size_t handedOut_ = 0;
    size_t taken_ = 0;
    int error_ = 0;
};

// The socket's owner comes first among the bases, so the connection has given the socket
// back what it owes before the socket closes.
struct SocketOwner {
    UniqueSocket socket;
};

class OwningSocketConnection : private SocketOwner, public SocketConnection {
public:
    OwningSocketConnection(UniqueSocket socket, DWORD replyWaitMs, const char *serverName, DWORD messageWaitMs)
        : SocketOwner{std::move(socket)}, SocketConnection(SocketOwner::socket.Get(), replyWaitMs, serverName)
    {
        SetMessageWait(messageWaitMs);
    }
};

} // namespace

bool LoadSmtpSettings(WireSettings *settings)
{
    using namespace config_values;
    *settings = WireSettings();
    ConfigurationKey key;
    if (!key.Open())
        return true;
    if (!key.ReadText(kSMTPServer, settings->smtpServer))
        return false;
    settings->pop3Authentication = key.NumberOr(kPOP3Authentication, 0);
    key.ReadText(kPOP3Server, settings->pop3Server);
    key.ReadText(kPOP3Login, settings->pop3Login);
    key.ReadTextBytes(kPassword, settings->password, &settings->passwordLength);
    LoadSubmissionSettings(settings);
    return true;
}

void LoadSubmissionSettings(WireSettings *settings)
{
    settings->smtpPort = ReadConfigNumber(config_values::kSMTPPort, 0);
    settings->smtpSecurity = ReadConfigNumber(config_values::kSMTPSecurity, 0);
    if (!ReadConfigText(config_values::kSMTPLogin, settings->smtpLogin)) {
        settings->smtpLogin[0] = '\0';
        // Present but unreadable (too long, or not text): refused at logon rather than
        // sending without the sign-in the user asked for.
        settings->smtpLoginUnreadable = ConfigValueHasData(config_values::kSMTPLogin);
    }
}

WireLibrary::WireLibrary(const WireSettings &settings, DWORD replyWaitMs, DWORD messageWaitMs)
    : settings_(settings), replyWaitMs_(replyWaitMs), messageWaitMs_(messageWaitMs)
{
}

WireLibrary::~WireLibrary()
{
    // A caller that never logged off (or a process ending) still gets its socket back.
    logonSocket_.Reset();
    if (winsockStarted_)
        WSACleanup();
    SecureZeroMemory(settings_.password, sizeof settings_.password);
}

void WireLibrary::Log(const std::string &line)
{
    if (logging_)
        AppendLogText(logFile_, "MAILWIRE " + line + "\r\n");
}

void WireLibrary::Debug(const char *text)
{
    OutputDebugStringA(text);
}

void WireLibrary::LogError(const char *step, int error)
{
    Log(FormatText("%s error %d", step, error));
}

UniqueSocket WireLibrary::Connect(const char *server, const ConnectSteps &steps)
{
    UniqueSocket owned(socket(AF_INET, SOCK_STREAM, 0));
    if (!owned) {
        LogError(steps.socketStep, WSAGetLastError());
        return UniqueSocket();
    }
    const SOCKET s = owned.Get();
    auto fail = [&](const char *step) {
        LogError(step, WSAGetLastError());
        return UniqueSocket();   // the owner closes the socket
    };
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (bind(s, reinterpret_cast<sockaddr *>(&local), sizeof local) == SOCKET_ERROR)
        return fail(steps.bindStep);
    if (gethostname(hostName_, sizeof hostName_) == SOCKET_ERROR) {
        hostName_[0] = '\0';
        return fail(steps.hostNameStep);
    }
    hostName_[sizeof hostName_ - 1] = '\0';

    sockaddr_in remote = {};
    hostent *host = gethostbyname(server);
    if (host != nullptr && host->h_addrtype == AF_INET && host->h_length == sizeof(in_addr) &&
        host->h_addr_list != nullptr && host->h_addr_list[0] != nullptr) {
        remote.sin_family = static_cast<short>(host->h_addrtype);
        memcpy(&remote.sin_addr, host->h_addr_list[0], sizeof(in_addr));
    } else {
        unsigned long address = inet_addr(server);
        if (address == INADDR_NONE)
            return fail(steps.addressStep);
        remote.sin_family = AF_INET;
        remote.sin_addr.s_addr = address;
    }
    if (steps.port != 0) {
        // A configured port (SMTPPort) needs no service entry.
        remote.sin_port = htons(static_cast<u_short>(steps.port));
    } else {
        // No built-in port: a system without the service entry cannot reach the server.
        servent *service = getservbyname(steps.service, "tcp");
        if (service == nullptr)
            return fail(steps.serviceStep);
        remote.sin_port = static_cast<u_short>(service->s_port);
    }
    if (connect(s, reinterpret_cast<sockaddr *>(&remote), sizeof remote) == SOCKET_ERROR)
        return fail(steps.connectStep);
    // The header lines, body and end of data go out as separate small sends with no
    // reply between them; without this, Nagle's algorithm and the peer's delayed
    // acknowledgement stall each message for tens of milliseconds. Failure is harmless.
    BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&noDelay), sizeof noDelay);
    return owned;
}

WireLibrary::ConnectSteps WireLibrary::SmtpSteps() const
{
    return {"INVALID_SOCKET2", "bind2", "gethostname2", "gethostbyname2", "getservbyname2", "connect2", "smtp",
            settings_.smtpPort};
}

bool WireLibrary::SubmissionSettingsUsable()
{
    if (settings_.smtpPort > 65535) {
        Log(FormatText("SMTPPort %lu is not a port number", static_cast<unsigned long>(settings_.smtpPort)));
        return false;
    }
    if (settings_.smtpSecurity > static_cast<DWORD>(wire::SmtpSecurity::kImplicitTls)) {
        Log(FormatText("SMTPSecurity %lu is not 0, 1 or 2", static_cast<unsigned long>(settings_.smtpSecurity)));
        return false;
    }
    if (settings_.smtpLoginUnreadable) {
        Log("SMTPLogin unreadable or longer than 259 characters");
        return false;
    }
    if (settings_.smtpLogin[0] != '\0' && settings_.smtpSecurity == 0) {
        // Nothing is sent at all: the server would only get the name and password in clear.
        Log("SMTPLogin needs SMTPSecurity 1 or 2: credentials are sent only inside TLS");
        return false;
    }
    return true;
}

bool WireLibrary::Pop3Login()
{
    static const ConnectSteps kPop3Steps = {"INVALID_SOCKET", "bind", "gethostname", "inetaddr",
                                            "getPOP3servbyname", "POP3 connect", "POP3", 0};
    UniqueSocket s = Connect(settings_.pop3Server, kPop3Steps);
    if (!s)
        return false;
    // The connection ends before its socket closes: it gives the socket back the reply
    // bytes it owes.
    SocketConnection connection(s.Get(), replyWaitMs_);
    return wire::RunPop3Login(connection, *this, settings_.pop3Login, settings_.password, settings_.passwordLength) ==
           wire::DialogueResult::kDone;
}

MailResult WireLibrary::Logon(MailSession *session, int logging, const char *logFile)
{
    CopyBounded(logFile_, logFile);
    logging_ = logging != 0;
    if (session == nullptr)
        return kMailFailed;
    // A second logon without logoff: the old connection is not reachable any more.
    keptSession_.reset();
    logonSocket_.Reset();
    session_ = 0;
    sessionTimedOut_ = false;
    charset_ = SystemTextCharset();
    if (!winsockStarted_) {
        WSADATA data;
        int rc = WSAStartup(MAKEWORD(1, 1), &data);
        if (rc != 0) {
            LogError("WSAStartup", rc);
            return kMailFailed;
        }
        winsockStarted_ = true;
    }
    // A failed logon gets no logoff from the caller, so Winsock is released here.
    auto fail = [&]() {
        WSACleanup();
        winsockStarted_ = false;
        return kMailFailed;
    };
    if (!SubmissionSettingsUsable())
        return fail();
    if (settings_.pop3Authentication != 0 && !Pop3Login())
        return fail();

    UniqueSocket s = Connect(settings_.smtpServer, SmtpSteps());
    if (!s)
        return fail();
    // The handle is 32 bits wide; Windows socket handles fit, but never hand out a
    // truncated one.
    const UINT_PTR value = static_cast<UINT_PTR>(s.Get());
    if (value == 0 || value > 0xffffffffu)
        return fail();   // the owner closes the socket
    logonSocket_ = std::move(s);
    logonSocketUsed_ = false;
    if (KeepsSession())
        keptSession_.reset(new wire::KeptSmtpSession(static_cast<wire::ConnectionSource &>(*this),
                                                     static_cast<wire::WireOutput &>(*this)));
    session_ = static_cast<MailSession>(value);
    *session = session_;
    return kMailOk;
}

wire::DialogueResult WireLibrary::SendOn(SOCKET s, const char *sender, const char *destination,
                                         const char *subject, const char *body, int *lastError)
{
    SocketConnection connection(s, replyWaitMs_, settings_.smtpServer, GetTickCount64() + messageWaitMs_);
    const MessageStamp stamp = StampMessage();
    const wire::SmtpMessage message = MessageFor(sender, destination, subject, body, stamp);
    wire::DialogueResult result = wire::RunSmtpDialogue(connection, *this, message, stamp.localTime);
    *lastError = connection.LastError();
    return result;
}

wire::SmtpMessage WireLibrary::MessageFor(const char *sender, const char *destination, const char *subject,
                                          const char *body, const MessageStamp &stamp) const
{
    wire::SmtpMessage message = {hostName_, sender, destination, subject, body};
    message.security = static_cast<wire::SmtpSecurity>(settings_.smtpSecurity);
    message.login = settings_.smtpLogin;
    message.scrambledPassword = settings_.password;
    message.scrambledPasswordLength = settings_.passwordLength;
    message.charset = &charset_;
    message.utcOffsetMinutes = stamp.utcOffsetMinutes;
    message.uniqueId = stamp.uniqueId.c_str();
    return message;
}

std::unique_ptr<wire::WireConnection> WireLibrary::OpenConnection()
{
    UniqueSocket s;
    if (!logonSocketUsed_) {
        logonSocketUsed_ = true;
        s = std::move(logonSocket_);
    } else {
        s = Connect(settings_.smtpServer, SmtpSteps());
    }
    if (!s)
        return nullptr;
    return std::make_unique<OwningSocketConnection>(std::move(s), replyWaitMs_, settings_.smtpServer, messageWaitMs_);
}

MailResult WireLibrary::Send(MailSession session, const char *sender, const char *destination,
                             const char *subject, const char *body)
{
    if (session_ == 0 || session != session_)
        return kMailFailed;
    if (keptSession_ != nullptr)
        return SendKept(sender, destination, subject, body);
    // After a reply of this session overran its wait (or a dialogue its deadline) the
    // server is unavailable for now: the rest of the caller's queue is not tried, and
    // loses no retry for it.
    if (sessionTimedOut_)
        return kMailNotAttempted;
    int lastError = 0;
    if (!logonSocketUsed_) {
        logonSocketUsed_ = true;
        wire::DialogueResult result = SendOn(logonSocket_.Get(), sender, destination, subject, body, &lastError);
        sessionTimedOut_ = result == wire::DialogueResult::kNetworkFailed && lastError == WSAETIMEDOUT;
        // A network failure closes the connection; a rejected reply leaves it to Logoff.
        if (result == wire::DialogueResult::kNetworkFailed)
            logonSocket_.Reset();
        return result == wire::DialogueResult::kDone ? kMailOk : kMailFailed;
    }
    // The session's own connection has had its dialogue (it ended with QUIT, or failed):
    // this message gets a connection of its own.
    UniqueSocket s = Connect(settings_.smtpServer, SmtpSteps());
    if (!s)
        return kMailNotAttempted;   // nothing of this message reached a server
    wire::DialogueResult result = SendOn(s.Get(), sender, destination, subject, body, &lastError);
    sessionTimedOut_ = result == wire::DialogueResult::kNetworkFailed && lastError == WSAETIMEDOUT;
    return result == wire::DialogueResult::kDone ? kMailOk : kMailFailed;
}

MailResult WireLibrary::Logoff(MailSession session)
{
    CloseKeptSession();
    session_ = 0;
    logonSocket_.Reset();
    if (winsockStarted_) {
        WSACleanup();
        winsockStarted_ = false;
    }
    return kMailOk;
}

} // namespace quillon
