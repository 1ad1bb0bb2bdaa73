// QuillonSetup.exe under Wine, in silent mode, in a prefix of its own: one installation's
// life in order. The cases run in the order written and each builds on the one before:
//   1. a fresh silent install: files, COM registration, shortcuts, the uninstall entry;
//   2. the end-to-end road from the installed folder: the installed scheduler, started as
//      the Startup shortcut would, runs a page task on its minute tick and the page's
//      text arrives at the SMTP server that run_package.sh started;
//   3. installing again over the running scheduler: it is ended through its window,
//      the files are replaced and a new scheduler runs; tasks and configuration stay;
//   4. the silent uninstall: the running scheduler is ended the same way (with the
//      schedule list open), and nothing of the suite is left but the user's data;
//   5. the uninstaller's window with its user-data box ticked removes that data too, and
//      so does a silent uninstall given /REMOVEUSERDATA.
// run_package.sh passes (Linux paths unless said otherwise):
//   QUILLON_SETUP            the setup program
//   QUILLON_PACKAGE_FILES    comma-separated file names the installation folder must hold
//   QUILLON_PACKAGE_SERVERS  comma-separated COM servers among them
//   QUILLON_PACKAGE_VERSION  the version the uninstall entry must show
//   QUILLON_E2E_MAILDIR      the SMTP server's maildir
//   QUILLON_PACKAGE_PAGE     URL of the page the task sends
//   QUILLON_PACKAGE_SMTP     address of the SMTP server
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <commctrl.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/timestamp.h"
#include "common/win_datetime.h"
#include "tests/support/end_to_end_setup.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {
namespace {

constexpr DWORD kWaitMs = 30000;
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillon";
constexpr char kTasqeduleUiClsid[] = "{7C3A91D5-2B6E-4F10-A5C8-3E0D9B41F627}";
constexpr char kAppTaskDataClsid[] = "{7C3A91E1-2B6E-4F10-A5C8-3E0D9B41F627}";
constexpr char kClipObjClsid[] = "{7C3A92AD-2B6E-4F10-A5C8-3E0D9B41F627}";
constexpr char kBrowserHelperKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\"
    "{7C3A92AD-2B6E-4F10-A5C8-3E0D9B41F627}";
constexpr char kTaskKey[] = "20261210120000";

std::string Env(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::vector<std::string> SplitList(const std::string &text)
{
    std::vector<std::string> items;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ','))
        if (!item.empty())
            items.push_back(item);
    return items;
}

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::string FolderPath(int csidl)
{
    char path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

std::string InstallDir() { return FolderPath(CSIDL_PROGRAM_FILES) + "\\Quillon"; }

bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool KeyExists(HKEY root, const std::string &path)
{
    RegistryKey key;
    return key.Open(root, path.c_str()) == ERROR_SUCCESS;
}

std::string ReadText(HKEY root, const std::string &path, const char *name)
{
    RegistryKey key;
    std::string text;
    if (key.Open(root, path.c_str()) != ERROR_SUCCESS || key.ReadString(name, &text) != ERROR_SUCCESS)
        return "<missing>";
    return text;
}

// The program a shortcut starts, or "" when the shortcut cannot be read.
std::string ShortcutTarget(const std::string &link)
{
    ComPtr<IShellLinkA> shellLink;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                shellLink.PutVoid())))
        return "";
    ComPtr<IPersistFile> file;
    if (FAILED(shellLink->QueryInterface(IID_IPersistFile, file.PutVoid())))
        return "";
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
    if (FAILED(file->Load(wide, STGM_READ)))
        return "";
    char target[MAX_PATH] = {};
    if (FAILED(shellLink->GetPath(target, MAX_PATH, nullptr, 0)))
        return "";
    return target;
}

struct Shortcut {
    int folder;
    const char *link;
    const char *target;   // file in the installation folder
};

