// The three functions every mail library (mailwire.dll, MAILSIMPLE.DLL, mailrich.dll)
// exports under these plain names, and that the scheduler resolves by name.
//
// Calling order: QLLogon once; QLSendMessage once per message within that session;
// QLLogoff once when the handle is not 0. A failed QLLogon leaves no session, and the
// caller then calls neither of the other two.
//
// Results are signed 32-bit: 0 success, negative failure (callers test only the sign);
// kMailFailed (E_FAIL) is the common failure. kMailNotAttempted says that QLSendMessage
// did not try this message at all because the server or service is unavailable for now
// (a reply time-out, an overrun deadline, no connection, a "slow down" answer): the
// caller leaves the message and every later one of the pass as they are, with no retry
// used up, and tries them again at a later pass. Text arguments belong to the caller and
// are never changed by a library; a library keeps a copy of what it needs. The session
// handle is a 32-bit value whose meaning belongs to the library; 0 means "no session".
// A loaded library serves one session at a time and is not re-entrant.
// No exception ever leaves these functions.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define QL_CALL __stdcall
#else
#define QL_CALL
#endif

namespace quillon {

using MailSession = uint32_t;
using MailResult = int32_t;

constexpr MailResult kMailOk = 0;
constexpr MailResult kMailFailed = static_cast<MailResult>(0x80004005u);
// HRESULT_FROM_WIN32(ERROR_RETRY): negative, so callers that test only the sign still
// see a failure.
constexpr MailResult kMailNotAttempted = static_cast<MailResult>(0x800704D5u);

// Export names, as the scheduler looks them up.
constexpr char kQLLogonName[] = "QLLogon";
constexpr char kQLSendMessageName[] = "QLSendMessage";
constexpr char kQLLogoffName[] = "QLLogoff";

} // namespace quillon

extern "C" {
// profile, password: for the mail system's logon (mailwire ignores both).
// session: out, written only on success. logging: nonzero writes log lines to logFile
// (at most 259 characters are kept).
typedef quillon::MailResult(QL_CALL *QLLogonFunction)(const char *profile, const char *password,
                                                      quillon::MailSession *session, int logging,
                                                      const char *logFile);
typedef quillon::MailResult(QL_CALL *QLSendMessageFunction)(quillon::MailSession session, const char *sender,
                                                            const char *destination, const char *subject,
                                                            const char *body);
typedef quillon::MailResult(QL_CALL *QLLogoffFunction)(quillon::MailSession session);
}
