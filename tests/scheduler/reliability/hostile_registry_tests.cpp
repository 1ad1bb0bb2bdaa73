// Every reader of the product's registry tree against damaged values: wrong types,
// numbers of 0, 1, 3 and 8 bytes, dates of 0, 15 and 17 bytes, texts without their
// terminating zero, 64 KB texts, REG_MULTI_SZ and REG_EXPAND_SZ in place of REG_SZ, and
// subkeys where none belong. For each reader and each value it reads, each damage is
// applied to one otherwise valid entry between valid ones; the reader must return (a
// crash ends this program), keep fixed buffers terminated, still serve the valid
// entries, and give the outcome its rules give: missing, end of the task load, a failed
// attempt for a message.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "mail/wire/wire_session.h"
#include "schedule/registry_retry_queue.h"
#include "schedule/task_store.h"
#include "scheduler/config/configuration.h"
#include "scheduler/engine/mail_dispatch.h"
#include "scheduler/engine/win_services.h"
#include "sender/page_sender.h"
#include "queue/message_queue.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

struct Damage {
    const char *label;
    DWORD type;
    std::string bytes;
    bool subkey = false;   // the value is gone and a subkey of its name is there instead
};

std::vector<Damage> Damages()
{
    return {
        {"number of 0 bytes", REG_DWORD, std::string()},
        {"number of 1 byte", REG_DWORD, std::string("\x07", 1)},
        {"number of 3 bytes", REG_DWORD, std::string("\x07\0\0", 3)},
        {"number of 8 bytes", REG_QWORD, std::string("\x07\0\0\0\0\0\0\0", 8)},
        {"binary of 15 bytes", REG_BINARY, std::string(15, '\x05')},
        {"binary of 17 bytes", REG_BINARY, std::string(17, '\x05')},
        {"text without its zero", REG_SZ, std::string("abc")},
        {"empty text without zero", REG_SZ, std::string()},
        {"64 KB text", REG_SZ, std::string(64 * 1024, 'x') + '\0'},
        {"REG_MULTI_SZ", REG_MULTI_SZ, std::string("first\0second\0\0", 14)},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9)},
        {"subkey in place of the value", REG_NONE, std::string(), true},
    };
}

void Apply(const std::string &keyPath, const char *value, const Damage &damage)
{
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, keyPath.c_str()));
    key.DeleteValue(value);
    if (damage.subkey) {
        RegistryKey child;
        ASSERT_EQ(ERROR_SUCCESS, child.Create(key.Get(), value));
        ASSERT_EQ(ERROR_SUCCESS, child.WriteString("x", "y"));
        return;
    }
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), value, 0, damage.type,
                                            reinterpret_cast<const BYTE *>(damage.bytes.data()),
                                            static_cast<DWORD>(damage.bytes.size())));
}

bool Terminated(const char *buffer, size_t size) { return memchr(buffer, '\0', size) != nullptr; }

// ---- Tasks ---------------------------------------------------------------------------

TaskRecord ValidTask()
{
    TaskRecord task{};
    task.DisplayName = "valid";
    task.AppName = "quillon.exe";
    task.CommandLine = "cmd";
    task.TaskType = 1;
    task.Value = 5;
    task.DaysOfWeek = kAllDaysOfWeekMask;
    task.MonthsOfYear = kAllMonthsOfYearMask;
    task.Timeout = 1234;
    return task;
}

void WriteTaskKey(const char *name)
{
    TaskRecord task = ValidTask();
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, (std::string(kTasksKeyPath) + "\\" + name).c_str()));
    ASSERT_TRUE(WriteTask(key, task));
    key.WriteString(task_values::kSelection, "\"http://example.test/\" descriptor");
    key.WriteDword(task_values::kChopMessage, 1);
}

enum class Kind { kNumber, kDate, kText };

struct TaskValue {
    const char *name;
    Kind kind;
    bool mandatory;
};