// The shortcuts of the packaged files (the reminder's only when it is packaged).
std::vector<Shortcut> ExpectedShortcuts(const std::vector<std::string> &files)
{
    std::vector<Shortcut> shortcuts = {
        {CSIDL_COMMON_STARTUP, "Quillon Scheduler.lnk", "tasqed.exe"},
        {CSIDL_COMMON_PROGRAMS, "Quillon\\Quillon Scheduler.lnk", "tasqed.exe"},
        {CSIDL_COMMON_PROGRAMS, "Quillon\\Uninstall Quillon.lnk", "uninstall.exe"},
    };
    for (const std::string &file : files) {
        if (Lower(file) == "nagnote.exe")
            shortcuts.push_back({CSIDL_COMMON_PROGRAMS, "Quillon\\Quillon Reminder.lnk", "Nagnote.exe"});
        if (Lower(file) == "quillon.chm")
            shortcuts.push_back({CSIDL_COMMON_PROGRAMS, "Quillon\\Quillon Help.lnk", "quillon.chm"});
    }
    return shortcuts;
}

std::string SetupPath() { return WindowsPathOf(Env("QUILLON_SETUP")); }

// A running scheduler: its window and a handle on its process.
struct RunningScheduler {
    HWND window = nullptr;
    DWORD processId = 0;
    UniqueHandle process;
};

HWND FindScheduler() { return FindWindowA("TASQED", "Quillon Scheduler"); }

bool WaitForScheduler(RunningScheduler *scheduler, DWORD timeoutMs, DWORD otherThan = 0)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindScheduler();
        DWORD processId = 0;
        if (window != nullptr)
            GetWindowThreadProcessId(window, &processId);
        if (window != nullptr && processId != otherThan) {
            scheduler->window = window;
            scheduler->processId = processId;
            scheduler->process.Reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId));
            return true;
        }
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(100);
    }
}

// Exit code of a process that must have ended within the time limit; ~0u if it did not.
DWORD ExitCodeWhenEnded(HANDLE process, DWORD timeoutMs)
{
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0)
        return ~0u;
    DWORD code = ~0u;
    GetExitCodeProcess(process, &code);
    return code;
}

// Runs the silent uninstaller. It copies itself to the temporary folder and returns at
// once, so wait until its entry and the installation folder are gone.
// Waits until the current user's data is gone (the uninstaller removes it after the
// files and the uninstall entry); false at the time limit.
bool WaitForUserDataGone(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (KeyExists(HKEY_CURRENT_USER, "Software\\Kestrova\\Tasqeduler")) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(100);
    }
    return true;
}

bool UninstallSilently(DWORD timeoutMs, const char *options = "")
{
    std::string uninstaller = InstallDir() + "\\uninstall.exe";
    if (!Exists(uninstaller))
        return true;
    ProcessResult run = RunProcess("\"" + uninstaller + "\" /S" + options, timeoutMs);
    if (!run.started || run.timedOut)
        return false;
    DWORD start = GetTickCount();
    while (KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) || Exists(InstallDir())) {
        if (GetTickCount() - start >= timeoutMs) {
            std::string left;
            WIN32_FIND_DATAA found;
            UniqueFindHandle search(FindFirstFileA((InstallDir() + "\\*").c_str(), &found));
            if (search.IsValid()) {
                do {
                    left += std::string(" ") + found.cFileName;
                } while (FindNextFileA(search.Get(), &found));
            }
            ADD_FAILURE() << "uninstall incomplete; entry " << (KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) ? "left" : "gone")
                          << ", folder holds:" << left;
            return false;
        }
        Sleep(200);
    }
    return true;
}

class Package : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitialize(nullptr); }
    static void TearDownTestSuite() { CoUninitialize(); }
    static std::string LogFile() { return BuildDir() + "\\scratch\\package\\installed.log"; }
};

