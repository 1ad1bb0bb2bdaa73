// The configuration dialog's values as plain data: what its four pages hold, whether
// they may be confirmed, and the registry writes that confirming makes. No Windows
// header here: the dialog procedure only moves values between controls and a ConfigForm.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// Which mail option of the Mail System page is selected. None happens at a first
// configuration when the machine names no usable default mail client. Push is the
// push-notification library, set up on the Push Notification page.
enum class MailChoice { None, Smtp, Mapi, Push };

struct ConfigForm {
    // Mail System page.
    MailChoice mail = MailChoice::None;
    std::string smtpServer;
    std::string profile;
    std::string password;        // plain text; scrambled only when written
    std::string sender;
    std::string destination;
    std::string maxMsgLen;
    // Internet Connection page.
    bool dialUp = false;
    std::string dialupName;
    std::string hangUpMinutes;
    // Advanced page.
    bool pop3 = false;
    std::string pop3Server;
    std::string pop3Login;
    bool logging = false;
    std::string logFile;
    bool noPageTitle = false;
    // Error Handling page (edit texts).
    std::string taskRetryCount;
    std::string taskRetryTime;
    std::string retryCount;
    std::string retryTime;
    // Outgoing Server page (SMTP only; all empty or 0 means plain SMTP as before).
    std::string smtpPort;        // digits; empty or 0: the standard port
    uint32_t smtpSecurity = 0;   // 0 None, 1 STARTTLS, 2 TLS
    std::string smtpLogin;       // sign-in user name; shares `password` with POP3
    // Push Notification page (used with MailChoice::Push; kept as stored otherwise).
    uint32_t pushService = 0;    // PushService, 0 when none is chosen
    std::string pushServer;
    std::string pushTarget;
    std::string pushSecret;      // plain text; protected for the user only when written
};

// The Destination a push configuration stores and logs: the service and its target,
// "ntfy: alerts" (empty when no service is chosen).
std::string PushDestination(const ConfigForm &form);
// The service's limit of one message, 0 when no service is chosen: proposed as
// MaxMsgLen when a service is chosen, and the largest MaxMsgLen accepted.
uint32_t PushMessageLimit(uint32_t service);
// True when the push values can make a request (see push::CheckSettings); *plainHttp
// says the server was given as http:// (the page warns).
bool PushValuesUsable(const ConfigForm &form, bool *plainHttp);

// True when the OK button may be enabled: a server (SMTP) or a profile (MAPI), both
// addresses, a maximum length whose first three digits are not 0, and with dial-up a
// connection name and a hang-up time whose first three digits are not 0. With SMTP also
// a port of at most 65535, and no sign-in name without STARTTLS or TLS (the mail
// library refuses to send credentials in clear). With Push: usable push values and a
// maximum length of at most the service's limit, and neither a server, a profile nor
// the addresses (the Destination is made from the service, the Sender may be empty).
bool ConfigFormAcceptable(const ConfigForm &form);

// Decimal value of at most the first three characters of text ("1000" gives 100).
long LeadingThreeDigitsValue(const std::string &text);

// One registry operation of the save, in the order they must happen.
struct ConfigWrite {
    // Secret: `text` is the plain secret, which the writer protects for the user
    // (CryptProtectData) and stores as REG_BINARY.
    enum class Kind { Dword, Text, Delete, Secret };
    Kind kind = Kind::Text;
    std::string name;
    uint32_t number = 0;
    // For Text: the bytes to store before the terminating zero. The scrambled password
    // may hold zero bytes, so writers must store all of them, not stop at the first.
    std::string text;
};

// The writes of a confirmed dialog, in the order they are stored: MailSystem,
// MailLibrary, SMTPServer, Profile, Password (scrambled), Sender, Destination, MaxMsgLen,
// UsesDialup, DialupName, Timeout, POP3Authentication, POP3Server, POP3Login, Logging
// (deleted when the box is cleared; "quillon.log" for an empty name), ClipSubject,
// RetryCount, RetryTime, TaskRetryCount, TaskRetryTime, then SMTPPort, SMTPSecurity,
// SMTPLogin (each deleted when empty or 0), and with Push last PushService, PushServer,
// PushTarget and PushSecret. Retry texts that are empty or not numbers are stored as 0.
// With Push, MailSystem is 2, MailLibrary "mailpush.dll", Destination the service and
// target, and an empty Sender is stored as "Quillon"; the push values stay as stored
// when another mail option is confirmed.
std::vector<ConfigWrite> ConfigFormWrites(const ConfigForm &form);

// The retry fields hold numbers the scheduler uses as counts and minutes: a value that
// the leading-digits conversion reads as negative is stored as 0.
uint32_t RetryFieldValue(const std::string &text);

// The port field's value: 0 when empty, above 65535 when out of range.
uint32_t SmtpPortValue(const std::string &text);

} // namespace quillon
