// Doubles of the engine's outside parties for the portable tests: a clock the test moves,
// a log that keeps its lines, a schedule with tasks pinned to minutes, a launcher whose
// children take scripted time and exit codes, a scripted dialler, an in-memory message
// queue and a mail library that records its calls.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "scheduler/engine/engine_seams.h"
#include "tests/support/date_time_builder.h"

namespace quillon::test {


inline Ticks TicksOf(const DateTime &t)
{
    Ticks ticks = 0;
    DateTimeToTicks(t, &ticks);
    return ticks;
}

inline DateTime TimeOf(Ticks ticks)
{
    DateTime t = {};
    TicksToDateTime(ticks, &t);
    return t;
}

class FakeClock : public Clock {
public:
    explicit FakeClock(const DateTime &start) : now_(TicksOf(start)) {}
    DateTime Now() override { return TimeOf(now_); }
    void Advance(Ticks ticks) { now_ += ticks; }
    void AdvanceMinutes(int minutes) { now_ += static_cast<Ticks>(minutes) * kTicksPerMinute; }
    void Set(const DateTime &t) { now_ = TicksOf(t); }

private:
    Ticks now_;
};

class RecordingLog : public EngineLog {
public:
    void Append(const std::string &text, bool endOfLine) override { text_ += endOfLine ? text + "\r\n" : text; }
    const std::string &Text() const { return text_; }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        size_t start = 0, end;
        while ((end = text_.find("\r\n", start)) != std::string::npos) {
            lines.push_back(text_.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

private:
    std::string text_;
};

class FakeTask : public ScheduledTask {
public:
    FakeTask(std::string key, std::string program, std::string arguments, bool needsInternet, uint32_t timeoutMs)
        : key(std::move(key)), program(std::move(program)), arguments(std::move(arguments)),
          needsInternet(needsInternet), timeoutMs(timeoutMs)
    {
    }
    bool GetString(uint32_t id, std::string *value) override
    {
        if (id == kTaskPropKeyName)
            *value = key;
        else if (id == kTaskPropAppName)
            *value = program;
        else if (id == kTaskPropCommandLine)
            *value = arguments;
        else
            return false;
        return true;
    }
    bool GetBoolean(uint32_t id, bool *value) override
    {
        if (id != kTaskPropNeedsInternet)
            return false;
        *value = needsInternet;
        return true;
    }
    bool GetDword(uint32_t id, uint32_t *value) override
    {
        if (id != kTaskPropTimeout)
            return false;
        *value = timeoutMs;
        return true;
    }
    void SetLastRun(const DateTime &time) override
    {
        lastRun = time;
        ++lastRunCalls;
    }

    std::string key, program, arguments;
    bool needsInternet;
    uint32_t timeoutMs;
    DateTime lastRun = {};
    int lastRunCalls = 0;
};

// Tasks pinned to minutes: a task is handed out for its minute until it has been reported
// with RequeueTask (as the real schedule stops handing out a task once it has run).
class ScriptedSchedule : public ScheduleSource {
public:
    struct Query {
        DateTime minute;
        bool force;
    };
    struct Requeue {
        std::string key;
        DateTime retryTime;
        uint32_t maxRetries;
        bool unqueue;
    };

    FakeTask &Add(const DateTime &minute, const std::string &key, bool needsInternet = false,
                  const std::string &program = "prog.exe", uint32_t timeoutMs = 300000)
    {
        tasks_.push_back({TicksOf(minute), std::make_unique<FakeTask>(key, program, key, needsInternet, timeoutMs)});
        return *tasks_.back().task;
    }

    // A task due at every minute after the minute of its last run (a period of one
    // minute counted from LastRun, as the real schedule counts it), from `first` on.
    FakeTask &AddEveryMinute(const DateTime &first, const std::string &key, const std::string &program = "prog.exe")
    {
        FakeTask &task = Add(first, key, false, program);
        tasks_.back().everyMinute = true;
        return task;
    }

    bool GetTaskForTime(const DateTime &minute, ScheduledTask **task, bool forceReload) override
    {
        queries.push_back({minute, forceReload});
        *task = nullptr;
        for (auto &entry : tasks_) {
            if (entry.everyMinute) {
                Ticks lastRunMinute = TicksOf(TruncateToMinute(entry.task->lastRun));
                if (TicksOf(minute) >= entry.minute &&
                    (entry.task->lastRunCalls == 0 || TicksOf(minute) >= lastRunMinute + kTicksPerMinute)) {
                    *task = entry.task.get();
                    return true;
                }
                continue;
            }
            if (entry.minute == TicksOf(minute) && (!entry.reported || handOutAgain)) {
                *task = entry.task.get();
                return true;
            }
        }
        return false;
    }

    void RequeueTask(const DateTime &retryTime, ScheduledTask *task, uint32_t maxRetries, bool unqueue) override
    {
        auto *fake = static_cast<FakeTask *>(task);
        requeues.push_back({fake->key, retryTime, maxRetries, unqueue});
        for (auto &entry : tasks_)
            if (entry.task.get() == fake)
                entry.reported = true;
    }

    std::vector<Query> queries;
    std::vector<Requeue> requeues;
    bool handOutAgain = false;   // a schedule that keeps handing out a reported task

private:
    struct Entry {
        Ticks minute;
        std::unique_ptr<FakeTask> task;
        bool reported = false;
        bool everyMinute = false;
    };
    std::vector<Entry> tasks_;
};

// Children that take scripted time on the fake clock and end with scripted codes.
class ScriptedLauncher : public ProcessLauncher {
public:
    struct Script {
        Ticks duration = 0;
        ProcessOutcome outcome = {true, false, kTaskExitSuccess};
    };
    explicit ScriptedLauncher(FakeClock &clock) : clock_(clock) {}

    ProcessOutcome Run(const std::string &commandLine, uint32_t timeoutMs) override
    {
        commandLines.push_back(commandLine);
        Script script = scripts.count(commandLine) ? scripts[commandLine] : Script{};
        if (during)
            during();
        clock_.Advance(script.duration);
        return script.outcome;
    }

    std::map<std::string, Script> scripts;
    std::vector<std::string> commandLines;
    std::function<void()> during;   // runs while a child "runs" (a modal loop, say)

private:
    FakeClock &clock_;
};

class ScriptedDialer : public Dialer {
public:
    uint32_t Dial(const std::string &entryName, uint64_t *handle) override
    {
        dialled.push_back(entryName);
        *handle = dialHandle;
        return dialResult;
    }
    void HangUp(uint64_t handle) override { hungUp.push_back(handle); }
    bool ProbeStartPage() override
    {
        ++probes;
        return probeResult;
    }

    uint32_t dialResult = 0;
    uint64_t dialHandle = 0x1234;
    bool probeResult = false;
    std::vector<std::string> dialled;
    std::vector<uint64_t> hungUp;
    int probes = 0;
};

// The Mail key in memory, entries in name order (as the registry enumerates them).
class MemoryMailQueue : public MailQueueStore {
public:
    struct Entry {
        bool hasRetryTime = true;
        DateTime retryTime = {};
        bool hasSubject = true;
        std::string subject;
        bool hasBody = true;
        std::string body;
        bool hasCount = true;
        uint32_t count = 0;
        bool deletable = true;
        bool openable = true;
    };

    Entry &Add(const std::string &name, const DateTime &retryTime, const std::string &subject = "subject",
               const std::string &body = "body")
    {
        Entry &entry = entries[name];
        entry.retryTime = retryTime;
        entry.subject = subject;
        entry.body = body;
        return entry;
    }

    bool Open() override
    {
        ++opens;
        open_ = exists;
        return open_;
    }
    void Close() override { open_ = false; }
    bool EntryAt(uint32_t index, std::string *name) override
    {
        ++enumerations;
        if (!open_ || index >= entries.size())
            return false;
        auto it = entries.begin();
        std::advance(it, index);
        *name = it->first;
        return true;
    }
    bool OpenEntry(const std::string &name) override
    {
        auto it = entries.find(name);
        current_ = (open_ && it != entries.end() && it->second.openable) ? &it->second : nullptr;
        return current_ != nullptr;
    }
    void CloseEntry() override { current_ = nullptr; }
    bool ReadRetryTime(DateTime *time) override
    {
        if (current_ == nullptr || !current_->hasRetryTime)
            return false;
        *time = current_->retryTime;
        return true;
    }
    bool ReadSubject(std::string *text) override
    {
        if (current_ == nullptr || !current_->hasSubject)
            return false;
        *text = current_->subject;
        return true;
    }
    bool ReadBody(std::string *text) override
    {
        if (current_ == nullptr || !current_->hasBody)
            return false;
        *text = current_->body;
        return true;
    }
    bool ReadRetryCount(uint32_t *count) override
    {
        if (current_ == nullptr || !current_->hasCount)
            return false;
        *count = current_->count;
        return true;
    }
    bool WriteRetry(uint32_t count, const DateTime &retryTime) override
    {
        if (current_ == nullptr || failWrites)
            return false;
        current_->count = count;
        current_->retryTime = retryTime;
        current_->hasRetryTime = true;
        return true;
    }
    bool DeleteEntry(const std::string &name) override
    {
        auto it = entries.find(name);
        if (!open_ || it == entries.end() || !it->second.deletable)
            return false;
        entries.erase(it);
        return true;
    }

    std::map<std::string, Entry> entries;
    bool exists = true;
    bool failWrites = false;
    int opens = 0;
    int enumerations = 0;

private:
    bool open_ = false;
    Entry *current_ = nullptr;
};

// A mail library that records its calls; results are scripted.
struct MailCalls {
    std::vector<std::string> calls;   // "logon profile/password", "send subject/body", "logoff"
    std::vector<std::string> loads;   // library names asked for
    int unloads = 0;
};

class RecordingTransport : public MailTransport {
public:
    RecordingTransport(MailCalls &calls, int32_t logonResult, std::function<int32_t(const std::string &)> sendResult)
        : calls_(calls), logonResult_(logonResult), sendResult_(std::move(sendResult))
    {
    }
    ~RecordingTransport() override { ++calls_.unloads; }
    int32_t Logon(const char *profile, const char *password, uint32_t *session, int logging,
                  const char *logFile) override
    {
        calls_.calls.push_back(std::string("logon ") + profile + "/" + password + "/" + std::to_string(logging) +
                               "/" + logFile);
        if (logonResult_ >= 0)
            *session = 77;
        return logonResult_;
    }
    int32_t Send(uint32_t session, const char *sender, const char *destination, const char *subject,
                 const char *body) override
    {
        calls_.calls.push_back("send " + std::to_string(session) + " " + sender + " " + destination + " " + subject +
                               "/" + body);
        return sendResult_(subject);
    }
    void Logoff(uint32_t session) override { calls_.calls.push_back("logoff " + std::to_string(session)); }

private:
    MailCalls &calls_;
    int32_t logonResult_;
    std::function<int32_t(const std::string &)> sendResult_;
};

class RecordingLoader : public MailLibraryLoader {
public:
    std::unique_ptr<MailTransport> Load(const std::string &fileName) override
    {
        calls.loads.push_back(fileName);
        if (!available)
            return nullptr;
        return std::make_unique<RecordingTransport>(calls, logonResult, sendResult);
    }

    MailCalls calls;
    bool available = true;
    int32_t logonResult = 0;
    std::function<int32_t(const std::string &)> sendResult = [](const std::string &) { return 0; };
};

} // namespace quillon::test
