// The real scheduler in the notification area while a minute tick works against a
// tarpitting SMTP server (every reply valid, sent one byte at a time, each complete just
// inside the reply wait) and a slowly served page: the window answers throughout, the
// tick ends within its bound, no message is tried twice in a tick or loses a retry
// without a try, and a good server gets every message once afterwards. Also Exit, the
// tray menu and the dialog commands during such a tick, and a dialog open when it
// starts.
//
// The mail library is mailwire's own session code built with short waits
// (short_wait_wire_library.cpp: 2 s per reply, 8 s per message) so that a case takes
// seconds; the tarpit answers each reply in 1.6 s.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "resources/resource_ids.h"
#include "tests/scheduler/shell/scheduler_process.h"
#include "tests/support/end_to_end_setup.h"
#include "tests/support/window_driver.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {
namespace {

constexpr char kSmtpAddress[] = "127.0.0.158";
constexpr char kPageAddress[] = "127.0.0.159";
constexpr unsigned short kPagePort = 8159;
constexpr DWORD kTarpitReplyMs = 1600;   // inside the library's 2 s reply wait
constexpr DWORD kMessageWaitMs = 8000;   // the library's allowance for one message
constexpr DWORD kAnswerLimitMs = 3000;   // "answers within a few seconds"
constexpr char kConfigurationCaption[] = "Quillon Configuration";
constexpr char kWatchPageCaption[] = "Watch a Page";
constexpr char kDeferredLine[] = "Deferred sending message and those after it to the next minute";

bool WaitUntil(const std::function<bool()> &done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpFor(50);
    }
    return true;
}

// Reads one line (up to LF) within `stop`'s life; false when the peer closed or stopped.
bool ReadLine(SOCKET s, const std::atomic<bool> &stop, std::string *line)
{
    line->clear();
    while (!stop) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval wait = {0, 100000};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready < 0)
            return false;
        if (ready == 0)
            continue;
        char byte;
        if (recv(s, &byte, 1, 0) != 1)
            return false;
        line->push_back(byte);
        if (byte == '\n')
            return true;
        if (line->size() > 1 << 20)
            return false;
    }
    return false;
}

// A listening socket on address:port; INVALID_SOCKET when it cannot listen.
SOCKET Listen(const char *addressText, unsigned short port)
{
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener == INVALID_SOCKET)
        return listener;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr(addressText);
    address.sin_port = htons(port);
    BOOL reuse = TRUE;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&reuse), sizeof reuse);
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(listener, 16) != 0) {
        closesocket(listener);
        return INVALID_SOCKET;
    }
    return listener;
}

// The next client of `listener`, or INVALID_SOCKET when none came within 100 ms.
SOCKET NextClient(SOCKET listener)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener, &readable);
    timeval wait = {0, 100000};
    if (select(0, &readable, nullptr, nullptr, &wait) != 1)
        return INVALID_SOCKET;
    return accept(listener, nullptr, nullptr);
}

// An SMTP server on kSmtpAddress:25. Tarpitting (the start), every reply is valid but
// goes out one byte at a time, the whole reply taking replyMs; good, it answers at once.
// Only messages taken while good count as delivered.
class TarpitSmtpServer {
public:
    explicit TarpitSmtpServer(DWORD replyMs) : replyMs_(replyMs) {}
    ~TarpitSmtpServer()
    {
        stop_ = true;
        if (acceptor_.joinable())
            acceptor_.join();
        for (auto &t : connections_)
            if (t.joinable())
                t.join();
        if (listener_ != INVALID_SOCKET)
            closesocket(listener_);
    }

    bool Start()
    {
        listener_ = Listen(kSmtpAddress, 25);
        if (listener_ == INVALID_SOCKET)
            return false;
        acceptor_ = std::thread([this] { Accept(); });
        return true;
    }
    void BeGood() { good_ = true; }
    int Connections() const { return accepted_; }
    std::vector<std::string> Delivered()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return delivered_;
    }

