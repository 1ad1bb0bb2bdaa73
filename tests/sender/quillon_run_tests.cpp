// Whole runs of quillon.exe as the scheduler starts it ("quillon.exe", one space, the
// task key name), with the task and configuration in the registry and the scripted test
// double as WEBFLAT.DLL beside a copy of the program. Checks the exit code, the queued
// Mail keys, the calls the library saw and the log.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "tests/support/mail_queue.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr DWORD kSucceeded = 0xFFFFFFFFu;
constexpr char kTaskKey[] = "2026 12 10 9 5 0";

std::vector<QueuedMessage> ReadQueue()
{
    std::vector<QueuedMessage> queue = ReadQueuedMessages();
    for (const QueuedMessage &m : queue)
        EXPECT_TRUE(m.opened) << m.name;
    return queue;
}

Ticks TicksOfName(const std::string &name)
{
    DateTime dt{};
    Ticks ticks = 0;
    EXPECT_TRUE(ParseTimestampKeyName(name, &dt) && DateTimeToTicks(dt, &ticks)) << "'" << name << "'";
    return ticks;
}

Ticks NowTicks()
{
    Ticks ticks = 0;
    DateTimeToTicks(LocalNow(), &ticks);
    return ticks;
}

// What the page sender needs of the Configuration: the sender, the pager and its length.
std::vector<ConfigRow> PagerConfiguration(const std::string &maxMsgLen)
{
    using namespace config_values;
    return {Number(kMailSystem, 0), Text(kSender, "me@example.test"), Text(kDestination, "pager@example.test"),
            Text(kMaxMsgLen, maxMsgLen)};
}

void WriteString(const char *path, const char *name, const std::string &value)
{
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(path, &key)) << path;
    ASSERT_EQ(ERROR_SUCCESS, key.WriteString(name, value)) << name;
}

void WriteDword(const char *path, const char *name, DWORD value)
{
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(path, &key)) << path;
    ASSERT_EQ(ERROR_SUCCESS, key.WriteDword(name, value)) << name;
}

void DeleteValue(const char *path, const char *name)
{
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, OpenUserKey(path, &key)) << path;
    ASSERT_EQ(ERROR_SUCCESS, key.DeleteValue(name)) << name;
}

std::string TaskPath(const std::string &key) { return std::string(kTasksKeyPath) + "\\" + key; }

class QuillonRun : public ::testing::Test {
public:  // the failure table's arrangers reach in
    // One copy of the program for all cases: a freshly copied program costs Wine more
    // than a second to start.
    static void SetUpTestSuite()
    {
        // The scheduler starts a bare "quillon.exe" that the system finds beside it; here
        // the search finds the copy through the test's current folder.
        SetCurrentDirectoryA(BuildDir().c_str());
        dir_ = MakeScratchDir("quillon_run");
        SetCurrentDirectoryA(dir_.c_str());
        ASSERT_TRUE(CopyFileA((BinDir() + "\\quillon.exe").c_str(), (dir_ + "\\quillon.exe").c_str(), FALSE));
        library_.clear();
        script_ = dir_ + "\\script.txt";
        trace_ = dir_ + "\\trace.txt";
        log_ = dir_ + "\\quillon.log";
        SetEnvironmentVariableA("QUILLON_WEBFLAT_SCRIPT", script_.c_str());
        SetEnvironmentVariableA("QUILLON_WEBFLAT_TRACE", trace_.c_str());
        SetEnvironmentVariableA("QUILLON_WEBFLAT_CHECK_COM", "1");
    }
    static void TearDownTestSuite()
    {
        SetCurrentDirectoryA(BuildDir().c_str());
        SetEnvironmentVariableA("QUILLON_WEBFLAT_SCRIPT", nullptr);
        SetEnvironmentVariableA("QUILLON_WEBFLAT_TRACE", nullptr);
        SetEnvironmentVariableA("QUILLON_WEBFLAT_CHECK_COM", nullptr);
    }

    // A working configuration, the three-message task, the double as WEBFLAT.DLL, and
    // no trace, log or queue.
    void SetUp() override
    {
        InstallLibrary("webflat_double.dll");
        DeleteFileA(trace_.c_str());
        DeleteFileA(log_.c_str());
        WriteWholeFile(script_,
                       "http://three.test/\t0\tT\taaaa\\1bbbbbbbbbbbbbbb\n"
                       "http://short.test/\t0\tTen chars!\t" + std::string(30, 'x') + "\n"
                       "http://marks.test/\t2\tHeading\tone\\1two\\1three\n"
                       "http://fail.test/\t-3\tx\ty\n"
                       "http://empty.test/\t0\tOnly a title\t\n");

        ResetProductRegistry();
        ASSERT_TRUE(WriteConfigurationRows(PagerConfiguration("10")));
        SetTask(kTaskKey, "\"http://three.test/\"", 1);
    }
    void TearDown() override { ResetProductRegistry(); }