// Leaves the prefix as a machine that never had the suite: an earlier run's installation,
// scheduler and user data go first.
TEST_F(Package, StartsFromAMachineWithoutTheSuite)
{
    ASSERT_FALSE(Env("QUILLON_SETUP").empty()) << "run through run_package.sh";
    if (HWND window = FindScheduler())
        SendMessageTimeoutA(window, WM_COMMAND, 105, 0, SMTO_NORMAL, 5000, nullptr);
    ASSERT_TRUE(UninstallSilently(kWaitMs)) << "an earlier installation could not be removed";
    // Files an interrupted run left behind.
    WIN32_FIND_DATAA found;
    UniqueFindHandle search(FindFirstFileA((InstallDir() + "\\*").c_str(), &found));
    if (search.IsValid()) {
        do {
            DeleteFileA((InstallDir() + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search.Get(), &found));
    }
    search.Reset();
    RemoveDirectoryA(InstallDir().c_str());
    ResetProductRegistry();
    MakeScratchDir("package");
    EXPECT_FALSE(Exists(InstallDir()));
}

TEST_F(Package, SilentInstallPutsEveryDeliverableInProgramFiles)
{
    ProcessResult setup = RunProcess("\"" + SetupPath() + "\" /S", 120000);
    ASSERT_TRUE(setup.started) << SetupPath();
    ASSERT_FALSE(setup.timedOut);
    EXPECT_EQ(setup.exitCode, 0u);

    std::vector<std::string> files = SplitList(Env("QUILLON_PACKAGE_FILES"));
    ASSERT_FALSE(files.empty());
    files.push_back("uninstall.exe");
    for (const std::string &file : files)
        EXPECT_TRUE(Exists(InstallDir() + "\\" + file)) << file << " is not in " << InstallDir();
}

TEST_F(Package, InstallRegistersTheComServersFromTheInstallationFolder)
{
    const std::string tasqui = Lower(InstallDir() + "\\tasqui.dll");
    for (const char *clsid : {kTasqeduleUiClsid, kAppTaskDataClsid})
        EXPECT_EQ(Lower(ReadText(HKEY_CLASSES_ROOT, std::string("CLSID\\") + clsid + "\\InprocServer32", nullptr)),
                  tasqui)
            << clsid;
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, "Tasqui.TasqeduleUI\\CLSID", nullptr), kTasqeduleUiClsid);

    // The suite's own clients create the component through this registration.
    ComPtr<IUnknown> component;
    CLSID clsid = {};
    ASSERT_EQ(CLSIDFromString(L"{7C3A91D5-2B6E-4F10-A5C8-3E0D9B41F627}", &clsid), S_OK);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, component.PutVoid()), S_OK);
    // This program must not hold the component loaded: the uninstaller deletes it later.
    component.Reset();
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_EQ(GetModuleHandleA("tasqui.dll"), nullptr);

    for (const std::string &server : SplitList(Env("QUILLON_PACKAGE_SERVERS"))) {
        if (Lower(server) != "clipnet.dll")
            continue;
        EXPECT_EQ(Lower(ReadText(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClipObjClsid + "\\InprocServer32",
                                 nullptr)),
                  Lower(InstallDir() + "\\" + server));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kBrowserHelperKey)) << "the browser would not load the add-in";
    }
}

// The browsers find the extension's native host through one key each, for all users;
// each names a manifest beside the host, UTF-8 without a byte-order mark.
const struct {
    const char *key;
    const char *manifest;
} kNativeHostKeys[] = {
    {"SOFTWARE\\Google\\Chrome\\NativeMessagingHosts\\com.kestrova.quillon", "com.kestrova.quillon.chromium.json"},
    {"SOFTWARE\\Microsoft\\Edge\\NativeMessagingHosts\\com.kestrova.quillon", "com.kestrova.quillon.chromium.json"},
    {"SOFTWARE\\Mozilla\\NativeMessagingHosts\\com.kestrova.quillon", "com.kestrova.quillon.firefox.json"},
};

TEST_F(Package, InstallRegistersTheNativeHostForChromeEdgeAndFirefoxWithTheExtension)
{
    EXPECT_TRUE(Exists(InstallDir() + "\\cliphost.exe"));
    for (const auto &row : kNativeHostKeys) {
        const std::string manifestPath = InstallDir() + "\\" + row.manifest;
        EXPECT_EQ(Lower(ReadText(HKEY_LOCAL_MACHINE, row.key, nullptr)), Lower(manifestPath)) << row.key;
        const std::string manifest = ReadWholeFile(manifestPath);
        ASSERT_FALSE(manifest.empty()) << manifestPath;
        EXPECT_EQ(manifest[0], '{') << row.manifest << " starts with a byte-order mark or other bytes";
        EXPECT_NE(manifest.find("\"path\": \"cliphost.exe\""), std::string::npos) << manifest;
        EXPECT_NE(manifest.find("\"name\": \"com.kestrova.quillon\""), std::string::npos) << manifest;
    }
    EXPECT_NE(ReadWholeFile(InstallDir() + "\\com.kestrova.quillon.chromium.json").find("\"allowed_origins\""),
              std::string::npos);
    EXPECT_NE(ReadWholeFile(InstallDir() + "\\com.kestrova.quillon.firefox.json").find("\"allowed_extensions\""),
              std::string::npos);
    for (const char *file : {"extension\\chromium\\manifest.json", "extension\\chromium\\background.js",
                             "extension\\firefox\\manifest.json", "extension\\quillon-capture-chromium.zip",
                             "extension\\quillon-capture-firefox.zip"})
        EXPECT_TRUE(Exists(InstallDir() + "\\" + file)) << file;
}

