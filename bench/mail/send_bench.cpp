// mail_send_bench BIN_DIR SERVER COUNT
// Sends COUNT messages through BIN_DIR\mailwire.dll to the SMTP server SERVER within one
// session (each message its own full dialogue, as the scheduler's dispatch pass does)
// and prints the time taken and the rate. Sets Configuration SMTPServer for the load and
// puts the previous value back afterwards.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "mail/loader/mail_library.h"

using namespace quillon;

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: mail_send_bench BIN_DIR SERVER COUNT\n");
        return 2;
    }
    const std::string library = std::string(argv[1]) + "\\mailwire.dll";
    const int count = std::atoi(argv[3]);

    RegistryKey key;
    if (CreateUserKey(kConfigurationKeyPath, &key) != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot open Configuration\n");
        return 1;
    }
    std::string previous;
    bool hadPrevious = key.ReadString(config_values::kSMTPServer, &previous) == ERROR_SUCCESS;
    key.WriteString(config_values::kSMTPServer, argv[2]);

    MailLibrary mail;
    DWORD loaded = mail.Load(library.c_str());
    if (hadPrevious)
        key.WriteString(config_values::kSMTPServer, previous);
    else
        key.DeleteValue(config_values::kSMTPServer);
    if (loaded != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot load %s: error %lu\n", library.c_str(), loaded);
        return 1;
    }

    const std::string body =
        "Markets close higher as technology shares recover; oil steady near last week's level. "
        "Weather: light rain in the evening, clearing overnight. Traffic: delays on the ring road.";
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    MailSession session = 0;
    if (mail.Logon("", "", &session, 0, "") != kMailOk) {
        std::fprintf(stderr, "QLLogon failed\n");
        return 1;
    }
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        std::string subject = "Bench message " + std::to_string(i + 1);
        if (mail.Send(session, "bench@example.net", "pager@example.net", subject.c_str(), body.c_str()) < 0)
            ++failed;
    }
    mail.Logoff(session);
    QueryPerformanceCounter(&end);
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    std::printf("mailwire: %d messages (%d failed) in %.2f s: %.1f messages/s\n", count, failed, seconds,
                count / seconds);
    return failed == 0 ? 0 : 1;
}
