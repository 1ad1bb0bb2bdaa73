// A stand-in mail library for the loader tests: QLLogon succeeds with session 7 for the
// profile "ok"; QLSendMessage succeeds on session 7 when the body is not "fail".
// Built twice: with MAIL_DOUBLE_WITHOUT_LOGOFF it lacks QLLogoff.
#include <cstring>

#include "mail/mail_contract.h"

extern "C" __declspec(dllexport) quillon::MailResult QL_CALL QLLogon(const char *profile, const char *password,
                                                                   quillon::MailSession *session, int logging,
                                                                   const char *logFile)
{
    if (std::strcmp(profile, "ok") != 0 || std::strcmp(password, "pw") != 0 || logging != 1 ||
        std::strcmp(logFile, "x.log") != 0)
        return quillon::kMailFailed;
    *session = 7;
    return quillon::kMailOk;
}

extern "C" __declspec(dllexport) quillon::MailResult QL_CALL QLSendMessage(quillon::MailSession session,
                                                                         const char *sender,
                                                                         const char *destination,
                                                                         const char *subject, const char *body)
{
    if (session != 7 || std::strcmp(body, "fail") == 0)
        return quillon::kMailFailed;
    return std::strlen(sender) + std::strlen(destination) + std::strlen(subject);
}

#ifndef MAIL_DOUBLE_WITHOUT_LOGOFF
extern "C" __declspec(dllexport) quillon::MailResult QL_CALL QLLogoff(quillon::MailSession session)
{
    return session == 7 ? quillon::kMailOk : quillon::kMailFailed;
}
#endif
