// Change-watching page tasks (SendIfChanged) under Wine: quillon.exe with the real
// WEBFLAT.DLL against a page on loopback HTTP (127.0.0.117) that the test changes
// between runs, and a run cut between its messages and its digest through the
// text-library double, which ends the process when the texts are handed back.
#include "tests/webflat/loopback_http_server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "sender/text_digest_cng.h"
#include "tests/support/mail_queue.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

using test::HttpResponse;
using test::LoopbackHttpServer;

constexpr DWORD kSucceeded = 0xFFFFFFFFu;
constexpr char kHttpAddress[] = "127.0.0.117";
constexpr char kTaskKey[] = "2026 12 10 15 0 0";

std::string TaskPath() { return std::string(kTasksKeyPath) + "\\" + kTaskKey; }

void WriteString(const std::string &path, const char *name, const std::string &value)
{
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(path.c_str(), &key)) << path;
    ASSERT_EQ(ERROR_SUCCESS, key.WriteString(name, value)) << name;
}

void WriteDword(const std::string &path, const char *name, DWORD value)
{
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(path.c_str(), &key)) << path;
    ASSERT_EQ(ERROR_SUCCESS, key.WriteDword(name, value)) << name;
}

RegistryKey OpenTaskKey()
{
    RegistryKey key;
    EXPECT_EQ(ERROR_SUCCESS, OpenUserKey(TaskPath().c_str(), &key));
    return key;
}

// The queued messages' bodies in key order; the queue is emptied afterwards, so each
// call tells what one run queued.
std::vector<std::string> TakeQueue()
{
    std::vector<std::string> bodies;
    for (const test::QueuedMessage &message : test::ReadQueuedMessages()) {
        EXPECT_TRUE(message.opened) << message.name;
        bodies.push_back(message.body);
    }
    RegistryKey root;
    if (OpenUserKey(kRootKeyPath, &root) == ERROR_SUCCESS)
        root.DeleteSubkeyTree("Mail");
    return bodies;
}

bool StoredDigest(TextDigest *digest)
{
    return OpenTaskKey().ReadBinary(task_values::kLastTextDigest, digest->data(),
                                    static_cast<DWORD>(digest->size())) == ERROR_SUCCESS;
}

// A configuration that logs to `logFile`, and a watched page task with the selection.
void WriteConfigurationAndTask(const std::string &logFile, const std::string &selection)
{
    using namespace config_values;
    ASSERT_TRUE(test::WriteConfigurationRows({test::Number(kMailSystem, 0), test::Text(kSender, "me@example.test"),
                                              test::Text(kDestination, "pager@example.test"),
                                              test::Text(kMaxMsgLen, "60"), test::Text(kLogging, logFile)}));
    WriteString(TaskPath(), task_values::kSelection, selection);
    WriteDword(TaskPath(), task_values::kChopMessage, 1);
    WriteDword(TaskPath(), task_values::kSendIfChanged, 1);
}

DWORD RunSender(const std::string &program, const std::string &dir)
{
    test::ProcessResult result = test::RunProcess("\"" + program + "\" " + kTaskKey, 30000, dir.c_str());
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    return result.exitCode;
}

TEST(TextDigest, IsSha256FromTheSystemProvider)
{
    // The FIPS 180-2 test vectors.
    const struct {
        std::string data;
        const char *hex;
    } rows[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto &row : rows) {
        TextDigest digest{};
        ASSERT_TRUE(Sha256Digest(row.data, &digest));
        std::string hex;
        for (uint8_t b : digest) {
            const char digits[] = "0123456789abcdef";
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        EXPECT_EQ(hex, row.hex) << row.data.size() << " bytes";
    }
}

std::string Page(const std::string &title, const std::string &first, const std::string &second)
{
    return "<html><head><title>" + title + "</title></head><body>"
           "<h1>Harbour report</h1><p>" + first + "</p><p>" + second + "</p></body></html>";
}

class ChangeWatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ResetProductRegistry();
        dir_ = test::MakeScratchDir("change_watch");
        log_ = dir_ + "\\quillon.log";
    }
    void TearDown() override { test::ResetProductRegistry(); }

    // One run of the installed quillon.exe; returns the bodies it queued.
    std::vector<std::string> Run(const char *label)
    {
        SCOPED_TRACE(label);
        EXPECT_EQ(RunSender(test::BinDir() + "\\quillon.exe", test::BinDir()), kSucceeded);
        return TakeQueue();
    }
    size_t UnchangedLines() const
    {
        std::string log = test::ReadWholeFile(log_);
        size_t count = 0;
        for (size_t at = log.find("QUILLON.EXE unchanged\r\n"); at != std::string::npos;
             at = log.find("QUILLON.EXE unchanged\r\n", at + 1))
            ++count;
        return count;
    }

    std::string dir_, log_;
};