// What the load must make of a damaged value: true when the value still counts as
// present. Numbers are read into 4 bytes whatever their type (a shorter one
// zero-extended), dates are exactly 16 bytes, texts of any type are read at their stored
// length up to the store's 64 KB limit.
bool StillPresent(Kind kind, const Damage &d)
{
    if (d.subkey)
        return false;
    switch (kind) {
    case Kind::kNumber: return !d.bytes.empty() && d.bytes.size() <= 4;
    case Kind::kDate: return d.bytes.size() == 16;
    case Kind::kText: return d.bytes.size() <= 64 * 1024;
    }
    return false;
}

TEST(HostileRegistry, TaskLoadStopsOnlyAtAValueItCannotReadAndKeepsTheTasksBefore)
{
    const TaskValue values[] = {
        {task_values::kNeedsInternet, Kind::kNumber, true}, {task_values::kDisplayName, Kind::kText, true},
        {task_values::kAppName, Kind::kText, true},         {task_values::kCommandLine, Kind::kText, true},
        {task_values::kHasDates, Kind::kNumber, true},      {task_values::kDisabled, Kind::kNumber, true},
        {task_values::kStartDate, Kind::kDate, true},       {task_values::kEndDate, Kind::kDate, true},
        {task_values::kLastRun, Kind::kDate, true},         {task_values::kTaskType, Kind::kNumber, true},
        {task_values::kValue2, Kind::kNumber, true},        {task_values::kMonthsOfYear, Kind::kNumber, true},
        {task_values::kTimeout, Kind::kNumber, false},      {task_values::kLogging, Kind::kNumber, false},
    };
    const char *names[] = {"2001 1 1 1 1 1", "2001 1 1 1 1 2", "2001 1 1 1 1 3"};
    for (const TaskValue &value : values) {
        for (const Damage &damage : Damages()) {
            SCOPED_TRACE(std::string(value.name) + ": " + damage.label);
            test::ResetProductRegistry();
            for (const char *name : names)
                WriteTaskKey(name);
            Apply(std::string(kTasksKeyPath) + "\\" + names[1], value.name, damage);

            std::vector<TaskRecord> tasks;
            const bool complete = LoadTaskList(&tasks);
            const bool present = StillPresent(value.kind, damage);
            ASSERT_GE(tasks.size(), 1u) << "the task before the damaged one";
            EXPECT_STREQ(names[0], tasks[0].KeyName);
            if (present || !value.mandatory) {
                EXPECT_TRUE(complete);
                ASSERT_EQ(3u, tasks.size());
                const TaskRecord &t = tasks[1];
                if (value.kind == Kind::kText && !damage.subkey) {
                    const std::string &text = std::string(value.name) == task_values::kDisplayName ? t.DisplayName
                                              : std::string(value.name) == task_values::kAppName   ? t.AppName
                                                                                                   : t.CommandLine;
                    EXPECT_LE(text.size(), damage.bytes.size());
                    EXPECT_EQ(std::string::npos, text.find('\0'));
                }
                if (std::string(value.name) == task_values::kTimeout && !present) {
                    EXPECT_EQ(kDefaultTaskTimeoutMs, t.Timeout);
                }
                if (std::string(value.name) == task_values::kTaskType && present && damage.bytes[0] == '\x07') {
                    EXPECT_EQ(7u, t.TaskType) << "a short number is zero-extended";
                }
            } else {
                EXPECT_FALSE(complete);
                EXPECT_EQ(1u, tasks.size()) << "the load ends at the damaged key";
            }
        }
    }
    test::ResetProductRegistry();
}

