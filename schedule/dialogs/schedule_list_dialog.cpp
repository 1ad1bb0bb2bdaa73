// The schedule list, IDD_SCHEDULE_LIST, behind EditTasks.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/text.h"
#include "common/win_datetime.h"
#include "resources/resource_ids.h"
#include "schedule/dialogs/dialog_support.h"
#include "schedule/dialogs/schedule_dialogs.h"
#include "schedule/dialogs/schedule_text.h"

namespace quillon {

namespace {

constexpr DWORD kListHelpContext = 1005;
constexpr int kTaskImage = 0;      // IDI_TASK; also overlay image 1 (disabled tasks)
constexpr int kDisabledOverlay = 1;

const unsigned kColumnStrings[] = {IDS_COLUMN_DESCRIPTION, IDS_COLUMN_SCHEDULE, IDS_COLUMN_LAST_RUN,
                                   IDS_COLUMN_START_DATE,  IDS_COLUMN_END_DATE, IDS_COLUMN_START_TIME,
                                   IDS_COLUMN_END_TIME,    IDS_COLUMN_DISABLED, IDS_COLUMN_EXCEPTIONS,
                                   IDS_COLUMN_SEND_IF_CHANGED};

struct ListDialogData {
    const DialogEnvironment *env;
    TaskList *list;
    HIMAGELIST images = nullptr;
    // Program names by image index; entry 0, the empty name, stands for the task icon.
    std::vector<std::string> iconNames;
    std::string yes, enable, disable;
};

bool SameNameIgnoringCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

// Image index of a program's icon, adding it to the image list on first sight. A program
// whose icon the shell cannot supply shows the task icon (image 0).
int IconIndexFor(ListDialogData *data, const std::string &appName)
{
    for (size_t i = 0; i < data->iconNames.size(); ++i)
        if (SameNameIgnoringCase(data->iconNames[i], appName))
            return static_cast<int>(i);
    std::string path = appName;
    if (appName.find('\\') == std::string::npos) {
        path = data->env->componentDirectory != nullptr ? data->env->componentDirectory : "";
        if (!path.empty() && path.back() != '\\')
            path += '\\';
        path += appName;
    }
    SHFILEINFOA info{};
    if (SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON) == 0 ||
        info.hIcon == nullptr)
        return kTaskImage;
    int index = ImageList_AddIcon(data->images, info.hIcon);
    DestroyIcon(info.hIcon);
    if (index < 0 || static_cast<size_t>(index) != data->iconNames.size())
        return kTaskImage;
    // Cached under the name as the task gives it, which is what later rows search for.
    data->iconNames.push_back(appName);
    return index;
}

std::string LastRunText(const TaskRecord &task)
{
    if (IsZeroDateTime(task.LastRun))
        return std::string();
    return FormatShortDate(task.LastRun) + " " + FormatTimeNoSeconds(task.LastRun);
}

std::string ScheduleTimeText(const TaskRecord &task)
{
    DateTime at = LocalNow();
    uint32_t minutes = (task.Value2 & 0xFFFF) % (24 * 60);
    at.wHour = static_cast<uint16_t>(minutes / 60);
    at.wMinute = static_cast<uint16_t>(minutes % 60);
    return FormatTimeNoSeconds(at);
}

HWND ListView(HWND dialog) { return GetDlgItem(dialog, IDC_LIST_TASKS); }

void SetCellText(HWND listView, int row, int column, const std::string &text)
{
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char *>(text.c_str());
    SendMessageA(listView, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

void FillRow(HWND dialog, ListDialogData *data, int row, const TaskRecord &task)
{
    HWND listView = ListView(dialog);
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_STATE;
    item.iItem = row;
    item.pszText = const_cast<char *>(task.DisplayName.c_str());
    item.stateMask = LVIS_OVERLAYMASK;
    item.state = task.Disabled ? INDEXTOOVERLAYMASK(kDisabledOverlay) : 0;
    SendMessageA(listView, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));

    HINSTANCE resources = data->env->resources;
    StringLookup strings = [resources](unsigned id) { return LoadResourceText(resources, id); };
    const std::string blank = " ";
    SetCellText(listView, row, 1, BuildScheduleText(task, strings, ScheduleTimeText(task)));
    SetCellText(listView, row, 2, LastRunText(task));
    SetCellText(listView, row, 3, task.HasDates ? FormatShortDate(task.StartDate) : blank);
    SetCellText(listView, row, 4, task.HasDates ? FormatShortDate(task.EndDate) : blank);
    SetCellText(listView, row, 5, task.HasTimes ? FormatTimeNoSeconds(task.StartDate) : blank);
    SetCellText(listView, row, 6, task.HasTimes ? FormatTimeNoSeconds(task.EndDate) : blank);
    SetCellText(listView, row, 7, task.Disabled ? data->yes : blank);
    SetCellText(listView, row, 8, ExceptionsText(task, data->yes));
    // Page tasks that are sent only when their text changed.
    SetCellText(listView, row, 9, task.SendIfChanged ? data->yes : blank);
}

int SelectedRow(HWND dialog)
{
    return static_cast<int>(SendMessageA(ListView(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// The task of a row: its item parameter is the task's position in the list.
TaskRecord *RowTask(HWND dialog, ListDialogData *data, int row)
{
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (row < 0 || !SendMessageA(ListView(dialog), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return nullptr;
    return data->list->At(static_cast<size_t>(item.lParam));
}

void UpdateButtons(HWND dialog, ListDialogData *data)
{
    int row = SelectedRow(dialog);
    TaskRecord *task = RowTask(dialog, data, row);
    const BOOL on = task != nullptr ? TRUE : FALSE;
    for (int id : {IDC_LIST_DELETE, IDC_LIST_EDIT, IDC_LIST_DISABLE, IDC_LIST_VIEW})
        EnableWindow(GetDlgItem(dialog, id), on);
    if (task != nullptr)
        SetDlgItemTextA(dialog, IDC_LIST_DISABLE, task->Disabled ? data->enable.c_str() : data->disable.c_str());
}

void InitList(HWND dialog, ListDialogData *data)
{
    HINSTANCE resources = data->env->resources;
    // The list's title is the one an open list is found by.
    SetWindowTextA(dialog, LoadResourceText(resources, IDS_SCHEDULE_LIST_TITLE).c_str());
    HWND listView = ListView(dialog);

    data->images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
    HICON taskIcon = static_cast<HICON>(LoadImageA(resources, MAKEINTRESOURCEA(IDI_TASK), IMAGE_ICON, 16, 16, 0));
    if (taskIcon != nullptr) {
        ImageList_AddIcon(data->images, taskIcon);
        DestroyIcon(taskIcon);
    }
    ImageList_SetOverlayImage(data->images, kTaskImage, kDisabledOverlay);
    data->iconNames.assign(1, std::string());
    // The list view owns the image list from here on and destroys it with itself.
    SendMessageA(listView, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(data->images));

    data->yes = LoadResourceText(resources, IDS_YES);
    data->enable = LoadResourceText(resources, IDS_ENABLE);
    data->disable = LoadResourceText(resources, IDS_DISABLE);

    int column = 0;
    for (unsigned id : kColumnStrings) {
        std::string title;
        int width = 0;
        if (!SplitColumnTitle(LoadResourceText(resources, id), &title, &width))
            break;
        LVCOLUMNA col{};
        col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        col.fmt = LVCFMT_LEFT;
        col.cx = width;
        col.pszText = const_cast<char *>(title.c_str());
        col.iSubItem = column;
        SendMessageA(listView, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&col));
        ++column;
    }

    for (size_t i = 0; i < data->list->Count(); ++i) {
        TaskRecord *task = data->list->At(i);
        LVITEMA item{};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<char *>(task->DisplayName.c_str());
        item.lParam = static_cast<LPARAM>(i);
        item.iImage = IconIndexFor(data, task->AppName);
        int row = static_cast<int>(SendMessageA(listView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        if (row >= 0)
            FillRow(dialog, data, row, *task);
    }
    for (int id : {IDC_LIST_DELETE, IDC_LIST_EDIT, IDC_LIST_DISABLE, IDC_LIST_VIEW})
        EnableWindow(GetDlgItem(dialog, id), FALSE);
    SetFocus(listView);
}

void CopySchedule(const TaskRecord &from, TaskRecord *to)
{
    to->TaskType = from.TaskType;
    to->Value = from.Value;
    to->Value2 = from.Value2;
    to->DaysOfWeek = from.DaysOfWeek;
    to->MonthsOfYear = from.MonthsOfYear;
    to->HasDates = from.HasDates;
    to->HasTimes = from.HasTimes;
    to->StartDate = from.StartDate;
    to->EndDate = from.EndDate;
    // The editor's "Send only when the text has changed", with the mark that makes
    // saving drop the page sender's digest.
    to->SendIfChanged = from.SendIfChanged;
    to->ForgetTextDigest = from.ForgetTextDigest;
}

void EditSelected(HWND dialog, ListDialogData *data)
{
    int row = SelectedRow(dialog);
    TaskRecord *task = RowTask(dialog, data, row);
    if (task == nullptr)
        return;
    // The editor's message loop may let the owner's timer reload the task list, which
    // frees the records; so the editor works on a copy, and the schedule goes back into
    // the row's task only when that is still the same task.
    TaskRecord edited = *task;
    RunTaskEditorDialog(dialog, *data->env, &edited);
    task = RowTask(dialog, data, row);
    if (task == nullptr || std::strcmp(task->KeyName, edited.KeyName) != 0)
        return;
    CopySchedule(edited, task);
    FillRow(dialog, data, row, *task);
}

void ToggleSelected(HWND dialog, ListDialogData *data)
{
    int row = SelectedRow(dialog);
    TaskRecord *task = RowTask(dialog, data, row);
    if (task == nullptr)
        return;
    task->Disabled = task->Disabled ? 0 : 1;
    FillRow(dialog, data, row, *task);
    UpdateButtons(dialog, data);
}

void DeleteSelected(HWND dialog, ListDialogData *data)
{
    if (SelectedRow(dialog) < 0)
        return;
    std::string question = LoadResourceText(data->env->resources, IDS_CONFIRM_DELETE);
    std::string caption = LoadResourceText(data->env->resources, IDS_APP_CAPTION);
    if (MessageBoxA(dialog, question.c_str(), caption.c_str(), MB_YESNO) != IDYES)
        return;
    int row;
    while ((row = SelectedRow(dialog)) >= 0)
        SendMessageA(ListView(dialog), LVM_DELETEITEM, row, 0);
    UpdateButtons(dialog, data);
}

void MarkRemovedTasks(HWND dialog, ListDialogData *data)
{
    HWND listView = ListView(dialog);
    int rows = static_cast<int>(SendMessageA(listView, LVM_GETITEMCOUNT, 0, 0));
    std::vector<size_t> remaining;
    for (int row = 0; row < rows; ++row) {
        LVITEMA item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (SendMessageA(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
            remaining.push_back(static_cast<size_t>(item.lParam));
    }
    std::vector<bool> removed = TasksRemovedFromRows(data->list->Count(), remaining);
    for (size_t i = 0; i < removed.size(); ++i)
        if (removed[i])
            data->list->At(i)->Deleted = 1;
}

INT_PTR CALLBACK ListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    ListDialogData *data = reinterpret_cast<ListDialogData *>(GetWindowLongPtrA(dialog, DWLP_USER));
    try {
        switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            InitList(dialog, reinterpret_cast<ListDialogData *>(lParam));
            return FALSE;  // the focus is on the list
        case WM_NOTIFY: {
            const NMHDR *header = reinterpret_cast<const NMHDR *>(lParam);
            if (data == nullptr || header == nullptr || header->idFrom != IDC_LIST_TASKS)
                return FALSE;
            if (header->code == NM_CLICK || header->code == LVN_ITEMCHANGED)
                UpdateButtons(dialog, data);
            else if (header->code == NM_DBLCLK &&
                     reinterpret_cast<const NMITEMACTIVATE *>(lParam)->iItem >= 0)
                EditSelected(dialog, data);
            return FALSE;
        }
        case WM_COMMAND:
            if (data == nullptr || HIWORD(wParam) != BN_CLICKED)
                return FALSE;
            switch (LOWORD(wParam)) {
            case IDOK:
                MarkRemovedTasks(dialog, data);
                EndDialog(dialog, IDOK);
                return TRUE;
            case IDCANCEL:
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            case IDC_LIST_DELETE:
                DeleteSelected(dialog, data);
                return TRUE;
            case IDC_LIST_EDIT:
                EditSelected(dialog, data);
                return TRUE;
            case IDC_LIST_DISABLE:
                ToggleSelected(dialog, data);
                return TRUE;
            case IDC_LIST_VIEW: {
                TaskRecord *task = RowTask(dialog, data, SelectedRow(dialog));
                if (task != nullptr)
                    RunPreviewDialog(dialog, *data->env, *task);
                return TRUE;
            }
            default:
                return FALSE;
            }
        case WM_SYSCOMMAND:
        case WM_HELP:
            return HandleContextHelp(dialog, message, wParam, data != nullptr ? data->env->helpFilePath : "",
                                     kListHelpContext)
                       ? TRUE
                       : FALSE;
        default:
            return FALSE;
        }
    } catch (...) {
        // Nothing may leave a window procedure; an allocation failure cancels the list.
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
}

} // namespace

HRESULT RunEditTasks(HWND owner, const DialogEnvironment &env, TaskList *list)
{
    if (list == nullptr || env.resources == nullptr)
        return E_FAIL;
    try {
        std::string title = LoadResourceText(env.resources, IDS_SCHEDULE_LIST_TITLE);
        HWND open = title.empty() ? nullptr : FindWindowA(nullptr, title.c_str());
        if (open != nullptr) {
            SetWindowPos(open, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            return S_OK;
        }
        list->Reload();
        ListDialogData data;
        data.env = &env;
        data.list = list;
        // The list view's class, registered by whoever shows the dialog: the host process
        // (browser, reminder, scheduler) need not have done it.
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        INT_PTR result = DialogBoxParamA(env.resources, MAKEINTRESOURCEA(IDD_SCHEDULE_LIST), owner, ListDialogProc,
                                         reinterpret_cast<LPARAM>(&data));
        if (result == IDOK) {
            if (!list->Save())
                return E_FAIL;
            list->Reload();
            return S_OK;
        }
        list->Reload();
        return result == IDCANCEL ? E_ABORT : E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace quillon
