#include "mail/simple/simple_mapi_session.h"

#include "common/log.h"

namespace quillon {

namespace {

// Simple MAPI takes its texts as LPSTR but only reads them.
LPSTR Text(const char *text) { return const_cast<LPSTR>(text); }

} // namespace

bool ResolveSimpleMapi(const UniqueModule &mapi, SimpleMapiFunctions *functions, const char **missing)
{
    static const char kLogon[] = "MAPILogon";
    static const char kLogoff[] = "MAPILogoff";
    static const char kSendMail[] = "MAPISendMail";
    functions->logon = mapi.Resolve<LPMAPILOGON>(kLogon);
    functions->logoff = mapi.Resolve<LPMAPILOGOFF>(kLogoff);
    functions->sendMail = mapi.Resolve<LPMAPISENDMAIL>(kSendMail);
    *missing = functions->logon == nullptr    ? kLogon
               : functions->logoff == nullptr ? kLogoff
               : functions->sendMail == nullptr ? kSendMail
                                                : nullptr;
    return *missing == nullptr;
}

void BuildSimpleMessage(const char *sender, const char *destination, const char *subject, const char *body,
                        SimpleMapiMessage *records)
{
    *records = SimpleMapiMessage{};
    records->originator.ulRecipClass = MAPI_ORIG;
    records->originator.lpszName = Text(sender);
    records->recipient.ulRecipClass = MAPI_TO;
    records->recipient.lpszName = Text(destination);
    records->message.lpszSubject = Text(subject);
    records->message.lpszNoteText = Text(body);
    records->message.lpOriginator = &records->originator;
    records->message.nRecipCount = 1;
    records->message.lpRecips = &records->recipient;
}

MailSession CallerHandleOf(LHANDLE session)
{
    MailSession handle = static_cast<MailSession>(session & 0xffffffffu);
    return handle != 0 ? handle : 1;
}

void SimpleMapiSession::LogError(const char *step, ULONG result) const
{
    if (logging_)
        AppendLogText(logFile_, FormatText("MAILSIMPLE %s error %lX\r\n", step, static_cast<unsigned long>(result)));
}

MailResult SimpleMapiSession::Logon(const char *profile, const char *password, MailSession *session, int logging,
                                    const char *logFile)
{
    CopyBounded(logFile_, logFile);
    logging_ = logging != 0;
    if (functions_.logon == nullptr)
        return kMailFailed;
    // Flags 0: no logon dialog, no new session. The session comes into a local first,
    // so whatever a failing provider leaves there never replaces the stored one.
    LHANDLE opened = 0;
    ULONG result = functions_.logon(0, Text(profile), Text(password), 0, 0, &opened);
    if (result != SUCCESS_SUCCESS) {
        LogError("Logon", result);
        return kMailFailed;
    }
    session_ = opened;
    if (session != nullptr)
        *session = CallerHandleOf(opened);
    return kMailOk;
}

MailResult SimpleMapiSession::Send(MailSession, const char *sender, const char *destination, const char *subject,
                                   const char *body)
{
    if (functions_.sendMail == nullptr)
        return kMailFailed;
    SimpleMapiMessage records;
    BuildSimpleMessage(sender, destination, subject, body, &records);
    // Flags 0: no dialog and no logon dialog, so an unresolvable name fails.
    ULONG result = functions_.sendMail(session_, 0, &records.message, 0, 0);
    if (result != SUCCESS_SUCCESS) {
        LogError("Send Message", result);
        return kMailFailed;
    }
    return kMailOk;
}

MailResult SimpleMapiSession::Logoff(MailSession)
{
    if (functions_.logoff == nullptr)
        return kMailFailed;
    // The caller's handle is only a 32-bit stand-in: the full session is logged off.
    ULONG result = functions_.logoff(session_, 0, 0, 0);
    if (result != SUCCESS_SUCCESS) {
        LogError("Logoff", result);
        return kMailFailed;
    }
    return kMailOk;
}

} // namespace quillon
