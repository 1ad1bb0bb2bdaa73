// One HTTPS POST through asynchronous WinHTTP, bounded by an overall deadline.
//
// WinHTTP's own time-outs count per step and per packet: a server that trickles one
// byte now and then would never be cut off by them. So the request runs asynchronously
// and the caller's thread waits for its end, the deadline or a cancel event, whichever
// comes first; when the wait ends early the request handle is closed with
// WinHttpCloseHandle, which aborts whatever is pending, and the function returns once
// WinHTTP has let go of the request. Certificates are checked by the system (the
// trusted roots and the server's name); there is no way to turn that off.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/push/push_request.h"

namespace quillon {

// An answer beyond this is cut: a service's answer is a few hundred bytes.
constexpr size_t kMaxAnswerBytes = 16384;

struct HttpsAnswer {
    enum class Outcome {
        kAnswered,            // status, body and retryAfter are the server's
        kTimedOut,            // the deadline passed first
        kCancelled,           // the cancel event was set first
        kCertificateRefused,  // the server's certificate was not accepted
        kNoConnection,        // name not resolved, connection refused or broken
        kFailed,              // any other failure; see error
    };
    Outcome outcome = Outcome::kFailed;
    DWORD error = 0;              // the WinHTTP or system error, 0 when answered
    DWORD certificateFlags = 0;   // WINHTTP_CALLBACK_STATUS_FLAG_* of a certificate failure
    int status = 0;
    std::string body;
    std::string retryAfter;       // the Retry-After header, empty when absent
};

// Sends `request` and reads the answer. `deadline` is a GetTickCount64() value;
// `cancel` is an event handle or null. Never throws.
HttpsAnswer PostRequest(const push::PushRequest &request, ULONGLONG deadline, HANDLE cancel);

} // namespace quillon
