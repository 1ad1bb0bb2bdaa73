#include "reminder/reminder_window.h"

#include <commctrl.h>

#include <string>

#include "common/com_owners.h"
#include "common/handles.h"
#include "common/names.h"
#include "common/page_task.h"
#include "common/registry.h"
#include "common/resource_text.h"
#include "common/submit_page_task.h"
#include "common/text.h"
#include "common/window_support.h"
#include "reminder/reminder_file.h"
#include "reminder/reminder_ids.h"
#include "reminder/reminder_settings.h"
#include "resources/resource_ids.h"
#include "tasqui_h.h"

namespace quillon {

namespace {

// Registered before the main routine runs, so start-up can post it at once.
const UINT g_introMessage = RegisterWindowMessageA(kMsgRemindIntro);

// The accelerators' WM_COMMAND carries notification code 1.
constexpr WORD kFromAccelerator = 1;
constexpr int kSubjectLabelId = 103;
constexpr int kMessageLabelId = 104;
constexpr int kSubjectFieldId = IDM_FOCUS_SUBJECT;
constexpr int kMessageFieldId = IDM_FOCUS_MESSAGE;
constexpr int kFontPoints = 8;

// Process-wide state of the one reminder window; everything runs on its thread.
struct Reminder {
    HINSTANCE instance = nullptr;
    HMODULE resources = nullptr;
    char caption[kTextBufferSize] = "";
    ReminderSettings settings;
    HWND window = nullptr;
    ComPtr<ITasqeduleUI> component;
    UniqueGdiObject<HFONT> font;
    int margin = 0;
    int row = 0;
    int line = 0;
    HWND subjectLabel = nullptr;
    HWND subjectField = nullptr;
    HWND messageLabel = nullptr;
    HWND messageField = nullptr;
    HWND lastFocused = nullptr;
    WNDPROC subjectFieldProc = nullptr;
    WNDPROC messageFieldProc = nullptr;
    UniqueGdiObject<HPEN> shadowPen;
    UniqueGdiObject<HPEN> highlightPen;
    std::string personalFolder;
};

Reminder g_reminder;

void ShowMessage(UINT id, UINT type)
{
    MessageBoxA(g_reminder.window, LoadResourceText(g_reminder.resources, id).c_str(), g_reminder.caption, type);
}

std::string FieldText(HWND field, size_t maxBytes)
{
    if (field == nullptr)
        return std::string();
    int length = GetWindowTextLengthA(field);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(field, &text[0], static_cast<int>(text.size()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    if (maxBytes > 0 && text.size() > maxBytes - 1)
        text.resize(maxBytes - 1);
    return text;
}

bool FieldHasText(HWND field) { return field != nullptr && GetWindowTextLengthA(field) > 0; }

// ---- The reminder file -------------------------------------------------------------

// An empty path (too long to be created) and a name that opens a device instead of a
// file ("CON.htm", "NUL.htm": the message would vanish while the task is scheduled)
// count as a file that could not be created.
UniqueHandle CreateReminderFile(const std::string &path, DWORD disposition)
{
    if (path.empty())
        return UniqueHandle();
    UniqueHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file && GetFileType(file.Get()) != FILE_TYPE_DISK)
        file.Reset();
    return file;
}

bool WriteAll(HANDLE file, const std::string &content)
{
    size_t written = 0;
    while (written < content.size()) {
        DWORD chunk = static_cast<DWORD>(content.size() - written);
        DWORD done = 0;
        if (!WriteFile(file, content.data() + written, chunk, &done, nullptr) || done == 0)
            return false;
        written += done;
    }
    return true;
}

// The whole file, or false when it cannot be read.
bool ReadWholeFile(const std::string &path, std::string *content)
{
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    content->clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        content->append(buffer, got);
    return true;
}

// What one Schedule command did to the disk, so that a cancel can undo exactly that.
struct SavedFile {
    std::string path;
    int number = 0;               // the numbered name used, 0 for the plain one
    bool created = false;         // this run created the file
    bool hadEarlier = false;      // an existing file was overwritten ...
    std::string earlierContent;   // ... and held this
};

void UndoSavedFile(const SavedFile &saved)
{
    if (saved.created) {
        DeleteFileA(saved.path.c_str());
        return;
    }
    if (saved.hadEarlier) {
        // The file belongs to an earlier reminder whose task still sends it.
        UniqueHandle file = CreateReminderFile(saved.path, CREATE_ALWAYS);
        if (file)
            WriteAll(file.Get(), saved.earlierContent);
    }
}

// Creates the reminder file under the subject's name, asking before it replaces one.
// False when nothing was saved (the user cancelled, or no name could be created; the
// user has been told then).
bool SaveReminderFile(const std::string &subject, const std::string &message, SavedFile *saved)
{
    const std::string &folder = g_reminder.personalFolder;
    saved->path = ReminderFilePath(folder, subject, 0);
    UniqueHandle file = CreateReminderFile(saved->path, CREATE_NEW);
    saved->created = static_cast<bool>(file);
    if (!file) {
        const std::string question = LoadResourceText(g_reminder.resources, IDS_REMINDER_OVERWRITE);
        int answer = MessageBoxA(g_reminder.window, question.c_str(), g_reminder.caption, MB_YESNOCANCEL);
        if (answer == IDYES) {
            // An overwritten file may be the page of an earlier task: keep its content so
            // that a cancel in the task editor can put it back. A file that exists but
            // cannot be read is overwritten all the same (the user said so), but it is
            // never deleted afterwards.
            const bool existed =
                !saved->path.empty() && GetFileAttributesA(saved->path.c_str()) != INVALID_FILE_ATTRIBUTES;
            saved->hadEarlier = existed && ReadWholeFile(saved->path, &saved->earlierContent);
            file = CreateReminderFile(saved->path, CREATE_ALWAYS);
            saved->created = file && !existed;
            if (!file) {
                ShowMessage(IDS_REMINDER_FILE_ERROR, MB_OK);
                return false;
            }
        } else if (answer == IDNO) {
            for (int number = 1; number <= kMaxReminderNumber && !file; ++number) {
                saved->path = ReminderFilePath(folder, subject, number);
                file = CreateReminderFile(saved->path, CREATE_NEW);
                if (file) {
                    saved->number = number;
                    saved->created = true;
                }
            }
            if (!file) {
                ShowMessage(IDS_REMINDER_FILE_ERROR, MB_OK);
                return false;
            }
        } else {
            return false;
        }
    }
    if (!WriteAll(file.Get(), ReminderFileContent(subject, message))) {
        // A half-written page would be sent as if it were the message.
        file.Reset();
        UndoSavedFile(*saved);
        ShowMessage(IDS_REMINDER_FILE_ERROR, MB_OK);
        return false;
    }
    return true;
}

void ScheduleReminder(HWND window)
{
    // The menu item is grayed in these cases; an accelerator or a stray command must not
    // save anything either.
    if (!g_reminder.component || !FieldHasText(g_reminder.subjectField) || !FieldHasText(g_reminder.messageField))
        return;
    const std::string subject = FieldText(g_reminder.subjectField, kTextBufferSize);
    const std::string message = FieldText(g_reminder.messageField, 0);
    SavedFile saved;
    if (!SaveReminderFile(subject, message, &saved))
        return;

    // The description goes through a 260-byte field of the task record.
    char description[kTextBufferSize] = "";
    CopyBounded(description, TaskDescription(LoadResourceText(g_reminder.resources, IDS_TASK_DESCRIPTION_FORMAT),
                                             NumberedSubject(subject, saved.number)));
    PageTaskRequest request;
    request.description = description;
    // The page sender finds its page through the Selection written after the submission.
    request.selection = SelectionValue(saved.path, nullptr);
    HRESULT result = SubmitPageTask(g_reminder.component.Get(), window, request, nullptr);
    if (FAILED(result))
        UndoSavedFile(saved);
}

// ---- Dialogs -----------------------------------------------------------------------

INT_PTR CALLBACK IntroProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        bool dontShow = LOWORD(wParam) == IDOK && IsDlgButtonChecked(dialog, IDC_INTRO_DONT_SHOW) == BST_CHECKED;
        EndDialog(dialog, dontShow ? 1 : 0);
        return TRUE;
    }
    return FALSE;
}

void ShowIntroduction(HWND window)
{
    INT_PTR dontShow =
        DialogBoxParamA(g_reminder.resources, MAKEINTRESOURCEA(IDD_REMINDER_INTRO), window, IntroProc, 0);
    if (dontShow == 1) {
        g_reminder.settings.introSuppressed = true;
        StoreIntroSuppressed();
    }
    if (g_reminder.subjectField != nullptr)
        SetFocus(g_reminder.subjectField);
}

// ---- Focus -------------------------------------------------------------------------

void MoveFocusTo(HWND field)
{
    if (field != nullptr && GetFocus() != field)
        SetFocus(field);
}

// Both fields: TAB (consumed, so it never enters the message) and the other field's
// accelerator move the focus to the other field; each records itself on gaining focus.
LRESULT FieldMessage(HWND field, UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool isSubject = field == g_reminder.subjectField;
    HWND other = isSubject ? g_reminder.messageField : g_reminder.subjectField;
    const int otherId = isSubject ? kMessageFieldId : kSubjectFieldId;
    switch (message) {
    case WM_CHAR:
        if (wParam == '\t') {
            MoveFocusTo(other);
            return 0;
        }
        break;
    case WM_COMMAND:
        if (HIWORD(wParam) == kFromAccelerator && LOWORD(wParam) == otherId) {
            MoveFocusTo(other);
            return 0;
        }
        break;
    case WM_SETFOCUS:
        g_reminder.lastFocused = field;
        break;
    default:
        break;
    }
    WNDPROC original = isSubject ? g_reminder.subjectFieldProc : g_reminder.messageFieldProc;
    return CallWindowProcA(original, field, message, wParam, lParam);
}

LRESULT CALLBACK FieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return FieldMessage(field, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

// ---- The main window ---------------------------------------------------------------

HWND CreateChild(HWND window, const char *className, const char *text, DWORD style, DWORD exStyle, int id, int x,
                 int y, int height)
{
    return CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y, 0, height, window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_reminder.instance, nullptr);
}

void MeasureFont(HWND window)
{
    HDC dc = GetDC(window);
    int height = -MulDiv(kFontPoints, GetDeviceCaps(dc, LOGPIXELSY), 72);
    g_reminder.font.Reset(CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                      DEFAULT_PITCH | FF_SWISS, nullptr));
    HGDIOBJ previous = SelectObject(dc, g_reminder.font.Get());
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(g_reminder.font.Get()), FALSE);
    g_reminder.margin = metrics.tmMaxCharWidth + GetSystemMetrics(SM_CXEDGE);
    g_reminder.row = metrics.tmHeight + metrics.tmDescent + 2 * GetSystemMetrics(SM_CYEDGE);
    g_reminder.line = metrics.tmHeight;
}

