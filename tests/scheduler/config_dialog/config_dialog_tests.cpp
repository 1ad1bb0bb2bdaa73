// The configuration dialog driven by control id from the test thread while it runs
// modally on a second thread: proposals at a first configuration, loading a stored
// configuration, validation of the OK button, Change Password, and what OK writes.
// The machine's own registry sources are read under scratch roots (RegistryRoots), so
// no test touches the keys of the local machine that all tests of the prefix share.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>

#include "common/names.h"
#include "common/registry.h"
#include "common/scramble.h"
#include "common/push/push_secret.h"
#include "resources/resource_ids.h"
#include "scheduler/config_dialog/config_dialog.h"
#include "tests/support/window_driver.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

constexpr DWORD kWaitMs = 10000;
constexpr char kCaption[] = "Quillon Scheduler";
constexpr char kScratchRoot[] = "Software\\QuillonTests\\ConfigDialog";
constexpr char kMachinePath[] = "Software\\QuillonTests\\ConfigDialog\\Machine";
constexpr char kUserPath[] = "Software\\QuillonTests\\ConfigDialog\\User";

enum Page { kMail, kConnection, kAdvanced, kErrors, kOutgoing, kPush };

HWND PageOf(HWND frame, Page page)
{
    TCITEMA item = {};
    item.mask = TCIF_PARAM;
    SendMessageA(GetDlgItem(frame, IDC_CONFIG_TABS), TCM_GETITEMA, page, reinterpret_cast<LPARAM>(&item));
    return reinterpret_cast<HWND>(item.lParam);
}

std::string ItemText(HWND frame, Page page, int id)
{
    char text[300] = "";
    GetDlgItemTextA(PageOf(frame, page), id, text, sizeof text);
    return text;
}
void SetText(HWND frame, Page page, int id, const char *text) { SetDlgItemTextA(PageOf(frame, page), id, text); }
void Click(HWND frame, Page page, int id) { SendMessageA(GetDlgItem(PageOf(frame, page), id), BM_CLICK, 0, 0); }
bool Checked(HWND frame, Page page, int id) { return IsDlgButtonChecked(PageOf(frame, page), id) == BST_CHECKED; }
bool Enabled(HWND frame, Page page, int id) { return IsWindowEnabled(GetDlgItem(PageOf(frame, page), id)) != FALSE; }
bool OkEnabled(HWND frame) { return IsWindowEnabled(GetDlgItem(frame, IDOK)) != FALSE; }

std::optional<std::string> StoredText(const char *name)
{
    RegistryKey key;
    char text[300] = "";
    if (key.Open(HKEY_CURRENT_USER, kConfigurationKeyPath) != ERROR_SUCCESS || key.ReadString(name, text) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(text);
}

std::optional<DWORD> StoredNumber(const char *name)
{
    RegistryKey key;
    DWORD value = 0;
    if (key.Open(HKEY_CURRENT_USER, kConfigurationKeyPath) != ERROR_SUCCESS || key.ReadDword(name, &value) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

// All bytes of a stored value, as written.
std::string StoredBytes(const char *name)
{
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kConfigurationKeyPath) != ERROR_SUCCESS)
        return "<no key>";
    char data[300] = {};
    DWORD type = 0, size = sizeof data;
    if (RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE *>(data), &size) != ERROR_SUCCESS)
        return "<missing>";
    return std::string(data, size);
}

void WriteKeyText(HKEY root, const std::string &path, const char *name, const char *text)
{
    RegistryKey key;
    ASSERT_EQ(key.Create(root, path.c_str()), ERROR_SUCCESS) << path;
    key.WriteString(name, text);
}

void WriteKeyNumber(HKEY root, const std::string &path, const char *name, DWORD value)
{
    RegistryKey key;
    ASSERT_EQ(key.Create(root, path.c_str()), ERROR_SUCCESS) << path;
    key.WriteDword(name, value);
}

class ConfigDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ResetProductRegistry();
        RegistryKey parent;
        if (parent.Open(HKEY_CURRENT_USER, "Software\\QuillonTests") == ERROR_SUCCESS)
            parent.DeleteSubkeyTree("ConfigDialog");
        ASSERT_EQ(machine_.Create(HKEY_CURRENT_USER, kMachinePath), ERROR_SUCCESS);
        ASSERT_EQ(user_.Create(HKEY_CURRENT_USER, kUserPath), ERROR_SUCCESS);
        resources_ = LoadLibraryA((test::BinDir() + "\\tasqen.dll").c_str());
        ASSERT_NE(resources_, nullptr);
        context_.resources = resources_;
        context_.caption = kCaption;
        context_.helpFile = "Z:\\nonexistent\\quillon.chm";
        context_.roots.machine = machine_.Get();
        context_.roots.user = user_.Get();
    }
    void TearDown() override
    {
        machine_.Close();
        user_.Close();
        RegistryKey parent;
        if (parent.Open(HKEY_CURRENT_USER, "Software\\QuillonTests") == ERROR_SUCCESS)
            parent.DeleteSubkeyTree("ConfigDialog");
        test::ResetProductRegistry();
        if (resources_ != nullptr)
            FreeLibrary(resources_);
    }

    void SeedDefaultMailClient(const char *name)
    {
        WriteKeyText(machine_.Get(), "Software\\Clients\\Mail", "", name);
    }
    void SeedAccount()
    {
        const std::string manager = "Software\\Microsoft\\Internet Account Manager";
        WriteKeyText(user_.Get(), manager, "Default Mail Account", "00000002");
        const std::string account = manager + "\\Accounts\\00000002";
        WriteKeyText(user_.Get(), account, "SMTP Server", "smtp.example.test");
        WriteKeyText(user_.Get(), account, "SMTP Email Address", "me@example.test");
        WriteKeyText(user_.Get(), account, "POP3 Server", "pop.example.test");
        WriteKeyText(user_.Get(), account, "POP3 User Name", "me");
    }
    void SeedDialupEntries()
    {
        RegistryKey key;
        key.Create(user_.Get(), "RemoteAccess\\Profile\\Office line");
        key.Create(user_.Get(), "RemoteAccess\\Profile\\Home line");
        WriteKeyText(user_.Get(), "RemoteAccess", "Default", "Office line");
    }
    void SeedProfiles()
    {
        const std::string profiles = "Software\\Microsoft\\Windows Messaging Subsystem\\Profiles";
        RegistryKey key;
        key.Create(user_.Get(), (profiles + "\\MS Exchange Settings").c_str());
        key.Create(user_.Get(), (profiles + "\\Alpha").c_str());
        WriteKeyText(user_.Get(), profiles, "DefaultProfile", "MS Exchange Settings");
    }
    // A complete SMTP configuration, always connected.
    void SeedConfiguration()
    {
        using namespace config_values;
        using namespace quillon::test;
        // The password row keeps every byte: a scrambled byte may be 0.
        ASSERT_TRUE(WriteConfigurationRows(With(
            CompleteSmtpConfiguration("smtp.example.test"),
            {Text(kSender, "me@example.test"), Text(kMaxMsgLen, "160"), Text(kTimeout, "7"),
             Number(kPOP3Authentication, 1), Text(kPOP3Server, "pop.example.test"), Text(kPOP3Login, "me"),
             Text(kLogging, "old.log"), Number(kClipSubject, 1), Number(kRetryCount, 3), Number(kRetryTime, 20),
             Number(kTaskRetryCount, 4), Number(kTaskRetryTime, 25), Text(kPassword, ScrambleText("hunter2"))})));
    }

    // Runs the dialog on a second thread and `drive`s it from this one. Whatever the
    // driver leaves open is cancelled at the time limit, which counts as a failure.
    INT_PTR RunDialog(const std::function<void(HWND frame, DWORD threadId)> &drive)
    {
        std::atomic<DWORD> threadId{0};
        std::atomic<bool> finished{false};
        INT_PTR result = -2;
        std::thread worker([&] {
            threadId = GetCurrentThreadId();
            result = RunConfigurationDialog(nullptr, context_);
            finished = true;
        });
        while (threadId == 0)
            Sleep(1);
        HWND frame = test::WaitForDialog(threadId, "Quillon Configuration", kWaitMs);
        if (frame == nullptr)
            ADD_FAILURE() << "the configuration dialog did not appear";
        else
            drive(frame, threadId);
        DWORD start = GetTickCount();
        while (!finished && GetTickCount() - start < kWaitMs)
            test::PumpFor(10);
        if (!finished) {
            ADD_FAILURE() << "the dialog was still open at the time limit";
            while (!finished) {
                test::WaitForThreadWindow(
                    threadId,
                    [](HWND window) {
                        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
                        return false;
                    },
                    0);
                test::PumpFor(100);
            }
        }
        worker.join();
        return result;
    }

    RegistryKey machine_;
    RegistryKey user_;
    HMODULE resources_ = nullptr;
    ConfigDialogContext context_;
};

