// Kills around the outgoing message queue, under Wine with the real programs:
//  - the page sender (quillon.exe with the real WEBFLAT.DLL) killed at random moments
//    while it queues a page of many messages; afterwards the scheduler's engine delivers
//    every complete message exactly once through mailwire.dll to the SMTP server that
//    run_e2e.sh started; the kills leave no incomplete message key, only staging keys,
//    which the engine passes over and the next writer removes;
//  - the scheduler's engine killed at random moments while it delivers a queue, then
//    started again until the queue is empty: every message arrives, and at most the one
//    message in flight at each kill arrives twice.
// QUILLON_KILL_ROUNDS sets the number of kills of each test (default 10; the long run of
// bench/reliability/kills.sh uses more).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/timestamp.h"
#include "common/timestamp_key.h"
#include "common/win_datetime.h"
#include "queue/message_queue.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {
namespace {

std::string Address()
{
    const char *address = std::getenv("QUILLON_KILL_SMTP_ADDRESS");
    return address != nullptr ? address : "127.0.0.150";
}

int KillRounds()
{
    const char *rounds = std::getenv("QUILLON_KILL_ROUNDS");
    int n = rounds != nullptr ? atoi(rounds) : 0;
    return n > 0 ? n : 10;
}

void WriteConfiguration(const std::string &logFile, const char *maxMsgLen)
{
    using namespace config_values;
    using namespace quillon::test;
    ASSERT_TRUE(WriteConfigurationRows(
        With(CompleteSmtpConfiguration(Address()),
             {Text(kSender, "scheduler@example.org"), Text(kDestination, "pager@example.org"),
              Text(kMaxMsgLen, maxMsgLen), Number(kUsesDialup, 0), Text(kLogging, logFile), Number(kClipSubject, 0),
              Number(kRetryCount, 1), Number(kRetryTime, 15), Number(kTaskRetryCount, 1),
              Number(kTaskRetryTime, 15)})));
}

void WritePageTask(const std::string &name, const std::string &selection)
{
    namespace v = task_values;
    RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, (std::string(kTasksKeyPath) + "\\" + name).c_str()), ERROR_SUCCESS);
    DateTime zero = {};
    key.WriteDword(v::kNeedsInternet, 0);
    key.WriteString(v::kDisplayName, "Send text from the kill test");
    key.WriteString(v::kAppName, "quillon.exe");
    key.WriteString(v::kCommandLine, name);
    key.WriteDword(v::kHasDates, 0);
    key.WriteDword(v::kHasTimes, 0);
    key.WriteDword(v::kNotWeekend, 0);
    key.WriteDword(v::kDisabled, 1);
    key.WriteBinary(v::kStartDate, &zero, sizeof zero);
    key.WriteBinary(v::kEndDate, &zero, sizeof zero);
    key.WriteBinary(v::kLastRun, &zero, sizeof zero);
    key.WriteDword(v::kTaskType, 1);
    key.WriteDword(v::kValue, 1);
    key.WriteDword(v::kValue2, 0);
    key.WriteDword(v::kDaysOfWeek, 0);
    key.WriteDword(v::kMonthsOfYear, 0);
    key.WriteDword(v::kTimeout, 60000);
    key.WriteString(v::kSelection, selection);
    key.WriteDword(v::kChopMessage, 1);
}

