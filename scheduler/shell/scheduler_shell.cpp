#include "scheduler/shell/scheduler_shell.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <memory>
#include <vector>

#include "common/com_owners.h"
#include "common/handles.h"
#include "common/module_path.h"
#include "common/names.h"
#include "common/resource_module.h"
#include "common/resource_text.h"
#include "common/text.h"
#include "common/window_support.h"
#include "resources/resource_ids.h"
#include "scheduler/config_dialog/config_dialog.h"
#include "scheduler/config/configuration.h"
#include "scheduler/engine/product_engine.h"
#include "scheduler/shell/shell_ids.h"
#include "scheduler/shell/watch_page_dialog.h"
#include "tasqui_h.h"

namespace quillon {

namespace {

// Registered before the main routine runs, so every step may use them. The icon
// message doubles as the notification icon's identifier.
const UINT g_iconMessage = RegisterWindowMessageA("kestr:tasqed");
const UINT g_taskChangedMessage = RegisterWindowMessageA(kMsgAppTaskChanged);
const UINT g_updateConfigMessage = RegisterWindowMessageA(kMsgUpdateConfig);
const UINT g_alreadyRunningMessage = RegisterWindowMessageA(kMsgAlreadyRunning);

constexpr UINT_PTR kMinuteTimerId = 0xAEAE;
constexpr UINT kMinuteTimerPeriod = 60000;
constexpr LRESULT kAlreadyRunningAnswer = 0xFADE;
constexpr size_t kTitleSize = 100;
constexpr size_t kTipSize = 64;   // the tip holds at most 63 characters
// A hung window must not stop start-up or the configuration broadcast for good.
constexpr UINT kSendTimeoutMs = 5000;
constexpr char kHelpFileName[] = "quillon.chm";

// Process-wide state of the shell; everything runs on the one thread.
struct Shell {
    HINSTANCE instance = nullptr;
    HMODULE resources = nullptr;
    char helpPath[kTextBufferSize] = "";
    char title[kTitleSize] = "";
    char className[kTitleSize] = "";
    HWND mainWindow = nullptr;
    ComPtr<ITasqeduleUI> component;
    HRESULT componentResult = S_OK;
    bool iconAdded = false;
    ShellState state;            // view counter, task-changed flag, tick-busy flag, exit request
    SchedulerSettings settings;  // the in-memory configuration
    std::unique_ptr<ProductEngine> engine;
    // Dialog-opening commands chosen while a tick worked, in the order chosen; run once
    // the tick has ended.
    std::vector<UINT> waitingCommands;
};

Shell g_shell;

int ShowMessage(UINT stringId, UINT type)
{
    return MessageBoxA(g_shell.mainWindow, LoadResourceText(g_shell.resources, stringId).c_str(), g_shell.title, type);
}

void AddNotificationIcon(HWND window)
{
    NOTIFYICONDATAA icon = {};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = g_iconMessage;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = g_iconMessage;
    icon.hIcon = static_cast<HICON>(
        LoadImageA(g_shell.instance, MAKEINTRESOURCEA(IDI_SCHEDULER_SMALL), IMAGE_ICON, 16, 16, 0));
    CopyBounded(icon.szTip, kTipSize, g_shell.title);
    g_shell.iconAdded = Shell_NotifyIconA(NIM_ADD, &icon) != FALSE;
}

void RemoveNotificationIcon(HWND window)
{
    if (!g_shell.iconAdded)
        return;
    NOTIFYICONDATAA icon = {};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = g_iconMessage;
    Shell_NotifyIconA(NIM_DELETE, &icon);
    g_shell.iconAdded = false;
}

ConfigDialogContext DialogContext()
{
    ConfigDialogContext context;
    context.resources = g_shell.resources;
    context.helpFile = g_shell.helpPath;
    context.caption = g_shell.title;
    context.retryCount = g_shell.settings.retryCount;
    context.retryMinutes = g_shell.settings.retryMinutes;
    context.taskRetryCount = g_shell.settings.taskRetryCount;
    context.taskRetryMinutes = g_shell.settings.taskRetryMinutes;
    return context;
}

void ViewSchedule(HWND window)
{
    // A reference of its own for the call: "&Exit" (or an uninstaller ending the
    // scheduler through its window) destroys the main window while the list is open, and
    // that releases the shell's reference with the list still working on the component.
    ComPtr<ITasqeduleUI> component = g_shell.component;
    if (!component)
        return;
    ++g_shell.state.scheduleViewCount;
    component->EditTasks(window);
    --g_shell.state.scheduleViewCount;
}

// Only one configuration dialog at a time: an open one (found by its caption) is
// brought to the top instead. After OK the new values take effect at once and every
// hooked browser window is told to re-read them.
void Configure(HWND window)
{
    std::string caption = LoadResourceText(g_shell.resources, IDS_CONFIGURATION_TITLE);
    HWND open = FindWindowA(nullptr, caption.c_str());
    if (open != nullptr) {
        BringWindowToTop(open);
        return;
    }
    if (RunConfigurationDialog(window, DialogContext()) != IDOK)
        return;
    LoadConfiguration(&g_shell.settings);   // an incomplete result is ignored: keep what was read
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(HWND_BROADCAST, g_updateConfigMessage, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendTimeoutMs,
                        &ignored);
}

void ShowIconMenu(HWND window)
{
    HMENU menu = LoadMenuA(g_shell.resources, MAKEINTRESOURCEA(IDR_TRAY_MENU));
    if (menu == nullptr)
        return;
    POINT cursor = {};
    GetCursorPos(&cursor);
    // Without becoming the foreground window the menu would not close on a click elsewhere.
    SetForegroundWindow(window);
    TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTALIGN | TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, window, nullptr);
    PostMessageA(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

// The commands that open a dialog of the scheduler. While a tick works they wait for
// its end: a modal dialog's own message loop would otherwise hold the tick's progress
// (the tick's waits go on only when the loop that dispatched them returns).
bool OpensDialog(UINT command)
{
    return command == IDM_VIEW_SCHEDULE || command == IDM_WATCH_PAGE || command == IDM_CONFIGURE ||
           command == IDM_ABOUT;
}

void WaitForTickEnd(UINT command)
{
    for (UINT waiting : g_shell.waitingCommands)
        if (waiting == command)
            return;   // chosen twice: it opens once
    g_shell.waitingCommands.push_back(command);
}

bool HandleCommand(HWND window, UINT command)
{
    if (g_shell.state.tickBusy && OpensDialog(command)) {
        WaitForTickEnd(command);
        return true;
    }
    switch (command) {
    case IDM_VIEW_SCHEDULE:
        ViewSchedule(window);
        return true;
    case IDM_WATCH_PAGE:
        // The page door with the scheduler's own component, so the task editor opens on
        // the schedule chosen last.
        WatchPage(window, g_shell.resources, g_shell.helpPath, g_shell.component.Get());
        return true;
    case IDM_CONFIGURE:
        Configure(window);
        return true;
    case IDM_ABOUT:
        DialogBoxParamA(g_shell.resources, MAKEINTRESOURCEA(IDD_SCHEDULER_ABOUT), window, AboutBoxProc, 0);
        return true;
    case IDM_EXIT:
        // A tick under way ends after its current task or message (its waits dispatch
        // this command), and the program with it.
        g_shell.state.exitRequested = true;
        DestroyWindow(window);
        return true;
    default:
        return false;
    }
}

// The scheduler's own dialogs open on this thread (the configuration, the schedule list,
// About, a message box), each enabled one disabled by DisableOpenDialogs.
bool IsDialogWindow(HWND window)
{
    char className[16] = "";
    return GetClassNameA(window, className, sizeof className) > 0 && strcmp(className, "#32770") == 0;
}

BOOL CALLBACK DisableDialog(HWND candidate, LPARAM disabled)
{
    if (IsDialogWindow(candidate) && IsWindowVisible(candidate) && IsWindowEnabled(candidate)) {
        EnableWindow(candidate, FALSE);
        reinterpret_cast<std::vector<HWND> *>(disabled)->push_back(candidate);
    }
    return TRUE;
}

// The minute tick, with the window's side of it: the tick's waits dispatch messages, so
// a dialog that is open would take input that the tick's work may invalidate (the
// schedule list edits the task list the tick reads; the configuration dialog the
// settings it reads); it is disabled for the tick and enabled again after it. Commands
// that open a dialog, chosen during the tick, run after it.
void RunMinuteTick(HWND window)
{
    if (g_shell.state.tickBusy) {
        g_shell.engine->MinuteTick();   // only logs "(busy)"
        return;
    }
    std::vector<HWND> disabled;
    EnumThreadWindows(GetCurrentThreadId(), DisableDialog, reinterpret_cast<LPARAM>(&disabled));
    g_shell.engine->MinuteTick();
    for (HWND dialog : disabled)
        if (IsWindow(dialog))
            EnableWindow(dialog, TRUE);
    if (g_shell.state.exitRequested)
        return;
    std::vector<UINT> waiting;
    waiting.swap(g_shell.waitingCommands);
    for (UINT command : waiting)
        PostMessageA(window, WM_COMMAND, command, 0);
}

LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The registered numbers are compared before the fixed message codes.
    if (message == g_taskChangedMessage) {
        g_shell.state.taskListChanged = true;
        return 0;
    }
    if (message == g_alreadyRunningMessage)
        return kAlreadyRunningAnswer;
    if (message == g_iconMessage) {
        if (lParam == WM_LBUTTONDBLCLK)
            HandleCommand(window, IDM_VIEW_SCHEDULE);
        else if (lParam == WM_RBUTTONDOWN)
            ShowIconMenu(window);
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        // The window is created whether or not the component could be; start-up decides.
        g_shell.componentResult = CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER, IID_ITasqeduleUI,
                                                   g_shell.component.PutVoid());
        if (FAILED(g_shell.componentResult))
            g_shell.component.Reset();
        return 0;
    case WM_DESTROY:
        // A minute tick may be under way below this message (its waits dispatch messages,
        // and so may a mail log-on or dial-up dialog inside it): the tick ends after its
        // current task or message, and the engine and the component stay until the
        // message loop has ended, and are released after it.
        g_shell.state.exitRequested = true;
        g_shell.waitingCommands.clear();
        if (!g_shell.state.tickBusy) {
            g_shell.engine.reset();   // it borrows the component
            g_shell.component.Reset();
        }
        RemoveNotificationIcon(window);
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_COMMAND:
        if (HandleCommand(window, LOWORD(wParam)))
            return 0;
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_TIMER:
        if (g_shell.engine)
            RunMinuteTick(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// A running copy answers the already-running message with 0xFADE. A window of the same
// class and title that answers something else is not ours. One that does not answer in
// time (or counts as hung) is a scheduler that is stuck (a modal loop of a mail system
// inside its tick, say): it runs, and a second copy would run due tasks and send mail
// twice.
bool AnotherInstanceRuns()
{
    HWND existing = FindWindowA(g_shell.className, g_shell.title);
    if (existing == nullptr)
        return false;
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutA(existing, g_alreadyRunningMessage, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &answer) == 0)
        return IsWindow(existing) != FALSE;   // gone meanwhile: the old copy has just ended
    return static_cast<LRESULT>(answer) == kAlreadyRunningAnswer;
}

bool RegisterMainClass()
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = GuardedWindowProc<HandleMessage>;
    windowClass.hInstance = g_shell.instance;
    windowClass.hIcon = LoadIconA(g_shell.instance, MAKEINTRESOURCEA(IDI_SCHEDULER));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = g_shell.className;
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageA(g_shell.instance, MAKEINTRESOURCEA(IDI_SCHEDULER_SMALL), IMAGE_ICON, 16, 16, 0));
    return RegisterClassExA(&windowClass) != 0;
}

// The first-run flow: true when the user configured the scheduler.
bool RunFirstConfiguration()
{
    if (ShowMessage(IDS_NOT_CONFIGURED, MB_OKCANCEL) == IDOK &&
        RunConfigurationDialog(g_shell.mainWindow, DialogContext()) == IDOK) {
        ShowMessage(IDS_CONFIGURED, MB_OK);
        LoadConfiguration(&g_shell.settings);
        return true;
    }
    ShowMessage(IDS_NOT_CONFIGURED_WILL_NOT_RUN, MB_OK);
    return false;
}

// Without the schedule component no task can ever run, so the scheduler says why (the
// system's text for the error) and ends instead of sitting in the tray doing nothing.
void ReportMissingComponent()
{
    char text[kTextBufferSize] = "";
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(g_shell.componentResult), 0, text, sizeof text, nullptr) == 0)
        FormatBounded(text, "0x%08lX", static_cast<unsigned long>(g_shell.componentResult));
    MessageBoxA(g_shell.mainWindow, text, g_shell.title, MB_OK | MB_ICONERROR);
}