TEST_F(Package, InstallAddsTheStartupAndStartMenuShortcuts)
{
    for (const Shortcut &shortcut : ExpectedShortcuts(SplitList(Env("QUILLON_PACKAGE_FILES")))) {
        std::string link = FolderPath(shortcut.folder) + "\\" + shortcut.link;
        EXPECT_EQ(Lower(ShortcutTarget(link)), Lower(InstallDir() + "\\" + shortcut.target)) << link;
    }
}

TEST_F(Package, InstallWritesTheAddRemoveProgramsEntry)
{
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Quillon");
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"), Env("QUILLON_PACKAGE_VERSION"));
    EXPECT_EQ(Lower(ReadText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString")),
              Lower("\"" + InstallDir() + "\\uninstall.exe\""));
    EXPECT_EQ(Lower(ReadText(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation")), Lower(InstallDir()));
    RegistryKey key;
    ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, kUninstallKey), ERROR_SUCCESS);
    DWORD sizeKb = 0;
    ASSERT_EQ(key.ReadDword("EstimatedSize", &sizeKb), ERROR_SUCCESS);
    // The deliverables together are well over a megabyte and far below a gigabyte.
    EXPECT_GT(sizeKb, 1024u);
    EXPECT_LT(sizeKb, 1024u * 1024u);
}

TEST_F(Package, InstalledSchedulerDeliversAPageTaskOnItsTick)
{
    ASSERT_TRUE(WriteConfigurationRows(
        EndToEndConfiguration(Env("QUILLON_PACKAGE_SMTP"), "installed@example.org", LogFile())));
    ASSERT_TRUE(WriteMinutePageTask(kTaskKey, Env("QUILLON_PACKAGE_PAGE"), false));
    // Started as the Startup shortcut starts it: the program alone, from its folder.
    std::string commandLine = "\"" + InstallDir() + "\\tasqed.exe\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, InstallDir().c_str(),
                               &startup, &info));
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    RunningScheduler scheduler;
    ASSERT_TRUE(WaitForScheduler(&scheduler, kWaitMs));
    EXPECT_EQ(scheduler.processId, info.dwProcessId);

    PostMessageA(scheduler.window, WM_TIMER, 0xAEAE, 0);
    DWORD start = GetTickCount();
    while (MaildirMessages(std::getenv("QUILLON_E2E_MAILDIR")).empty() && GetTickCount() - start < 60000)
        Sleep(200);
    // The log's last line follows the server's answer.
    while (ReadWholeFile(LogFile()).find("Succeeded in sending message") == std::string::npos &&
           GetTickCount() - start < 60000)
        Sleep(100);
    std::vector<std::string> messages = MaildirMessages(std::getenv("QUILLON_E2E_MAILDIR"));
    ASSERT_EQ(messages.size(), 1u) << ReadWholeFile(LogFile());
    EXPECT_NE(messages[0].find("Installed page text for the pager."), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("pager@example.org"), std::string::npos) << messages[0];
    std::string log = ReadWholeFile(LogFile());
    EXPECT_NE(log.find("Task completed successfully"), std::string::npos) << log;
    EXPECT_NE(log.find("Succeeded in sending message"), std::string::npos) << log;
}

