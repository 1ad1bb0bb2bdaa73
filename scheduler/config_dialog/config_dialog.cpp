#include "scheduler/config_dialog/config_dialog.h"

#include <commctrl.h>

#include <memory>

#include "common/html_help.h"
#include "common/window_support.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/push/push_secret.h"
#include "common/push/push_send.h"
#include "resources/resource_ids.h"
#include "common/config/configuration_key.h"
#include "scheduler/config_dialog/config_form.h"

namespace quillon {

namespace {

enum PageIndex { kMailPage, kConnectionPage, kAdvancedPage, kErrorsPage, kOutgoingPage, kPushPage, kPageCount };

constexpr int kPageTemplates[kPageCount] = {IDD_CONFIG_MAIL, IDD_CONFIG_CONNECTION, IDD_CONFIG_ADVANCED,
                                            IDD_CONFIG_ERRORS, IDD_CONFIG_OUTGOING, IDD_CONFIG_PUSH};
constexpr int kPageTitles[kPageCount] = {IDS_TAB_MAIL_SYSTEM, IDS_TAB_INTERNET_CONNECTION, IDS_TAB_ADVANCED,
                                         IDS_TAB_ERROR_HANDLING, IDS_TAB_OUTGOING_SERVER, IDS_TAB_PUSH};
// Help contexts of quillon.chm by page (the outgoing server is the mail system's topic,
// and so is the push page).
constexpr DWORD kPageHelpContexts[kPageCount] = {1003, 1002, 1001, 1003, 1007, 1003};
// Send Test's worker posts this to the push page when the answer is in.
constexpr UINT kPushTestDone = WM_APP + 28;
// A token or webhook URL may be longer than a registry text.
constexpr int kSecretTextLimit = 2047;
constexpr int kPortTextLimit = 5;

constexpr int kLongTextLimit = 259;
constexpr int kNumberTextLimit = 4;

// One Send Test under way: the worker thread owns nothing; the dialog deletes the job
// once the thread has ended.
struct PushTestJob {
    HWND page = nullptr;
    HANDLE thread = nullptr;
    HANDLE cancel = nullptr;
    push::ServiceSettings settings;
    std::string subject;
    std::string body;
    PushOutcome outcome;
};

struct DialogState {
    const ConfigDialogContext *context = nullptr;
    PushTestJob *pushTest = nullptr;
    HWND frame = nullptr;
    HWND tabs = nullptr;
    HWND pages[kPageCount] = {};
    // Setting texts while opening fires EN_CHANGE; the OK button starts enabled, so
    // validation waits until the dialog is open.
    bool opening = true;
};

DialogState *StateOf(HWND window) { return reinterpret_cast<DialogState *>(GetWindowLongPtrA(window, DWLP_USER)); }

std::string ItemText(HWND page, int id)
{
    char buffer[kTextBufferSize] = "";
    GetDlgItemTextA(page, id, buffer, sizeof buffer);
    return buffer;
}

void SetItemText(HWND page, int id, const std::string &text) { SetDlgItemTextA(page, id, text.c_str()); }
void SetItemNumber(HWND page, int id, uint32_t value) { SetItemText(page, id, std::to_string(value)); }
bool IsChecked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }
void SetChecked(HWND page, int id, bool checked) { CheckDlgButton(page, id, checked ? BST_CHECKED : BST_UNCHECKED); }
void EnableItem(HWND page, int id, bool enable) { EnableWindow(GetDlgItem(page, id), enable ? TRUE : FALSE); }
void LimitText(HWND page, int id, int limit) { SendDlgItemMessageA(page, id, EM_LIMITTEXT, limit, 0); }

void SelectExactEntry(HWND page, int id, const std::string &text)
{
    LRESULT index = SendDlgItemMessageA(page, id, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(text.c_str()));
    if (index != CB_ERR)
        SendDlgItemMessageA(page, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void FillList(HWND page, int id, const ListProposal &proposal)
{
    for (const std::string &entry : proposal.entries)
        SendDlgItemMessageA(page, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    if (proposal.selectFirst && !proposal.entries.empty())
        SendDlgItemMessageA(page, id, CB_SETCURSEL, 0, 0);
    if (proposal.hasPreferred)
        SelectExactEntry(page, id, proposal.preferred);
}

// The Mail System page's controls follow the selected option, as a click on it does.
// With push chosen, neither a server nor a profile is used, and the destination is
// made from the Push Notification page.
void ApplyMailChoice(HWND mailPage, MailChoice choice)
{
    SetChecked(mailPage, IDC_MAIL_SMTP, choice == MailChoice::Smtp);
    SetChecked(mailPage, IDC_MAIL_MAPI, choice == MailChoice::Mapi);
    SetChecked(mailPage, IDC_MAIL_PUSH, choice == MailChoice::Push);
    if (choice == MailChoice::None)
        return;
    const bool mapi = choice == MailChoice::Mapi;
    const bool push = choice == MailChoice::Push;
    EnableItem(mailPage, IDC_MAIL_PROFILE, mapi);
    EnableItem(mailPage, IDC_MAIL_CHANGE_PASSWORD, mapi);
    EnableItem(mailPage, IDC_MAIL_SMTP_SERVER, !mapi && !push);
    EnableItem(mailPage, IDC_MAIL_DESTINATION, !push);
}

// The secret's edit holds more than a registry text.
std::string SecretText(HWND page)
{
    HWND edit = GetDlgItem(page, IDC_PUSH_SECRET);
    int length = GetWindowTextLengthA(edit);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = GetWindowTextA(edit, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void ReadPushValues(const DialogState &state, ConfigForm *form)
{
    HWND push = state.pages[kPushPage];
    LRESULT selected = SendDlgItemMessageA(push, IDC_PUSH_SERVICE, CB_GETCURSEL, 0, 0);
    form->pushService = selected == CB_ERR ? 0 : static_cast<uint32_t>(selected) + push::kFirstService;
    form->pushServer = ItemText(push, IDC_PUSH_SERVER);
    form->pushTarget = ItemText(push, IDC_PUSH_TARGET);
    form->pushSecret = SecretText(push);
}

void ApplyDialupChoice(HWND connectionPage, bool dialUp)
{
    SetChecked(connectionPage, IDC_CONN_DIALUP, dialUp);
    SetChecked(connectionPage, IDC_CONN_ALWAYS, !dialUp);
    EnableItem(connectionPage, IDC_CONN_ENTRY, dialUp);
    EnableItem(connectionPage, IDC_CONN_HANGUP_MINUTES, dialUp);
}

void ApplyPop3Choice(HWND advancedPage, bool pop3)
{
    SetChecked(advancedPage, IDC_ADV_POP3, pop3);
    EnableItem(advancedPage, IDC_ADV_POP3_SERVER, pop3);
    EnableItem(advancedPage, IDC_ADV_POP3_LOGIN, pop3);
    EnableItem(advancedPage, IDC_ADV_CHANGE_PASSWORD, pop3);
}

void ApplyLoggingChoice(HWND advancedPage, bool logging)
{
    SetChecked(advancedPage, IDC_ADV_LOG, logging);
    EnableItem(advancedPage, IDC_ADV_LOG_FILE, logging);
}

// The Outgoing Server page: one security option checked, and the password can be
// changed there while a sign-in name is entered.
void ApplySecurityChoice(HWND outgoingPage, uint32_t security)
{
    SetChecked(outgoingPage, IDC_OUT_SECURITY_NONE, security == 0 || security > 2);
    SetChecked(outgoingPage, IDC_OUT_SECURITY_STARTTLS, security == 1);
    SetChecked(outgoingPage, IDC_OUT_SECURITY_TLS, security == 2);
}

void ApplySignInName(HWND outgoingPage)
{
    EnableItem(outgoingPage, IDC_OUT_CHANGE_PASSWORD, GetWindowTextLengthA(GetDlgItem(outgoingPage, IDC_OUT_LOGIN)) > 0);
}

// The one Password, shown on every page that uses it.
void SetPassword(const DialogState &state, const std::string &password)
{
    SetItemText(state.pages[kMailPage], IDC_MAIL_PASSWORD, password);
    SetItemText(state.pages[kAdvancedPage], IDC_ADV_PASSWORD, password);
    SetItemText(state.pages[kOutgoingPage], IDC_OUT_PASSWORD, password);
}

ConfigForm ReadForm(const DialogState &state)
{
    HWND mail = state.pages[kMailPage];
    HWND connection = state.pages[kConnectionPage];
    HWND advanced = state.pages[kAdvancedPage];
    HWND errors = state.pages[kErrorsPage];
    ConfigForm form;
    form.mail = IsChecked(mail, IDC_MAIL_SMTP)   ? MailChoice::Smtp
                : IsChecked(mail, IDC_MAIL_MAPI) ? MailChoice::Mapi
                                                 : MailChoice::None;
    form.smtpServer = ItemText(mail, IDC_MAIL_SMTP_SERVER);
    form.profile = ItemText(mail, IDC_MAIL_PROFILE);
    form.password = ItemText(mail, IDC_MAIL_PASSWORD);
    form.sender = ItemText(mail, IDC_MAIL_SENDER);
    form.destination = ItemText(mail, IDC_MAIL_DESTINATION);
    form.maxMsgLen = ItemText(mail, IDC_MAIL_MAX_LENGTH);
    form.dialUp = IsChecked(connection, IDC_CONN_DIALUP);
    form.dialupName = ItemText(connection, IDC_CONN_ENTRY);
    form.hangUpMinutes = ItemText(connection, IDC_CONN_HANGUP_MINUTES);
    form.pop3 = IsChecked(advanced, IDC_ADV_POP3);
    form.pop3Server = ItemText(advanced, IDC_ADV_POP3_SERVER);
    form.pop3Login = ItemText(advanced, IDC_ADV_POP3_LOGIN);
    form.logging = IsChecked(advanced, IDC_ADV_LOG);
    form.logFile = ItemText(advanced, IDC_ADV_LOG_FILE);
    form.noPageTitle = IsChecked(advanced, IDC_ADV_NO_TITLE);
    form.taskRetryCount = ItemText(errors, IDC_ERR_TASK_RETRY_COUNT);
    form.taskRetryTime = ItemText(errors, IDC_ERR_TASK_RETRY_TIME);
    form.retryCount = ItemText(errors, IDC_ERR_MAIL_RETRY_COUNT);
    form.retryTime = ItemText(errors, IDC_ERR_MAIL_RETRY_TIME);
    HWND outgoing = state.pages[kOutgoingPage];
    form.smtpPort = ItemText(outgoing, IDC_OUT_PORT);
    form.smtpSecurity = IsChecked(outgoing, IDC_OUT_SECURITY_TLS)        ? 2
                        : IsChecked(outgoing, IDC_OUT_SECURITY_STARTTLS) ? 1
                                                                          : 0;
    form.smtpLogin = ItemText(outgoing, IDC_OUT_LOGIN);
    if (IsChecked(mail, IDC_MAIL_PUSH))
        form.mail = MailChoice::Push;
    ReadPushValues(state, &form);
    return form;
}

// What the Push Notification page shows besides its fields: the destination it makes
// (on the Mail System page, while push is chosen) and the warning for an http:// server.
void ShowPushConsequences(const DialogState &state)
{
    ConfigForm form;
    ReadPushValues(state, &form);
    bool plainHttp = false;
    PushValuesUsable(form, &plainHttp);
    ShowWindow(GetDlgItem(state.pages[kPushPage], IDC_PUSH_HTTP_WARNING), plainHttp ? SW_SHOW : SW_HIDE);
    ClearSecretText(&form.pushSecret);
    if (IsChecked(state.pages[kMailPage], IDC_MAIL_PUSH))
        SetItemText(state.pages[kMailPage], IDC_MAIL_DESTINATION, PushDestination(form));
}

void LoadPushValues(const DialogState &state, const ConfigurationKey &key)
{
    using namespace config_values;
    HWND push = state.pages[kPushPage];
    const uint32_t service = key.NumberOr(kPushService, 0);
    if (service >= push::kFirstService && service <= push::kLastService)
        SendDlgItemMessageA(push, IDC_PUSH_SERVICE, CB_SETCURSEL, service - push::kFirstService, 0);
    SetItemText(push, IDC_PUSH_SERVER, key.TextOr(kPushServer, ""));
    SetItemText(push, IDC_PUSH_TARGET, key.TextOr(kPushTarget, ""));
    std::string secret;
    ReadPushSecret(&secret);
    SetItemText(push, IDC_PUSH_SECRET, secret);
    ClearSecretText(&secret);
}

void FillPushServices(const DialogState &state)
{
    for (int id = IDS_PUSH_SERVICE_FIRST; id <= IDS_PUSH_SERVICE_LAST; ++id) {
        char name[kTextBufferSize] = "";
        LoadStringA(state.context->resources, id, name, sizeof name);
        SendDlgItemMessageA(state.pages[kPushPage], IDC_PUSH_SERVICE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
}

std::string ResourceText(const DialogState &state, int id)
{
    char text[kTextBufferSize] = "";
    LoadStringA(state.context->resources, id, text, sizeof text);
    return text;
}

DWORD WINAPI RunPushTest(LPVOID parameter)
{
    auto *job = static_cast<PushTestJob *>(parameter);
    job->outcome = SendTestNotification(job->settings, job->subject, job->body, kDefaultPushMessageWaitMs, job->cancel);
    ClearSecretText(&job->settings.secret);
    PostMessageA(job->page, kPushTestDone, 0, 0);
    return 0;
}

void SetPushTestRunning(HWND page, bool running)
{
    EnableItem(page, IDC_PUSH_SEND_TEST, !running);
    EnableItem(page, IDC_PUSH_CANCEL_TEST, running);
}

// Send Test: the page's values, saved or not, on a worker thread, so that the dialog
// keeps answering and Cancel Test can stop the wait.
void StartPushTest(DialogState &state)
{
    if (state.pushTest != nullptr)
        return;
    HWND page = state.pages[kPushPage];
    ConfigForm form;
    ReadPushValues(state, &form);
    auto job = std::make_unique<PushTestJob>();
    job->page = page;
    job->settings.service = form.pushService;
    job->settings.server = form.pushServer;
    job->settings.target = form.pushTarget;
    job->settings.secret = form.pushSecret;
    ClearSecretText(&form.pushSecret);
    job->subject = ResourceText(state, IDS_PUSH_TEST_SUBJECT);
    job->body = ResourceText(state, IDS_PUSH_TEST_BODY);
    job->cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (job->cancel == nullptr)
        return;
    job->thread = CreateThread(nullptr, 0, RunPushTest, job.get(), 0, nullptr);
    if (job->thread == nullptr) {
        CloseHandle(job->cancel);
        return;
    }
    state.pushTest = job.release();
    SetItemText(page, IDC_PUSH_RESULT, ResourceText(state, IDS_PUSH_SENDING));
    SetPushTestRunning(page, true);
}

// Ends the job once its thread has ended; false (the job left running) when it has not
// within waitMs.
bool EndPushTest(DialogState &state, DWORD waitMs)
{
    PushTestJob *job = state.pushTest;
    if (job == nullptr)
        return true;
    if (WaitForSingleObject(job->thread, waitMs) != WAIT_OBJECT_0)
        return false;
    CloseHandle(job->thread);
    CloseHandle(job->cancel);
    delete job;
    state.pushTest = nullptr;
    return true;
}

void FinishPushTest(DialogState &state)
{
    PushTestJob *job = state.pushTest;
    if (job == nullptr)
        return;
    const PushOutcome outcome = job->outcome;
    // The worker posts as its last act: its end is a moment away.
    if (!EndPushTest(state, 5000))
        return;
    HWND page = state.pages[kPushPage];
    std::string shown;
    if (outcome.kind == PushOutcome::Kind::kCancelled) {
        shown = ResourceText(state, IDS_PUSH_TEST_CANCELLED);
    } else {
        char text[kTextBufferSize * 2] = "";
        FormatBounded(text, ResourceText(state, outcome.kind == PushOutcome::Kind::kDelivered ? IDS_PUSH_DELIVERED
                                                                                                : IDS_PUSH_NOT_DELIVERED)
                                .c_str(),
                      outcome.text.c_str());
        shown = text;
    }
    SetItemText(page, IDC_PUSH_RESULT, shown);
    SetPushTestRunning(page, false);
}

// Before the dialog ends: a test still waiting is cancelled, and its thread awaited
// (the cancel ends the wait within a few seconds). A thread that still has not ended
// keeps its job: it is left rather than freed under it.
void StopPushTest(DialogState &state)
{
    if (state.pushTest == nullptr)
        return;
    SetEvent(state.pushTest->cancel);
    if (!EndPushTest(state, 15000))
        state.pushTest = nullptr;
}

void Validate(const DialogState &state)
{
    if (state.opening)
        return;
    EnableWindow(GetDlgItem(state.frame, IDOK), ConfigFormAcceptable(ReadForm(state)) ? TRUE : FALSE);
}

// First configuration: empty fields, the offered numbers, and what the machine proposes.
void ProposeFirstConfiguration(const DialogState &state)
{
    const ConfigDialogContext &context = *state.context;
    HWND mail = state.pages[kMailPage];
    HWND advanced = state.pages[kAdvancedPage];
    HWND errors = state.pages[kErrorsPage];
    for (int id : {IDC_ADV_POP3_SERVER, IDC_ADV_POP3_LOGIN, IDC_ADV_CHANGE_PASSWORD, IDC_ADV_LOG_FILE})
        EnableItem(advanced, id, false);
    for (int id : {IDC_MAIL_SMTP_SERVER, IDC_MAIL_PASSWORD, IDC_MAIL_SENDER, IDC_MAIL_DESTINATION})
        SetItemText(mail, id, "");
    for (int id : {IDC_ADV_POP3_SERVER, IDC_ADV_POP3_LOGIN, IDC_ADV_LOG_FILE, IDC_ADV_PASSWORD})
        SetItemText(advanced, id, "");
    SetItemText(mail, IDC_MAIL_MAX_LENGTH, "500");
    SetChecked(state.pages[kConnectionPage], IDC_CONN_DIALUP, true);
    SetItemText(state.pages[kConnectionPage], IDC_CONN_HANGUP_MINUTES, "5");
    SetItemNumber(errors, IDC_ERR_MAIL_RETRY_COUNT, context.retryCount);
    SetItemNumber(errors, IDC_ERR_MAIL_RETRY_TIME, context.retryMinutes);
    SetItemNumber(errors, IDC_ERR_TASK_RETRY_COUNT, context.taskRetryCount);
    SetItemNumber(errors, IDC_ERR_TASK_RETRY_TIME, context.taskRetryMinutes);
    HWND outgoing = state.pages[kOutgoingPage];
    for (int id : {IDC_OUT_PORT, IDC_OUT_LOGIN, IDC_OUT_PASSWORD})
        SetItemText(outgoing, id, "");
    ApplySecurityChoice(outgoing, 0);
    ApplySignInName(outgoing);

    MailClientProposal proposal = FindMailClientProposal(context.roots);
    ApplyMailChoice(mail, proposal.choice);
    if (proposal.hasAccount) {
        SetItemText(mail, IDC_MAIL_SMTP_SERVER, proposal.smtpServer);
        SetItemText(mail, IDC_MAIL_SENDER, proposal.senderAddress);
        SetItemText(advanced, IDC_ADV_POP3_SERVER, proposal.pop3Server);
        SetItemText(advanced, IDC_ADV_POP3_LOGIN, proposal.pop3Login);
    }
}

// The stored password, unscrambled over its stored length (a password byte equal to the
// key byte scrambles to 0 and must not cut it short).
std::string StoredPassword(const ConfigurationKey &key)
{
    char plain[kTextBufferSize];
    key.ReadPassword(plain);
    std::string password = plain;   // the edit controls end it at its first zero byte, if any
    SecureZeroMemory(plain, sizeof plain);
    return password;
}

void LoadExistingConfiguration(const DialogState &state, const ConfigurationKey &key)
{
    using namespace config_values;
    const ConfigDialogContext &context = *state.context;
    HWND mail = state.pages[kMailPage];
    HWND connection = state.pages[kConnectionPage];
    HWND advanced = state.pages[kAdvancedPage];
    HWND errors = state.pages[kErrorsPage];

    const uint32_t mailSystem = key.NumberOr(kMailSystem, kMailSystemSmtp);
    ApplyMailChoice(mail, mailSystem == kMailSystemSmtp   ? MailChoice::Smtp
                          : mailSystem == kMailSystemPush ? MailChoice::Push
                                                          : MailChoice::Mapi);
    LoadPushValues(state, key);
    SetItemText(mail, IDC_MAIL_SMTP_SERVER, key.TextOr(kSMTPServer, ""));
    SetItemText(mail, IDC_MAIL_SENDER, key.TextOr(kSender, ""));
    SetItemText(mail, IDC_MAIL_DESTINATION, key.TextOr(kDestination, ""));
    SetItemText(mail, IDC_MAIL_MAX_LENGTH, key.TextOr(kMaxMsgLen, ""));
    SelectExactEntry(mail, IDC_MAIL_PROFILE, key.TextOr(kProfile, ""));
    SetPassword(state, StoredPassword(key));

    ApplyDialupChoice(connection, key.NumberOr(kUsesDialup, 0) == 0);
    SelectExactEntry(connection, IDC_CONN_ENTRY, key.TextOr(kDialupName, ""));
    SetItemText(connection, IDC_CONN_HANGUP_MINUTES, key.TextOr(kTimeout, ""));

    ApplyPop3Choice(advanced, key.NumberOr(kPOP3Authentication, 0) != 0);
    SetItemText(advanced, IDC_ADV_POP3_SERVER, key.TextOr(kPOP3Server, ""));
    SetItemText(advanced, IDC_ADV_POP3_LOGIN, key.TextOr(kPOP3Login, ""));
    std::string logFile = key.TextOr(kLogging, "");
    ApplyLoggingChoice(advanced, !logFile.empty());
    SetItemText(advanced, IDC_ADV_LOG_FILE, logFile);
    SetChecked(advanced, IDC_ADV_NO_TITLE, key.NumberOr(kClipSubject, 0) != 0);

    SetItemNumber(errors, IDC_ERR_MAIL_RETRY_COUNT, key.NumberOr(kRetryCount, context.retryCount));
    SetItemNumber(errors, IDC_ERR_MAIL_RETRY_TIME, key.NumberOr(kRetryTime, context.retryMinutes));
    SetItemNumber(errors, IDC_ERR_TASK_RETRY_COUNT, key.NumberOr(kTaskRetryCount, context.taskRetryCount));
    SetItemNumber(errors, IDC_ERR_TASK_RETRY_TIME, key.NumberOr(kTaskRetryTime, context.taskRetryMinutes));

    HWND outgoing = state.pages[kOutgoingPage];
    DWORD port = key.NumberOr(kSMTPPort, 0);
    SetItemText(outgoing, IDC_OUT_PORT, port != 0 ? std::to_string(port) : std::string());
    ApplySecurityChoice(outgoing, key.NumberOr(kSMTPSecurity, 0));
    SetItemText(outgoing, IDC_OUT_LOGIN, key.TextOr(kSMTPLogin, ""));
    ApplySignInName(outgoing);
}

void ApplyTextLimits(const DialogState &state)
{
    for (int id : {IDC_MAIL_PASSWORD, IDC_MAIL_SENDER, IDC_MAIL_DESTINATION})
        LimitText(state.pages[kMailPage], id, kLongTextLimit);
    for (int id : {IDC_ADV_PASSWORD, IDC_ADV_POP3_SERVER, IDC_ADV_POP3_LOGIN, IDC_ADV_LOG_FILE})
        LimitText(state.pages[kAdvancedPage], id, kLongTextLimit);
    LimitText(state.pages[kMailPage], IDC_MAIL_MAX_LENGTH, kNumberTextLimit);
    LimitText(state.pages[kConnectionPage], IDC_CONN_HANGUP_MINUTES, kNumberTextLimit);
    for (int id : {IDC_ERR_TASK_RETRY_COUNT, IDC_ERR_TASK_RETRY_TIME, IDC_ERR_MAIL_RETRY_COUNT, IDC_ERR_MAIL_RETRY_TIME})
        LimitText(state.pages[kErrorsPage], id, kNumberTextLimit);
    LimitText(state.pages[kOutgoingPage], IDC_OUT_LOGIN, kLongTextLimit);
    LimitText(state.pages[kOutgoingPage], IDC_OUT_PORT, kPortTextLimit);
    LimitText(state.pages[kPushPage], IDC_PUSH_SERVER, kLongTextLimit);
    LimitText(state.pages[kPushPage], IDC_PUSH_TARGET, kLongTextLimit);
    LimitText(state.pages[kPushPage], IDC_PUSH_SECRET, kSecretTextLimit);
}

void SaveConfiguration(const DialogState &state)
{
    RegistryKey key;
    if (key.Create(HKEY_CURRENT_USER, kConfigurationKeyPath) != ERROR_SUCCESS)
        return;
    for (const ConfigWrite &write : ConfigFormWrites(ReadForm(state))) {
        switch (write.kind) {
        case ConfigWrite::Kind::Dword:
            key.WriteDword(write.name.c_str(), write.number);
            break;
        case ConfigWrite::Kind::Text:
            // All bytes and one terminating zero: a scrambled password may hold zeros.
            key.WriteString(write.name.c_str(), write.text);
            break;
        case ConfigWrite::Kind::Delete:
            key.DeleteValue(write.name.c_str());
            break;
        case ConfigWrite::Kind::Secret: {
            // Stored only in its protected form; if the system cannot protect it, the
            // old value is removed rather than left to mislead.
            std::string blob;
            if (ProtectPushSecret(write.text, &blob))
                key.WriteBinary(write.name.c_str(), blob.data(), static_cast<DWORD>(blob.size()));
            else
                key.DeleteValue(write.name.c_str());
            break;
        }
        }
    }
}

void ChangePassword(DialogState &state, HWND page)
{
    std::string password;
    if (RunChangePasswordDialog(page, state.context->resources, state.context->caption, &password))
        SetPassword(state, password);
}

void ShowPage(const DialogState &state, int shown)
{
    for (int index = 0; index < kPageCount; ++index)
        ShowWindow(state.pages[index], index == shown ? SW_SHOW : SW_HIDE);
}

INT_PTR PageProcBody(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(page, DWLP_USER, lParam);
        return TRUE;
    }
    DialogState *state = StateOf(page);
    if (message == kPushTestDone && state != nullptr) {
        FinishPushTest(*state);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    if (state == nullptr)
        return FALSE;
    const int id = LOWORD(wParam);
    const bool clicked = HIWORD(wParam) == BN_CLICKED;
    if (page == state->pages[kMailPage]) {
        if (clicked && id == IDC_MAIL_SMTP)
            ApplyMailChoice(page, MailChoice::Smtp);
        else if (clicked && id == IDC_MAIL_MAPI)
            ApplyMailChoice(page, MailChoice::Mapi);
        else if (clicked && id == IDC_MAIL_PUSH) {
            ApplyMailChoice(page, MailChoice::Push);
            ShowPushConsequences(*state);
        }
        else if (clicked && id == IDC_MAIL_CHANGE_PASSWORD)
            ChangePassword(*state, page);
        Validate(*state);
        return TRUE;
    }
    if (page == state->pages[kConnectionPage]) {
        if (clicked && (id == IDC_CONN_DIALUP || id == IDC_CONN_ALWAYS))
            ApplyDialupChoice(page, id == IDC_CONN_DIALUP);
        Validate(*state);
        return TRUE;
    }
    if (page == state->pages[kOutgoingPage]) {
        // Only edits and clicks revalidate: focus notifications arrive while the dialog
        // opens, and a first configuration's OK button starts enabled.
        const bool changed = HIWORD(wParam) == EN_CHANGE;
        if (clicked && id == IDC_OUT_CHANGE_PASSWORD)
            ChangePassword(*state, page);
        else if (changed && id == IDC_OUT_LOGIN)
            ApplySignInName(page);
        if (clicked || changed)
            Validate(*state);
        return TRUE;
    }
    if (page == state->pages[kPushPage]) {
        const int code = HIWORD(wParam);
        if (clicked && id == IDC_PUSH_SEND_TEST) {
            StartPushTest(*state);
        } else if (clicked && id == IDC_PUSH_CANCEL_TEST) {
            if (state->pushTest != nullptr)
                SetEvent(state->pushTest->cancel);
        } else if (code == CBN_SELCHANGE && id == IDC_PUSH_SERVICE) {
            // A service proposes its own limit as the maximum message length.
            LRESULT selected = SendDlgItemMessageA(page, IDC_PUSH_SERVICE, CB_GETCURSEL, 0, 0);
            if (selected != CB_ERR)
                SetItemNumber(state->pages[kMailPage], IDC_MAIL_MAX_LENGTH,
                              PushMessageLimit(static_cast<uint32_t>(selected) + push::kFirstService));
            ShowPushConsequences(*state);
        } else if (code == EN_CHANGE) {
            ShowPushConsequences(*state);
        } else {
            return TRUE;
        }
        Validate(*state);
        return TRUE;
    }
    if (page == state->pages[kAdvancedPage] && clicked) {
        if (id == IDC_ADV_CHANGE_PASSWORD)
            ChangePassword(*state, page);
        else if (id == IDC_ADV_POP3)
            ApplyPop3Choice(page, IsChecked(page, IDC_ADV_POP3));
        else if (id == IDC_ADV_LOG)
            ApplyLoggingChoice(page, IsChecked(page, IDC_ADV_LOG));
        return TRUE;
    }
    return FALSE;
}

bool CreatePages(DialogState &state)
{
    const ConfigDialogContext &context = *state.context;
    for (int index = 0; index < kPageCount; ++index) {
        HWND page = CreateDialogParamA(context.resources, MAKEINTRESOURCEA(kPageTemplates[index]), state.tabs, GuardedDialogProc<PageProcBody>,
                                       reinterpret_cast<LPARAM>(&state));
        if (page == nullptr)
            return false;
        state.pages[index] = page;
        char title[kTextBufferSize] = "";
        LoadStringA(context.resources, kPageTitles[index], title, sizeof title);
        TCITEMA item = {};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = title;
        item.lParam = reinterpret_cast<LPARAM>(page);
        SendMessageA(state.tabs, TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&item));
    }
    // The display area is known only once the tabs are there.
    RECT area;
    GetClientRect(state.tabs, &area);
    TabCtrl_AdjustRect(state.tabs, FALSE, &area);
    for (HWND page : state.pages)
        SetWindowPos(page, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOACTIVATE);
    ShowPage(state, kMailPage);
    TabCtrl_SetCurSel(state.tabs, 0);
    return true;
}

INT_PTR FrameProcBody(HWND frame, UINT message, WPARAM wParam, LPARAM lParam)
{
    DialogState *state = StateOf(frame);
    switch (message) {
    case WM_INITDIALOG: {
        state = reinterpret_cast<DialogState *>(lParam);
        SetWindowLongPtrA(frame, DWLP_USER, lParam);
        state->frame = frame;
        state->tabs = GetDlgItem(frame, IDC_CONFIG_TABS);
        if (!CreatePages(*state)) {
            EndDialog(frame, -1);
            return TRUE;
        }
        FillList(state->pages[kMailPage], IDC_MAIL_PROFILE, FindMessagingProfiles(state->context->roots));
        FillList(state->pages[kConnectionPage], IDC_CONN_ENTRY, FindDialupEntries(state->context->roots));
        FillPushServices(*state);
        ConfigurationKey key;
        if (!key.Open())
            ProposeFirstConfiguration(*state);
        else
            LoadExistingConfiguration(*state, key);
        ApplyTextLimits(*state);
        ShowPushConsequences(*state);
        state->opening = false;
        return TRUE;
    }
    case WM_NOTIFY: {
        const NMHDR *header = reinterpret_cast<const NMHDR *>(lParam);
        if (state != nullptr && header->hwndFrom == state->tabs && header->code == TCN_SELCHANGE)
            ShowPage(*state, TabCtrl_GetCurSel(state->tabs));
        return FALSE;
    }
    case WM_SYSCOMMAND:
        // The caption's help button opens the page's help topic instead of the
        // system's context-help mode.
        if ((wParam & 0xFFF0) == SC_CONTEXTHELP && state != nullptr) {
            int page = TabCtrl_GetCurSel(state->tabs);
            if (page < 0 || page >= kPageCount)
                page = kMailPage;
            ShowHelpContext(frame, state->context->helpFile, kPageHelpContexts[page]);
            RedrawWindow(frame, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
            SetWindowLongPtrA(frame, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && state != nullptr) {
            StopPushTest(*state);
            SaveConfiguration(*state);
            EndDialog(frame, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            if (state != nullptr)
                StopPushTest(*state);
            EndDialog(frame, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

struct PasswordDialogData {
    HMODULE resources;
    const char *caption;
    std::string password;
};

INT_PTR PasswordProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *data = reinterpret_cast<PasswordDialogData *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        LimitText(dialog, IDC_PASSWORD_NEW, kLongTextLimit);
        LimitText(dialog, IDC_PASSWORD_AGAIN, kLongTextLimit);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && data != nullptr) {
            std::string first = ItemText(dialog, IDC_PASSWORD_NEW);
            if (first != ItemText(dialog, IDC_PASSWORD_AGAIN)) {
                char text[kTextBufferSize] = "";
                LoadStringA(data->resources, IDS_PASSWORD_MISMATCH, text, sizeof text);
                MessageBoxA(dialog, text, data->caption, MB_OK);
                return TRUE;
            }
            data->password = first;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

bool RunChangePasswordDialog(HWND owner, HMODULE resources, const char *caption, std::string *password)
{
    PasswordDialogData data{resources, caption, std::string()};
    INT_PTR result = DialogBoxParamA(resources, MAKEINTRESOURCEA(IDD_CHANGE_PASSWORD), owner, GuardedDialogProc<PasswordProcBody>,
                                     reinterpret_cast<LPARAM>(&data));
    if (result != IDOK)
        return false;
    *password = data.password;
    return true;
}

INT_PTR RunConfigurationDialog(HWND owner, const ConfigDialogContext &context)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    DialogState state;
    state.context = &context;
    try {
        return DialogBoxParamA(context.resources, MAKEINTRESOURCEA(IDD_CONFIGURATION), owner, GuardedDialogProc<FrameProcBody>,
                               reinterpret_cast<LPARAM>(&state));
    } catch (...) {
        return -1;
    }
}

} // namespace quillon