// Ends a start-up that got as far as the main window: its destruction releases the
// component and removes the icon.
void AbandonMainWindow()
{
    DestroyWindow(g_shell.mainWindow);
    g_shell.mainWindow = nullptr;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

} // namespace

int RunScheduler(HINSTANCE instance)
{
    g_shell.instance = instance;

    // The language module; without it no text can be shown, so leave silently.
    UniqueModule resources;
    if (LoadResourceModule(ResourceModuleSearch::SystemSearch, nullptr, resources) != ResourceModuleStatus::Loaded)
        return 0;
    g_shell.resources = resources.Get();

    // The help file lies beside the program.
    const std::string folder = ModuleDirectory(nullptr);
    if (!folder.empty() && !CopyBounded(g_shell.helpPath, folder + "\\" + kHelpFileName))
        g_shell.helpPath[0] = '\0';   // a cut path would name another file

    // Title and class name.
    LoadStringA(g_shell.resources, IDS_APP_CAPTION, g_shell.title, sizeof g_shell.title);
    LoadStringA(g_shell.resources, IDS_SCHEDULER_CLASS, g_shell.className, sizeof g_shell.className);

    // One scheduler per user.
    if (AnotherInstanceRuns())
        return 0;

    // Class, COM and common controls, the hidden main window and its icon.
    if (!RegisterMainClass())
        return 0;
    ComApartment com(COINIT_APARTMENTTHREADED);   // until every way out below
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    HMENU menu = LoadMenuA(g_shell.resources, MAKEINTRESOURCEA(IDR_SCHEDULER_MENU));
    g_shell.mainWindow = CreateWindowExA(0, g_shell.className, g_shell.title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu, instance, nullptr);
    if (g_shell.mainWindow == nullptr) {
        if (menu != nullptr)
            DestroyMenu(menu);
        return 0;
    }
    AddNotificationIcon(g_shell.mainWindow);
    if (!g_shell.component) {
        ReportMissingComponent();
        AbandonMainWindow();
        return 0;
    }
    g_shell.engine = std::make_unique<ProductEngine>(g_shell.settings, g_shell.state, g_shell.mainWindow,
                                                     g_shell.component.Get());

    // Accelerators.
    HACCEL accelerators = LoadAcceleratorsA(g_shell.resources, MAKEINTRESOURCEA(IDR_SCHEDULER_ACCEL));

    // The configuration, or the first-run flow when there is none.
    if (!LoadConfiguration(&g_shell.settings) && !RunFirstConfiguration()) {
        AbandonMainWindow();
        return 0;
    }

    // The minute timer and the message loop.
    SetTimer(g_shell.mainWindow, kMinuteTimerId, kMinuteTimerPeriod, nullptr);
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (accelerators != nullptr && TranslateAcceleratorA(message.hwnd, accelerators, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }

    // Shutdown (the window is gone: the timer, the component and the icon with it).
    g_shell.engine.reset();
    g_shell.component.Reset();
    return static_cast<int>(message.wParam);
}

} // namespace quillon
