// Registry paths, value names and registered window-message names shared by every
// deliverable. All keys live under HKEY_CURRENT_USER.
#pragma once

#include <cstdint>

namespace quillon {

constexpr char kRootKeyPath[] = "Software\\Kestrova\\Tasqeduler";
constexpr char kConfigurationKeyPath[] = "Software\\Kestrova\\Tasqeduler\\Configuration";
constexpr char kTasksKeyPath[] = "Software\\Kestrova\\Tasqeduler\\Tasks";
constexpr char kFailedTasksKeyPath[] = "Software\\Kestrova\\Tasqeduler\\FailedTasks";
constexpr char kMailKeyPath[] = "Software\\Kestrova\\Tasqeduler\\Mail";

// Values of a task key.
namespace task_values {
constexpr char kNeedsInternet[] = "NeedsInternet";
constexpr char kDisplayName[] = "DisplayName";
constexpr char kAppName[] = "AppName";
constexpr char kCommandLine[] = "CommandLine";
constexpr char kHasDates[] = "HasDates";
constexpr char kHasTimes[] = "HasTimes";
constexpr char kNotWeekend[] = "NotWeekend";
constexpr char kDisabled[] = "Disabled";
constexpr char kStartDate[] = "StartDate";
constexpr char kEndDate[] = "EndDate";
constexpr char kLastRun[] = "LastRun";
constexpr char kTaskType[] = "TaskType";
constexpr char kValue[] = "Value";
constexpr char kValue2[] = "Value2";
constexpr char kDaysOfWeek[] = "DaysOfWeek";
constexpr char kMonthsOfYear[] = "MonthsOfYear";
constexpr char kTimeout[] = "Timeout";
constexpr char kLogging[] = "Logging";
constexpr char kSelection[] = "Selection";
constexpr char kChopMessage[] = "ChopMessage";
// Opt-in change watch of a page task: nonzero SendIfChanged makes the page sender queue
// only when the page's text differs from the one it sent last, whose SHA-256 it keeps
// in LastTextDigest (32 bytes; written by the page sender only).
constexpr char kSendIfChanged[] = "SendIfChanged";
constexpr char kLastTextDigest[] = "LastTextDigest";
} // namespace task_values

// Values of a retry-queue entry under FailedTasks.
namespace failed_task_values {
constexpr char kTaskRetryTime[] = "TaskRetryTime";
constexpr char kTaskRetryCount[] = "TaskRetryCount";
} // namespace failed_task_values

// Values of a queued message under Mail.
namespace mail_values {
constexpr char kSubject[] = "Subject";
constexpr char kBody[] = "Body";
constexpr char kRetryCount[] = "RetryCount";
constexpr char kRetryTime[] = "RetryTime";
} // namespace mail_values

// Values of the Configuration key.
namespace config_values {
constexpr char kMailSystem[] = "MailSystem";
constexpr char kMailLibrary[] = "MailLibrary";
constexpr char kSMTPServer[] = "SMTPServer";
constexpr char kProfile[] = "Profile";
constexpr char kPassword[] = "Password";
constexpr char kSender[] = "Sender";
constexpr char kDestination[] = "Destination";
constexpr char kMaxMsgLen[] = "MaxMsgLen";
constexpr char kUsesDialup[] = "UsesDialup";
constexpr char kDialupName[] = "DialupName";
constexpr char kTimeout[] = "Timeout";
constexpr char kPOP3Authentication[] = "POP3Authentication";
constexpr char kPOP3Server[] = "POP3Server";
constexpr char kPOP3Login[] = "POP3Login";
constexpr char kLogging[] = "Logging";
constexpr char kClipSubject[] = "ClipSubject";
constexpr char kRetryCount[] = "RetryCount";
constexpr char kRetryTime[] = "RetryTime";
constexpr char kTaskRetryCount[] = "TaskRetryCount";
constexpr char kTaskRetryTime[] = "TaskRetryTime";
constexpr char kDontDial[] = "DontDial";
constexpr char kDontSend[] = "DontSend";
constexpr char kMyMenuId[] = "MyMenuId";
constexpr char kIEMenuId[] = "IEMenuId";
constexpr char kBrowserName[] = "BrowserName";
constexpr char kRemindIntro[] = "RemindIntro";
// Secure mail submission (optional; absent means plain SMTP as before).
constexpr char kSMTPPort[] = "SMTPPort";          // REG_DWORD; 0: the services database's "smtp"
constexpr char kSMTPSecurity[] = "SMTPSecurity";  // REG_DWORD; 0 plain, 1 STARTTLS, 2 TLS
constexpr char kSMTPLogin[] = "SMTPLogin";        // REG_SZ; sign-in user name
// Push notification (MailSystem 2, MailLibrary "mailpush.dll"; absent otherwise).
constexpr char kPushService[] = "PushService";    // REG_DWORD; 1 ntfy ... 7 JSON webhook
constexpr char kPushServer[] = "PushServer";      // REG_SZ; the service's server or API URL
constexpr char kPushTarget[] = "PushTarget";      // REG_SZ; topic, chat id or user key
constexpr char kPushSecret[] = "PushSecret";      // REG_BINARY, CryptProtectData for the user
} // namespace config_values

// MailSystem values.
constexpr uint32_t kMailSystemSmtp = 0;
constexpr uint32_t kMailSystemMapi = 1;
constexpr uint32_t kMailSystemPush = 2;
// The Sender of a push configuration whose Sender is empty: the product's name.
constexpr char kPushDefaultSender[] = "Quillon";
// Values directly under kRootKeyPath.
namespace root_values {
// REG_DWORD: the user's answer to the divide question of the page-capture doors (browser
// extension, "Watch a page..."), kept between captures: 1 divides long texts.
constexpr char kCaptureDivide[] = "CaptureDivide";
} // namespace root_values

// The library used when MailLibrary is empty or absent.
constexpr char kDefaultMailLibrary[] = "MAILSIMPLE.DLL";

// Registered window messages.
constexpr char kMsgAppTaskChanged[] = "quillon:msg:apptaskchanged";
constexpr char kMsgUpdateConfig[] = "quillon:msg:updateconfig";
constexpr char kMsgAlreadyRunning[] = "quillon:msg:alreadyrunning";
constexpr char kMsgRemindIntro[] = "quillon:msg:remindintro";

} // namespace quillon
