// MAILSIMPLE.DLL through the system's own MAPI32.DLL to the mail-client double
// registered as the default mail client: the records the client is handed, the
// library-wide session (above 4 GiB, wider than the contract's handle), refused logon,
// unknown recipient and refused logoff with their log lines, the debug texts, and the
// refused load without MAPI32.DLL or without one of its three functions.
#include <gtest/gtest.h>

#include <windows.h>
#include <mapi.h>

#include <string>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "mail/loader/mail_library.h"
#include "tests/mail/simple/mail_client_double_setup.h"
#include "tests/resources/debug_output_reader.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

using namespace test;

using Lines = std::vector<std::string>;

constexpr char kNoRecords[] = " address=null eidSize=0 entryID=null";

std::string LogonLine(const char *profile, const char *password, const char *session)
{
    return std::string("MAPILogon uiParam=0x0 profile=\"") + profile + "\" password=\"" + password +
           "\" flags=0x0 reserved=0 result=0 session=" + session;
}

std::string SendLine(const char *session, int result)
{
    return std::string("MAPISendMail session=") + session + " uiParam=0x0 flags=0x0 reserved=0 result=" +
           std::to_string(result);
}

// The message record, originator and recipient exactly as the library must build them.
Lines MessageLines(const std::string &subject, const std::string &body, const std::string &sender,
                   const std::string &destination)
{
    return {"  message reserved=0 subject=\"" + subject + "\" noteText=\"" + body +
                "\" messageType=null dateReceived=null conversationID=null flags=0x0 recipCount=1 fileCount=0"
                " files=null",
            "  originator reserved=0 recipClass=0 name=\"" + sender + "\"" + kNoRecords,
            "  recipient[0] reserved=0 recipClass=1 name=\"" + destination + "\"" + kNoRecords};
}

std::string LogoffLine(const char *session, int result)
{
    return std::string("MAPILogoff session=") + session + " uiParam=0x0 flags=0x0 reserved=0 result=" +
           std::to_string(result);
}

class MailSimple : public ::testing::Test {
protected:
    static void SetUpTestSuite() { scratch_ = MakeScratchDir("mail_simple_tests"); }

    void SetUp() override
    {
        ResetProductRegistry();
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        logFile_ = scratch_ + "\\" + name + ".log";
        DeleteFileA(logFile_.c_str());
        std::string error;
        ASSERT_TRUE(client_.Install(scratch_ + "\\" + name + ".journal", error)) << error;
    }
    void TearDown() override
    {
        library_.Unload();
        client_.Uninstall();
        ResetProductRegistry();
    }

    void Load()
    {
        ASSERT_EQ(library_.Load(LibraryPath().c_str()), static_cast<DWORD>(ERROR_SUCCESS));
    }
    static std::string LibraryPath() { return BinDir() + "\\MAILSIMPLE.DLL"; }
    MailResult Logon(MailSession *session, int logging = 1, const char *profile = "Work",
                     const char *password = "s3cret")
    {
        return library_.Logon(profile, password, session, logging, logFile_.c_str());
    }
    MailResult Send(MailSession session, const char *destination = "pager@example.net",
                    const char *body = "Line one\r\nLine two")
    {
        return library_.Send(session, "me@example.net", destination, "Page title", body);
    }
    std::string Log() const { return ReadWholeFile(logFile_); }
    bool LogExists() const { return GetFileAttributesA(logFile_.c_str()) != INVALID_FILE_ATTRIBUTES; }

    static std::string scratch_;
    MailClientDouble client_;
    MailLibrary library_;
    std::string logFile_;
};
std::string MailSimple::scratch_;

