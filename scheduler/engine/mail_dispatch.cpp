#include "scheduler/engine/mail_dispatch.h"

#include <algorithm>
#include <cstring>

#include "common/names.h"
#include "common/scramble.h"
#include "common/text.h"
#include "scheduler/engine/log_lines.h"

namespace quillon {

namespace {

bool ToTicks(const DateTime &time, Ticks *ticks) { return DateTimeToTicks(time, ticks); }

Ticks NowTicks(Clock &clock)
{
    Ticks ticks = 0;
    ToTicks(clock.Now(), &ticks);
    return ticks;
}

DateTime FromTicks(Ticks ticks)
{
    DateTime time = {};
    TicksToDateTime(ticks, &time);
    return time;
}

// Clears the working copy of the password so it does not linger on the stack. The
// volatile access keeps the compiler from dropping the stores as dead.
void ClearBuffer(char *buffer, size_t size)
{
    volatile char *p = buffer;
    for (size_t i = 0; i < size; ++i)
        p[i] = 0;
}

} // namespace

void UnscramblePassword(const std::string &scrambled, char *buffer, size_t bufferSize)
{
    if (bufferSize == 0)
        return;
    size_t length = std::min(scrambled.size(), bufferSize - 1);
    std::memcpy(buffer, scrambled.data(), length);
    ScrambleBytes(buffer, length);
    buffer[length] = '\0';
}

MailDispatcher::MailDispatcher(const EngineSettings &settings, Clock &clock, EngineLog &log, MailQueueStore &queue,
                               MailLibraryLoader &libraries)
    : settings_(settings), clock_(clock), log_(log), queue_(queue), libraries_(libraries)
{
}

Ticks MailDispatcher::RetryInterval() const
{
    // A retry interval of 0 minutes would make a failed entry due again at once and the
    // minute tick's pass would deliver it over and over; one minute is the least.
    return static_cast<Ticks>(std::max<uint32_t>(settings_.retryMinutes, 1)) * kTicksPerMinute;
}

void MailDispatcher::HoldOffQueue() { holdOff_ = FromTicks(NowTicks(clock_) + RetryInterval()); }

void MailDispatcher::HoldBack(const std::string &entry, Ticks now) { heldBack_[entry] = now + RetryInterval(); }

bool MailDispatcher::IsHeldBack(const std::string &entry, Ticks now)
{
    auto found = heldBack_.find(entry);
    if (found == heldBack_.end())
        return false;
    if (found->second > now)
        return true;
    heldBack_.erase(found);
    return false;
}

void MailDispatcher::Log(const std::string &text)
{
    if (settings_.logging)
        log_.Append(text, true);
}

bool MailDispatcher::IsMailDue()
{
    Ticks now = NowTicks(clock_);
    Ticks holdOff = 0;
    if (holdOff_.wYear != 0 && ToTicks(holdOff_, &holdOff) && holdOff > now)
        return false;
    if (!queue_.Open())
        return false;
    bool due = false;
    std::string name;
    for (uint32_t index = 0; !due && queue_.EntryAt(index, &name); ++index) {
        if (IsHeldBack(name, now) || !queue_.OpenEntry(name))
            continue;
        DateTime retryTime;
        Ticks retryTicks = 0;
        // Due by the dispatcher's own rule (strictly before the dispatch time): an entry
        // due at this very moment would otherwise count as due here and not there, and
        // the tick's pass would load the library and log on over and over until the
        // clock moves on.
        due = queue_.ReadRetryTime(&retryTime) && ToTicks(retryTime, &retryTicks) && retryTicks < now;
        queue_.CloseEntry();
    }
    queue_.Close();
    return due;
}

bool MailDispatcher::SendEntry(MailTransport &library, uint32_t session, const std::string &subject,
                               const std::string &body)
{
    if (settings_.logging) {
        log_.Append("From: " + settings_.sender, true);
        log_.Append("To: " + settings_.destination, true);
        log_.Append("Subject: " + subject, true);
        log_.Append("Text: " + body, true);
    }
    if (settings_.dontSend)
        return true;
    return library.Send(session, settings_.sender.c_str(), settings_.destination.c_str(), subject.c_str(),
                        body.c_str()) >= 0;
}

void MailDispatcher::DispatchMail()
{
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
        UnscramblePassword(settings_.scrambledPassword, password, sizeof password);
        int32_t result = library->Logon(settings_.profile.c_str(), password, &session, settings_.logging ? 1 : 0,
                                        settings_.logFile.c_str());
        ClearBuffer(password, sizeof password);
        if (result < 0) {
            HoldOffQueue();
            return;
        }
    }

    Ticks dispatchTime = NowTicks(clock_);
    DateTime retryTime = FromTicks(dispatchTime + RetryInterval());

    if (queue_.Open()) {
        std::string name;
        uint32_t index = 0;
        while (queue_.EntryAt(index, &name)) {
            if (IsHeldBack(name, dispatchTime) || !queue_.OpenEntry(name)) {
                ++index;
                continue;
            }
            DateTime entryTime;
            Ticks entryTicks = 0;
            if (!queue_.ReadRetryTime(&entryTime) || !ToTicks(entryTime, &entryTicks) ||
                entryTicks >= dispatchTime) {
                queue_.CloseEntry();
                ++index;
                continue;
            }

            std::string subject, body;
            bool sent = queue_.ReadSubject(&subject) && queue_.ReadBody(&body) &&
                        SendEntry(*library, session, subject, body);
            bool remove = false;
            if (sent) {
                Log(kSentLine);
                remove = true;
            } else {
                uint32_t count = 0;
                if (!queue_.ReadRetryCount(&count)) {
                    HoldBack(name, dispatchTime);
                } else if (static_cast<uint64_t>(count) + 1 > settings_.retryCount) {
                    Log(kGaveUpLine);
                    remove = true;
                } else if (!queue_.WriteRetry(count + 1, retryTime)) {
                    HoldBack(name, dispatchTime);
                }
            }
            queue_.CloseEntry();

            if (remove) {
                if (queue_.DeleteEntry(name)) {
                    // Deletion shifts the indices of the entries after it: walk again
                    // from the start.
                    queue_.Close();
                    if (!queue_.Open())
                        break;
                    index = 0;
                    continue;
                }
                // An entry that cannot be deleted would be found and sent again at every
                // restart; leave it for a later pass.
                HoldBack(name, dispatchTime);
            }
            ++index;
        }
        queue_.Close();
    }

    if (!settings_.dontSend && session != 0)
        library->Logoff(session);
}

} // namespace quillon
