// mail_send_bench BIN_DIR SERVER COUNT [PORT SECURITY LOGIN PASSWORD DESTINATION]
// Sends COUNT messages through BIN_DIR\mailwire.dll to the SMTP server SERVER within one
// session, as the scheduler's dispatch pass does, and prints the time taken and the rate.
// Plain (no PORT...): each message its own full dialogue. With PORT, SECURITY (1 STARTTLS,
// 2 TLS), LOGIN, PASSWORD and DESTINATION: secure submission with sign-in. Sets the Configuration
// values for the load and puts the previous ones back afterwards.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "common/scramble.h"
#include "mail/loader/mail_library.h"

using namespace quillon;

int main(int argc, char **argv)
{
    if (argc != 4 && argc != 9) {
        std::fprintf(stderr, "usage: mail_send_bench BIN_DIR SERVER COUNT [PORT SECURITY LOGIN PASSWORD DESTINATION]\n");
        return 2;
    }
    const bool secure = argc == 9;
    const char *destination = secure ? argv[8] : "pager@example.net";
    const std::string library = std::string(argv[1]) + "\\mailwire.dll";
    const int count = std::atoi(argv[3]);

    RegistryKey key;
    if (CreateUserKey(kConfigurationKeyPath, &key) != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot open Configuration\n");
        return 1;
    }
    // Every value this run writes, as it was before (raw data, or absent).
    struct Saved {
        const char *name;
        bool present;
        DWORD type;
        std::string data;
    };
    const char *const written[] = {config_values::kSMTPServer, config_values::kSMTPPort, config_values::kSMTPSecurity,
                                   config_values::kSMTPLogin, config_values::kPassword};
    std::vector<Saved> saved;
    for (const char *name : written) {
        Saved value = {name, false, 0, std::string(4096, '\0')};
        DWORD size = static_cast<DWORD>(value.data.size());
        value.present = RegQueryValueExA(key.Get(), name, nullptr, &value.type,
                                         reinterpret_cast<BYTE *>(&value.data[0]), &size) == ERROR_SUCCESS;
        value.data.resize(value.present ? size : 0);
        saved.push_back(value);
    }
    key.WriteString(config_values::kSMTPServer, argv[2]);
    if (secure) {
        key.WriteDword(config_values::kSMTPPort, static_cast<DWORD>(std::atoi(argv[4])));
        key.WriteDword(config_values::kSMTPSecurity, static_cast<DWORD>(std::atoi(argv[5])));
        key.WriteString(config_values::kSMTPLogin, argv[6]);
        std::string scrambled = ScrambleText(argv[7]);
        scrambled.push_back('\0');
        RegSetValueExA(key.Get(), config_values::kPassword, 0, REG_SZ,
                       reinterpret_cast<const BYTE *>(scrambled.data()), static_cast<DWORD>(scrambled.size()));
    }

    MailLibrary mail;
    DWORD loaded = mail.Load(library.c_str());
    for (const Saved &value : saved) {
        if (value.present)
            RegSetValueExA(key.Get(), value.name, 0, value.type, reinterpret_cast<const BYTE *>(value.data.data()),
                           static_cast<DWORD>(value.data.size()));
        else
            RegDeleteValueA(key.Get(), value.name);
    }
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
        if (mail.Send(session, "bench@example.net", destination, subject.c_str(), body.c_str()) < 0)
            ++failed;
    }
    mail.Logoff(session);
    QueryPerformanceCounter(&end);
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    std::printf("mailwire: %d messages (%d failed) in %.2f s: %.1f messages/s%s\n", count, failed, seconds,
                count / seconds, secure ? " (secure submission, one session)" : "");
    return failed == 0 ? 0 : 1;
}