    // Puts a build of the double in place as WEBFLAT.DLL (null: none at all).
    static void InstallLibrary(const char *file)
    {
        std::string wanted = file != nullptr ? file : "";
        if (wanted == library_)
            return;
        std::string target = dir_ + "\\WEBFLAT.DLL";
        DeleteFileA(target.c_str());
        library_ = wanted;
        if (file == nullptr)
            return;
        std::string source = ModuleDirectory() + "\\" + file;
        ASSERT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE)) << source;
    }
    static std::string ModuleDirectory()
    {
        char path[MAX_PATH];
        DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
        std::string full(path, length);
        return full.substr(0, full.find_last_of('\\'));
    }
    void SetTask(const std::string &key, const char *selection, DWORD chop)
    {
        WriteString(TaskPath(key).c_str(), task_values::kSelection, selection);
        WriteDword(TaskPath(key).c_str(), task_values::kChopMessage, chop);
    }

    // Starts the copy as the scheduler does: program name, one space, key name, in the
    // program's folder.
    DWORD Run(const std::string &commandLine)
    {
        ProcessResult result = RunProcess(commandLine, 20000, dir_.c_str());
        EXPECT_TRUE(result.started) << commandLine;
        EXPECT_FALSE(result.timedOut) << commandLine;
        return result.exitCode;
    }
    DWORD RunTask(const std::string &key = kTaskKey) { return Run("quillon.exe " + key); }

    std::string Trace() { return ReadWholeFile(trace_); }

    static std::string dir_, script_, trace_, log_, library_;
};

std::string QuillonRun::dir_, QuillonRun::script_, QuillonRun::trace_, QuillonRun::log_, QuillonRun::library_;

} // namespace

TEST_F(QuillonRun, QueuesThreeMessagesOneSecondApart)
{
    Ticks before = NowTicks() / kTicksPerSecond * kTicksPerSecond;
    ASSERT_EQ(kSucceeded, RunTask());
    Ticks after = NowTicks();

    std::vector<QueuedMessage> queue = ReadQueue();
    ASSERT_EQ(3u, queue.size());
    const char *bodies[] = {"aaaa", "bbbbbbbbbb", "bbbbb"};
    for (size_t i = 0; i < queue.size(); ++i) {
        const QueuedMessage &m = queue[i];
        SCOPED_TRACE("message " + std::to_string(i) + " '" + m.name + "'");
        EXPECT_EQ(14u, m.name.size());
        EXPECT_EQ(0u, m.retryCount);
        EXPECT_EQ(i == 0 ? "T" : "", m.subject);
        EXPECT_EQ(bodies[i], m.body);
        // RetryTime is the moment of the name, with a true day of week.
        ASSERT_TRUE(m.hasRetryTime);
        DateTime named{};
        ASSERT_TRUE(ParseTimestampKeyName(m.name, &named));
        EXPECT_EQ(m.name, TimestampKeyName(m.retryTime));
        EXPECT_EQ(named.wDayOfWeek, m.retryTime.wDayOfWeek);
        EXPECT_LT(m.retryTime.wMilliseconds, 1000);
        if (i > 0) {
            EXPECT_EQ(TicksOfName(queue[i - 1].name) + kTicksPerSecond, TicksOfName(m.name));
        }
    }
    EXPECT_GE(TicksOfName(queue[0].name), before);
    EXPECT_LE(TicksOfName(queue[0].name), after);

    // The whole page asked for, with the length limit, from a COM apartment; the texts
    // released heading first.
    EXPECT_EQ("com apartment\nWebFlat http://three.test/|(none)|10\nfree heading\nfree body\n", Trace());
    // No logging configured: no log file.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(log_.c_str()));
}