TEST(HostileRegistry, SubkeysInsideATaskKeyAndTheTasksKeyAreHarmless)
{
    test::ResetProductRegistry();
    WriteTaskKey("2001 1 1 1 1 1");
    WriteTaskKey("2001 1 1 1 1 2");
    RegistryKey extra;
    ASSERT_EQ(ERROR_SUCCESS,
              extra.Create(HKEY_CURRENT_USER, (std::string(kTasksKeyPath) + "\\2001 1 1 1 1 1\\Extra\\Deeper").c_str()));
    std::vector<TaskRecord> tasks;
    EXPECT_TRUE(LoadTaskList(&tasks));
    EXPECT_EQ(2u, tasks.size());
    // Saving and deleting such a task removes it whole.
    tasks[0].Deleted = 1;
    std::vector<TaskRecord *> list{&tasks[0], &tasks[1]};
    EXPECT_TRUE(SaveTaskList(list));
    EXPECT_TRUE(LoadTaskList(&tasks));
    EXPECT_EQ(1u, tasks.size());
    test::ResetProductRegistry();
}

TEST(HostileRegistry, PageSenderReadsItsTaskValuesBoundedWhateverTheirType)
{
    SenderConfiguration config;
    config.maxMsgLen = 100;
    const char *values[] = {task_values::kSelection, task_values::kChopMessage, task_values::kSendIfChanged,
                            task_values::kLastTextDigest};
    for (const char *value : values) {
        for (const Damage &damage : Damages()) {
            SCOPED_TRACE(std::string(value) + ": " + damage.label);
            test::ResetProductRegistry();
            WriteTaskKey("2001 1 1 1 1 1");
            Apply(std::string(kTasksKeyPath) + "\\2001 1 1 1 1 1", value, damage);
            PageTask task;
            bool ok = ReadPageTask("2001 1 1 1 1 1", config, &task);
            if (std::string(value) == task_values::kSelection) {
                // Only a text that begins and ends with a quote is a selection.
                EXPECT_FALSE(ok);
            } else {
                EXPECT_TRUE(ok);
                EXPECT_EQ("\"http://example.test/\" descriptor", task.selection);
            }
            EXPECT_LE(task.selection.size(), 64u * 1024 + 64);
        }
    }
    test::ResetProductRegistry();
}

// ---- FailedTasks ---------------------------------------------------------------------

TEST(HostileRegistry, RetryQueueSkipsADamagedEntryAndStillFindsTheValidOne)
{
    DateTime past = LocalNow();
    past.wYear = static_cast<uint16_t>(past.wYear - 1);
    const char *values[] = {failed_task_values::kTaskRetryTime, failed_task_values::kTaskRetryCount};
    for (const char *value : values) {
        for (const Damage &damage : Damages()) {
            SCOPED_TRACE(std::string(value) + ": " + damage.label);
            test::ResetProductRegistry();
            for (const char *name : {"2001 1 1 1 1 1", "2001 1 1 1 1 2"}) {
                RegistryKey entry;
                ASSERT_EQ(ERROR_SUCCESS,
                          entry.Create(HKEY_CURRENT_USER, (std::string(kFailedTasksKeyPath) + "\\" + name).c_str()));
                entry.WriteDword(failed_task_values::kTaskRetryCount, 1);
                entry.WriteBinary(failed_task_values::kTaskRetryTime, &past, sizeof past);
            }
            Apply(std::string(kFailedTasksKeyPath) + "\\2001 1 1 1 1 1", value, damage);
            RegistryRetryQueue queue;
            std::string due;
            ASSERT_TRUE(queue.FindDueEntry(&due));
            const bool timeDamaged = std::string(value) == failed_task_values::kTaskRetryTime;
            if (timeDamaged && damage.bytes.size() != 16) {
                EXPECT_EQ("2001 1 1 1 1 2", due) << "an entry without a readable time is never due";
            }
            // A failure recorded over the damaged entry leaves a readable one (or none).
            queue.Requeue("2001 1 1 1 1 1", past, 5, false);
            RegistryKey entry;
            if (entry.Open(HKEY_CURRENT_USER, (std::string(kFailedTasksKeyPath) + "\\2001 1 1 1 1 1").c_str()) ==
                ERROR_SUCCESS) {
                DWORD count = 0;
                DateTime time{};
                EXPECT_EQ(ERROR_SUCCESS, entry.ReadDword(failed_task_values::kTaskRetryCount, &count));
                EXPECT_EQ(ERROR_SUCCESS, entry.ReadBinary(failed_task_values::kTaskRetryTime, &time, sizeof time));
                EXPECT_GE(count, 1u);
                EXPECT_LE(count, 6u);
            }
        }
    }
    test::ResetProductRegistry();
}