private:
    void Accept()
    {
        while (!stop_) {
            SOCKET client = NextClient(listener_);
            if (client == INVALID_SOCKET)
                continue;
            ++accepted_;
            connections_.emplace_back([this, client] {
                Converse(client);
                closesocket(client);
            });
        }
    }

    bool Say(SOCKET s, const std::string &reply)
    {
        if (good_)
            return send(s, reply.data(), static_cast<int>(reply.size()), 0) == static_cast<int>(reply.size());
        const DWORD perByte = replyMs_ / static_cast<DWORD>(reply.size());
        for (char byte : reply) {
            Sleep(perByte);
            if (stop_ || send(s, &byte, 1, 0) != 1)
                return false;
        }
        return true;
    }

    void Converse(SOCKET s)
    {
        const bool goodConnection = good_;
        if (!Say(s, "220 tarpit.example.test ready\r\n"))
            return;
        std::string line;
        while (ReadLine(s, stop_, &line)) {
            std::string verb = line.substr(0, 4);
            for (char &c : verb)
                c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            if (verb == "DATA") {
                if (!Say(s, "354 go ahead\r\n"))
                    return;
                std::string data;
                while (data.size() < 5 || data.compare(data.size() - 5, 5, "\r\n.\r\n") != 0) {
                    if (!ReadLine(s, stop_, &line))
                        return;
                    data += line;
                }
                if (!Say(s, "250 taken\r\n"))
                    return;
                if (goodConnection) {
                    std::lock_guard<std::mutex> hold(lock_);
                    delivered_.push_back(data);
                }
            } else if (verb == "QUIT") {
                Say(s, "221 bye\r\n");
                return;
            } else if (!Say(s, "250 ok\r\n")) {
                return;
            }
        }
    }

    DWORD replyMs_;
    SOCKET listener_ = INVALID_SOCKET;
    std::atomic<bool> stop_{false};
    std::atomic<bool> good_{false};
    std::atomic<int> accepted_{0};
    std::thread acceptor_;
    std::vector<std::thread> connections_;   // only the acceptor adds, before the join
    std::mutex lock_;
    std::vector<std::string> delivered_;
};

// A page on kPageAddress:kPagePort whose body trickles out over `servingMs`.
class SlowPageServer {
public:
    explicit SlowPageServer(DWORD servingMs) : servingMs_(servingMs) {}
    ~SlowPageServer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (listener_ != INVALID_SOCKET)
            closesocket(listener_);
    }
    bool Start()
    {
        listener_ = Listen(kPageAddress, kPagePort);
        if (listener_ == INVALID_SOCKET)
            return false;
        thread_ = std::thread([this] { Serve(); });
        return true;
    }
    int Requests() const { return requests_; }