void CreateFields(HWND window)
{
    const int margin = g_reminder.margin;
    const int row = g_reminder.row;
    const int line = g_reminder.line;
    const std::string subjectLabel = LoadResourceText(g_reminder.resources, IDS_REMINDER_SUBJECT_LABEL);
    const std::string messageLabel = LoadResourceText(g_reminder.resources, IDS_REMINDER_MESSAGE_LABEL);
    g_reminder.subjectLabel =
        CreateChild(window, "STATIC", subjectLabel.c_str(), 0, 0, kSubjectLabelId, margin + 1, line, row);
    g_reminder.subjectField = CreateChild(window, "EDIT", "", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL,
                                          WS_EX_CLIENTEDGE, kSubjectFieldId, margin, 2 * line, row);
    g_reminder.messageLabel =
        CreateChild(window, "STATIC", messageLabel.c_str(), 0, 0, kMessageLabelId, margin + 1, 4 * line, row);
    g_reminder.messageField =
        CreateChild(window, "EDIT", "", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP,
                    WS_EX_CLIENTEDGE, kMessageFieldId, margin, 5 * line, 0);

    g_reminder.personalFolder = PersonalFolder();
    SendMessageA(g_reminder.subjectField, EM_LIMITTEXT, SubjectCharacterLimit(g_reminder.personalFolder.size()), 0);
    // A limit of 0 would mean no limit at all; a configured length below 1 gets 1.
    long messageLimit = g_reminder.settings.maxMsgLen > 0 ? g_reminder.settings.maxMsgLen : 1;
    SendMessageA(g_reminder.messageField, EM_LIMITTEXT, static_cast<WPARAM>(messageLimit), 0);

    for (HWND child : {g_reminder.subjectField, g_reminder.messageField, g_reminder.subjectLabel,
                       g_reminder.messageLabel})
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(g_reminder.font.Get()), TRUE);
}