// Every file the SMTP server stored, as text.
std::vector<std::string> Delivered()
{
    std::vector<std::string> messages;
    const char *maildir = std::getenv("QUILLON_E2E_MAILDIR");
    if (maildir == nullptr)
        return messages;
    for (const char *sub : {"\\new", "\\cur"}) {
        std::string dir = WindowsPathOf(maildir) + sub;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                messages.push_back(ReadWholeFile(dir + "\\" + found.cFileName));
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return messages;
}

void ClearDelivered()
{
    const char *maildir = std::getenv("QUILLON_E2E_MAILDIR");
    if (maildir == nullptr)
        return;
    std::string dir = WindowsPathOf(maildir) + "\\new";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileA((dir + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// How many delivered messages carry `marker` (each marker names one message text).
std::map<std::string, int> CountMarkers(const std::vector<std::string> &delivered, const std::vector<std::string> &markers)
{
    std::map<std::string, int> counts;
    for (const std::string &marker : markers)
        counts[marker] = 0;
    for (const std::string &message : delivered)
        for (const std::string &marker : markers)
            if (message.find(marker) != std::string::npos)
                ++counts[marker];
    return counts;
}

// A started program the test may kill.
class Child {
public:
    bool Start(const std::string &commandLine)
    {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        for (int attempt = 0; attempt < 3; ++attempt) {
            std::string line = commandLine;
            if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &info)) {
                CloseHandle(info.hThread);
                process_.Reset(info.hProcess);
                return true;
            }
            Sleep(250);
        }
        return false;
    }
    // Kills the program unless it has ended; true when the kill landed while it ran.
    bool Kill()
    {
        bool running = WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
        if (running)
            TerminateProcess(process_.Get(), 0xC0DEDEAD);
        WaitForSingleObject(process_.Get(), 10000);
        return running;
    }
    DWORD Wait(DWORD ms)
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.Get(), ms) == WAIT_OBJECT_0)
            GetExitCodeProcess(process_.Get(), &code);
        return code;
    }

private:
    UniqueHandle process_;
};

constexpr DWORD kTickExit = 7;   // engine_tick_child's code after a whole tick

std::string TickChildLine() { return "\"" + BuildDir() + "\\tests\\engine_tick_child.exe\""; }

DWORD QueueKeyCount()
{
    RegistryKey mail;
    DWORD count = 0;
    if (mail.Open(HKEY_CURRENT_USER, kMailKeyPath) == ERROR_SUCCESS)
        RegQueryInfoKeyA(mail.Get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr);
    return count;
}

// Moves every queued RetryTime into the past, as if the page's run of messages (one
// second apart, up to minutes ahead after many runs) had come due. Staging keys are left
// as the killed writers left them.
void MakeEveryMessageDue()
{
    DateTime past = LocalNow();
    past.wYear = static_cast<uint16_t>(past.wYear - 1);
    RegistryKey mail;
    if (mail.Open(HKEY_CURRENT_USER, kMailKeyPath) != ERROR_SUCCESS)
        return;
    std::string name;
    for (DWORD i = 0; mail.EnumSubkeyName(i, &name) == ERROR_SUCCESS; ++i) {
        RegistryKey entry;
        if (!IsStagingKeyName(name.c_str()) && entry.Open(mail.Get(), name.c_str()) == ERROR_SUCCESS)
            entry.WriteBinary(mail_values::kRetryTime, &past, sizeof past);
    }
}

// Queues `count` due messages, each with a marker of its own, one second apart from *when.
void QueueMarked(std::vector<std::string> *markers, DateTime *when, int count)
{
    for (int i = 0; i < count; ++i) {
        char marker[32];
        snprintf(marker, sizeof marker, "[dispatch-%03zu]", markers->size());
        markers->push_back(marker);
        DateTime queuedAt;
        ASSERT_TRUE(QueueMessage(*when, "kill test", (std::string(marker) + " one message of the queue").c_str(),
                                 &queuedAt));
        Ticks ticks;
        ASSERT_TRUE(DateTimeToTicks(queuedAt, &ticks));
        ASSERT_TRUE(TicksToDateTime(ticks + kTicksPerSecond, when));
    }
}

class KillTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(std::getenv("QUILLON_E2E_MAILDIR"), nullptr) << "run through run_e2e.sh";
        ResetProductRegistry();
        ClearDelivered();
        scratch_ = MakeScratchDir("reliability_kills");
        logFile_ = scratch_ + "\\quillon.log";
        // quillon.exe and mailwire.dll are found through the installation folder.
        ASSERT_TRUE(SetCurrentDirectoryA(BinDir().c_str()));
    }
    void TearDown() override { ResetProductRegistry(); }
    std::string scratch_;
    std::string logFile_;
};