// ---- Mail ----------------------------------------------------------------------------

class RecordingTransport : public MailTransport {
public:
    explicit RecordingTransport(std::vector<std::string> *bodies) : bodies_(bodies) {}
    int32_t Logon(const char *, const char *, uint32_t *session, int, const char *) override
    {
        *session = 1;
        return 0;
    }
    int32_t Send(uint32_t, const char *, const char *, const char *subject, const char *body) override
    {
        bodies_->push_back(std::string(subject) + "|" + body);
        return 0;
    }
    void Logoff(uint32_t) override {}

private:
    std::vector<std::string> *bodies_;
};

class RecordingLoader : public MailLibraryLoader {
public:
    std::vector<std::string> sent;
    std::unique_ptr<MailTransport> Load(const std::string &) override
    {
        return std::make_unique<RecordingTransport>(&sent);
    }
};

class FixedClock : public Clock {
public:
    DateTime Now() override { return LocalNow(); }
};

class NoLog : public EngineLog {
public:
    void Append(const std::string &, bool) override {}
};

TEST(HostileRegistry, DispatcherSendsTheValidMessagesAndCountsADamagedOneAsAFailedAttempt)
{
    DateTime past = LocalNow();
    past.wYear = static_cast<uint16_t>(past.wYear - 1);
    const char *values[] = {mail_values::kRetryTime, mail_values::kSubject, mail_values::kBody,
                            mail_values::kRetryCount};
    const char *names[] = {"2001 1 1 1 1 1", "2001 1 1 1 1 2", "2001 1 1 1 1 3"};
    for (const char *value : values) {
        for (const Damage &damage : Damages()) {
            SCOPED_TRACE(std::string(value) + ": " + damage.label);
            test::ResetProductRegistry();
            for (const char *name : names) {
                RegistryKey entry;
                ASSERT_EQ(ERROR_SUCCESS,
                          entry.Create(HKEY_CURRENT_USER, (std::string(kMailKeyPath) + "\\" + name).c_str()));
                entry.WriteDword(mail_values::kRetryCount, 0);
                entry.WriteBinary(mail_values::kRetryTime, &past, sizeof past);
                entry.WriteString(mail_values::kSubject, "s");
                entry.WriteString(mail_values::kBody, name);
            }
            Apply(std::string(kMailKeyPath) + "\\" + names[1], value, damage);

            SchedulerSettings settings;
            settings.retryCount = 1;
            settings.retryMinutes = 15;
            FixedClock clock;
            NoLog log;
            RegistryMailQueue queue;
            RecordingLoader loader;
            MailDispatcher dispatcher(settings, clock, log, queue, loader);
            EXPECT_TRUE(dispatcher.IsMailDue());
            dispatcher.DispatchMail();

            std::vector<std::string> expected = {std::string("s|") + names[0]};
            const std::string v = value;
            const bool textDamaged = v == mail_values::kSubject || v == mail_values::kBody;
            const bool timeDamaged = v == mail_values::kRetryTime;
            bool middleSent = false;
            if (timeDamaged && damage.bytes.size() == 16)
                middleSent = true;
            if (v == mail_values::kRetryCount)
                middleSent = true;   // the count is read only after a failure
            if (textDamaged && !damage.subkey && damage.bytes.size() <= (16u << 20))
                middleSent = true;   // texts of any type are read at their stored length
            std::vector<std::string> sent = loader.sent;
            if (middleSent) {
                ASSERT_EQ(3u, sent.size());
                EXPECT_EQ(std::string::npos, sent[1].find('\0'));
                sent.erase(sent.begin() + 1);
            }
            expected.push_back(std::string("s|") + names[2]);
            EXPECT_EQ(expected, sent);

            std::vector<QueuedMessageRecord> left = ReadWholeQueue();
            if (middleSent) {
                EXPECT_TRUE(left.empty());
            } else if (timeDamaged) {
                ASSERT_EQ(1u, left.size()) << "never due: left alone";
                EXPECT_EQ(0u, left[0].retryCount);
            } else {
                ASSERT_EQ(1u, left.size());
                EXPECT_EQ(1u, left[0].retryCount) << "a failed attempt";
                EXPECT_TRUE(left[0].hasRetryTime);
            }
        }
    }
    test::ResetProductRegistry();
}