TEST_F(ChangeWatch, OnlyAChangeInTheSelectedTextIsSentAgain)
{
    const std::string first = "Ferry times change from Monday.";
    const std::string second = "High tide 14:32, low tide 20:47, wind south-west 4.";
    LoopbackHttpServer server(kHttpAddress, {});
    ASSERT_FALSE(server.Base().empty());
    auto serve = [&](const std::string &html) {
        server.SetRoute("/report.htm", HttpResponse("200 OK", "Content-Type: text/html\r\n", html));
    };
    // The second paragraph: BODY's children are the heading and two paragraphs.
    WriteConfigurationAndTask(log_, "\"" + server.Base() + "/report.htm\" (<,,<0,-1>>)");

    serve(Page("Harbour", first, second));
    std::vector<std::string> queued = Run("first run");
    ASSERT_FALSE(queued.empty()) << "the first run of a task always sends";
    std::string joined;
    for (const std::string &body : queued)
        joined += (joined.empty() ? "" : " ") + body;
    EXPECT_EQ(joined, second) << "the selection alone is sent";
    TextDigest firstDigest{};
    ASSERT_TRUE(StoredDigest(&firstDigest));
    EXPECT_EQ(UnchangedLines(), 0u);

    EXPECT_TRUE(Run("same page").empty());
    EXPECT_EQ(UnchangedLines(), 1u);
    TextDigest digest{};
    ASSERT_TRUE(StoredDigest(&digest));
    EXPECT_EQ(digest, firstDigest);

    serve(Page("Harbour", "Ferry times stay as they are.", second));
    EXPECT_TRUE(Run("change outside the selection").empty());

    serve(Page("Harbour", first, "High   tide\n14:32,\r\n  low tide 20:47,\twind\n south-west 4."));
    EXPECT_TRUE(Run("the selection reflowed").empty());
    EXPECT_EQ(UnchangedLines(), 3u);

    const std::string changed = "High tide 14:32, low tide 20:47, wind north 6.";
    serve(Page("Harbour", first, changed));
    queued = Run("change inside the selection");
    ASSERT_FALSE(queued.empty());
    EXPECT_EQ(queued.back().substr(queued.back().size() - 6), "rth 6.");
    ASSERT_TRUE(StoredDigest(&digest));
    EXPECT_NE(digest, firstDigest);
    EXPECT_TRUE(Run("the changed page again").empty());

    serve(Page("Harbour at night", first, changed));
    EXPECT_FALSE(Run("the title is sent as the subject, so it counts").empty());
    EXPECT_EQ(UnchangedLines(), 4u);
}

