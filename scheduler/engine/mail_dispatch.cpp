#include "scheduler/engine/mail_dispatch.h"

#include <algorithm>

#include "common/names.h"
#include "common/scramble.h"
#include "common/text.h"
#include "mail/mail_contract.h"
#include "scheduler/engine/log_lines.h"

namespace quillon {

namespace {

// Clears the working copy of the password so it does not linger on the stack. The
// volatile access keeps the compiler from dropping the stores as dead.
void ClearBuffer(char *buffer, size_t size)
{
    volatile char *p = buffer;
    for (size_t i = 0; i < size; ++i)
        p[i] = 0;
}

// The dispatcher's side of one queue pass: the four log lines and the send per entry.
class DispatchHandler : public QueuePassHandler {
public:
    DispatchHandler(const SchedulerSettings &settings, EngineLog &log, MailTransport &library, uint32_t session,
                    const bool *stopRequested)
        : settings_(settings), log_(log), library_(library), session_(session), stopRequested_(stopRequested)
    {
    }

    bool Send(const std::string &subject, const std::string &body) override
    {
        return Attempt(subject, body) == SendOutcome::kSent;
    }

    bool StopRequested() override { return stopRequested_ != nullptr && *stopRequested_; }

    SendOutcome Attempt(const std::string &subject, const std::string &body) override
    {
        if (settings_.logging) {
            log_.Append("From: " + settings_.sender, true);
            log_.Append("To: " + settings_.destination, true);
            log_.Append("Subject: " + subject, true);
            log_.Append("Text: " + body, true);
        }
        if (settings_.dontSend)
            return SendOutcome::kSent;
        int32_t result = library_.Send(session_, settings_.sender.c_str(), settings_.destination.c_str(),
                                       subject.c_str(), body.c_str());
        if (result == kMailNotAttempted)
            return SendOutcome::kNotAttempted;
        return result >= 0 ? SendOutcome::kSent : SendOutcome::kFailed;
    }
    void OnSent() override { Log(kSentLine); }
    void OnGaveUp() override { Log(kGaveUpLine); }
    void OnNotDeleted(const std::string &name) override { Log(MessageNotDeletedLine(name)); }

private:
    void Log(const std::string &text)
    {
        if (settings_.logging)
            log_.Append(text, true);
    }

    const SchedulerSettings &settings_;
    EngineLog &log_;
    MailTransport &library_;
    uint32_t session_;
    const bool *stopRequested_;
};

} // namespace

MailDispatcher::MailDispatcher(const SchedulerSettings &settings, Clock &clock, EngineLog &log, MailQueueStore &queue,
                               MailLibraryLoader &libraries, const bool *stopRequested)
    : settings_(settings), clock_(clock), log_(log), queue_(queue), libraries_(libraries),
      stopRequested_(stopRequested)
{
}

void MailDispatcher::BeginTick()
{
    deferred_ = false;
    heldBack_.BeginTick();
}

uint32_t MailDispatcher::RetryMinutes() const
{
    // A retry interval of 0 minutes would make a failed entry due again at once and the
    // minute tick's pass would deliver it over and over; one minute is the least.
    return std::max<uint32_t>(settings_.retryMinutes, 1);
}

void MailDispatcher::HoldOffQueue()
{
    Ticks now = 0;
    DateTimeToTicks(clock_.Now(), &now);
    DateTime until = {};
    TicksToDateTime(now + static_cast<Ticks>(RetryMinutes()) * kTicksPerMinute, &until);
    holdOff_ = until;
}

bool MailDispatcher::IsMailDue()
{
    if (deferred_)
        return false;
    DateTime now = clock_.Now();
    Ticks nowTicks = 0, holdOff = 0;
    if (holdOff_.wYear != 0 && DateTimeToTicks(now, &nowTicks) && DateTimeToTicks(holdOff_, &holdOff) &&
        holdOff > nowTicks)
        return false;
    return IsAnyMessageDue(queue_, heldBack_, now);
}

void MailDispatcher::DispatchMail()
{
    // The minute tick's pass may still call this after a deferral (its pending-message
    // flag stays set while tasks keep coming); the library is not even loaded then.
    if (deferred_)
        return;
    const std::string &libraryName = settings_.mailLibrary.empty() ? std::string(kDefaultMailLibrary)
                                                                    : settings_.mailLibrary;
    std::unique_ptr<MailTransport> library = libraries_.Load(libraryName);
    if (!library) {
        // Nothing can be sent this time; without the hold-off the tick's pass would find
        // the same entries due and come straight back.
        HoldOffQueue();
        return;
    }

    uint32_t session = 0;
    if (!settings_.dontSend) {
        char password[kTextBufferSize];
        UnscramblePassword(settings_.scrambledPassword.data(), settings_.scrambledPassword.size(), password,
                           sizeof password);
        int32_t result = library->Logon(settings_.profile.c_str(), password, &session, settings_.logging ? 1 : 0,
                                        settings_.logFile.c_str());
        ClearBuffer(password, sizeof password);
        if (result < 0) {
            HoldOffQueue();
            return;
        }
    }

    DispatchHandler handler(settings_, log_, *library, session, stopRequested_);
    QueuePassResult result =
        RunQueuePass(queue_, heldBack_, clock_.Now(), settings_.retryCount, RetryMinutes(), handler);
    if (result.ended) {
        deferred_ = true;
        if (settings_.logging && !handler.StopRequested())
            log_.Append(kDeferredLine, true);
    }

    if (!settings_.dontSend && session != 0)
        library->Logoff(session);
}

} // namespace quillon