// The whole session as the mail client sees it: every record field, the session the
// client handed out (above 4 GiB) used by every call whatever handle the caller passes.
TEST_F(MailSimple, EveryCallUsesTheStoredSessionAndTheRecordsAsBuilt)
{
    Load();
    MailSession handle = 0;
    ASSERT_EQ(Logon(&handle), kMailOk);
    EXPECT_EQ(handle, 1u);   // the low 32 bits of 0x500000001
    EXPECT_EQ(Send(handle), kMailOk);
    EXPECT_EQ(Send(handle + 41, "second@example.net", "Second \"page\""), kMailOk);
    EXPECT_EQ(Send(0, "third@example.net", ""), kMailOk);
    EXPECT_EQ(library_.Logoff(0x7777u), kMailOk);

    Lines expected = {LogonLine("Work", "s3cret", "0x500000001"), SendLine("0x500000001", 0)};
    for (const std::string &line : MessageLines("Page title", "Line one\\r\\nLine two", "me@example.net",
                                                "pager@example.net"))
        expected.push_back(line);
    expected.push_back(SendLine("0x500000001", 0));
    for (const std::string &line :
         MessageLines("Page title", "Second \\\"page\\\"", "me@example.net", "second@example.net"))
        expected.push_back(line);
    expected.push_back(SendLine("0x500000001", 0));
    for (const std::string &line : MessageLines("Page title", "", "me@example.net", "third@example.net"))
        expected.push_back(line);
    expected.push_back(LogoffLine("0x500000001", 0));
    EXPECT_EQ(client_.JournalLines(), expected);
    EXPECT_FALSE(LogExists()) << Log();
}

// A session whose low 32 bits are all zero still gives the caller a handle that is not
// "no session", so the caller logs off, and the logoff reaches the full session.
TEST_F(MailSimple, SessionWithZeroLowBitsStillLogsOff)
{
    client_.SetNextSession(0x0000000700000000ull);
    Load();
    MailSession handle = 0;
    ASSERT_EQ(Logon(&handle), kMailOk);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(library_.Logoff(handle), kMailOk);
    Lines journal = client_.JournalLines();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[1], LogoffLine("0x700000000", 0));
}

TEST_F(MailSimple, RefusedLogonLogsTheNumberInHexAndFails)
{
    struct Case {
        DWORD result;
        const char *line;
    } cases[] = {
        {MAPI_E_LOGON_FAILURE, "MAILSIMPLE Logon error 3\r\n"},
        {MAPI_E_NOT_SUPPORTED, "MAILSIMPLE Logon error 1A\r\n"},
        {0xC0DEFACEu, "MAILSIMPLE Logon error C0DEFACE\r\n"},
    };
    Load();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        DeleteFileA(logFile_.c_str());
        client_.SetLogonResult(c.result);
        MailSession handle = 0;
        EXPECT_EQ(Logon(&handle), kMailFailed);
        EXPECT_EQ(handle, 0u);
        EXPECT_EQ(Log(), c.line);
    }
}

TEST_F(MailSimple, UnknownRecipientFailsTheSendOnly)
{
    client_.SetUnknownRecipient("nobody@nowhere.example");
    Load();
    MailSession handle = 0;
    ASSERT_EQ(Logon(&handle), kMailOk);
    EXPECT_EQ(Send(handle, "nobody@nowhere.example"), kMailFailed);
    EXPECT_EQ(Log(), "MAILSIMPLE Send Message error E\r\n");
    EXPECT_EQ(Send(handle), kMailOk);   // the session goes on
    EXPECT_EQ(library_.Logoff(handle), kMailOk);
    Lines journal = client_.JournalLines();
    ASSERT_EQ(journal.size(), 10u);
    EXPECT_EQ(journal[1], SendLine("0x500000001", MAPI_E_UNKNOWN_RECIPIENT));
    EXPECT_EQ(journal[5], SendLine("0x500000001", 0));
    EXPECT_EQ(Log(), "MAILSIMPLE Send Message error E\r\n");
}

TEST_F(MailSimple, RefusedLogoffLogsAndFails)
{
    Load();
    MailSession handle = 0;
    ASSERT_EQ(Logon(&handle), kMailOk);
    client_.SetLogoffResult(MAPI_E_FAILURE);
    EXPECT_EQ(library_.Logoff(handle), kMailFailed);
    EXPECT_EQ(Log(), "MAILSIMPLE Logoff error 2\r\n");
}

TEST_F(MailSimple, LoggingOffWritesNothingEvenOnFailure)
{
    client_.SetUnknownRecipient("nobody@nowhere.example");
    Load();
    MailSession handle = 0;
    ASSERT_EQ(Logon(&handle, 0), kMailOk);
    EXPECT_EQ(Send(handle, "nobody@nowhere.example"), kMailFailed);
    client_.SetLogoffResult(MAPI_E_FAILURE);
    EXPECT_EQ(library_.Logoff(handle), kMailFailed);
    client_.SetLogonResult(MAPI_E_LOGON_FAILURE);
    EXPECT_EQ(Logon(&handle, 0), kMailFailed);
    EXPECT_FALSE(LogExists()) << Log();
}

