// mailwire.dll submitting queued pages over TLS with sign-in, against real aiosmtpd
// servers (tls_peer.py, started around this test by CTest fixtures, with a test
// authority that trust_test_root made trusted in this prefix). Each case queues pages,
// runs one dispatch pass through mailwire and checks what the server saw, what the log
// says, and what is left in the queue.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "common/scramble.h"
#include "common/win_datetime.h"
#include "mail/loader/mail_library.h"
#include "mail/wire/wire_dialogue.h"
#include "queue/message_queue.h"
#include "scheduler/engine/queue_pass.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

constexpr char kUser[] = "pager-user";
constexpr char kPassword[] = "Pa55 w0rd!";
// 300 characters: more than the 260 bytes a configuration text may hold.
const std::string kOverlongLoginText(300, 'u');
const char *const kOverlongLogin = kOverlongLoginText.c_str();

std::string PeerDir()
{
    const char *dir = std::getenv("QUILLON_TLS_PEER_DIR");
    return dir != nullptr ? test::WindowsPathOf(dir) : std::string();
}

std::string Base64(const std::string &bytes)
{
    char out[1024];
    wire::Base64Encode(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), out, sizeof out);
    return out;
}

class MailwireHandler : public QueuePassHandler {
public:
    MailwireHandler(const MailLibrary &library, MailSession session) : library_(library), session_(session) {}
    bool Send(const std::string &subject, const std::string &body) override
    {
        return library_.Send(session_, "me@example.net", "pager@example.net", subject.c_str(), body.c_str()) >= 0;
    }

private:
    const MailLibrary &library_;
    MailSession session_;
};

struct ServerSetup {
    const char *server;
    DWORD port;
    DWORD security;     // written only when not ~0u
    const char *login;  // written only when not null
    const char *password;
};

struct Outcome {
    bool loggedOn = false;
    QueuePassResult pass;
    size_t leftInQueue = 0;
    std::string log;
    std::string received;   // what the peer recorded during this case
};

// Configures mailwire, queues `pages` pages, and runs one dispatch pass through it.
Outcome Deliver(const ServerSetup &setup, int pages)
{
    Outcome outcome;
    const std::string received = PeerDir() + "\\received.jsonl";
    const size_t before = test::ReadWholeFile(received).size();
    test::ResetProductRegistry();
    {
        RegistryKey key;
        EXPECT_EQ(CreateUserKey(kConfigurationKeyPath, &key), ERROR_SUCCESS);
        key.WriteString(config_values::kSMTPServer, setup.server);
        key.WriteDword(config_values::kSMTPPort, setup.port);
        if (setup.security != ~0u)
            key.WriteDword(config_values::kSMTPSecurity, setup.security);
        if (setup.login != nullptr)
            key.WriteString(config_values::kSMTPLogin, setup.login);
        std::string scrambled = ScrambleText(setup.password);
        scrambled.push_back('\0');
        RegSetValueExA(key.Get(), config_values::kPassword, 0, REG_SZ,
                       reinterpret_cast<const BYTE *>(scrambled.data()), static_cast<DWORD>(scrambled.size()));
    }
    DateTime queuedAt = LocalNow();
    queuedAt.wYear -= 1;
    queuedAt.wDay = 1;
    for (int page = 0; page < pages; ++page) {
        std::string body = "page " + std::to_string(page + 1) + " of the secured run";
        EXPECT_TRUE(QueueMessage(queuedAt, "Secured", body.c_str(), &queuedAt));
        ++queuedAt.wSecond;
    }
    const std::string logFile = test::MakeScratchDir("mailwire_tls") + "\\mailwire.log";
    MailLibrary library;
    EXPECT_EQ(library.Load((test::BinDir() + "\\mailwire.dll").c_str()), static_cast<DWORD>(ERROR_SUCCESS));
    MailSession session = 0;
    outcome.loggedOn = library.Logon("", "", &session, 1, logFile.c_str()) == kMailOk;
    if (outcome.loggedOn) {
        MailwireHandler handler(library, session);
        RegistryMailQueue queue;
        QueueHoldBack holdBack;
        outcome.pass = RunQueuePass(queue, holdBack, LocalNow(), 5, 15, handler);
        library.Logoff(session);
    }
    library.Unload();
    outcome.leftInQueue = ReadWholeQueue().size();
    outcome.log = test::ReadWholeFile(logFile);
    // The peer writes its record before it answers, so it is complete by now.
    outcome.received = test::ReadWholeFile(received).substr(before);
    test::ResetProductRegistry();
    return outcome;
}