TEST_F(Package, InstallOverARunningSchedulerEndsItReplacesTheFilesAndStartsItAgain)
{
    RunningScheduler before;
    ASSERT_TRUE(WaitForScheduler(&before, 2000)) << "the scheduler of the previous case is not running";
    // A file of the old installation that the new one must replace.
    std::string sender = InstallDir() + "\\quillon.exe";
    ASSERT_TRUE(WriteWholeFile(InstallDir() + "\\quillon.chm", "stale"));

    ProcessResult setup = RunProcess("\"" + SetupPath() + "\" /S", 120000);
    ASSERT_TRUE(setup.started && !setup.timedOut);
    EXPECT_EQ(setup.exitCode, 0u);

    EXPECT_EQ(ExitCodeWhenEnded(before.process.Get(), kWaitMs), 0u)
        << "the old scheduler did not end through its Exit command";
    RunningScheduler after;
    EXPECT_TRUE(WaitForScheduler(&after, kWaitMs, before.processId)) << "no scheduler runs after the upgrade";
    EXPECT_NE(ReadWholeFile(InstallDir() + "\\quillon.chm"), "stale") << "the files were not replaced";
    EXPECT_TRUE(Exists(sender));
    // The user's tasks and configuration survive.
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kConfigurationKeyPath, config_values::kSMTPServer),
              Env("QUILLON_PACKAGE_SMTP"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(kTasksKeyPath) + "\\" + kTaskKey));
}

TEST_F(Package, SilentUninstallEndsTheSchedulerAndLeavesOnlyTheUsersData)
{
    RunningScheduler running;
    ASSERT_TRUE(WaitForScheduler(&running, 2000)) << "the scheduler of the previous case is not running";
    std::vector<std::string> files = SplitList(Env("QUILLON_PACKAGE_FILES"));
    // The user has the schedule list open: ending the scheduler must still be clean.
    PostMessageA(running.window, WM_COMMAND, 40001, 0);
    DWORD start = GetTickCount();
    while (FindWindowA(nullptr, "Scheduled Applications") == nullptr && GetTickCount() - start < kWaitMs)
        Sleep(100);
    ASSERT_NE(FindWindowA(nullptr, "Scheduled Applications"), nullptr) << "the schedule list did not open";

    ASSERT_TRUE(UninstallSilently(60000));
    EXPECT_EQ(ExitCodeWhenEnded(running.process.Get(), kWaitMs), 0u)
        << "the scheduler did not end through its Exit command";
    EXPECT_EQ(FindScheduler(), nullptr);

    EXPECT_FALSE(Exists(InstallDir())) << "the installation folder is left";
    for (const Shortcut &shortcut : ExpectedShortcuts(files))
        EXPECT_FALSE(Exists(FolderPath(shortcut.folder) + "\\" + shortcut.link)) << shortcut.link;
    EXPECT_FALSE(Exists(FolderPath(CSIDL_COMMON_PROGRAMS) + "\\Quillon"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    for (const char *key : {"CLSID\\{7C3A91D5-2B6E-4F10-A5C8-3E0D9B41F627}",
                            "CLSID\\{7C3A91E1-2B6E-4F10-A5C8-3E0D9B41F627}",
                            "CLSID\\{7C3A92AD-2B6E-4F10-A5C8-3E0D9B41F627}", "Tasqui.TasqeduleUI",
                            "Tasqui.TasqeduleUI.1", "Tasqui.AppTaskData", "Clipnet.ClipObj"})
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key << " is still registered";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kBrowserHelperKey));
    for (const auto &row : kNativeHostKeys)
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, row.key)) << row.key << " is left";

    // The user's configuration, tasks and log stay for a later installation.
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kConfigurationKeyPath, config_values::kSMTPServer),
              Env("QUILLON_PACKAGE_SMTP"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(kTasksKeyPath) + "\\" + kTaskKey));
    EXPECT_TRUE(Exists(LogFile()));
}