private:
    void Serve()
    {
        const std::string page = "<html><head><title>Slow Page</title></head><body><p>Served slowly, one piece "
                                 "at a time.</p></body></html>";
        while (!stop_) {
            SOCKET client = NextClient(listener_);
            if (client == INVALID_SOCKET)
                continue;
            ++requests_;
            std::string line;
            while (ReadLine(client, stop_, &line) && line != "\r\n") {
            }
            std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                               std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n";
            send(client, head.data(), static_cast<int>(head.size()), 0);
            const size_t pieces = 10;
            for (size_t i = 0; i < pieces && !stop_; ++i) {
                Sleep(servingMs_ / pieces);
                size_t from = page.size() * i / pieces, to = page.size() * (i + 1) / pieces;
                send(client, page.data() + from, static_cast<int>(to - from), 0);
            }
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    DWORD servingMs_;
    SOCKET listener_ = INVALID_SOCKET;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

struct QueuedMessage {
    std::string name;
    uint32_t count = 0;
    SYSTEMTIME retryTime = {};
    std::string subject;
};

std::vector<QueuedMessage> ReadQueue()
{
    std::vector<QueuedMessage> messages;
    RegistryKey mail;
    if (mail.Open(HKEY_CURRENT_USER, kMailKeyPath) != ERROR_SUCCESS)
        return messages;
    for (DWORD i = 0;; ++i) {
        char name[64] = {};
        DWORD length = sizeof name;
        if (RegEnumKeyExA(mail.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        RegistryKey entry;
        if (entry.Open(mail.Get(), name) != ERROR_SUCCESS)
            continue;
        QueuedMessage message;
        message.name = name;
        DWORD count = 0;
        entry.ReadDword(mail_values::kRetryCount, &count);
        message.count = count;
        DWORD size = sizeof message.retryTime;
        RegQueryValueExA(entry.Get(), mail_values::kRetryTime, nullptr, nullptr,
                         reinterpret_cast<BYTE *>(&message.retryTime), &size);
        char subject[260] = {};
        entry.ReadString(mail_values::kSubject, subject);
        message.subject = subject;
        messages.push_back(message);
    }
    return messages;
}

void QueueMessage(int i, const std::string &subject)
{
    RegistryKey key;
    char name[32];
    snprintf(name, sizeof name, "2020 1 1 0 0%2d", i);
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, (std::string(kMailKeyPath) + "\\" + name).c_str()), ERROR_SUCCESS);
    SYSTEMTIME due = {2020, 1, 3, 1, 0, 0, static_cast<WORD>(i), 0};
    key.WriteDword(mail_values::kRetryCount, 0);
    key.WriteBinary(mail_values::kRetryTime, &due, sizeof due);
    key.WriteString(mail_values::kSubject, subject);
    key.WriteString(mail_values::kBody, "[" + subject + "] must arrive once");
}

// Every queued message due again at once (the failed one waits its retry minutes).
void MakeQueueDue()
{
    SYSTEMTIME past = {2020, 1, 3, 1, 0, 0, 0, 0};
    for (const QueuedMessage &message : ReadQueue()) {
        RegistryKey entry;
        if (entry.Open(HKEY_CURRENT_USER, (std::string(kMailKeyPath) + "\\" + message.name).c_str()) == ERROR_SUCCESS)
            entry.WriteBinary(mail_values::kRetryTime, &past, sizeof past);
    }
}

class TrayDuringATick : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, RegisterScheduleComponent()); }
    void SetUp() override
    {
        ASSERT_TRUE(winsock_.Start());
        ResetProductRegistry();
        scratch_ = MakeScratchDir("tasqed_tray");
        logFile_ = scratch_ + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        marker_ = logFile_ + ".unloads";
        DeleteFileA(logFile_.c_str());
        DeleteFileA(marker_.c_str());
        using namespace config_values;
        std::vector<ConfigRow> rows = EndToEndConfiguration(kSmtpAddress, "scheduler@example.org", logFile_);
        rows = With(rows, {Text(kMailLibrary, BuildDir() + "\\tests\\shell_short_wire.dll"), Number(kRetryCount, 5)});
        ASSERT_TRUE(WriteConfigurationRows(rows));
    }
    void TearDown() override { ResetProductRegistry(); }

    // Starts the scheduler with the short-wait library's settings in its environment.
    void StartScheduler(SchedulerProcess &scheduler)
    {
        SetEnvironmentVariableA("QUILLON_WIRE_UNLOAD_MARKER", marker_.c_str());
        SetEnvironmentVariableA("QUILLON_WIRE_REPLY_MS", "2000");
        SetEnvironmentVariableA("QUILLON_WIRE_MESSAGE_MS", std::to_string(kMessageWaitMs).c_str());
        bool started = scheduler.Start(BinDir());
        SetEnvironmentVariableA("QUILLON_WIRE_UNLOAD_MARKER", nullptr);
        ASSERT_TRUE(started);
        window_ = scheduler.MainWindow();
        ASSERT_NE(window_, nullptr);
    }

    size_t DispatchPasses() { return CountOf(ReadWholeFile(marker_), "unloaded"); }
    std::string Log() { return ReadWholeFile(logFile_); }

    // Sends the icon's mouse-move callback (what the shell sends when the pointer passes
    // over the icon) and returns how long the answer took; ~0u when none came in 10 s.
    DWORD AnswerTime()
    {
        const UINT iconMessage = RegisterWindowMessageA("kestr:tasqed");
        DWORD start = GetTickCount();
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(window_, iconMessage, iconMessage, WM_MOUSEMOVE, SMTO_NORMAL, 10000, &result) == 0)
            return ~0u;
        return GetTickCount() - start;
    }

    // Sets off a tick and probes the window every 100 ms until `passes` dispatch passes
    // have ended and the window answers; the longest answer and the tick's length.
    struct TickWatch {
        bool ended = false;
        DWORD longestAnswerMs = 0;
        DWORD tickMs = 0;
    };
    TickWatch WatchTick(size_t passes, DWORD limitMs, const std::function<void(DWORD)> &during = nullptr)
    {
        TickWatch watch;
        DWORD start = GetTickCount();
        PostMessageA(window_, WM_TIMER, 0xAEAE, 0);
        while (GetTickCount() - start < limitMs) {
            DWORD answer = AnswerTime();
            watch.longestAnswerMs = std::max(watch.longestAnswerMs, answer);
            if (DispatchPasses() >= passes) {
                // Nothing waits after the pass: the answer comes once the tick is over.
                DWORD_PTR ignored = 0;
                SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
                watch.ended = true;
                watch.tickMs = GetTickCount() - start;
                break;
            }
            if (during)
                during(GetTickCount() - start);
            Sleep(100);
        }
        return watch;
    }

    class Winsock {
    public:
        bool Start() { return started_ || (started_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0); }
        ~Winsock()
        {
            if (started_)
                WSACleanup();
        }

    private:
        WSADATA data_ = {};
        bool started_ = false;
    };

    Winsock winsock_;
    std::string scratch_, logFile_, marker_;
    HWND window_ = nullptr;
};