// Neither the password nor any base64 form that carries it ever reaches the log.
void ExpectNoSecretIn(const std::string &log, const char *label)
{
    const std::string password = kPassword;
    for (const std::string &secret :
         {password, Base64(password), Base64(std::string(1, '\0') + kUser + '\0' + password), Base64(kUser)})
        EXPECT_EQ(log.find(secret), std::string::npos) << label << ": log holds " << secret << "\n" << log;
}

class MailwireTls : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(PeerDir().empty()) << "QUILLON_TLS_PEER_DIR not set"; }
};

// The scheduler loads mailwire.dll afresh for every dispatch pass. Secured passes with a
// sign-in must give back what they took: before, each pass left a thread handle, an event
// and about 1 KB behind (the runtime's bookkeeping for a table built at first use).
TEST_F(MailwireTls, SecuredPassesInALibraryLoadedPerPassLeaveNothingBehind)
{
    const ServerSetup setup = {"127.0.0.91", 465, 2, kUser, kPassword};
    for (int pass = 0; pass < 3; ++pass)
        ASSERT_EQ(Deliver(setup, 1).pass.sent, 1);
    const SIZE_T heapBefore = test::HeapBytesInUse();
    const DWORD handlesBefore = test::OpenHandleCount();
    constexpr int kPasses = 20;
    for (int pass = 0; pass < kPasses; ++pass) {
        Outcome outcome = Deliver(setup, 1);
        ASSERT_EQ(outcome.pass.sent, 1) << outcome.log;
    }
    const SIZE_T heapAfter = test::HeapBytesInUse();
    EXPECT_LE(test::OpenHandleCount(), handlesBefore + 2);
    const SIZE_T grown = heapAfter > heapBefore ? heapAfter - heapBefore : 0;
    EXPECT_LT(grown, 8u * 1024) << "heap in use grew by " << grown << " bytes over " << kPasses << " passes";
}

