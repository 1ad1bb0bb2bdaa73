// A TLS client channel over a connected socket, through the system's own provider
// (Schannel via SSPI). The provider is told not to judge the server's certificate
// itself; the channel does it after the handshake: the chain must end in a trusted root
// and the SSL policy must accept it for the server name. There is no way to skip that.
#pragma once

#include <winsock2.h>
#include <windows.h>
#define SECURITY_WIN32
#include <security.h>
#include <schannel.h>

#include <string>
#include <vector>

namespace quillon {

enum class TlsStatus {
    kOk,
    kTimedOut,   // the allowance ran out
    kClosed,     // the peer closed the connection (or ended TLS)
    kFailed,     // a socket or provider error; see the failure text
};

class TlsChannel {
public:
    explicit TlsChannel(SOCKET socket) : socket_(socket) {}
    ~TlsChannel();
    TlsChannel(const TlsChannel &) = delete;
    TlsChannel &operator=(const TlsChannel &) = delete;

    // Handshake and certificate check against `serverName` (host name or dotted
    // address as configured), all within `deadline` (GetTickCount64 value). False with
    // *failure saying why in one line ("TLS certificate untrusted ...", "TLS
    // certificate name mismatch ...", "TLS certificate expired ...", "TLS handshake
    // error ..."). On success *description names the protocol and cipher.
    bool Handshake(const char *serverName, ULONGLONG deadline, std::string *failure, std::string *description);

    // Encrypts and sends all of data; false with *error (Winsock or SSPI code).
    bool Send(const char *data, size_t length, int *error);

    // One byte of plain text. With onlyIfWaiting, takes only what has already arrived
    // and reports kTimedOut when nothing complete is there (the caller's "nothing
    // waiting"); otherwise waits until `deadline`.
    TlsStatus Receive(char *byte, bool onlyIfWaiting, ULONGLONG deadline, int *error);

private:
    // Reads more raw bytes; waits until deadline unless onlyIfWaiting.
    TlsStatus ReadRaw(bool onlyIfWaiting, ULONGLONG deadline, int *error);
    bool SendAll(const char *data, size_t length, int *error);
    bool CheckCertificate(const char *serverName, std::string *failure);
    bool ContinueAfterRenegotiate(int *error);
    std::string Describe();

    SOCKET socket_;
    std::string serverName_;
    CredHandle credentials_ = {};
    CtxtHandle context_ = {};
    bool haveCredentials_ = false;
    bool haveContext_ = false;
    SecPkgContext_StreamSizes sizes_ = {};
    std::vector<char> raw_;        // received, not yet decrypted
    std::vector<char> plain_;      // decrypted, not yet handed out
    size_t plainOffset_ = 0;
    bool closed_ = false;
};

} // namespace quillon
