// The task editor, IDD_TASK_EDITOR. The procedure copies between the controls and an
// EditorState; every rule lives in editor_logic.cpp.
#include <windows.h>
#include <commctrl.h>

#include "common/text.h"
#include "common/win_datetime.h"
#include "resources/resource_ids.h"
#include "schedule/dialogs/dialog_support.h"
#include "schedule/dialogs/editor_logic.h"
#include "schedule/dialogs/schedule_dialogs.h"

namespace quillon {

namespace {

constexpr DWORD kEditorHelpContext = 1006;

struct EditorDialogData {
    const DialogEnvironment *env;
    TaskRecord *task;
};

// The editor of this process, set when its window is initialised and cleared when it is
// destroyed. The dialog procedure finds its task through it, and a second editor is
// refused while it is set.
EditorDialogData *g_openEditor = nullptr;
HWND g_openEditorWindow = nullptr;

const int kTimePickers[] = {IDC_TASK_DAY_AT, IDC_TASK_EVERY_AT, IDC_TASK_WINDOW_FROM, IDC_TASK_WINDOW_TO,
                            IDC_TASK_WEEKDAY_AT};

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
void SetChecked(HWND dialog, int id, bool on) { CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED); }

int Selection(HWND dialog, int id)
{
    LRESULT position = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
    return position == CB_ERR ? 0 : static_cast<int>(position);
}

DateTime PickerValue(HWND dialog, int id, const DateTime &fallback)
{
    SYSTEMTIME st{};
    if (SendDlgItemMessageA(dialog, id, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) != GDT_VALID)
        return fallback;
    return FromSystemTime(st);
}

void SetPicker(HWND dialog, int id, const DateTime &value)
{
    if (!IsValidDateTime(value))
        return;  // the picker keeps its own (current) value rather than refusing a bad one
    SYSTEMTIME st = ToSystemTime(value);
    SendDlgItemMessageA(dialog, id, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

void FillList(HWND dialog, int id, HINSTANCE resources, unsigned firstString, int count)
{
    SendDlgItemMessageA(dialog, id, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < count; ++i) {
        std::string text = LoadResourceText(resources, firstString + i);
        SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

EditorState ReadControls(HWND dialog)
{
    DateTime now = LocalNow();
    EditorState s;
    if (IsChecked(dialog, IDC_TASK_WEEKDAY_ROW))
        s.row = ScheduleRow::Weekday;
    else if (IsChecked(dialog, IDC_TASK_DAY_ROW))
        s.row = ScheduleRow::Day;
    else
        s.row = ScheduleRow::Every;
    char text[kTextBufferSize] = {};
    GetDlgItemTextA(dialog, IDC_TASK_INTERVAL, text, sizeof text);
    s.intervalText = text;
    s.unitPosition = Selection(dialog, IDC_TASK_UNIT);
    s.weekOrdinalPosition = Selection(dialog, IDC_TASK_WEEK_ORDINAL);
    s.weekdayPosition = Selection(dialog, IDC_TASK_WEEKDAY);
    s.dayPosition = Selection(dialog, IDC_TASK_DAY_OF_MONTH);
    s.everyAt = PickerValue(dialog, IDC_TASK_EVERY_AT, now);
    s.weekdayAt = PickerValue(dialog, IDC_TASK_WEEKDAY_AT, now);
    s.dayAt = PickerValue(dialog, IDC_TASK_DAY_AT, now);
    for (int d = 0; d < 7; ++d)
        s.dayExcepted[d] = IsChecked(dialog, IDC_TASK_DAY_SUNDAY + d);
    for (int m = 0; m < 12; ++m)
        s.monthExcepted[m] = IsChecked(dialog, IDC_TASK_MONTH_JAN + m);
    s.hasDates = IsChecked(dialog, IDC_TASK_DATE_RANGE);
    s.startDate = PickerValue(dialog, IDC_TASK_START_DATE, now);
    s.endDate = PickerValue(dialog, IDC_TASK_END_DATE, now);
    s.hasTimes = IsChecked(dialog, IDC_TASK_WINDOW);
    s.windowStart = PickerValue(dialog, IDC_TASK_WINDOW_FROM, now);
    s.windowEnd = PickerValue(dialog, IDC_TASK_WINDOW_TO, now);
    // The style, not IsWindowVisible: the dialog itself may not be shown yet.
    HWND sendIfChanged = GetDlgItem(dialog, IDC_TASK_SEND_IF_CHANGED);
    s.showSendIfChanged = sendIfChanged != nullptr && (GetWindowLongA(sendIfChanged, GWL_STYLE) & WS_VISIBLE) != 0;
    s.sendIfChanged = s.showSendIfChanged && IsChecked(dialog, IDC_TASK_SEND_IF_CHANGED);
    return s;
}

void CheckRow(HWND dialog, ScheduleRow row)
{
    SetChecked(dialog, IDC_TASK_EVERY, row == ScheduleRow::Every);
    SetChecked(dialog, IDC_TASK_WEEKDAY_ROW, row == ScheduleRow::Weekday);
    SetChecked(dialog, IDC_TASK_DAY_ROW, row == ScheduleRow::Day);
}

void WriteControls(HWND dialog, const EditorState &s)
{
    SetWindowTextA(dialog, s.title.c_str());
    CheckRow(dialog, s.row);
    SetDlgItemTextA(dialog, IDC_TASK_INTERVAL, s.intervalText.c_str());
    SendDlgItemMessageA(dialog, IDC_TASK_UNIT, CB_SETCURSEL, s.unitPosition, 0);
    SendDlgItemMessageA(dialog, IDC_TASK_WEEK_ORDINAL, CB_SETCURSEL, s.weekOrdinalPosition, 0);
    SendDlgItemMessageA(dialog, IDC_TASK_WEEKDAY, CB_SETCURSEL, s.weekdayPosition, 0);
    SendDlgItemMessageA(dialog, IDC_TASK_DAY_OF_MONTH, CB_SETCURSEL, s.dayPosition, 0);
    SetPicker(dialog, IDC_TASK_EVERY_AT, s.everyAt);
    SetPicker(dialog, IDC_TASK_WEEKDAY_AT, s.weekdayAt);
    SetPicker(dialog, IDC_TASK_DAY_AT, s.dayAt);
    for (int d = 0; d < 7; ++d)
        SetChecked(dialog, IDC_TASK_DAY_SUNDAY + d, s.dayExcepted[d]);
    for (int m = 0; m < 12; ++m)
        SetChecked(dialog, IDC_TASK_MONTH_JAN + m, s.monthExcepted[m]);
    SetChecked(dialog, IDC_TASK_DATE_RANGE, s.hasDates);
    SetChecked(dialog, IDC_TASK_FOREVER, !s.hasDates);
    SetPicker(dialog, IDC_TASK_START_DATE, s.startDate);
    SetPicker(dialog, IDC_TASK_END_DATE, s.endDate);
    SetChecked(dialog, IDC_TASK_WINDOW, s.hasTimes);
    SetChecked(dialog, IDC_TASK_ALL_DAY, !s.hasTimes);
    SetPicker(dialog, IDC_TASK_WINDOW_FROM, s.windowStart);
    SetPicker(dialog, IDC_TASK_WINDOW_TO, s.windowEnd);
    SetChecked(dialog, IDC_TASK_SEND_IF_CHANGED, s.sendIfChanged);
    ShowWindow(GetDlgItem(dialog, IDC_TASK_SEND_IF_CHANGED), s.showSendIfChanged ? SW_SHOWNA : SW_HIDE);
}

void ApplyControlStates(HWND dialog)
{
    for (const ControlState &c : EditorControlStates(ReadControls(dialog))) {
        HWND control = GetDlgItem(dialog, c.id);
        if (control == nullptr)
            continue;
        EnableWindow(control, c.enabled ? TRUE : FALSE);
        ShowWindow(control, c.visible ? SW_SHOWNA : SW_HIDE);
    }
}

void Validate(HWND dialog)
{
    EnableWindow(GetDlgItem(dialog, IDOK), EditorStateValid(ReadControls(dialog)) ? TRUE : FALSE);
}

void InitEditor(HWND dialog, EditorDialogData *data)
{
    HINSTANCE resources = data->env->resources;
    SendDlgItemMessageA(dialog, IDC_TASK_INTERVAL, EM_LIMITTEXT, 5, 0);
    FillList(dialog, IDC_TASK_UNIT, resources, IDS_MINUTES, kUnitCount);
    FillList(dialog, IDC_TASK_WEEK_ORDINAL, resources, IDS_FIRST, kWeekOrdinalCount);
    FillList(dialog, IDC_TASK_WEEKDAY, resources, IDS_SUNDAY, kWeekdayCount);
    FillList(dialog, IDC_TASK_DAY_OF_MONTH, resources, IDS_ORDINAL_1ST, kDayOfMonthCount - 1);
    std::string last = LoadResourceText(resources, IDS_LAST);
    SendDlgItemMessageA(dialog, IDC_TASK_DAY_OF_MONTH, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(last.c_str()));
    const char *format = data->env->pickerTimeFormat;
    if (format != nullptr && *format != '\0')
        for (int id : kTimePickers)
            SendDlgItemMessageA(dialog, id, DTM_SETFORMATA, 0, reinterpret_cast<LPARAM>(format));

    WriteControls(dialog, LoadEditorState(data->task, LocalNow()));
    ApplyControlStates(dialog);
    Validate(dialog);
}

INT_PTR CALLBACK EditorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        switch (message) {
        case WM_INITDIALOG:
            g_openEditor = reinterpret_cast<EditorDialogData *>(lParam);
            g_openEditorWindow = dialog;
            InitEditor(dialog, g_openEditor);
            return TRUE;
        case WM_DESTROY:
            g_openEditor = nullptr;
            g_openEditorWindow = nullptr;
            return FALSE;
        case WM_COMMAND: {
            if (g_openEditor == nullptr)
                return FALSE;
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDOK) {
                StoreEditorState(ReadControls(dialog), g_openEditor->task);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (id == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            if (code == BN_CLICKED) {
                switch (id) {
                case IDC_TASK_EVERY:
                    CheckRow(dialog, ScheduleRow::Every);
                    break;
                case IDC_TASK_WEEKDAY_ROW:
                    CheckRow(dialog, ScheduleRow::Weekday);
                    break;
                case IDC_TASK_DAY_ROW:
                    CheckRow(dialog, ScheduleRow::Day);
                    break;
                case IDC_TASK_DATE_RANGE:
                case IDC_TASK_FOREVER:
                    SetChecked(dialog, IDC_TASK_DATE_RANGE, id == IDC_TASK_DATE_RANGE);
                    SetChecked(dialog, IDC_TASK_FOREVER, id == IDC_TASK_FOREVER);
                    break;
                case IDC_TASK_WINDOW:
                case IDC_TASK_ALL_DAY:
                    SetChecked(dialog, IDC_TASK_WINDOW, id == IDC_TASK_WINDOW);
                    SetChecked(dialog, IDC_TASK_ALL_DAY, id == IDC_TASK_ALL_DAY);
                    break;
                default:
                    break;
                }
                ApplyControlStates(dialog);
                Validate(dialog);
            } else if (id == IDC_TASK_UNIT && code == CBN_SELCHANGE) {
                ApplyControlStates(dialog);
                Validate(dialog);
            } else if (code == EN_CHANGE) {
                Validate(dialog);
            }
            return FALSE;
        }
        case WM_NOTIFY: {
            const NMHDR *header = reinterpret_cast<const NMHDR *>(lParam);
            if (g_openEditor != nullptr && header != nullptr &&
                (header->idFrom == IDC_TASK_START_DATE || header->idFrom == IDC_TASK_END_DATE ||
                 header->idFrom == IDC_TASK_WINDOW_FROM || header->idFrom == IDC_TASK_WINDOW_TO ||
                 header->idFrom == IDC_TASK_EVERY_AT || header->idFrom == IDC_TASK_WEEKDAY_AT ||
                 header->idFrom == IDC_TASK_DAY_AT))
                Validate(dialog);
            return FALSE;
        }
        case WM_SYSCOMMAND:
        case WM_HELP:
            return HandleContextHelp(dialog, message, wParam,
                                     g_openEditor != nullptr ? g_openEditor->env->helpFilePath : "",
                                     kEditorHelpContext)
                       ? TRUE
                       : FALSE;
        default:
            return FALSE;
        }
    } catch (...) {
        // Nothing may leave a window procedure; an allocation failure ends the editor.
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
}

} // namespace

HRESULT RunTaskEditorDialog(HWND owner, const DialogEnvironment &env, TaskRecord *task)
{
    if (task == nullptr || env.resources == nullptr)
        return E_FAIL;
    if (g_openEditor != nullptr) {
        // The process-wide editor is taken (re-entered from its own message loop).
        if (g_openEditorWindow != nullptr)
            SetForegroundWindow(g_openEditorWindow);
        return E_ABORT;
    }
    EditorDialogData data{&env, task};
    // The date-and-time pickers' class, registered where the dialog is created.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);
    INT_PTR result = DialogBoxParamA(env.resources, MAKEINTRESOURCEA(IDD_TASK_EDITOR), owner, EditorDialogProc,
                                     reinterpret_cast<LPARAM>(&data));
    if (result == -1 || result == 0)
        return E_FAIL;
    return result == IDOK ? S_OK : E_ABORT;
}

} // namespace quillon