TEST_F(MailwireTls, DeliversThroughStartTlsAndImplicitTlsWithSignIn)
{
    struct Case {
        const char *label;
        ServerSetup setup;
        const char *mechanism;
        bool starttls;
    } cases[] = {
        {"STARTTLS on 587, AUTH PLAIN", {"127.0.0.90", 587, 1, kUser, kPassword}, "PLAIN", true},
        {"STARTTLS, server offers AUTH LOGIN only", {"127.0.0.90", 2588, 1, kUser, kPassword}, "LOGIN", true},
        {"TLS from the first byte on 465", {"127.0.0.91", 465, 2, kUser, kPassword}, "PLAIN", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        // Two pages: both go over the one secured connection of the pass, signed in once.
        Outcome outcome = Deliver(c.setup, 2);
        ASSERT_TRUE(outcome.loggedOn) << outcome.log;
        EXPECT_EQ(outcome.pass.sent, 2) << outcome.log;
        EXPECT_EQ(outcome.leftInQueue, 0u);
        const std::string port = "{\"port\": " + std::to_string(c.setup.port) + ", ";
        const std::string auth = port + "\"auth\": [\"pager-user\", \"Pa55 w0rd!\"], \"mechanism\": \"" +
                                 c.mechanism + "\"}";
        size_t first = outcome.received.find(auth);
        EXPECT_NE(first, std::string::npos) << outcome.received;
        EXPECT_EQ(outcome.received.find(auth, first + 1), std::string::npos) << outcome.received;
        size_t handshakes = 0;
        for (size_t at = outcome.log.find("MAILWIRE TLS established"); at != std::string::npos;
             at = outcome.log.find("MAILWIRE TLS established", at + 1))
            ++handshakes;
        EXPECT_EQ(handshakes, 1u) << outcome.log;
        // One QUIT for the pass, at log-off: its reply is logged once.
        const size_t bye = outcome.log.find("MAILWIRE 221 ");
        EXPECT_NE(bye, std::string::npos) << outcome.log;
        EXPECT_EQ(outcome.log.find("MAILWIRE 221 ", bye + 1), std::string::npos) << outcome.log;
        EXPECT_NE(outcome.received.find(port + "\"mail_from\": \"me@example.net\""), std::string::npos)
            << outcome.received;
        EXPECT_NE(outcome.received.find("SUBJECT: Secured\\r\\nMessage-ID: <"), std::string::npos) << outcome.received;
        EXPECT_NE(outcome.received.find("quoted-printable\\r\\n\\r\\npage 1 of the secured run\\r\\n\""),
                  std::string::npos)
            << outcome.received;
        EXPECT_NE(outcome.received.find("SUBJECT: Secured\\r\\nMessage-ID: <"), std::string::npos) << outcome.received;
        EXPECT_NE(outcome.received.find("quoted-printable\\r\\n\\r\\npage 2 of the secured run\\r\\n\""),
                  std::string::npos)
            << outcome.received;

        EXPECT_EQ(outcome.log.find("STARTTLS\r\n\r\n") != std::string::npos, c.starttls) << outcome.log;
        EXPECT_NE(outcome.log.find("MAILWIRE TLS established: TLS 1."), std::string::npos) << outcome.log;
        EXPECT_NE(outcome.log.find("MAILWIRE Sent credentials\r\n"), std::string::npos) << outcome.log;
        EXPECT_NE(outcome.log.find("MAILWIRE 235 "), std::string::npos) << outcome.log;
        EXPECT_EQ(outcome.log.find("AUTH PLAIN"), std::string::npos) << outcome.log;
        EXPECT_EQ(outcome.log.find("HELO "), std::string::npos) << outcome.log;
        ExpectNoSecretIn(outcome.log, c.label);
    }
}

TEST_F(MailwireTls, RefusalsLogWhyAndKeepThePageQueued)
{
    struct Case {
        const char *label;
        ServerSetup setup;
        const char *logLine;
        bool logonFails;
    } cases[] = {
        {"no STARTTLS offered", {"127.0.0.90", 2587, 1, kUser, kPassword},
         "MAILWIRE STARTTLS not offered by the server\r\n", false},
        {"certificate from an unknown authority", {"127.0.0.91", 2465, 2, kUser, kPassword},
         "MAILWIRE TLS certificate untrusted", false},
        {"certificate for another name", {"127.0.0.91", 3465, 2, kUser, kPassword},
         "MAILWIRE TLS certificate name mismatch: not issued for 127.0.0.91\r\n", false},
        {"expired certificate", {"127.0.0.91", 4465, 2, kUser, kPassword}, "MAILWIRE TLS certificate expired",
         false},
        {"AUTH refused", {"127.0.0.90", 587, 1, kUser, "wrong password"}, "MAILWIRE 535 ", false},
        {"SMTPLogin without TLS", {"127.0.0.90", 587, ~0u, kUser, kPassword},
         "MAILWIRE SMTPLogin needs SMTPSecurity 1 or 2: credentials are sent only inside TLS\r\n", true},
        {"SMTPSecurity out of range", {"127.0.0.91", 465, 3, nullptr, ""},
         "MAILWIRE SMTPSecurity 3 is not 0, 1 or 2\r\n", true},
        {"SMTPPort out of range", {"127.0.0.91", 70000, 2, nullptr, ""},
         "MAILWIRE SMTPPort 70000 is not a port number\r\n", true},
        {"SMTPLogin too long", {"127.0.0.91", 465, 2, kOverlongLogin, kPassword},
         "MAILWIRE SMTPLogin unreadable or longer than 259 characters\r\n", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        Outcome outcome = Deliver(c.setup, 1);
        EXPECT_EQ(outcome.loggedOn, !c.logonFails) << outcome.log;
        EXPECT_EQ(outcome.pass.sent, 0);
        EXPECT_EQ(outcome.leftInQueue, 1u) << "the page must stay queued";
        EXPECT_NE(outcome.log.find(c.logLine), std::string::npos) << outcome.log;
        EXPECT_EQ(outcome.received.find("mail_from"), std::string::npos) << outcome.received;
        const bool authRefused = std::string(c.label) == "AUTH refused";
        EXPECT_EQ(outcome.log.find("MAILWIRE Sent credentials") != std::string::npos, authRefused) << outcome.log;
        ExpectNoSecretIn(outcome.log, c.label);
        // Nothing went to the server in clear after it failed to offer STARTTLS, and no
        // credentials went anywhere but inside TLS.
        if (!authRefused) {
            EXPECT_EQ(outcome.received.find("\"auth\""), std::string::npos) << outcome.received;
        }
    }
}

} // namespace
} // namespace quillon
