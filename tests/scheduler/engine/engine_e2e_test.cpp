// The whole road of one page under Wine: configuration and a page task in the registry,
// the real tasqui.dll registered, a page served by a loopback HTTP server in this
// program, one MinuteTick of the product engine that starts the real quillon.exe (with
// the real WEBFLAT.DLL), which queues the page's text, which the same tick delivers
// through the real mailwire.dll to the SMTP server that run_e2e.sh started on
// 127.0.0.70:25. Checks the mail that arrived, the emptied queue, the task's LastRun and
// the log.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "common/datetime.h"
#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "scheduler/config/configuration.h"
#include "scheduler/engine/product_engine.h"
#include "tasqui_h.h"
#include "tests/support/end_to_end_setup.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {
namespace {

constexpr char kAddress[] = "127.0.0.70";
constexpr unsigned short kHttpPort = 8023;
constexpr char kPage[] =
    "<html><head><title>Loopback Page</title></head>"
    "<body><p>Hello from the loopback page.</p></body></html>";

// Serves kPage to every request until stopped, for at most a minute.
class PageServer {
public:
    PageServer()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(kHttpPort);
        address.sin_addr.s_addr = inet_addr(kAddress);
        BOOL reuse = TRUE;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&reuse), sizeof reuse);
        listening_ = bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                     listen(listener_, 4) == 0;
        if (listening_)
            thread_ = std::thread([this] { Serve(); });
    }
    ~PageServer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        closesocket(listener_);
        WSACleanup();
    }
    bool Listening() const { return listening_; }
    int Requests() const { return requests_; }

private:
    void Serve()
    {
        DWORD start = GetTickCount();
        while (!stop_ && GetTickCount() - start < 60000) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listener_, &readable);
            timeval wait = {0, 100000};
            if (select(0, &readable, nullptr, nullptr, &wait) != 1)
                continue;
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET)
                continue;
            ++requests_;
            // Read the request head (bounded), then answer and close.
            char buffer[4096];
            std::string request;
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
                timeval readWait = {5, 0};
                fd_set one;
                FD_ZERO(&one);
                FD_SET(client, &one);
                if (select(0, &one, nullptr, nullptr, &readWait) != 1)
                    break;
                int got = recv(client, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                request.append(buffer, static_cast<size_t>(got));
            }
            std::string response = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                   std::to_string(sizeof kPage - 1) + "\r\nConnection: close\r\n\r\n" + kPage;
            send(client, response.data(), static_cast<int>(response.size()), 0);
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    SOCKET listener_ = INVALID_SOCKET;
    bool listening_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

TEST(EngineEndToEnd, OneTickRunsThePageTaskAndDeliversItsTextBySmtp)
{
    ASSERT_NE(std::getenv("QUILLON_E2E_MAILDIR"), nullptr) << "run through run_e2e.sh";
    ResetProductRegistry();
    std::string scratch = MakeScratchDir("engine_e2e");
    std::string logFile = scratch + "\\quillon.log";
    // tasqed lives in the installation folder beside quillon.exe and mailwire.dll; the
    // usual search finds them through the current directory here.
    ASSERT_TRUE(SetCurrentDirectoryA(BinDir().c_str()));

    PageServer server;
    ASSERT_TRUE(server.Listening());
    ASSERT_EQ(S_OK, RegisterScheduleComponent());
    ASSERT_TRUE(WriteConfigurationRows(EndToEndConfiguration(kAddress, "scheduler@example.org", logFile)));
    std::string taskKey = TimestampKeyName(LocalNow());
    std::string url = "http://" + std::string(kAddress) + ":" + std::to_string(kHttpPort) + "/page.html";
    ASSERT_TRUE(WriteMinutePageTask(taskKey, url, false));

    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        ComPtr<ITasqeduleUI> component;
        ASSERT_EQ(CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER, IID_ITasqeduleUI,
                                   component.PutVoid()),
                  S_OK);
        SchedulerSettings settings;
        ASSERT_TRUE(LoadConfiguration(&settings));
        ShellState shell;
        shell.taskListChanged = true;
        ProductEngine engine(settings, shell, nullptr, component.Get());
        engine.MinuteTick();
        EXPECT_FALSE(shell.tickBusy);
    }
    CoUninitialize();

    EXPECT_GE(server.Requests(), 1) << "quillon.exe fetched the page";
    std::vector<std::string> messages = MaildirMessages(std::getenv("QUILLON_E2E_MAILDIR"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Hello from the loopback page."), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("pager@example.org"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("scheduler@example.org"), std::string::npos) << messages[0];

    RegistryKey mail;
    std::string name;
    if (mail.Open(HKEY_CURRENT_USER, kMailKeyPath) == ERROR_SUCCESS)
        EXPECT_NE(mail.EnumSubkeyName(0, &name), ERROR_SUCCESS) << "queue left: " << name;

    RegistryKey task;
    ASSERT_EQ(task.Open(HKEY_CURRENT_USER, (std::string(kTasksKeyPath) + "\\" + taskKey).c_str()), ERROR_SUCCESS);
    DateTime lastRun = {};
    ASSERT_EQ(task.ReadBinary(task_values::kLastRun, &lastRun, sizeof lastRun), ERROR_SUCCESS);
    EXPECT_NE(lastRun.wYear, 0);

    std::string log = ReadWholeFile(logFile);
    for (const std::string &expected : {std::string("TASQED.EXE: "), "    Task " + taskKey + ": ",
                                        std::string("Task completed successfully\r\n"),
                                        std::string("From: scheduler@example.org\r\nTo: pager@example.org\r\n"),
                                        std::string("Succeeded in sending message\r\n")})
        EXPECT_NE(log.find(expected), std::string::npos) << "missing: " << expected << "\n" << log;
    EXPECT_LT(log.find("Task completed successfully"), log.find("Succeeded in sending message")) << log;
    ResetProductRegistry();
}

} // namespace
} // namespace quillon::test