TEST_F(MailSimple, DebugTextsAtLoadAndUnload)
{
    DebugOutputReader debug;
    std::string error;
    ASSERT_TRUE(debug.Start(error)) << error;
    Load();
    EXPECT_TRUE(debug.WaitFor("MAILSIMPLE loading\n", 3000));
    library_.Unload();
    EXPECT_TRUE(debug.WaitFor("MAILSIMPLE unloading\n", 3000));
}

// ---- Refused loads, each in a process of its own ------------------------------------

// The probe's folder holds a MAPI32.DLL without MAPILogoff; a DLL override for the
// probe alone decides what "MAPI32.DLL" resolves to there: "native" that file, ""
// (disabled) nothing at all, no override the system's own. Wine takes a program's own
// overrides from the registry (AppDefaults) when the program starts; an override in the
// environment block handed to CreateProcess does not reach the new process.
constexpr char kProbeName[] = "mailsimple_load_probe.exe";
constexpr char kAppDefaultsPath[] = "Software\\Wine\\AppDefaults";

class MailSimpleLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductRegistry();
        RemoveProbeOverrides();
        scratch_ = MakeScratchDir("mail_simple_load");
        logFile_ = scratch_ + "\\refusal.log";
        RegistryKey key;
        ASSERT_EQ(CreateUserKey(kConfigurationKeyPath, &key), ERROR_SUCCESS);
        key.WriteString(config_values::kLogging, logFile_);
    }
    void TearDown() override
    {
        RemoveProbeOverrides();
        ResetProductRegistry();
    }

    static void RemoveProbeOverrides()
    {
        RegistryKey appDefaults;
        if (appDefaults.Open(HKEY_CURRENT_USER, kAppDefaultsPath) == ERROR_SUCCESS)
            appDefaults.DeleteSubkeyTree(kProbeName);
    }

    // The probe's exit code: 0 loaded, else the loader's error.
    DWORD ProbeWith(const char *mapi32Override)
    {
        RemoveProbeOverrides();
        if (mapi32Override != nullptr) {
            RegistryKey overrides;
            std::string path = std::string(kAppDefaultsPath) + "\\" + kProbeName + "\\DllOverrides";
            EXPECT_EQ(overrides.Create(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
            overrides.WriteString("mapi32", mapi32Override);
        }
        std::string probe = BuildDir() + "\\tests\\mailsimple_probe\\" + kProbeName;
        ProcessResult run = RunProcess("\"" + probe + "\" \"" + BinDir() + "\\MAILSIMPLE.DLL\"", 30000);
        EXPECT_TRUE(run.started && !run.timedOut);
        return run.exitCode;
    }

    std::string scratch_;
    std::string logFile_;
};

TEST_F(MailSimpleLoad, LoadsWithTheSystemsMapi32)
{
    EXPECT_EQ(ProbeWith(nullptr), 0u);
    EXPECT_EQ(GetFileAttributesA(logFile_.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MailSimpleLoad, RefusesToLoadWithoutMapi32)
{
    EXPECT_EQ(ProbeWith(""), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    std::string log = ReadWholeFile(logFile_);
    EXPECT_EQ(log.rfind("MAILSIMPLE MAPI32.DLL load error ", 0), 0u) << log;

    // Without the Logging value logging is off: the refusal leaves no line.
    DeleteFileA(logFile_.c_str());
    RegistryKey key;
    ASSERT_EQ(OpenUserKey(kConfigurationKeyPath, &key), ERROR_SUCCESS);
    key.DeleteValue(config_values::kLogging);
    EXPECT_EQ(ProbeWith(""), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(GetFileAttributesA(logFile_.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MailSimpleLoad, RefusesToLoadWhenMapi32LacksAFunction)
{
    EXPECT_EQ(ProbeWith("native"), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(ReadWholeFile(logFile_), "MAILSIMPLE MAPI32.DLL has no MAPILogoff\r\n");
}

} // namespace
} // namespace quillon