// ---- Configuration -------------------------------------------------------------------

void WriteValidConfiguration()
{
    using namespace config_values;
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, kConfigurationKeyPath));
    key.WriteDword(kMailSystem, 0);
    key.WriteString(kMailLibrary, "mailwire.dll");
    key.WriteString(kSMTPServer, "127.0.0.157");
    key.WriteString(kProfile, "profile");
    key.WriteString(kPassword, "pw");
    key.WriteString(kSender, "a@example.org");
    key.WriteString(kDestination, "b@example.org");
    key.WriteString(kMaxMsgLen, "160");
    key.WriteDword(kUsesDialup, 0);
    key.WriteString(kDialupName, "line");
    key.WriteString(kTimeout, "5");
    key.WriteDword(kPOP3Authentication, 0);
    key.WriteString(kPOP3Server, "pop");
    key.WriteString(kPOP3Login, "login");
    key.WriteString(kLogging, "quillon.log");
    key.WriteDword(kClipSubject, 0);
    key.WriteDword(kRetryCount, 1);
    key.WriteDword(kRetryTime, 15);
    key.WriteDword(kTaskRetryCount, 1);
    key.WriteDword(kTaskRetryTime, 15);
}

TEST(HostileRegistry, ConfigurationReadersKeepTheirBuffersBoundedAndTerminated)
{
    using namespace config_values;
    const char *values[] = {kMailSystem, kMailLibrary, kSMTPServer, kProfile,   kPassword,     kSender,
                            kDestination, kMaxMsgLen, kUsesDialup, kDialupName, kTimeout,      kPOP3Authentication,
                            kPOP3Server, kPOP3Login,  kLogging,    kClipSubject, kRetryCount,  kRetryTime,
                            kTaskRetryCount, kTaskRetryTime, kDontSend, kDontDial};
    for (const char *value : values) {
        for (const Damage &damage : Damages()) {
            SCOPED_TRACE(std::string(value) + ": " + damage.label);
            test::ResetProductRegistry();
            WriteValidConfiguration();
            Apply(kConfigurationKeyPath, value, damage);

            SchedulerSettings engine;
            LoadConfiguration(&engine);
            for (const std::string *text : {&engine.mailLibrary, &engine.sender, &engine.destination,
                                            &engine.logFile, &engine.dialupName, &engine.profile})
                EXPECT_LT(text->size(), 64u * 1024 + 2);

            SenderConfiguration sender;
            bool senderOk = LoadSenderConfiguration(&sender);
            EXPECT_TRUE(Terminated(sender.logFile, sizeof sender.logFile));
            if (senderOk) {
                EXPECT_GE(sender.maxMsgLen, 1) << "a usable message length";
            }

            WireSettings wire;
            LoadSmtpSettings(&wire);
            EXPECT_TRUE(Terminated(wire.smtpServer, sizeof wire.smtpServer));
            EXPECT_TRUE(Terminated(wire.pop3Server, sizeof wire.pop3Server));
            EXPECT_TRUE(Terminated(wire.pop3Login, sizeof wire.pop3Login));
            EXPECT_TRUE(Terminated(wire.password, sizeof wire.password));
        }
    }
    test::ResetProductRegistry();
}

} // namespace
} // namespace quillon