void SubclassFields()
{
    g_reminder.subjectFieldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(g_reminder.subjectField, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FieldProc)));
    g_reminder.messageFieldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(g_reminder.messageField, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FieldProc)));
}

void OnSize(int width, int height)
{
    const int fieldWidth = width - 2 * g_reminder.margin;
    const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    for (HWND child : {g_reminder.subjectLabel, g_reminder.subjectField, g_reminder.messageLabel})
        if (child != nullptr)
            SetWindowPos(child, nullptr, 0, 0, fieldWidth, g_reminder.row, flags);
    if (g_reminder.messageField != nullptr)
        SetWindowPos(g_reminder.messageField, nullptr, 0, 0, fieldWidth, height - 6 * g_reminder.line, flags);
}

void OnCreate(HWND window)
{
    g_reminder.window = window;
    HRESULT created = CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER, IID_ITasqeduleUI,
                                       g_reminder.component.PutVoid());
    if (FAILED(created))
        g_reminder.component.Reset();
    MeasureFont(window);
    // Without the schedule component nothing could be scheduled: the window keeps only its
    // menu, whose Schedule item then stays grayed.
    if (g_reminder.component) {
        CreateFields(window);
        SubclassFields();
        // Not every platform sends WM_SIZE before the first paint: size the fields now.
        RECT client;
        GetClientRect(window, &client);
        OnSize(client.right, client.bottom);
    }
    g_reminder.shadowPen.Reset(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW)));
    g_reminder.highlightPen.Reset(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT)));
    if (!g_reminder.settings.introSuppressed)
        PostMessageA(window, g_introMessage, 0, 0);
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    HGDIOBJ previous = SelectObject(dc, g_reminder.shadowPen.Get());
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, client.right, 0);
    SelectObject(dc, g_reminder.highlightPen.Get());
    MoveToEx(dc, 0, 1, nullptr);
    LineTo(dc, client.right, 1);
    SelectObject(dc, previous);
    EndPaint(window, &paint);
}