// The first visible dialog window whose caption begins with `caption` (the wizard adds
// the page's own words to it).
HWND WaitForVisibleWindow(const char *caption, DWORD timeoutMs)
{
    struct Search {
        const char *caption;
        HWND found;
    };
    DWORD start = GetTickCount();
    for (;;) {
        Search search = {caption, nullptr};
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto *s = reinterpret_cast<Search *>(data);
                char text[128] = {}, name[64] = {};
                GetWindowTextA(window, text, sizeof text);
                GetClassNameA(window, name, sizeof name);
                if (lstrcmpA(name, "#32770") == 0 && IsWindowVisible(window) &&
                    std::string(text).rfind(s->caption, 0) == 0) {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            return search.found;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(100);
    }
}

HWND VisibleDescendant(HWND parent, const char *className)
{
    struct Search {
        const char *className;
        HWND found;
    } search = {className, nullptr};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) -> BOOL {
            auto *s = reinterpret_cast<Search *>(data);
            char name[64] = {};
            GetClassNameA(child, name, sizeof name);
            if (lstrcmpiA(name, s->className) == 0 && IsWindowVisible(child)) {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void ClickNext(HWND wizard)
{
    HWND next = GetDlgItem(wizard, IDOK);
    PostMessageA(wizard, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));
}

TEST_F(Package, TickingTheUninstallersBoxRemovesTheUsersData)
{
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, kConfigurationKeyPath)) << "the previous case left no user data";
    ProcessResult setup = RunProcess("\"" + SetupPath() + "\" /S", 120000);
    ASSERT_TRUE(setup.started && !setup.timedOut);
    ASSERT_EQ(setup.exitCode, 0u);

    ProcessResult start = RunProcess("\"" + InstallDir() + "\\uninstall.exe\"", kWaitMs);
    ASSERT_TRUE(start.started && !start.timedOut);
    HWND wizard = WaitForVisibleWindow("Quillon Uninstall", kWaitMs);
    if (wizard == nullptr) {
        std::string seen;
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                char text[128] = {}, name[64] = {};
                GetWindowTextA(window, text, sizeof text);
                GetClassNameA(window, name, sizeof name);
                if (text[0] != '\0')
                    *reinterpret_cast<std::string *>(data) += std::string(" [") + name + ": " + text + "]";
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&seen));
        FAIL() << "the uninstaller's window did not appear; windows:" << seen;
    }
    ClickNext(wizard);   // past the confirmation page

    // The components page: the second entry of the tree is the user-data box.
    HWND tree = nullptr;
    DWORD begin = GetTickCount();
    while ((tree = VisibleDescendant(wizard, "SysTreeView32")) == nullptr && GetTickCount() - begin < kWaitMs)
        Sleep(100);
    ASSERT_NE(tree, nullptr) << "no components page";
    LRESULT root = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    LRESULT userData = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, root);
    ASSERT_NE(userData, 0);
    LRESULT before = SendMessageA(tree, TVM_GETITEMSTATE, userData, TVIS_STATEIMAGEMASK);
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, userData);
    // The space bar toggles the selected entry (the wizard acts on the character).
    SendMessageA(tree, WM_CHAR, ' ', 0);
    ASSERT_NE(SendMessageA(tree, TVM_GETITEMSTATE, userData, TVIS_STATEIMAGEMASK), before) << "the box did not tick";
    ClickNext(wizard);   // "Uninstall"

    begin = GetTickCount();
    while ((KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) || Exists(InstallDir())) && GetTickCount() - begin < 60000)
        Sleep(200);
    EXPECT_FALSE(Exists(InstallDir()));
    EXPECT_TRUE(WaitForUserDataGone(kWaitMs)) << "the user's data is left";
    // Close the finished wizard.
    begin = GetTickCount();
    while (IsWindow(wizard) && GetTickCount() - begin < kWaitMs) {
        if (IsWindowEnabled(GetDlgItem(wizard, IDOK)))
            ClickNext(wizard);
        Sleep(200);
    }
    EXPECT_FALSE(IsWindow(wizard)) << "the uninstaller's window stays open";
}

TEST_F(Package, UninstallAskedToRemoveTheUsersDataRemovesItToo)
{
    ASSERT_TRUE(WriteConfigurationRows(
        EndToEndConfiguration(Env("QUILLON_PACKAGE_SMTP"), "installed@example.org", LogFile())));
    ProcessResult setup = RunProcess("\"" + SetupPath() + "\" /S", 120000);
    ASSERT_TRUE(setup.started && !setup.timedOut);
    ASSERT_EQ(setup.exitCode, 0u);

    ASSERT_TRUE(UninstallSilently(60000, " /REMOVEUSERDATA"));
    EXPECT_FALSE(Exists(InstallDir()));
    EXPECT_TRUE(WaitForUserDataGone(kWaitMs)) << "the user's data is left";
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Kestrova")) << "the empty parent key is left";
    ResetProductRegistry();
}

} // namespace
} // namespace quillon::test