TEST_F(QuillonRun, TaskSettingsShapeTheMessages)
{
    // Selection has no length limit: an address far beyond the 260-byte texts.
    const std::string longAddress = "http://long.test/" + std::string(2000, 'p');
    struct Row {
        const char *label;
        std::string selection;
        DWORD chop;
        DWORD clipSubject;  // 2: absent
        const char *maxMsgLen;
        std::vector<std::pair<std::string, std::string>> expected;  // subject, body
        std::string webFlatCall;
    } rows[] = {
        {"ChopMessage 0 queues the first message only", "\"http://three.test/\"", 0, 2, "10", {{"T", "aaaa"}},
         "WebFlat http://three.test/|(none)|10"},
        {"ClipSubject 1 empties every subject", "\"http://three.test/\"", 1, 1, "10",
         {{"", "aaaa"}, {"", "bbbbbbbbbb"}, {"", "bbbbb"}}, "WebFlat http://three.test/|(none)|10"},
        {"ClipSubject 0 keeps the title", "\"http://short.test/\"", 1, 0, "50",
         {{"Ten chars!", std::string(30, 'x')}}, "WebFlat http://short.test/|(none)|50"},
        {"marks become spaces; the descriptor is passed without its spaces", "\"http://marks.test/\"   <1,0,2>", 0,
         2, "160", {{"Heading", "one two three"}}, "WebFlat http://marks.test/|<1,0,2>|160"},
        {"a quote inside the address", "\"http://marks.test/\"\" ()", 1, 2, "100",
         {{"Heading", "one two three"}}, "WebFlat http://marks.test/\"|()|100"},
        {"MaxMsgLen with trailing text", "\"http://three.test/\"", 0, 2, "10 characters", {{"T", "aaaa"}},
         "WebFlat http://three.test/|(none)|10"},
        {"a Selection of 2000 bytes and more", "\"" + longAddress + "\" <1,0,2>", 1, 2, "160",
         {{"Long", "long page"}}, "WebFlat " + longAddress + "|<1,0,2>|160"},
        {"a local file, as the reminder submits it", "\"C:\\users\\me\\Personal\\Note.htm\"", 1, 2, "160",
         {{"Note", "remember"}}, "WebFlat C:\\users\\me\\Personal\\Note.htm|(none)|160"},
    };
    // The double learns the addresses that only these rows use.
    WriteWholeFile(script_, ReadWholeFile(script_) + "http://marks.test/\"\t0\tHeading\tone\\1two\\1three\n" +
                                longAddress + "\t0\tLong\tlong page\n" +
                                "C:\\users\\me\\Personal\\Note.htm\t0\tNote\tremember\n");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        ResetProductRegistry();
        DeleteFileA(trace_.c_str());
        std::vector<ConfigRow> configuration = PagerConfiguration(row.maxMsgLen);
        if (row.clipSubject != 2)
            configuration.push_back(Number(config_values::kClipSubject, row.clipSubject));
        ASSERT_TRUE(WriteConfigurationRows(configuration));
        SetTask(kTaskKey, row.selection.c_str(), row.chop);

        ASSERT_EQ(kSucceeded, RunTask());
        std::vector<QueuedMessage> queue = ReadQueue();
        ASSERT_EQ(row.expected.size(), queue.size());
        for (size_t i = 0; i < queue.size(); ++i) {
            EXPECT_EQ(row.expected[i].first, queue[i].subject) << "message " << i;
            EXPECT_EQ(row.expected[i].second, queue[i].body) << "message " << i;
        }
        EXPECT_EQ("com apartment\n" + row.webFlatCall + "\nfree heading\nfree body\n", Trace());
    }
}

TEST_F(QuillonRun, KeyNamesWithSpacesAndAQuotedProgramPath)
{
    // Key names are timestamps full of spaces; the whole rest of the line is the name.
    const std::string key = "2026 1 2 3 4 5";
    SetTask(key, "\"http://short.test/\"", 0);
    WriteString(kConfigurationKeyPath, config_values::kMaxMsgLen, "100");
    ASSERT_EQ(kSucceeded, Run("\"" + dir_ + "\\quillon.exe\" " + key));
    std::vector<QueuedMessage> queue = ReadQueue();
    ASSERT_EQ(1u, queue.size());
    EXPECT_EQ(std::string(30, 'x'), queue[0].body);
}

TEST_F(QuillonRun, LogsTheCommandLineAndTheSelection)
{
    WriteString(kConfigurationKeyPath, config_values::kLogging, log_);
    const char *selection = "\"http://three.test/\"  <1,0,2>";
    SetTask(kTaskKey, selection, 0);
    ASSERT_EQ(kSucceeded, RunTask());
    EXPECT_EQ(std::string("QUILLON.EXE ") + kTaskKey + "\r\nQUILLON.EXE " + selection + "\r\n", ReadWholeFile(log_));
}