// The Reminder menu: Schedule only when both fields hold text. Only the enable state
// changes; a menu without the item is left alone.
void OnInitMenuPopup(HMENU menu)
{
    if (GetMenuState(menu, IDM_REMINDER_SCHEDULE, MF_BYCOMMAND) == static_cast<UINT>(-1))
        return;
    bool ready = g_reminder.component && FieldHasText(g_reminder.subjectField) &&
                 FieldHasText(g_reminder.messageField);
    EnableMenuItem(menu, IDM_REMINDER_SCHEDULE, MF_BYCOMMAND | (ready ? MF_ENABLED : MF_GRAYED));
}

void OnDestroy()
{
    g_reminder.component.Reset();
    g_reminder.shadowPen.Reset();
    g_reminder.highlightPen.Reset();
    PostQuitMessage(0);
}

bool OnCommand(HWND window, WORD command, WORD code)
{
    switch (command) {
    case IDM_REMINDER_SCHEDULE:
        ScheduleReminder(window);
        return true;
    case IDM_ABOUT:
        DialogBoxParamA(g_reminder.resources, MAKEINTRESOURCEA(IDD_REMINDER_ABOUT), window, AboutBoxProc, 0);
        return true;
    case IDM_EXIT:
        DestroyWindow(window);
        return true;
    case kSubjectFieldId:
        if (code == kFromAccelerator)
            MoveFocusTo(g_reminder.subjectField);
        return true;
    case kMessageFieldId:
        if (code == kFromAccelerator)
            MoveFocusTo(g_reminder.messageField);
        return true;
    default:
        return false;
    }
}

LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == g_introMessage) {
        ShowIntroduction(window);
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_SETFOCUS:
        if (g_reminder.lastFocused != nullptr)
            SetFocus(g_reminder.lastFocused);
        else if (g_reminder.subjectField != nullptr)
            SetFocus(g_reminder.subjectField);
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_COMMAND:
        if (OnCommand(window, LOWORD(wParam), HIWORD(wParam)))
            return 0;
        break;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterMainClass()
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = GuardedWindowProc<HandleMessage>;
    windowClass.hInstance = g_reminder.instance;
    windowClass.hIcon = LoadIconA(g_reminder.instance, MAKEINTRESOURCEA(IDI_REMINDER));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = g_reminder.caption;
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageA(g_reminder.instance, MAKEINTRESOURCEA(IDI_REMINDER), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), 0));
    return RegisterClassExA(&windowClass) != 0;
}

} // namespace

int RunReminder(HINSTANCE instance, HMODULE resources, int showCommand)
{
    g_reminder = Reminder();
    g_reminder.instance = instance;
    g_reminder.resources = resources;

    // Caption and class name are both the program's title.
    LoadStringA(resources, IDS_REMINDER_TITLE, g_reminder.caption, sizeof g_reminder.caption);
    bool registered = RegisterMainClass();

    // Uninitialised after the component's reference is gone (below), and only when the
    // initialisation succeeded.
    const ComApartment apartment;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    int exitCode = 0;
    if (registered && ReadReminderSettings(&g_reminder.settings)) {
        HMENU menu = LoadMenuA(resources, MAKEINTRESOURCEA(IDR_REMINDER_MENU));
        HWND window = CreateWindowExA(0, g_reminder.caption, g_reminder.caption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu, instance, nullptr);
        if (window == nullptr) {
            if (menu != nullptr)
                DestroyMenu(menu);
        } else {
            ShowWindow(window, showCommand);
            UpdateWindow(window);
            // The accelerators' target is the message's own window, so that Alt+M and Alt+S
            // reach the focused field, which passes the focus on.
            HACCEL accelerators = LoadAcceleratorsA(resources, MAKEINTRESOURCEA(IDR_REMINDER_ACCEL));
            MSG message = {};
            while (GetMessageA(&message, nullptr, 0, 0) > 0) {
                if (accelerators != nullptr && TranslateAcceleratorA(message.hwnd, accelerators, &message))
                    continue;
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            exitCode = static_cast<int>(message.wParam);
        }
    }

    g_reminder.component.Reset();
    g_reminder.font.Reset();
    if (registered)
        UnregisterClassA(g_reminder.caption, instance);
    return exitCode;
}

} // namespace quillon