TEST_F(KillTest, PageSenderKilledWhileQueueingLeavesOnlyWholeMessagesTheEngineDeliversOnce)
{
    WriteConfiguration(logFile_, "70");
    // A page of 12 paragraphs; the limit puts each into a message of its own, and each
    // carries a marker that names it.
    std::vector<std::string> markers;
    std::string page = "<html><head><title>Kills</title></head><body>";
    for (int i = 0; i < 12; ++i) {
        char marker[32];
        snprintf(marker, sizeof marker, "[part-%02d]", i);
        markers.push_back(marker);
        page += std::string("<p>") + marker + " the queue must hold whole messages only.</p>";
    }
    page += "</body></html>";
    const std::string pageFile = scratch_ + "\\page.html";
    ASSERT_TRUE(WriteWholeFile(pageFile, page));
    const std::string taskKey = "2001 1 1 1 1 1";
    WritePageTask(taskKey, "\"" + pageFile + "\"");
    const std::string senderLine = "\"" + BinDir() + "\\quillon.exe\" " + taskKey;

    // Whole runs: that one queues every part, and how long a run takes once Wine has
    // its programs in the cache (the first start is slower).
    DWORD runMs = 0;
    for (int run = 0; run < 2; ++run) {
        DWORD started = GetTickCount();
        Child whole;
        ASSERT_TRUE(whole.Start(senderLine));
        ASSERT_EQ(0xFFFFFFFFu, whole.Wait(60000));
        runMs = GetTickCount() - started;
        std::cout << "whole page-sender run " << run << ": " << runMs << " ms\n";
    }
    ASSERT_GE(ReadWholeQueue().size(), 2 * markers.size()) << "each part in a message of its own";

    // A third of the kills fall anywhere in a run (most of which is Wine starting the
    // program); the others while it writes the queue: 0 to 4 ms after its first new key
    // shows. Runs go on until `rounds` kills have landed while the program ran.
    std::mt19937 random(4242);
    std::uniform_int_distribution<DWORD> anywhere(0, runMs);
    std::uniform_int_distribution<DWORD> whileQueueing(0, 4);
    int landed = 0, starts = 0, stagingSeen = 0;
    const int rounds = KillRounds();
    for (int k = 0; landed < rounds && k < 4 * rounds; ++k) {
        const DWORD keysBefore = QueueKeyCount();
        Child sender;
        ASSERT_TRUE(sender.Start(senderLine));
        ++starts;
        if (k % 3 == 0) {
            Sleep(anywhere(random));
        } else {
            for (DWORD waited = 0; QueueKeyCount() == keysBefore && waited < 30000; ++waited)
                Sleep(1);
            Sleep(whileQueueing(random));
        }
        landed += sender.Kill() ? 1 : 0;
        // After each kill: whole messages, and the staging key of the killed writer at
        // most (the next start removes it).
        for (const QueuedMessageRecord &r : ReadWholeQueue()) {
            if (IsStagingKeyName(r.keyName.c_str()))
                ++stagingSeen;
            else if (!(r.hasRetryCount && r.hasRetryTime && r.hasSubject && r.hasBody))
                ADD_FAILURE() << "incomplete message key " << r.keyName << " after kill " << k;
        }
    }
    EXPECT_EQ(rounds, landed) << "kills that landed while the page sender ran, of " << starts << " starts";
    RecordProperty("kills_while_running", landed);
    std::cout << "page sender: " << starts << " starts, " << landed << " killed while it ran; a whole run takes " << runMs
              << " ms; staging keys seen after the kills: " << stagingSeen << "\n";
    RecordProperty("staging_keys_seen_after_kills", stagingSeen);

    // What the kills left: complete messages, and the staging keys of killed writers.
    std::vector<QueuedMessageRecord> queued = ReadWholeQueue();
    std::map<std::string, int> expected;
    for (const std::string &marker : markers)
        expected[marker] = 0;
    int staging = 0, incomplete = 0;
    for (const QueuedMessageRecord &r : queued) {
        if (IsStagingKeyName(r.keyName.c_str())) {
            ++staging;
            continue;
        }
        bool complete = r.hasRetryCount && r.hasRetryTime && r.hasSubject && r.hasBody;
        if (!complete) {
            ++incomplete;
            ADD_FAILURE() << "incomplete message key " << r.keyName;
            continue;
        }
        for (const std::string &marker : markers)
            if (r.body.find(marker) != std::string::npos)
                ++expected[marker];
        if (r.subject.empty() && r.body.find(markers[0]) != std::string::npos)
            ADD_FAILURE() << "the first message lost its subject: " << r.keyName;
    }
    std::cout << "queue after the kills: " << queued.size() << " keys, " << incomplete << " incomplete, " << staging
              << " staging keys of killed writers\n";
    RecordProperty("staging_keys_after_kills", staging);

    // The scheduler's engine delivers, passing the staging keys over.
    MakeEveryMessageDue();
    {
        Child engine;
        ASSERT_TRUE(engine.Start(TickChildLine()));
        EXPECT_EQ(kTickExit, engine.Wait(120000));
    }
    EXPECT_EQ(expected, CountMarkers(Delivered(), markers)) << "every complete message exactly once";
    int stagingLeft = 0;
    for (const QueuedMessageRecord &r : ReadWholeQueue()) {
        EXPECT_TRUE(IsStagingKeyName(r.keyName.c_str())) << r.keyName << " is still queued";
        stagingLeft += IsStagingKeyName(r.keyName.c_str()) ? 1 : 0;
    }
    EXPECT_EQ(staging, stagingLeft) << "the engine never touches a staging key";

    // The next writer removes the staging keys the killed ones left, and its message goes
    // out as any other.
    const std::string afterKills = "[after-kills]";
    markers.push_back(afterKills);
    expected[afterKills] = 1;
    DateTime now = LocalNow();
    now.wYear = static_cast<uint16_t>(now.wYear - 1);
    ASSERT_TRUE(QueueMessage(now, "kill test", (afterKills + " queued by the next writer").c_str()));
    std::vector<QueuedMessageRecord> afterWriter = ReadWholeQueue();
    ASSERT_EQ(afterWriter.size(), 1u);
    EXPECT_FALSE(IsStagingKeyName(afterWriter[0].keyName.c_str())) << afterWriter[0].keyName;
    {
        Child engine;
        ASSERT_TRUE(engine.Start(TickChildLine()));
        EXPECT_EQ(kTickExit, engine.Wait(120000));
    }
    EXPECT_EQ(expected, CountMarkers(Delivered(), markers)) << "every complete message exactly once";
    EXPECT_TRUE(ReadWholeQueue().empty());
    std::string log = ReadWholeFile(logFile_);
    EXPECT_EQ(std::string::npos, log.find("(busy)"));
}