TEST_F(QuillonRun, ALaterRunNeverReplacesQueuedMessages)
{
    // Messages of an earlier run (or several) occupy the next seconds.
    Ticks now = NowTicks();
    std::vector<std::string> earlier;
    for (int s = -1; s <= 12; ++s) {
        DateTime dt{};
        ASSERT_TRUE(TicksToDateTime(now + static_cast<Ticks>(s + 1) * kTicksPerSecond - kTicksPerSecond, &dt));
        std::string name = TimestampKeyName(dt);
        std::string path = std::string(kMailKeyPath) + "\\" + name;
        WriteString(path.c_str(), mail_values::kBody, "earlier " + std::to_string(s));
        earlier.push_back(name);
    }
    ASSERT_EQ(kSucceeded, RunTask());

    std::vector<QueuedMessage> queue = ReadQueue();
    ASSERT_EQ(earlier.size() + 3, queue.size());
    std::vector<QueuedMessage> added;
    for (const QueuedMessage &m : queue) {
        bool old = false;
        for (size_t i = 0; i < earlier.size(); ++i) {
            if (m.name == earlier[i]) {
                old = true;
                EXPECT_EQ("earlier " + std::to_string(static_cast<int>(i) - 1), m.body) << m.name;
                EXPECT_TRUE(m.subject.empty()) << m.name;
            }
        }
        if (!old)
            added.push_back(m);
    }
    ASSERT_EQ(3u, added.size());
    // The new run's messages keep their order and come after what was queued before.
    EXPECT_EQ("aaaa", added[0].body);
    EXPECT_EQ("bbbbbbbbbb", added[1].body);
    EXPECT_EQ("bbbbb", added[2].body);
    EXPECT_GT(TicksOfName(added[0].name), TicksOfName(earlier.back()));
    for (size_t i = 0; i < added.size(); ++i) {
        EXPECT_EQ(added[i].name, TimestampKeyName(added[i].retryTime)) << i;
        if (i > 0) {
            EXPECT_GT(added[i].name, added[i - 1].name);
        }
    }

    // Two runs straight after each other: six messages, all distinct, in run order.
    ResetProductRegistry();
    WriteDword(kConfigurationKeyPath, config_values::kMailSystem, 0);
    WriteString(kConfigurationKeyPath, config_values::kSender, "me@example.test");
    WriteString(kConfigurationKeyPath, config_values::kDestination, "pager@example.test");
    WriteString(kConfigurationKeyPath, config_values::kMaxMsgLen, "10");
    SetTask(kTaskKey, "\"http://three.test/\"", 1);
    ASSERT_EQ(kSucceeded, RunTask());
    ASSERT_EQ(kSucceeded, RunTask());
    queue = ReadQueue();
    ASSERT_EQ(6u, queue.size());
    const char *bodies[] = {"aaaa", "bbbbbbbbbb", "bbbbb", "aaaa", "bbbbbbbbbb", "bbbbb"};
    for (size_t i = 0; i < queue.size(); ++i)
        EXPECT_EQ(bodies[i], queue[i].body) << "message " << i << " '" << queue[i].name << "'";
}

