#include "tests/reminder/reminder_run.h"

#include "common/names.h"
#include "common/registry.h"
#include "reminder/reminder_window.h"
#include "resources/resource_ids.h"
#include "tests/support/window_driver.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {

const char kReminderTitle[] = "Quillon Reminder";
const char kOverwriteQuestion[] = "A file with this subject already exists.  Overwrite existing file?  (If you choose "
                                  "no, a file will be created with a new name)";
const char kFileError[] = "Couldn't create a file to save this message.  Make sure you have enough disk space, or "
                          "try changing the subject.";

namespace {

constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kUserShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char kPersonal[] = "Personal";
constexpr int kIntervalEdit = 1006;

std::string ClassName(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

BOOL CALLBACK CancelDialogs(HWND window, LPARAM found)
{
    if (IsWindowVisible(window) && ClassName(window) == "#32770") {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        *reinterpret_cast<bool *>(found) = true;
    }
    return TRUE;
}

template <typename Match>
HWND WaitForWindow(DWORD thread, DWORD timeoutMs, Match match)
{
    struct Search {
        Match *match;
        HWND found;
    } search{&match, nullptr};
    const DWORD start = GetTickCount();
    for (;;) {
        EnumThreadWindows(
            thread,
            [](HWND window, LPARAM parameter) -> BOOL {
                auto *s = reinterpret_cast<Search *>(parameter);
                if (IsWindowVisible(window) && (*s->match)(window)) {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr || GetTickCount() - start > timeoutMs)
            return search.found;
        Sleep(20);
    }
}

void SaveValue(const char *path, PersonalFolderRedirect *, bool *present, DWORD *type, std::vector<BYTE> *data)
{
    RegistryKey key;
    *present = false;
    if (key.Open(HKEY_CURRENT_USER, path) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), kPersonal, nullptr, type, nullptr, &size) != ERROR_SUCCESS)
        return;
    data->resize(size);
    if (RegQueryValueExA(key.Get(), kPersonal, nullptr, type, data->data(), &size) == ERROR_SUCCESS)
        *present = true;
}

void PutValue(const char *path, bool present, DWORD type, const std::vector<BYTE> &data)
{
    RegistryKey key;
    if (key.Create(HKEY_CURRENT_USER, path) != ERROR_SUCCESS)
        return;
    if (present)
        RegSetValueExA(key.Get(), kPersonal, 0, type, data.data(), static_cast<DWORD>(data.size()));
    else
        key.DeleteValue(kPersonal);
}

} // namespace

PersonalFolderRedirect::PersonalFolderRedirect(const std::string &folder)
{
    SaveValue(kShellFolders, this, &shellFolders_.present, &shellFolders_.type, &shellFolders_.data);
    SaveValue(kUserShellFolders, this, &userShellFolders_.present, &userShellFolders_.type, &userShellFolders_.data);
    // The reminder reads Shell Folders; User Shell Folders is set as well, because the
    // shell rewrites Shell Folders from it whenever someone asks it for the folder.
    std::vector<BYTE> value(folder.begin(), folder.end());
    value.push_back(0);
    PutValue(kShellFolders, true, REG_SZ, value);
    PutValue(kUserShellFolders, true, REG_SZ, value);
}

PersonalFolderRedirect::~PersonalFolderRedirect()
{
    PutValue(kShellFolders, shellFolders_.present, shellFolders_.type, shellFolders_.data);
    PutValue(kUserShellFolders, userShellFolders_.present, userShellFolders_.type, userShellFolders_.data);
}

void WriteReminderConfiguration(const char *maxMsgLen, int remindIntro)
{
    using namespace config_values;
    std::vector<ConfigRow> rows = {Number(kMailSystem, 0), Text(kSender, "me@example.test"),
                                   Text(kDestination, "pager@example.test")};
    if (maxMsgLen != nullptr)
        rows.push_back(Text(kMaxMsgLen, maxMsgLen));
    if (remindIntro >= 0)
        rows.push_back(Number(kRemindIntro, static_cast<uint32_t>(remindIntro)));
    WriteConfigurationRows(rows);
}

std::vector<StoredTask> StoredTasks()
{
    std::vector<StoredTask> tasks;
    RegistryKey all;
    if (OpenUserKey(kTasksKeyPath, &all) != ERROR_SUCCESS)
        return tasks;
    std::string name;
    for (DWORD i = 0; all.EnumSubkeyName(i, &name) == ERROR_SUCCESS; ++i) {
        RegistryKey key;
        if (key.Open(all.Get(), name.c_str()) != ERROR_SUCCESS)
            continue;
        StoredTask task;
        task.keyName = name;
        key.ReadString(task_values::kDisplayName, &task.displayName);
        key.ReadString(task_values::kAppName, &task.appName);
        key.ReadString(task_values::kCommandLine, &task.commandLine);
        key.ReadString(task_values::kSelection, &task.selection);
        key.ReadDword(task_values::kNeedsInternet, &task.needsInternet);
        key.ReadDword(task_values::kTimeout, &task.timeout);
        tasks.push_back(task);
    }
    return tasks;
}

ReminderRun::ReminderRun(HMODULE resources)
{
    thread_ = std::thread([this, resources] {
        threadId_ = GetCurrentThreadId();
        exitCode_ = RunReminder(GetModuleHandleA(nullptr), resources, SW_SHOWNORMAL);
        done_ = true;
    });
    while (threadId_ == 0)
        Sleep(1);
}

ReminderRun::~ReminderRun() { Stop(); }

HWND ReminderRun::Window(DWORD timeoutMs)
{
    if (window_ == nullptr || !IsWindow(window_))
        window_ = WaitForWindow(threadId_, timeoutMs, [](HWND w) { return ClassName(w) == kReminderTitle; });
    return window_;
}

namespace {

// The last sync marker the reminder's thread retrieved from its queue.
constexpr UINT kSyncMarker = WM_APP + 0x3A1;
std::atomic<LONG> g_markerSeen{0};
std::atomic<LONG> g_markerSent{0};

LRESULT CALLBACK SeeMarker(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG *message = reinterpret_cast<const MSG *>(lParam);
    if (code >= 0 && wParam == PM_REMOVE && message->message == kSyncMarker && message->hwnd == nullptr)
        g_markerSeen = static_cast<LONG>(message->wParam);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

// A sent message alone is not enough: the thread also answers sent messages while it
// waits inside a call of its own (a broadcast, a modal loop starting), so the marker is
// posted as well and the wait ends when the thread's loop has taken it from the queue,
// after everything posted before it.
void ReminderRun::Sync()
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(Window(), WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    if (hook_ == nullptr)
        hook_ = SetWindowsHookExA(WH_GETMESSAGE, SeeMarker, nullptr, threadId_);
    if (hook_ == nullptr)
        return;
    const LONG marker = ++g_markerSent;
    PostThreadMessageA(threadId_, kSyncMarker, static_cast<WPARAM>(marker), 0);
    const DWORD start = GetTickCount();
    while (g_markerSeen < marker && !done_ && GetTickCount() - start < 10000)
        Sleep(10);
}

void ReminderRun::SetField(int id, const std::string &text)
{
    SendMessageA(Field(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string ReminderRun::FieldText(int id)
{
    std::string text(65536, '\0');
    LRESULT length = SendMessageA(Field(id), WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    return text;
}

bool ReminderRun::ScheduleItemEnabled()
{
    HMENU popup = GetSubMenu(GetMenu(Window()), 0);
    // As the system does when the user opens the menu.
    SendMessageA(Window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
    UINT state = GetMenuState(popup, IDM_REMINDER_SCHEDULE, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

HWND ReminderRun::Focus()
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(threadId_, &info))
        return nullptr;
    return info.hwndFocus;
}

HWND ReminderRun::WaitForMessageBox(const std::string &text, DWORD timeoutMs)
{
    return WaitForWindow(threadId_, timeoutMs, [&](HWND w) {
        char shown[1024] = "";
        GetDlgItemTextA(w, 0xFFFF, shown, sizeof shown);
        return ClassName(w) == "#32770" && text == shown;
    });
}

std::string ReminderRun::Schedule(int answer, bool editorOk)
{
    PostMessageA(Window(), WM_COMMAND, IDM_REMINDER_SCHEDULE, 0);
    if (answer != 0) {
        HWND question = WaitForMessageBox(kOverwriteQuestion, 8000);
        if (question == nullptr)
            return std::string();
        PostMessageA(question, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
        if (answer == IDCANCEL) {
            WaitForWindowGone(question);
            Sync();
            return std::string();
        }
    }
    HWND editor = WaitForThreadDialog(threadId_, kIntervalEdit, 8000);
    if (editor == nullptr)
        return std::string();
    std::string title = WindowTitle(editor);
    if (editorOk) {
        SetItemText(editor, kIntervalEdit, "5");
        PostClick(editor, IDOK);
    } else {
        PostClick(editor, IDCANCEL);
    }
    WaitForWindowGone(editor);
    Sync();
    return title;
}

void ReminderRun::WaitForWindowGone(HWND window)
{
    const DWORD start = GetTickCount();
    while (IsWindow(window) && GetTickCount() - start < 8000)
        Sleep(20);
}

int ReminderRun::Stop()
{
    if (thread_.joinable()) {
        const DWORD start = GetTickCount();
        while (!done_ && GetTickCount() - start < 20000) {
            bool dialogs = false;
            EnumThreadWindows(threadId_, CancelDialogs, reinterpret_cast<LPARAM>(&dialogs));
            HWND window = dialogs ? nullptr : Window(0);
            if (window != nullptr)
                PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
            else if (!dialogs)
                PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
            Sleep(100);
        }
        thread_.join();
    }
    if (hook_ != nullptr)
        UnhookWindowsHookEx(hook_);
    hook_ = nullptr;
    return exitCode_;
}

} // namespace quillon::test