TEST_F(ChangeWatch, ATaskWithoutTheSettingSendsEveryTimeAndKeepsNoDigest)
{
    LoopbackHttpServer server(kHttpAddress, {});
    ASSERT_FALSE(server.Base().empty());
    server.SetRoute("/report.htm", HttpResponse("200 OK", "Content-Type: text/html\r\n",
                                                Page("Harbour", "Ferry times.", "High tide 14:32.")));
    WriteConfigurationAndTask(log_, "\"" + server.Base() + "/report.htm\"");
    for (DWORD setting : {DWORD(0), DWORD(-1)}) {
        SCOPED_TRACE(setting == 0 ? "SendIfChanged 0" : "SendIfChanged absent");
        if (setting == 0)
            WriteDword(TaskPath(), task_values::kSendIfChanged, 0);
        else
            OpenTaskKey().DeleteValue(task_values::kSendIfChanged);
        EXPECT_FALSE(Run("run 1").empty());
        EXPECT_FALSE(Run("run 2").empty());
        EXPECT_FALSE(OpenTaskKey().HasValue(task_values::kLastTextDigest));
    }
    EXPECT_EQ(UnchangedLines(), 0u);

    // A digest of the wrong size is no digest: the run sends and stores a proper one.
    WriteDword(TaskPath(), task_values::kSendIfChanged, 1);
    const unsigned char shortDigest[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(ERROR_SUCCESS, OpenTaskKey().WriteBinary(task_values::kLastTextDigest, shortDigest, sizeof shortDigest));
    EXPECT_FALSE(Run("malformed digest").empty());
    TextDigest digest{};
    EXPECT_TRUE(StoredDigest(&digest));
    EXPECT_TRUE(Run("now unchanged").empty());

    // A task deleted while its run was on gets no key holding only the digest.
    {
        RegistryKey tasks;
        ASSERT_EQ(ERROR_SUCCESS, OpenUserKey(kTasksKeyPath, &tasks));
        ASSERT_EQ(ERROR_SUCCESS, tasks.DeleteSubkeyTree(kTaskKey));
    }
    EXPECT_EQ(RunSender(test::BinDir() + "\\quillon.exe", test::BinDir()), 0u) << "no task, no run";
}

// The run is cut where the double gets the texts back, after every message is queued
// and before the digest could be written: the next run must send again.
TEST_F(ChangeWatch, ARunKilledBeforeItsDigestSendsAgain)
{
    ASSERT_TRUE(CopyFileA((test::BinDir() + "\\quillon.exe").c_str(), (dir_ + "\\quillon.exe").c_str(), FALSE));
    char self[MAX_PATH];
    std::string module(self, GetModuleFileNameA(nullptr, self, sizeof self));
    std::string doubleDll = module.substr(0, module.find_last_of('\\')) + "\\webflat_double.dll";
    ASSERT_TRUE(CopyFileA(doubleDll.c_str(), (dir_ + "\\WEBFLAT.DLL").c_str(), FALSE)) << doubleDll;
    const std::string script = dir_ + "\\script.txt";
    const std::string trace = dir_ + "\\trace.txt";
    SetEnvironmentVariableA("QUILLON_WEBFLAT_SCRIPT", script.c_str());
    SetEnvironmentVariableA("QUILLON_WEBFLAT_TRACE", trace.c_str());
    WriteConfigurationAndTask(log_, "\"http://watched.test/\"");
    auto run = [&](const char *body, bool killed) {
        test::WriteWholeFile(script, std::string("http://watched.test/\t0\tWatched\t") + body + "\n");
        SetEnvironmentVariableA("QUILLON_WEBFLAT_DIE_AT_FREE", killed ? "1" : nullptr);
        DWORD code = RunSender(dir_ + "\\quillon.exe", dir_);
        SetEnvironmentVariableA("QUILLON_WEBFLAT_DIE_AT_FREE", nullptr);
        EXPECT_EQ(code, killed ? 0xDEADu : kSucceeded) << body;
        return TakeQueue();
    };

    EXPECT_EQ(run("one\\1two", false), (std::vector<std::string>{"one two"}));
    TextDigest before{};
    ASSERT_TRUE(StoredDigest(&before));
    DeleteFileA(trace.c_str());
    EXPECT_EQ(run("one\\1three", true), (std::vector<std::string>{"one three"})) << "queued, then killed";
    EXPECT_NE(test::ReadWholeFile(trace).find("killed at free"), std::string::npos);
    TextDigest after{};
    ASSERT_TRUE(StoredDigest(&after));
    EXPECT_EQ(after, before) << "the killed run stored no digest";
    EXPECT_EQ(run("one\\1three", false), (std::vector<std::string>{"one three"})) << "so the next run sends again";
    EXPECT_TRUE(run("one three", false).empty()) << "and then holds back the same text";

    SetEnvironmentVariableA("QUILLON_WEBFLAT_SCRIPT", nullptr);
    SetEnvironmentVariableA("QUILLON_WEBFLAT_TRACE", nullptr);
}

} // namespace
} // namespace quillon