TEST_F(QuillonRun, EveryFailureExitsWithZeroAndQueuesNothing)
{
    struct Row {
        const char *label;
        void (*arrange)(QuillonRun *self);
        const char *commandLine;  // null: "quillon.exe <task key>"
        bool logsNothing;         // the failure comes before the first log line
    } rows[] = {
        {"no WEBFLAT.DLL", [](QuillonRun *) { InstallLibrary(nullptr); }, nullptr, true},
        {"WEBFLAT.DLL without WebFlatFree", [](QuillonRun *) { InstallLibrary("webflat_double_nofree.dll"); }, nullptr,
         true},
        {"MailSystem missing", [](QuillonRun *) { DeleteValue(kConfigurationKeyPath, config_values::kMailSystem); },
         nullptr, true},
        {"Sender missing", [](QuillonRun *) { DeleteValue(kConfigurationKeyPath, config_values::kSender); }, nullptr,
         true},
        {"Destination missing", [](QuillonRun *) { DeleteValue(kConfigurationKeyPath, config_values::kDestination); },
         nullptr, true},
        {"MaxMsgLen missing", [](QuillonRun *) { DeleteValue(kConfigurationKeyPath, config_values::kMaxMsgLen); },
         nullptr, true},
        {"MaxMsgLen 0", [](QuillonRun *) { WriteString(kConfigurationKeyPath, config_values::kMaxMsgLen, "0"); },
         nullptr, true},
        {"MaxMsgLen negative",
         [](QuillonRun *) { WriteString(kConfigurationKeyPath, config_values::kMaxMsgLen, "-20"); }, nullptr, true},
        {"MaxMsgLen not a number",
         [](QuillonRun *) { WriteString(kConfigurationKeyPath, config_values::kMaxMsgLen, "long"); }, nullptr, true},
        {"Profile missing with a mail system",
         [](QuillonRun *) {
             WriteDword(kConfigurationKeyPath, config_values::kMailSystem, 1);
             WriteString(kConfigurationKeyPath, config_values::kPassword, "x");
         },
         nullptr, true},
        {"Password missing with a mail system",
         [](QuillonRun *) {
             WriteDword(kConfigurationKeyPath, config_values::kMailSystem, 1);
             WriteString(kConfigurationKeyPath, config_values::kProfile, "x");
         },
         nullptr, true},
        {"Sender over 260 bytes",
         [](QuillonRun *) { WriteString(kConfigurationKeyPath, config_values::kSender, std::string(260, 's')); },
         nullptr, true},
        {"Password over 260 bytes with a mail system",
         [](QuillonRun *) {
             WriteDword(kConfigurationKeyPath, config_values::kMailSystem, 1);
             WriteString(kConfigurationKeyPath, config_values::kProfile, "x");
             WriteString(kConfigurationKeyPath, config_values::kPassword, std::string(300, 'p'));
         },
         nullptr, true},
        {"no configuration at all", [](QuillonRun *) {
             RegistryKey root;
             ASSERT_EQ(ERROR_SUCCESS, OpenUserKey(kRootKeyPath, &root));
             ASSERT_EQ(ERROR_SUCCESS, root.DeleteSubkeyTree("Configuration"));
         }, nullptr, true},
        {"empty command line", [](QuillonRun *) {}, "quillon.exe", false},
        {"only the separating blank", [](QuillonRun *) {}, "quillon.exe ", false},
        {"task key missing", [](QuillonRun *) {}, "quillon.exe 2026 12 10 9 5 1", false},
        {"key name with a blank too many", [](QuillonRun *) {}, "quillon.exe  2026 12 10 9 5 0", false},
        {"Selection missing", [](QuillonRun *) { DeleteValue(TaskPath(kTaskKey).c_str(), task_values::kSelection); },
         nullptr, false},
        {"Selection without quotes",
         [](QuillonRun *self) { self->SetTask(kTaskKey, "http://three.test/", 1); }, nullptr, false},
        {"Selection without its closing quote",
         [](QuillonRun *self) { self->SetTask(kTaskKey, "\"http://three.test/", 1); }, nullptr, false},
        {"WebFlat fails", [](QuillonRun *self) { self->SetTask(kTaskKey, "\"http://fail.test/\"", 1); }, nullptr,
         false},
        {"WebFlat fails for an unknown page",
         [](QuillonRun *self) { self->SetTask(kTaskKey, "\"http://nowhere.test/\"", 1); }, nullptr, false},
        {"the page has no body text",
         [](QuillonRun *self) { self->SetTask(kTaskKey, "\"http://empty.test/\"", 1); }, nullptr, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        SetUp();
        WriteString(kConfigurationKeyPath, config_values::kLogging, log_);
        row.arrange(this);
        DWORD code = row.commandLine ? Run(row.commandLine) : RunTask();
        EXPECT_EQ(0u, code);
        EXPECT_TRUE(ReadQueue().empty());
        RegistryKey mail;
        EXPECT_NE(ERROR_SUCCESS, OpenUserKey(kMailKeyPath, &mail));
        if (row.logsNothing) {
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(log_.c_str()));
        }
        // Nothing beyond the two lines of a run: the failure itself is never logged.
        std::string log = ReadWholeFile(log_);
        size_t lines = 0;
        for (size_t p = log.find("\r\n"); p != std::string::npos; p = log.find("\r\n", p + 2))
            ++lines;
        EXPECT_LE(lines, 2u) << log;
        // Texts handed out before a failure are still released.
        std::string trace = Trace();
        if (trace.find("WebFlat") != std::string::npos && std::string(row.label).find("fails") == std::string::npos) {
            EXPECT_NE(std::string::npos, trace.find("free heading\nfree body\n")) << trace;
        }
    }
}

TEST_F(QuillonRun, ProfileAndPasswordAreNotNeededWithoutAMailSystem)
{
    ASSERT_EQ(kSucceeded, RunTask());
    EXPECT_EQ(3u, ReadQueue().size());
}

// A push notification needs no mail logon and no sender.
TEST_F(QuillonRun, PushNotificationNeedsNeitherProfilePasswordNorSender)
{
    WriteDword(kConfigurationKeyPath, config_values::kMailSystem, 2);
    // (The run's configuration holds no Profile and no Password.)
    DeleteValue(kConfigurationKeyPath, config_values::kSender);
    ASSERT_EQ(kSucceeded, RunTask());
    EXPECT_EQ(3u, ReadQueue().size());
}
