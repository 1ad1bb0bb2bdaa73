#include "scheduler/config_dialog/config_dialog.h"

#include <commctrl.h>

#include "common/html_help.h"
#include "common/window_support.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/text.h"
#include "resources/resource_ids.h"
#include "common/config/configuration_key.h"
#include "scheduler/config_dialog/config_form.h"

namespace quillon {

namespace {

enum PageIndex { kMailPage, kConnectionPage, kAdvancedPage, kErrorsPage, kOutgoingPage, kPageCount };

constexpr int kPageTemplates[kPageCount] = {IDD_CONFIG_MAIL, IDD_CONFIG_CONNECTION, IDD_CONFIG_ADVANCED,
                                            IDD_CONFIG_ERRORS, IDD_CONFIG_OUTGOING};
constexpr int kPageTitles[kPageCount] = {IDS_TAB_MAIL_SYSTEM, IDS_TAB_INTERNET_CONNECTION, IDS_TAB_ADVANCED,
                                         IDS_TAB_ERROR_HANDLING, IDS_TAB_OUTGOING_SERVER};
// Help contexts of quillon.chm by page (the outgoing server is the mail system's topic).
constexpr DWORD kPageHelpContexts[kPageCount] = {1003, 1002, 1001, 1003, 1007};
constexpr int kPortTextLimit = 5;

constexpr int kLongTextLimit = 259;
constexpr int kNumberTextLimit = 4;

struct DialogState {
    const ConfigDialogContext *context = nullptr;
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
void ApplyMailChoice(HWND mailPage, MailChoice choice)
{
    SetChecked(mailPage, IDC_MAIL_SMTP, choice == MailChoice::Smtp);
    SetChecked(mailPage, IDC_MAIL_MAPI, choice == MailChoice::Mapi);
    if (choice == MailChoice::None)
        return;
    const bool mapi = choice == MailChoice::Mapi;
    EnableItem(mailPage, IDC_MAIL_PROFILE, mapi);
    EnableItem(mailPage, IDC_MAIL_CHANGE_PASSWORD, mapi);
    EnableItem(mailPage, IDC_MAIL_SMTP_SERVER, !mapi);
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
    return form;
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

    ApplyMailChoice(mail, key.NumberOr(kMailSystem, 0) == 0 ? MailChoice::Smtp : MailChoice::Mapi);
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
    if (message != WM_COMMAND)
        return FALSE;
    DialogState *state = StateOf(page);
    if (state == nullptr)
        return FALSE;
    const int id = LOWORD(wParam);
    const bool clicked = HIWORD(wParam) == BN_CLICKED;
    if (page == state->pages[kMailPage]) {
        if (clicked && id == IDC_MAIL_SMTP)
            ApplyMailChoice(page, MailChoice::Smtp);
        else if (clicked && id == IDC_MAIL_MAPI)
            ApplyMailChoice(page, MailChoice::Mapi);
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
        ConfigurationKey key;
        if (!key.Open())
            ProposeFirstConfiguration(*state);
        else
            LoadExistingConfiguration(*state, key);
        ApplyTextLimits(*state);
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
            SaveConfiguration(*state);
            EndDialog(frame, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
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