// Per case: messages queued or a page task due every minute whose page is served slowly,
// one tick against the tarpit, then a good server and one more tick.
TEST_F(TrayDuringATick, WindowAnswersThroughoutAndTheTickEndsWithinItsBound)
{
    struct Case {
        const char *label;
        int queued;
        bool pageTask;
        DWORD boundMs;   // the slowest message's allowance and the page's time, with room for Wine
    };
    const Case cases[] = {
        {"one queued message", 1, false, kMessageWaitMs + 6000},
        {"ten queued messages", 10, false, kMessageWaitMs + 6000},
        {"a page task due every minute, its page served slowly", 0, true, kMessageWaitMs + 6000 + 5000 + 6000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        SetUp();
        TarpitSmtpServer smtp(kTarpitReplyMs);
        ASSERT_TRUE(smtp.Start());
        SlowPageServer page(5000);
        ASSERT_TRUE(page.Start());
        for (int i = 0; i < c.queued; ++i)
            QueueMessage(i, "tarpit " + std::to_string(i));
        if (c.pageTask) {
            std::string url = "http://" + std::string(kPageAddress) + ":" + std::to_string(kPagePort) + "/slow.html";
            ASSERT_TRUE(WriteMinutePageTask(TimestampKeyName(LocalNow()), url, false));
        }
        SchedulerProcess scheduler;
        StartScheduler(scheduler);

        TickWatch watch = WatchTick(1, 60000);
        ASSERT_TRUE(watch.ended) << Log();
        EXPECT_LE(watch.longestAnswerMs, kAnswerLimitMs) << "the window was silent during the tick";
        EXPECT_LT(watch.tickMs, c.boundMs) << "the tick ran beyond its bound";
        if (c.pageTask) {
            EXPECT_EQ(page.Requests(), 1);
        }
        std::printf("%s: tick %lu ms, longest answer %lu ms\n", c.label, static_cast<unsigned long>(watch.tickMs),
                    static_cast<unsigned long>(watch.longestAnswerMs));

        std::string log = Log();
        std::vector<QueuedMessage> queue = ReadQueue();
        ASSERT_EQ(queue.size(), c.pageTask ? 1u : static_cast<size_t>(c.queued)) << log;
        EXPECT_EQ(CountOf(log, "TASQED.EXE: "), 1u);
        for (size_t i = 0; i < queue.size(); ++i) {
            SCOPED_TRACE(queue[i].name);
            EXPECT_LE(CountOf(log, "Subject: " + queue[i].subject + "\r\n"), 1u) << "tried twice in one tick";
            // The first message used its try; the rest were not attempted and kept theirs.
            EXPECT_EQ(queue[i].count, i == 0 ? 1u : 0u);
            if (i > 0) {
                EXPECT_EQ(queue[i].retryTime.wSecond, static_cast<WORD>(i)) << "an untried message was rescheduled";
            }
        }
        EXPECT_EQ(CountOf(log, kDeferredLine), queue.size() > 1 ? 1u : 0u) << log;
        EXPECT_EQ(smtp.Connections(), 1) << "the tarpit was tried again within the tick";

        // A good server afterwards gets every message exactly once.
        smtp.BeGood();
        MakeQueueDue();
        // (The page task is due again at this tick too and queues its text again.)
        TickWatch good = WatchTick(2, 60000);
        ASSERT_TRUE(good.ended) << Log();
        ASSERT_TRUE(WaitUntil([] { return ReadQueue().empty(); }, 10000)) << Log();
        std::vector<std::string> delivered = smtp.Delivered();
        for (const QueuedMessage &message : queue) {
            size_t copies = 0;
            for (const std::string &data : delivered)
                copies += data.find("Subject: " + message.subject) != std::string::npos ||
                          data.find("SUBJECT: " + message.subject) != std::string::npos;
            EXPECT_GE(copies, 1u) << message.subject;
            if (!c.pageTask) {
                EXPECT_EQ(copies, 1u) << message.subject;
            }
        }
        EXPECT_TRUE(scheduler.Exit());
    }
}

// The tray menu opens during a long tick; a dialog command chosen then waits for the
// tick's end; Exit during the tick ends the scheduler within a few seconds, with every
// message still queued and none having lost a retry without a try.
TEST_F(TrayDuringATick, MenuDialogCommandsAndExitDuringALongTick)
{
    TarpitSmtpServer smtp(kTarpitReplyMs);
    ASSERT_TRUE(smtp.Start());
    for (int i = 0; i < 10; ++i)
        QueueMessage(i, "tarpit " + std::to_string(i));
    {
        SchedulerProcess scheduler;
        StartScheduler(scheduler);
        const UINT iconMessage = RegisterWindowMessageA("kestr:tasqed");
        bool menuShown = false, configureChosen = false, dialogDuringTick = false;
        TickWatch watch = WatchTick(1, 60000, [&](DWORD elapsed) {
            if (elapsed < 1500)
                return;
            if (!menuShown) {
                PostMessageA(window_, iconMessage, iconMessage, WM_RBUTTONDOWN);
                HWND menu = WaitForThreadWindow(
                    scheduler.ThreadId(), [](HWND w) { return ClassOf(w) == "#32768" && IsWindowVisible(w); },
                    kAnswerLimitMs);
                menuShown = true;
                EXPECT_NE(menu, nullptr) << "no tray menu during the tick";
                PostMessageA(window_, WM_CANCELMODE, 0, 0);
                WaitForWindowGone(menu, 3000);
                PostMessageA(window_, WM_COMMAND, IDM_CONFIGURE, 0);
                PostMessageA(window_, WM_COMMAND, IDM_WATCH_PAGE, 0);
                configureChosen = true;
                return;
            }
            if ((FindWindowA(nullptr, kConfigurationCaption) != nullptr ||
                 FindWindowA(nullptr, kWatchPageCaption) != nullptr) &&
                DispatchPasses() == 0)
                dialogDuringTick = true;
        });
        ASSERT_TRUE(watch.ended);
        EXPECT_TRUE(menuShown && configureChosen);
        EXPECT_LE(watch.longestAnswerMs, kAnswerLimitMs);
        EXPECT_FALSE(dialogDuringTick) << "a dialog chosen during the tick opened inside it";
        // Both commands run once the tick has ended: the configuration dialog first, and
        // "Watch a page..." from within its message loop, on top of it.
        HWND dialog = WaitForDialog(scheduler.ThreadId(), kConfigurationCaption, kSchedulerWaitMs);
        ASSERT_NE(dialog, nullptr) << "the configuration command chosen during the tick never ran";
        HWND watchPage = WaitForDialog(scheduler.ThreadId(), kWatchPageCaption, kSchedulerWaitMs);
        ASSERT_NE(watchPage, nullptr) << "the Watch a page command chosen during the tick never ran";
        PostClick(watchPage, IDCANCEL);
        ASSERT_TRUE(WaitForWindowGone(watchPage, kSchedulerWaitMs));
        PostClick(dialog, IDCANCEL);
        ASSERT_TRUE(WaitForWindowGone(dialog, kSchedulerWaitMs));
        EXPECT_TRUE(scheduler.Exit());
    }

    // Exit in the middle of the next tick (the deferred messages are tried again).
    SchedulerProcess scheduler;
    StartScheduler(scheduler);
    PostMessageA(window_, WM_TIMER, 0xAEAE, 0);
    ASSERT_TRUE(WaitUntil([&] { return smtp.Connections() >= 2; }, kSchedulerWaitMs)) << "the tick did not begin";
    Sleep(2000);
    DWORD start = GetTickCount();
    PostMessageA(window_, WM_COMMAND, IDM_EXIT, 0);
    DWORD code = 1;
    ASSERT_TRUE(scheduler.WaitForExit(kSchedulerWaitMs, &code)) << "the scheduler did not end";
    EXPECT_EQ(code, 0u);
    const DWORD exitMs = GetTickCount() - start;
    EXPECT_LT(exitMs, kMessageWaitMs + 4000) << "Exit waited for more than the current message";
    std::vector<QueuedMessage> queue = ReadQueue();
    ASSERT_EQ(queue.size(), 10u) << Log();
    uint32_t tries = 0;
    for (const QueuedMessage &message : queue)
        tries += message.count;
    EXPECT_LE(tries, 2u) << "at most the message of each tick used a try";
    // The tick in hand tried "tarpit 1"; Exit kept it from starting on "tarpit 2".
    EXPECT_EQ(CountOf(Log(), "Subject: tarpit 2\r\n"), 0u) << "a message was started after Exit: " << Log();
    std::printf("Exit during the tick: ended after %lu ms\n", static_cast<unsigned long>(exitMs));
}

// A dialog of the scheduler that is open when a tick starts is disabled while the tick
// works (its messages are still dispatched) and enabled again when the tick ends.
TEST_F(TrayDuringATick, DialogOpenWhenATickStartsIsDisabledForTheTick)
{
    TarpitSmtpServer smtp(kTarpitReplyMs);
    ASSERT_TRUE(smtp.Start());
    QueueMessage(0, "tarpit 0");
    SchedulerProcess scheduler;
    StartScheduler(scheduler);
    PostMessageA(window_, WM_COMMAND, IDM_CONFIGURE, 0);
    HWND dialog = WaitForDialog(scheduler.ThreadId(), kConfigurationCaption, kSchedulerWaitMs);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(IsWindowEnabled(dialog));

    bool sawDisabled = false, sawEnabledDuringTick = false;
    TickWatch watch = WatchTick(1, 60000, [&](DWORD elapsed) {
        if (elapsed < 1000 || smtp.Connections() == 0)
            return;
        if (IsWindowEnabled(dialog))
            sawEnabledDuringTick = true;
        else
            sawDisabled = true;
    });
    ASSERT_TRUE(watch.ended);
    EXPECT_TRUE(sawDisabled) << "the dialog stayed enabled during the tick";
    EXPECT_FALSE(sawEnabledDuringTick);
    EXPECT_LE(watch.longestAnswerMs, kAnswerLimitMs);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(dialog) != FALSE; }, 5000)) << "not enabled after the tick";
    PostClick(dialog, IDCANCEL);
    ASSERT_TRUE(WaitForWindowGone(dialog, kSchedulerWaitMs));
    EXPECT_TRUE(scheduler.Exit());
}

} // namespace
} // namespace quillon::test
