#include "mail/wire/wire_tls.h"

#include <wincrypt.h>

#include <cstring>

#include "common/text.h"

namespace quillon {

namespace {

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;

// A handshake message or a record is at most a few tens of kilobytes; a peer that sends
// more without completing one is not speaking TLS.
constexpr size_t kMaxRawBuffered = 1 << 17;

// Chain errors that say nothing about the certificate itself: revocation cannot be
// checked offline, and is not asked for.
constexpr DWORD kIgnoredTrustErrors = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

std::string Hex(long value) { return FormatText("0x%08lx", static_cast<unsigned long>(value)); }

std::wstring Widen(const char *text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

const char *ProtocolName(DWORD protocol)
{
    if (protocol & SP_PROT_TLS1_3_CLIENT)
        return "TLS 1.3";
    if (protocol & SP_PROT_TLS1_2_CLIENT)
        return "TLS 1.2";
    if (protocol & SP_PROT_TLS1_1_CLIENT)
        return "TLS 1.1";
    if (protocol & SP_PROT_TLS1_0_CLIENT)
        return "TLS 1.0";
    return nullptr;
}

const char *CipherName(ALG_ID cipher)
{
    switch (cipher) {
    case CALG_AES_128: return "AES";
    case CALG_AES_256: return "AES";
    case CALG_AES: return "AES";
    case CALG_3DES: return "3DES";
    case CALG_RC4: return "RC4";
    default: return nullptr;
    }
}

// Frees an SSPI output buffer when it leaves scope.
struct OutputToken {
    SecBuffer buffer = {0, SECBUFFER_TOKEN, nullptr};
    ~OutputToken()
    {
        if (buffer.pvBuffer != nullptr)
            FreeContextBuffer(buffer.pvBuffer);
    }
};

} // namespace

TlsChannel::~TlsChannel()
{
    if (haveContext_)
        DeleteSecurityContext(&context_);
    if (haveCredentials_)
        FreeCredentialsHandle(&credentials_);
    if (!plain_.empty())
        SecureZeroMemory(plain_.data(), plain_.size());
}

bool TlsChannel::SendAll(const char *data, size_t length, int *error)
{
    while (length > 0) {
        int chunk = length > 0x10000 ? 0x10000 : static_cast<int>(length);
        int sent = send(socket_, data, chunk, 0);
        if (sent == SOCKET_ERROR) {
            *error = WSAGetLastError();
            return false;
        }
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

TlsStatus TlsChannel::ReadRaw(bool onlyIfWaiting, ULONGLONG deadline, int *error)
{
    if (raw_.size() >= kMaxRawBuffered) {
        *error = static_cast<int>(SEC_E_INVALID_TOKEN);
        return TlsStatus::kFailed;
    }
    ULONGLONG now = GetTickCount64();
    ULONGLONG remaining = now < deadline ? deadline - now : 0;
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
        *error = WSAGetLastError();
        return TlsStatus::kFailed;
    }
    if (ready == 0) {
        *error = WSAETIMEDOUT;
        return TlsStatus::kTimedOut;
    }
    char chunk[4096];
    int got = recv(socket_, chunk, sizeof chunk, 0);
    if (got == 0) {
        *error = 0;
        return TlsStatus::kClosed;
    }
    if (got == SOCKET_ERROR) {
        *error = WSAGetLastError();
        return TlsStatus::kFailed;
    }
    raw_.insert(raw_.end(), chunk, chunk + got);
    return TlsStatus::kOk;
}

bool TlsChannel::Handshake(const char *serverName, ULONGLONG deadline, std::string *failure,
                           std::string *description)
{
    SCHANNEL_CRED settings = {};
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    // The system's protocol defaults; certificates are judged below, not by the provider.
    settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TimeStamp expiry;
    SECURITY_STATUS status =
        AcquireCredentialsHandleA(nullptr, const_cast<char *>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr,
                                  &settings, nullptr, nullptr, &credentials_, &expiry);
    if (status != SEC_E_OK) {
        *failure = "TLS handshake error " + Hex(status) + " (no credentials)";
        return false;
    }
    haveCredentials_ = true;

    serverName_ = serverName;
    char *target = const_cast<char *>(serverName_.c_str());
    bool first = true;
    int error = 0;
    for (;;) {
        SecBuffer input[2] = {{static_cast<unsigned long>(raw_.size()), SECBUFFER_TOKEN, raw_.data()},
                              {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inputDesc = {SECBUFFER_VERSION, 2, input};
        OutputToken token;
        SecBufferDesc outputDesc = {SECBUFFER_VERSION, 1, &token.buffer};
        unsigned long attributes = 0;
        status = InitializeSecurityContextA(&credentials_, first ? nullptr : &context_, target, kContextFlags, 0,
                                            0, first ? nullptr : &inputDesc, 0, first ? &context_ : nullptr,
                                            &outputDesc, &attributes, &expiry);
        if (first && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK))
            haveContext_ = true;
        first = false;
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            TlsStatus read = ReadRaw(false, deadline, &error);
            if (read != TlsStatus::kOk) {
                *failure = read == TlsStatus::kTimedOut ? "TLS handshake error: no answer in time"
                                                        : FormatText("TLS handshake error %d", error);
                return false;
            }
            continue;
        }
        if (token.buffer.cbBuffer > 0 && token.buffer.pvBuffer != nullptr &&
            !SendAll(static_cast<const char *>(token.buffer.pvBuffer), token.buffer.cbBuffer, &error)) {
            *failure = FormatText("TLS handshake error %d", error);
            return false;
        }
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
            *failure = "TLS handshake error " + Hex(status);
            return false;
        }
        // Bytes behind the handshake message belong to the next step (or, after the
        // last one, are the first record of application data).
        if (input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer > 0 && input[1].cbBuffer <= raw_.size())
            raw_.erase(raw_.begin(), raw_.end() - input[1].cbBuffer);
        else
            raw_.clear();
        if (status == SEC_E_OK)
            break;
        if (raw_.empty()) {
            TlsStatus read = ReadRaw(false, deadline, &error);
            if (read != TlsStatus::kOk) {
                *failure = read == TlsStatus::kTimedOut ? "TLS handshake error: no answer in time"
                                                        : FormatText("TLS handshake error %d", error);
                return false;
            }
        }
    }
    status = QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (status != SEC_E_OK) {
        *failure = "TLS handshake error " + Hex(status) + " (no stream sizes)";
        return false;
    }
    if (!CheckCertificate(serverName, failure))
        return false;
    *description = Describe();
    return true;
}

bool TlsChannel::CheckCertificate(const char *serverName, std::string *failure)
{
    PCCERT_CONTEXT certificate = nullptr;
    SECURITY_STATUS status = QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
    if (status != SEC_E_OK || certificate == nullptr) {
        *failure = "TLS certificate untrusted: the server sent none (" + Hex(status) + ")";
        return false;
    }
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof chainPara;
    static LPSTR serverAuth[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = serverAuth;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    // The intermediate certificates the server sent are in the certificate's own store.
    BOOL built = CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainPara, 0,
                                         nullptr, &chain);
    CertFreeCertificateContext(certificate);
    if (!built || chain == nullptr) {
        *failure = FormatText("TLS certificate untrusted: no chain (%lu)", GetLastError());
        return false;
    }
    // The SSL policy alone lets a chain through whose issuer is unknown: the chain's own
    // trust status must be looked at first.
    DWORD trust = chain->TrustStatus.dwErrorStatus & ~kIgnoredTrustErrors;
    bool ok = false;
    if (trust & (CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_CTL_IS_NOT_TIME_VALID)) {
        *failure = FormatText("TLS certificate expired or not yet valid (trust status 0x%08lx)", trust);
    } else if (trust != 0) {
        *failure = FormatText("TLS certificate untrusted (trust status 0x%08lx)", trust);
    } else {
        std::wstring name = Widen(serverName);
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.pwszServerName = &name[0];
        CERT_CHAIN_POLICY_PARA policyPara = {};
        policyPara.cbSize = sizeof policyPara;
        policyPara.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS policy = {};
        policy.cbSize = sizeof policy;
        if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policyPara, &policy)) {
            *failure = FormatText("TLS certificate untrusted: policy check failed (%lu)", GetLastError());
        } else if (policy.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH)) {
            *failure = FormatText("TLS certificate name mismatch: not issued for %s", serverName);
        } else if (policy.dwError == static_cast<DWORD>(CERT_E_EXPIRED)) {
            *failure = "TLS certificate expired";
        } else if (policy.dwError != 0) {
            *failure = "TLS certificate untrusted " + Hex(static_cast<long>(policy.dwError));
        } else {
            ok = true;
        }
    }
    CertFreeCertificateChain(chain);
    return ok;
}