TEST_F(KillTest, SchedulerKilledDuringDispatchDeliversEveryMessageAndAtMostTheOneInFlightTwice)
{
    WriteConfiguration(logFile_, "500");
    std::vector<std::string> markers;
    DateTime when = LocalNow();
    when.wYear = static_cast<uint16_t>(when.wYear - 1);
    // Each round starts the engine on a queue of at least 40 messages (80 more are
    // queued when it ran low) and kills it 0.2 to 1 s later: Wine needs about 0.2 s to
    // start it, and a message takes some 10 to 50 ms. Rounds go on until `rounds` kills have
    // landed while the engine ran.
    std::mt19937 random(77);
    int landed = 0, starts = 0;
    const int rounds = KillRounds();
    for (int k = 0; landed < rounds && k < 3 * rounds; ++k) {
        if (ReadWholeQueue().size() < 40)
            QueueMarked(&markers, &when, 80);
        Child tick;
        ASSERT_TRUE(tick.Start(TickChildLine()));
        ++starts;
        Sleep(std::uniform_int_distribution<DWORD>(200, 1000)(random));
        landed += tick.Kill() ? 1 : 0;
    }
    EXPECT_EQ(rounds, landed) << "kills that landed during delivery, of " << starts << " starts";
    // Started again until the queue is empty.
    for (int k = 0; k < 5 && !ReadWholeQueue().empty(); ++k) {
        Child tick;
        ASSERT_TRUE(tick.Start(TickChildLine()));
        ++starts;
        EXPECT_EQ(kTickExit, tick.Wait(120000));
    }
    EXPECT_TRUE(ReadWholeQueue().empty());

    std::map<std::string, int> counts = CountMarkers(Delivered(), markers);
    int twice = 0;
    for (const auto &[marker, count] : counts) {
        EXPECT_GE(count, 1) << marker << " never arrived";
        EXPECT_LE(count, 2) << marker;
        twice += count > 1 ? count - 1 : 0;
    }
    std::cout << "scheduler: " << starts << " starts, " << landed << " kills during delivery, " << twice
              << " messages arrived twice\n";
    RecordProperty("kills_during_dispatch", landed);
    RecordProperty("arrived_twice", twice);
    EXPECT_LE(twice, landed) << "at most the message in flight at each kill arrives again";
}

} // namespace
} // namespace quillon::test