TEST_F(ConfigDialog, FirstConfigurationProposesWhatTheMachineHolds)
{
    struct Row {
        const char *label;
        const char *mailClient;    // null: no default mail client registered
        const char *setupPath;     // Outlook setup key, or null
        std::optional<DWORD> setupValue;
        bool expectSmtp;
        bool expectMapi;
    };
    const Row rows[] = {
        {"Outlook Express", "Outlook Express", nullptr, std::nullopt, true, false},
        {"other client", "Eudora", nullptr, std::nullopt, true, false},
        {"Outlook internet-only (9.0 setup 0)", "microsoft outlook", "Software\\Microsoft\\Office\\9.0\\Outlook\\Setup", 0u,
         true, false},
        {"Outlook, setup value unreadable (8.0)", "Microsoft Outlook", "Software\\Microsoft\\Office\\8.0\\Outlook\\Setup",
         std::nullopt, true, false},
        {"Outlook corporate (9.0 setup 1)", "Microsoft Outlook", "Software\\Microsoft\\Office\\9.0\\Outlook\\Setup", 1u,
         false, true},
        {"Outlook without setup key", "Microsoft Outlook", nullptr, std::nullopt, false, false},
        {"no default mail client", nullptr, nullptr, std::nullopt, false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        TearDown();
        SetUp();
        SeedAccount();
        if (row.mailClient != nullptr)
            SeedDefaultMailClient(row.mailClient);
        if (row.setupPath != nullptr) {
            RegistryKey setup;
            setup.Create(machine_.Get(), row.setupPath);
            if (row.setupValue)
                setup.WriteDword("", *row.setupValue);
        }
        RunDialog([&](HWND frame, DWORD) {
            EXPECT_EQ(Checked(frame, kMail, IDC_MAIL_SMTP), row.expectSmtp);
            EXPECT_EQ(Checked(frame, kMail, IDC_MAIL_MAPI), row.expectMapi);
            // The account is proposed exactly with the SMTP option.
            EXPECT_EQ(ItemText(frame, kMail, IDC_MAIL_SMTP_SERVER), row.expectSmtp ? "smtp.example.test" : "");
            EXPECT_EQ(ItemText(frame, kMail, IDC_MAIL_SENDER), row.expectSmtp ? "me@example.test" : "");
            EXPECT_EQ(ItemText(frame, kAdvanced, IDC_ADV_POP3_SERVER), row.expectSmtp ? "pop.example.test" : "");
            EXPECT_EQ(ItemText(frame, kAdvanced, IDC_ADV_POP3_LOGIN), row.expectSmtp ? "me" : "");
            EXPECT_TRUE(OkEnabled(frame)) << "OK starts enabled";
            test::PostClick(frame, IDCANCEL);
        });
    }
}

TEST_F(ConfigDialog, FirstConfigurationWithSmtpOffersDefaultsAndSavesInTheMappedValues)
{
    SeedDefaultMailClient("Outlook Express");
    SeedAccount();
    SeedDialupEntries();
    SeedProfiles();
    INT_PTR result = RunDialog([&](HWND frame, DWORD) {
        EXPECT_EQ(ItemText(frame, kMail, IDC_MAIL_MAX_LENGTH), "500");
        EXPECT_TRUE(Checked(frame, kConnection, IDC_CONN_DIALUP));
        EXPECT_EQ(ItemText(frame, kConnection, IDC_CONN_HANGUP_MINUTES), "5");
        EXPECT_EQ(ItemText(frame, kConnection, IDC_CONN_ENTRY), "Office line") << "the RemoteAccess default";
        EXPECT_EQ(ItemText(frame, kMail, IDC_MAIL_PROFILE), "MS Exchange Settings") << "the DefaultProfile";
        EXPECT_EQ(ItemText(frame, kErrors, IDC_ERR_MAIL_RETRY_COUNT), "1");
        EXPECT_EQ(ItemText(frame, kErrors, IDC_ERR_MAIL_RETRY_TIME), "15");
        EXPECT_EQ(ItemText(frame, kErrors, IDC_ERR_TASK_RETRY_COUNT), "1");
        EXPECT_EQ(ItemText(frame, kErrors, IDC_ERR_TASK_RETRY_TIME), "15");
        for (int id : {IDC_ADV_POP3_SERVER, IDC_ADV_POP3_LOGIN, IDC_ADV_CHANGE_PASSWORD, IDC_ADV_LOG_FILE})
            EXPECT_FALSE(Enabled(frame, kAdvanced, id)) << "Advanced control " << id;
        SetText(frame, kMail, IDC_MAIL_DESTINATION, "pager@example.test");
        EXPECT_TRUE(OkEnabled(frame));
        test::PostClick(frame, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(StoredNumber("MailSystem"), 0u);
    EXPECT_EQ(StoredText("MailLibrary"), "mailwire.dll");
    EXPECT_EQ(StoredText("SMTPServer"), "smtp.example.test");
    EXPECT_EQ(StoredText("Profile"), "MS Exchange Settings") << "a disabled list is saved all the same";
    EXPECT_EQ(StoredBytes("Password"), std::string(1, '\0'));
    EXPECT_EQ(StoredText("Sender"), "me@example.test");
    EXPECT_EQ(StoredText("Destination"), "pager@example.test");
    EXPECT_EQ(StoredText("MaxMsgLen"), "500");
    EXPECT_EQ(StoredNumber("UsesDialup"), 0u);
    EXPECT_EQ(StoredText("DialupName"), "Office line");
    EXPECT_EQ(StoredText("Timeout"), "5");
    EXPECT_EQ(StoredNumber("POP3Authentication"), 0u);
    EXPECT_EQ(StoredText("POP3Server"), "pop.example.test");
    EXPECT_EQ(StoredText("POP3Login"), "me");
    EXPECT_EQ(StoredText("Logging"), std::nullopt);
    EXPECT_EQ(StoredNumber("ClipSubject"), 0u);
    EXPECT_EQ(StoredNumber("RetryCount"), 1u);
    EXPECT_EQ(StoredNumber("RetryTime"), 15u);
    EXPECT_EQ(StoredNumber("TaskRetryCount"), 1u);
    EXPECT_EQ(StoredNumber("TaskRetryTime"), 15u);
}

TEST_F(ConfigDialog, FirstConfigurationWithoutDefaultMailClientSavesExtendedMapi)
{
    INT_PTR result = RunDialog([&](HWND frame, DWORD) {
        EXPECT_FALSE(Checked(frame, kMail, IDC_MAIL_SMTP));
        EXPECT_FALSE(Checked(frame, kMail, IDC_MAIL_MAPI));
        test::PostClick(frame, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(StoredNumber("MailSystem"), 1u);
    EXPECT_EQ(StoredText("MailLibrary"), "mailrich.dll");
}

TEST_F(ConfigDialog, HelpButtonWithoutHelpFileAndCancelLeaveEverythingAsItWas)
{
    SeedDefaultMailClient("Outlook Express");
    INT_PTR result = RunDialog([&](HWND frame, DWORD threadId) {
        // The caption's help button on the second page: the help file is missing, which
        // must do no harm, and the dialog stays usable (no context-help mode).
        TabCtrl_SetCurSel(GetDlgItem(frame, IDC_CONFIG_TABS), 1);
        DWORD_PTR ignored = 0;
        EXPECT_NE(SendMessageTimeoutA(frame, WM_SYSCOMMAND, SC_CONTEXTHELP, 0, SMTO_NORMAL, kWaitMs, &ignored), 0);
        EXPECT_TRUE(IsWindowEnabled(frame));
        test::PostClick(frame, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_NE(RegistryKey().Open(HKEY_CURRENT_USER, kConfigurationKeyPath), ERROR_SUCCESS);
}

TEST_F(ConfigDialog, StoredConfigurationFillsEveryPage)
{
    SeedConfiguration();
    RunDialog([&](HWND frame, DWORD) {
        EXPECT_TRUE(Checked(frame, kMail, IDC_MAIL_SMTP));
        EXPECT_FALSE(Checked(frame, kMail, IDC_MAIL_MAPI));
        EXPECT_FALSE(Enabled(frame, kMail, IDC_MAIL_PROFILE));
        EXPECT_FALSE(Enabled(frame, kMail, IDC_MAIL_CHANGE_PASSWORD)) << "SMTP: the Mail System page's Change";
        EXPECT_EQ(ItemText(frame, kMail, IDC_MAIL_SMTP_SERVER), "smtp.example.test");
        EXPECT_EQ(ItemText(frame, kMail, IDC_MAIL_MAX_LENGTH), "160");
        EXPECT_EQ(ItemText(frame, kMail, IDC_MAIL_PASSWORD), "hunter2");
        EXPECT_EQ(ItemText(frame, kAdvanced, IDC_ADV_PASSWORD), "hunter2");
        EXPECT_TRUE(Checked(frame, kConnection, IDC_CONN_ALWAYS));
        EXPECT_EQ(ItemText(frame, kConnection, IDC_CONN_HANGUP_MINUTES), "7");
        EXPECT_TRUE(Checked(frame, kAdvanced, IDC_ADV_POP3));
        EXPECT_TRUE(Enabled(frame, kAdvanced, IDC_ADV_POP3_SERVER));
        EXPECT_TRUE(Enabled(frame, kAdvanced, IDC_ADV_CHANGE_PASSWORD));
        EXPECT_TRUE(Checked(frame, kAdvanced, IDC_ADV_LOG));
        EXPECT_EQ(ItemText(frame, kAdvanced, IDC_ADV_LOG_FILE), "old.log");
        EXPECT_TRUE(Checked(frame, kAdvanced, IDC_ADV_NO_TITLE));
        EXPECT_EQ(ItemText(frame, kErrors, IDC_ERR_MAIL_RETRY_COUNT), "3");
        EXPECT_EQ(ItemText(frame, kErrors, IDC_ERR_MAIL_RETRY_TIME), "20");
        EXPECT_EQ(ItemText(frame, kErrors, IDC_ERR_TASK_RETRY_COUNT), "4");
        EXPECT_EQ(ItemText(frame, kErrors, IDC_ERR_TASK_RETRY_TIME), "25");
        // An unchanged dialog writes the password back exactly as it was stored.
        test::PostClick(frame, IDOK);
    });
    EXPECT_EQ(StoredBytes("Password"), ScrambleText("hunter2") + std::string(1, '\0'));
    EXPECT_EQ(StoredNumber("RetryCount"), 3u);
}

TEST_F(ConfigDialog, PagesLieBelowTheTabsAndOnlyTheSelectedOneIsShown)
{
    SeedConfiguration();
    RunDialog([&](HWND frame, DWORD) {
        HWND tabs = GetDlgItem(frame, IDC_CONFIG_TABS);
        ASSERT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 6);
        RECT tab = {};
        SendMessageA(tabs, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&tab));
        MapWindowPoints(tabs, nullptr, reinterpret_cast<POINT *>(&tab), 2);
        for (int shown = kMail; shown <= kPush; ++shown) {
            SCOPED_TRACE(shown);
            TabCtrl_SetCurSel(tabs, shown);
            NMHDR change = {tabs, IDC_CONFIG_TABS, static_cast<UINT>(TCN_SELCHANGE)};
            SendMessageA(frame, WM_NOTIFY, IDC_CONFIG_TABS, reinterpret_cast<LPARAM>(&change));
            for (int page = kMail; page <= kPush; ++page) {
                HWND window = PageOf(frame, static_cast<Page>(page));
                EXPECT_EQ(IsWindowVisible(window) != FALSE, page == shown) << "page " << page;
                RECT area = {};
                GetWindowRect(window, &area);
                EXPECT_GE(area.top, tab.bottom) << "page " << page << " covers the tab row";
            }
        }
        test::PostClick(frame, IDCANCEL);
    });
}

TEST_F(ConfigDialog, OkButtonFollowsTheRequiredFields)
{
    struct Row {
        const char *label;
        bool seedProfiles;
        bool seedDialup;
        std::function<void(HWND)> change;
        bool expectEnabled;
    };
    const Row rows[] = {
        {"maximum length 0", false, false, [](HWND f) { SetText(f, kMail, IDC_MAIL_MAX_LENGTH, "0"); }, false},
        {"maximum length empty", false, false, [](HWND f) { SetText(f, kMail, IDC_MAIL_MAX_LENGTH, ""); }, false},
        {"maximum length 1000 (first three digits 100)", false, false,
         [](HWND f) { SetText(f, kMail, IDC_MAIL_MAX_LENGTH, "1000"); }, true},
        {"maximum length 0001 (first three digits 0)", false, false,
         [](HWND f) { SetText(f, kMail, IDC_MAIL_MAX_LENGTH, "0001"); }, false},
        {"no sender", false, false, [](HWND f) { SetText(f, kMail, IDC_MAIL_SENDER, ""); }, false},
        {"no destination", false, false, [](HWND f) { SetText(f, kMail, IDC_MAIL_DESTINATION, ""); }, false},
        {"SMTP without server", false, false, [](HWND f) { SetText(f, kMail, IDC_MAIL_SMTP_SERVER, ""); }, false},
        {"MAPI without any profile", false, false, [](HWND f) { Click(f, kMail, IDC_MAIL_MAPI); }, false},
        {"MAPI with a profile, no SMTP server", true, false,
         [](HWND f) {
             Click(f, kMail, IDC_MAIL_MAPI);
             SetText(f, kMail, IDC_MAIL_SMTP_SERVER, "");
         },
         true},
        {"dial-up with empty hang-up minutes", false, true,
         [](HWND f) {
             Click(f, kConnection, IDC_CONN_DIALUP);
             SetText(f, kConnection, IDC_CONN_HANGUP_MINUTES, "");
         },
         false},
        {"dial-up with 5 hang-up minutes", false, true,
         [](HWND f) {
             Click(f, kConnection, IDC_CONN_DIALUP);
             SetText(f, kConnection, IDC_CONN_HANGUP_MINUTES, "5");
         },
         true},
        {"dial-up without any connection entry", false, false, [](HWND f) { Click(f, kConnection, IDC_CONN_DIALUP); },
         false},
        {"always connected with empty hang-up minutes", false, false,
         [](HWND f) {
             SetText(f, kConnection, IDC_CONN_HANGUP_MINUTES, "");
             Click(f, kConnection, IDC_CONN_ALWAYS);
         },
         true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        TearDown();
        SetUp();
        SeedConfiguration();
        if (row.seedProfiles)
            SeedProfiles();
        if (row.seedDialup)
            SeedDialupEntries();
        RunDialog([&](HWND frame, DWORD) {
            row.change(frame);
            EXPECT_EQ(OkEnabled(frame), row.expectEnabled);
            test::PostClick(frame, IDCANCEL);
        });
    }
}

TEST_F(ConfigDialog, LogFileBoxDecidesTheLoggingValue)
{
    struct Row {
        const char *label;
        bool checked;
        const char *name;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        {"checked without a name", true, "", std::string("quillon.log")},
        {"checked with a name", true, "C:\\logs\\pager.log", std::string("C:\\logs\\pager.log")},
        {"cleared", false, "old.log", std::nullopt},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        TearDown();
        SetUp();
        SeedConfiguration();   // Logging "old.log", box checked
        RunDialog([&](HWND frame, DWORD) {
            if (!row.checked)
                Click(frame, kAdvanced, IDC_ADV_LOG);
            EXPECT_EQ(Enabled(frame, kAdvanced, IDC_ADV_LOG_FILE), row.checked);
            SetText(frame, kAdvanced, IDC_ADV_LOG_FILE, row.name);
            test::PostClick(frame, IDOK);
        });
        EXPECT_EQ(StoredText("Logging"), row.expected);
    }
}

TEST_F(ConfigDialog, EmptyRetryFieldIsSavedAsZero)
{
    SeedConfiguration();
    RunDialog([&](HWND frame, DWORD) {
        SetText(frame, kErrors, IDC_ERR_MAIL_RETRY_COUNT, "");
        SetText(frame, kErrors, IDC_ERR_TASK_RETRY_TIME, "");
        test::PostClick(frame, IDOK);
    });
    EXPECT_EQ(StoredNumber("RetryCount"), 0u);
    EXPECT_EQ(StoredNumber("TaskRetryTime"), 0u);
    EXPECT_EQ(StoredNumber("RetryTime"), 20u);
    EXPECT_EQ(StoredNumber("TaskRetryCount"), 4u);
}

TEST_F(ConfigDialog, ChangePasswordKeepsItsDialogOpenUntilTheEntriesMatch)
{
    SeedConfiguration();   // SMTP with POP3: the Advanced page's Change is the one enabled
    RunDialog([&](HWND frame, DWORD threadId) {
        test::PostClick(PageOf(frame, kAdvanced), IDC_ADV_CHANGE_PASSWORD);
        HWND change = test::WaitForDialog(threadId, "Change Password", kWaitMs);
        ASSERT_NE(change, nullptr);
        SetDlgItemTextA(change, IDC_PASSWORD_NEW, "Secret");
        SetDlgItemTextA(change, IDC_PASSWORD_AGAIN, "secret");
        test::PostClick(change, IDOK);
        HWND mismatch = test::WaitForMessageBox(threadId, "Password entries did not match, try again.", kWaitMs);
        ASSERT_NE(mismatch, nullptr) << "entries that differ only in case must not match";
        EXPECT_EQ(test::WindowText(mismatch), kCaption);
        test::PostClick(mismatch, IDOK);
        ASSERT_TRUE(test::WaitForWindowGone(mismatch, kWaitMs));
        EXPECT_TRUE(IsWindow(change)) << "the Change Password dialog closed on a mismatch";
        EXPECT_EQ(ItemText(frame, kMail, IDC_MAIL_PASSWORD), "hunter2");

        SetDlgItemTextA(change, IDC_PASSWORD_AGAIN, "Secret");
        test::PostClick(change, IDOK);
        ASSERT_TRUE(test::WaitForWindowGone(change, kWaitMs));
        EXPECT_EQ(ItemText(frame, kMail, IDC_MAIL_PASSWORD), "Secret");
        EXPECT_EQ(ItemText(frame, kAdvanced, IDC_ADV_PASSWORD), "Secret");
        test::PostClick(frame, IDOK);
    });
    EXPECT_EQ(StoredBytes("Password"), ScrambleText("Secret") + std::string(1, '\0'));
}

TEST_F(ConfigDialog, OutgoingServerPageShowsStoredValuesAndClearingDeletesThem)
{
    SeedConfiguration();
    {
        RegistryKey key;
        ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kConfigurationKeyPath), ERROR_SUCCESS);
        key.WriteDword(config_values::kSMTPPort, 587);
        key.WriteDword(config_values::kSMTPSecurity, 1);
        key.WriteString(config_values::kSMTPLogin, "me@example.test");
    }
    RunDialog([&](HWND frame, DWORD) {
        char title[64] = "";
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = title;
        item.cchTextMax = sizeof title;
        SendMessageA(GetDlgItem(frame, IDC_CONFIG_TABS), TCM_GETITEMA, kOutgoing, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(title, "Outgoing Server");
        EXPECT_EQ(ItemText(frame, kOutgoing, IDC_OUT_PORT), "587");
        EXPECT_FALSE(Checked(frame, kOutgoing, IDC_OUT_SECURITY_NONE));
        EXPECT_TRUE(Checked(frame, kOutgoing, IDC_OUT_SECURITY_STARTTLS));
        EXPECT_FALSE(Checked(frame, kOutgoing, IDC_OUT_SECURITY_TLS));
        EXPECT_EQ(ItemText(frame, kOutgoing, IDC_OUT_LOGIN), "me@example.test");
        EXPECT_EQ(ItemText(frame, kOutgoing, IDC_OUT_PASSWORD), "hunter2") << "the one Password";
        EXPECT_TRUE(Enabled(frame, kOutgoing, IDC_OUT_CHANGE_PASSWORD));
        EXPECT_TRUE(OkEnabled(frame));

        SetText(frame, kOutgoing, IDC_OUT_LOGIN, "");
        EXPECT_FALSE(Enabled(frame, kOutgoing, IDC_OUT_CHANGE_PASSWORD)) << "nothing to sign in with";
        SetText(frame, kOutgoing, IDC_OUT_PORT, "");
        Click(frame, kOutgoing, IDC_OUT_SECURITY_NONE);
        EXPECT_TRUE(OkEnabled(frame));
        test::PostClick(frame, IDOK);
    });
    // Cleared, the values are gone: the configuration is plain SMTP again.
    EXPECT_FALSE(StoredNumber("SMTPPort").has_value());
    EXPECT_FALSE(StoredNumber("SMTPSecurity").has_value());
    EXPECT_FALSE(StoredText("SMTPLogin").has_value());
    EXPECT_EQ(StoredText("SMTPServer"), "smtp.example.test");
    EXPECT_EQ(StoredBytes("Password"), ScrambleText("hunter2") + std::string(1, '\0'));
}

TEST_F(ConfigDialog, OutgoingServerPageSignsInOnlyWithTlsAndChangesTheSharedPassword)
{
    SeedConfiguration();
    {
        RegistryKey key;
        ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kConfigurationKeyPath), ERROR_SUCCESS);
        key.WriteDword(config_values::kPOP3Authentication, 0);   // the Advanced page's Change is off
    }
    RunDialog([&](HWND frame, DWORD threadId) {
        EXPECT_FALSE(Enabled(frame, kAdvanced, IDC_ADV_CHANGE_PASSWORD));
        EXPECT_TRUE(Checked(frame, kOutgoing, IDC_OUT_SECURITY_NONE));
        EXPECT_EQ(ItemText(frame, kOutgoing, IDC_OUT_PORT), "");
        EXPECT_FALSE(Enabled(frame, kOutgoing, IDC_OUT_CHANGE_PASSWORD));

        SetText(frame, kOutgoing, IDC_OUT_LOGIN, "pager-user");
        EXPECT_TRUE(Enabled(frame, kOutgoing, IDC_OUT_CHANGE_PASSWORD)) << "a sign-in name needs a password";
        EXPECT_FALSE(OkEnabled(frame)) << "a sign-in name without TLS";
        Click(frame, kOutgoing, IDC_OUT_SECURITY_STARTTLS);
        EXPECT_TRUE(OkEnabled(frame));
        SetText(frame, kOutgoing, IDC_OUT_PORT, "65536");
        EXPECT_FALSE(OkEnabled(frame)) << "not a port";
        SetText(frame, kOutgoing, IDC_OUT_PORT, "465");
        Click(frame, kOutgoing, IDC_OUT_SECURITY_TLS);
        EXPECT_FALSE(Checked(frame, kOutgoing, IDC_OUT_SECURITY_STARTTLS));
        EXPECT_TRUE(OkEnabled(frame));

        test::PostClick(PageOf(frame, kOutgoing), IDC_OUT_CHANGE_PASSWORD);
        HWND change = test::WaitForDialog(threadId, "Change Password", kWaitMs);
        ASSERT_NE(change, nullptr);
        SetDlgItemTextA(change, IDC_PASSWORD_NEW, "Pa55 w0rd!");
        SetDlgItemTextA(change, IDC_PASSWORD_AGAIN, "Pa55 w0rd!");
        test::PostClick(change, IDOK);
        ASSERT_TRUE(test::WaitForWindowGone(change, kWaitMs));
        EXPECT_EQ(ItemText(frame, kOutgoing, IDC_OUT_PASSWORD), "Pa55 w0rd!");
        EXPECT_EQ(ItemText(frame, kAdvanced, IDC_ADV_PASSWORD), "Pa55 w0rd!") << "shared with POP3";
        test::PostClick(frame, IDOK);
    });
    EXPECT_EQ(StoredNumber("SMTPPort"), 465u);
    EXPECT_EQ(StoredNumber("SMTPSecurity"), 2u);
    EXPECT_EQ(StoredText("SMTPLogin"), "pager-user");
    EXPECT_EQ(StoredBytes("Password"), ScrambleText("Pa55 w0rd!") + std::string(1, '\0'));
    EXPECT_EQ(StoredNumber("POP3Authentication"), 0u);
}

// Chooses a service as a user does: the selection and the notification it sends.
void ChooseService(HWND frame, int index)
{
    HWND page = PageOf(frame, kPush);
    SendDlgItemMessageA(page, IDC_PUSH_SERVICE, CB_SETCURSEL, index, 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_PUSH_SERVICE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_PUSH_SERVICE)));
}

bool Shown(HWND frame, Page page, int id)
{
    return (GetWindowLongA(GetDlgItem(PageOf(frame, page), id), GWL_STYLE) & WS_VISIBLE) != 0;
}

std::string StoredSecret()
{
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kConfigurationKeyPath) != ERROR_SUCCESS)
        return "<no key>";
    DWORD type = 0, size = 0;
    if (key.QueryValueInfo(config_values::kPushSecret, &type, &size) != ERROR_SUCCESS || type != REG_BINARY)
        return "<missing>";
    std::string blob(size, '\0');
    key.ReadBinary(config_values::kPushSecret, &blob[0], size);
    std::string plain;
    return UnprotectPushSecret(blob, &plain) ? plain : "<not protected>";
}

TEST_F(ConfigDialog, PushChoiceAndItsPageSaveTheServiceWithTheSecretProtected)
{
    SeedConfiguration();
    RunDialog([&](HWND frame, DWORD) {
        EXPECT_TRUE(Checked(frame, kMail, IDC_MAIL_SMTP));
        EXPECT_FALSE(Checked(frame, kMail, IDC_MAIL_PUSH));
        char title[64] = "";
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = title;
        item.cchTextMax = sizeof title;
        SendMessageA(GetDlgItem(frame, IDC_CONFIG_TABS), TCM_GETITEMA, kPush, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(title, "Push Notification");
        HWND page = PageOf(frame, kPush);
        EXPECT_EQ(SendDlgItemMessageA(page, IDC_PUSH_SERVICE, CB_GETCOUNT, 0, 0), 7);

        Click(frame, kMail, IDC_MAIL_PUSH);
        EXPECT_FALSE(Checked(frame, kMail, IDC_MAIL_SMTP));
        EXPECT_FALSE(Enabled(frame, kMail, IDC_MAIL_SMTP_SERVER));
        EXPECT_FALSE(Enabled(frame, kMail, IDC_MAIL_PROFILE));
        EXPECT_FALSE(Enabled(frame, kMail, IDC_MAIL_DESTINATION)) << "made from the service";
        EXPECT_FALSE(OkEnabled(frame)) << "no service chosen yet";

        ChooseService(frame, 0);   // ntfy
        EXPECT_EQ(ItemText(frame, kMail, IDC_MAIL_MAX_LENGTH), "4096") << "the service's limit is proposed";
        EXPECT_FALSE(OkEnabled(frame)) << "ntfy needs a topic";
        SetText(frame, kPush, IDC_PUSH_TARGET, "alerts");
        EXPECT_TRUE(OkEnabled(frame));
        EXPECT_EQ(ItemText(frame, kMail, IDC_MAIL_DESTINATION), "ntfy: alerts");
        SetText(frame, kMail, IDC_MAIL_MAX_LENGTH, "5000");
        EXPECT_FALSE(OkEnabled(frame)) << "longer than ntfy takes";
        ChooseService(frame, 2);   // Discord
        EXPECT_EQ(ItemText(frame, kMail, IDC_MAIL_MAX_LENGTH), "2000");
        EXPECT_FALSE(OkEnabled(frame)) << "Discord needs its webhook URL";
        ChooseService(frame, 0);
        EXPECT_TRUE(OkEnabled(frame));

        SetText(frame, kPush, IDC_PUSH_SERVER, "http://ntfy.lan:8080");
        EXPECT_TRUE(Shown(frame, kPush, IDC_PUSH_HTTP_WARNING)) << "the text would travel in clear";
        EXPECT_TRUE(OkEnabled(frame));
        SetText(frame, kPush, IDC_PUSH_SERVER, "https://ntfy.example.net");
        EXPECT_FALSE(Shown(frame, kPush, IDC_PUSH_HTTP_WARNING));
        SetText(frame, kPush, IDC_PUSH_SECRET, "tk_dialog_token");
        EXPECT_NE(GetWindowLongA(GetDlgItem(page, IDC_PUSH_SECRET), GWL_STYLE) & ES_PASSWORD, 0)
            << "the secret is never shown in clear";
        test::PostClick(frame, IDOK);
    });
    EXPECT_EQ(StoredNumber("MailSystem"), 2u);
    EXPECT_EQ(StoredText("MailLibrary"), "mailpush.dll");
    EXPECT_EQ(StoredText("Destination"), "ntfy: alerts");
    EXPECT_EQ(StoredText("Sender"), "me@example.test");
    EXPECT_EQ(StoredText("MaxMsgLen"), "4096");
    EXPECT_EQ(StoredNumber("PushService"), 1u);
    EXPECT_EQ(StoredText("PushServer"), "https://ntfy.example.net");
    EXPECT_EQ(StoredText("PushTarget"), "alerts");
    EXPECT_EQ(StoredBytes("PushSecret").find("tk_dialog_token"), std::string::npos) << "never stored in clear";
    EXPECT_EQ(StoredSecret(), "tk_dialog_token");
    EXPECT_EQ(StoredText("SMTPServer"), "smtp.example.test") << "the other options' values stay";
}

std::string WaitForResult(HWND frame, const std::string &prefix, DWORD timeoutMs)
{
    std::string text;
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(50)) {
        text = ItemText(frame, kPush, IDC_PUSH_RESULT);
        if (text.compare(0, prefix.size(), prefix) == 0)
            break;
    }
    return text;
}

// Send Test against the loopback double of ntfy (tests/mail/push/push_fake.py): the
// page's values, saved or not; the answer shown; a silent server waited for without
// freezing the dialog, until Cancel Test.
TEST_F(ConfigDialog, SendTestShowsWhatTheServiceAnsweredAndCanBeCancelled)
{
    ASSERT_NE(std::getenv("QUILLON_PUSH_FAKE_DIR"), nullptr);
    SeedConfiguration();
    std::string blob;
    ASSERT_TRUE(ProtectPushSecret("tk_QuillonNtfyToken", &blob));
    {
        RegistryKey key;
        ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kConfigurationKeyPath), ERROR_SUCCESS);
        key.WriteDword(config_values::kMailSystem, 2);
        key.WriteString(config_values::kMailLibrary, "mailpush.dll");
        key.WriteString(config_values::kDestination, "ntfy: alerts");
        key.WriteDword(config_values::kPushService, 1);
        key.WriteString(config_values::kPushServer, "https://127.0.0.201:8441");
        key.WriteString(config_values::kPushTarget, "alerts");
        key.WriteBinary(config_values::kPushSecret, blob.data(), static_cast<DWORD>(blob.size()));
    }
    RunDialog([&](HWND frame, DWORD) {
        EXPECT_TRUE(Checked(frame, kMail, IDC_MAIL_PUSH)) << "MailSystem 2 selects the push choice";
        EXPECT_FALSE(Checked(frame, kMail, IDC_MAIL_MAPI));
        EXPECT_EQ(SendDlgItemMessageA(PageOf(frame, kPush), IDC_PUSH_SERVICE, CB_GETCURSEL, 0, 0), 0);
        EXPECT_EQ(ItemText(frame, kPush, IDC_PUSH_SERVER), "https://127.0.0.201:8441");
        EXPECT_EQ(ItemText(frame, kPush, IDC_PUSH_TARGET), "alerts");
        EXPECT_EQ(ItemText(frame, kPush, IDC_PUSH_SECRET), "tk_QuillonNtfyToken");
        EXPECT_TRUE(OkEnabled(frame));
        EXPECT_FALSE(Enabled(frame, kPush, IDC_PUSH_CANCEL_TEST));

        Click(frame, kPush, IDC_PUSH_SEND_TEST);
        EXPECT_EQ(WaitForResult(frame, "Delivered: ", 20000), "Delivered: ntfy took the message");
        EXPECT_TRUE(Enabled(frame, kPush, IDC_PUSH_SEND_TEST));

        // Unsaved values are what Send Test uses.
        SetText(frame, kPush, IDC_PUSH_TARGET, "alerts#401");
        Click(frame, kPush, IDC_PUSH_SEND_TEST);
        EXPECT_EQ(WaitForResult(frame, "Not delivered: ", 20000),
                  "Not delivered: ntfy refused the message: status 401 (unauthorized)");

        SetText(frame, kPush, IDC_PUSH_SERVER, "https://127.0.0.201:8450");   // never answers
        Click(frame, kPush, IDC_PUSH_SEND_TEST);
        EXPECT_EQ(ItemText(frame, kPush, IDC_PUSH_RESULT), "Sending a test notification...");
        EXPECT_TRUE(Enabled(frame, kPush, IDC_PUSH_CANCEL_TEST));
        EXPECT_FALSE(Enabled(frame, kPush, IDC_PUSH_SEND_TEST));
        Sleep(1000);
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer), 0)
            << "the dialog keeps answering while the test waits";
        Click(frame, kPush, IDC_PUSH_CANCEL_TEST);
        EXPECT_EQ(WaitForResult(frame, "Test cancelled.", 10000), "Test cancelled.");
        EXPECT_TRUE(Enabled(frame, kPush, IDC_PUSH_SEND_TEST));
        EXPECT_FALSE(Enabled(frame, kPush, IDC_PUSH_CANCEL_TEST));

        // A test still waiting when the dialog is cancelled ends with it.
        Click(frame, kPush, IDC_PUSH_SEND_TEST);
        test::PostClick(frame, IDCANCEL);
    });
    EXPECT_EQ(StoredText("PushServer"), "https://127.0.0.201:8441") << "Cancel saved nothing";
    EXPECT_EQ(StoredText("PushTarget"), "alerts");

    const std::string received =
        test::ReadWholeFile(test::WindowsPathOf(std::getenv("QUILLON_PUSH_FAKE_DIR")) + "\\received.jsonl");
    EXPECT_NE(received.find("\"title\": \"Quillon test\""), std::string::npos) << received;
    EXPECT_NE(received.find("\"topic\": \"alerts#401\""), std::string::npos);
}

} // namespace
} // namespace quillon