std::string TlsChannel::Describe()
{
    SecPkgContext_ConnectionInfo info = {};
    if (QueryContextAttributesA(&context_, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK)
        return "TLS (protocol and cipher unknown)";
    const char *protocol = ProtocolName(info.dwProtocol);
    const char *cipher = CipherName(info.aiCipher);
    std::string text = protocol != nullptr ? protocol : FormatText("TLS protocol 0x%lx", info.dwProtocol);
    text += ", cipher ";
    text += cipher != nullptr ? cipher : FormatText("0x%x", static_cast<unsigned>(info.aiCipher));
    text += FormatText(" %lu bits", info.dwCipherStrength);
    return text;
}

bool TlsChannel::Send(const char *data, size_t length, int *error)
{
    if (!haveContext_ || sizes_.cbMaximumMessage == 0) {
        *error = WSAENOTCONN;
        return false;
    }
    std::vector<char> record(sizes_.cbHeader + sizes_.cbMaximumMessage + sizes_.cbTrailer);
    bool ok = true;
    while (ok && length > 0) {
        size_t chunk = length < sizes_.cbMaximumMessage ? length : sizes_.cbMaximumMessage;
        std::memcpy(record.data() + sizes_.cbHeader, data, chunk);
        SecBuffer buffers[4] = {
            {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
            {static_cast<unsigned long>(chunk), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
            {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + chunk},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = EncryptMessage(&context_, 0, &desc, 0);
        if (status != SEC_E_OK) {
            *error = static_cast<int>(status);
            ok = false;
            break;
        }
        ok = SendAll(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer, error);
        data += chunk;
        length -= chunk;
    }
    // The record buffer may have held a password in clear before encryption.
    SecureZeroMemory(record.data(), record.size());
    return ok;
}

// A post-handshake message (a TLS 1.3 session ticket or key update, or a request to
// renegotiate) must go back to the provider before further records decrypt. Only the
// case that completes at once is handled; a server asking for a full new handshake
// in the middle of a mail dialogue fails the read.
bool TlsChannel::ContinueAfterRenegotiate(int *error)
{
    SecBuffer input[2] = {{static_cast<unsigned long>(raw_.size()), SECBUFFER_TOKEN, raw_.empty() ? nullptr : raw_.data()},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inputDesc = {SECBUFFER_VERSION, 2, input};
    OutputToken token;
    SecBufferDesc outputDesc = {SECBUFFER_VERSION, 1, &token.buffer};
    unsigned long attributes = 0;
    TimeStamp expiry;
    SECURITY_STATUS status =
        InitializeSecurityContextA(&credentials_, &context_, const_cast<char *>(serverName_.c_str()), kContextFlags,
                                   0, 0, &inputDesc, 0, nullptr, &outputDesc, &attributes, &expiry);
    if (token.buffer.cbBuffer > 0 && token.buffer.pvBuffer != nullptr &&
        !SendAll(static_cast<const char *>(token.buffer.pvBuffer), token.buffer.cbBuffer, error))
        return false;
    if (status != SEC_E_OK) {
        *error = static_cast<int>(status);
        return false;
    }
    if (input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer > 0 && input[1].cbBuffer <= raw_.size())
        raw_.erase(raw_.begin(), raw_.end() - input[1].cbBuffer);
    else
        raw_.clear();
    return true;
}

TlsStatus TlsChannel::Receive(char *byte, bool onlyIfWaiting, ULONGLONG deadline, int *error)
{
    for (;;) {
        if (plainOffset_ < plain_.size()) {
            *byte = plain_[plainOffset_++];
            if (plainOffset_ == plain_.size()) {
                SecureZeroMemory(plain_.data(), plain_.size());
                plain_.clear();
                plainOffset_ = 0;
            }
            return TlsStatus::kOk;
        }
        if (closed_) {
            *error = 0;
            return TlsStatus::kClosed;
        }
        if (!raw_.empty()) {
            SecBuffer buffers[4] = {{static_cast<unsigned long>(raw_.size()), SECBUFFER_DATA, raw_.data()},
                                    {0, SECBUFFER_EMPTY, nullptr},
                                    {0, SECBUFFER_EMPTY, nullptr},
                                    {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
            SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
            if (status == SEC_E_OK || status == SEC_I_RENEGOTIATE || status == SEC_I_CONTEXT_EXPIRED) {
                std::vector<char> extra;
                for (const SecBuffer &buffer : buffers) {
                    if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0)
                        plain_.insert(plain_.end(), static_cast<char *>(buffer.pvBuffer),
                                      static_cast<char *>(buffer.pvBuffer) + buffer.cbBuffer);
                    else if (buffer.BufferType == SECBUFFER_EXTRA && buffer.cbBuffer > 0 &&
                             buffer.cbBuffer <= raw_.size())
                        extra.assign(raw_.end() - buffer.cbBuffer, raw_.end());
                }
                raw_.swap(extra);
                if (status == SEC_I_CONTEXT_EXPIRED)
                    closed_ = true;   // the server's close_notify
                if (status == SEC_I_RENEGOTIATE && !ContinueAfterRenegotiate(error))
                    return TlsStatus::kFailed;
                continue;
            }
            if (status != SEC_E_INCOMPLETE_MESSAGE) {
                *error = static_cast<int>(status);
                return TlsStatus::kFailed;
            }
        }
        TlsStatus read = ReadRaw(onlyIfWaiting, deadline, error);
        if (read != TlsStatus::kOk)
            return read;
    }
}

} // namespace quillon
