// The English resource module tasqen.dll as the other deliverables use it: every
// string, dialog template, menu, accelerator table, icon group and the version block,
// compared with what the product's dialogs and messages expect; the dialogs created
// from the foreign module; the entry point's debugger output; the loader under en-US.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/resource_module.h"
#include "resources/resource_ids.h"
#include "tests/resources/debug_output_reader.h"
#include "tests/resources/dialog_template.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

std::string ModulePath() { return test::BinDir() + "\\tasqen.dll"; }

// Every test loads the module afresh and frees it again, so the test of the entry
// point sees a real attach and detach.
class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module_.Reset(LoadLibraryA(ModulePath().c_str()));
        ASSERT_TRUE(module_) << ModulePath() << " error " << GetLastError();
    }
    HMODULE Module() const { return module_.Get(); }
    UniqueModule module_;
};

// ---- Strings ------------------------------------------------------------------------

struct StringRow {
    int id;
    const char *text;
};

const StringRow kStrings[] = {
    {103, "Quillon Scheduler"},
    {109, "TASQED"},
    {113, "Enable"},
    {114, "Disable"},
    {115, "Delete scheduled item?"},
    {116, "Every "},
    {117, "minutes"},
    {118, "hours"},
    {119, "days"},
    {120, "weeks"},
    {121, "On the "},
    {122, "first "},
    {123, "second "},
    {124, "third "},
    {125, "fourth "},
    {126, "fifth "},
    {127, "last "},
    {128, "Sunday "},
    {129, "Monday "},
    {130, "Tuesday "},
    {131, "Wednesday "},
    {132, "Thursday "},
    {133, "Friday "},
    {134, "Saturday "},
    {135, "day "},
    {136, "of the month"},
    {137, "at "},
    {138, "1st"}, {139, "2nd"}, {140, "3rd"}, {141, "4th"}, {142, "5th"}, {143, "6th"},
    {144, "7th"}, {145, "8th"}, {146, "9th"}, {147, "10th"}, {148, "11th"}, {149, "12th"},
    {150, "13th"}, {151, "14th"}, {152, "15th"}, {153, "16th"}, {154, "17th"}, {155, "18th"},
    {156, "19th"}, {157, "20th"}, {158, "21st"}, {159, "22nd"}, {160, "23rd"}, {161, "24th"},
    {162, "25th"}, {163, "26th"}, {164, "27th"}, {165, "28th"}, {166, "29th"}, {167, "30th"},
    {168, "31st"},
    {169, "Description/160"},
    {170, "Schedule/80"},
    {171, "Start Date/60"},
    {172, "Start Time/60"},
    {173, "End Date/60"},
    {174, "End Time/60"},
    {175, "Disabled/40"},
    {176, "Exceptions/60"},
    {178, "Last Run/120"},
    {179, "Quillon..."},
    {180, "Yes"},
    {181, "No"},
    {182, "%1 %2 %3 %4 %5"},
    {183, "%1 %2 %3 %4 %5 %6"},
    {184, "Send text from %s"},
    {185, "Mail System"},
    {186, "Internet Connection"},
    {187, "Password entries did not match, try again."},
    {188, "Quillon Scheduler has not been configured.  Press OK to configure."},
    {189, "Quillon Scheduler was not configured and will not run.  To configure, run Quillon Scheduler "
          "from Startup folder."},
    {190, "Congratulations!  Quillon Scheduler has been configured.  To schedule a page, add the Quillon "
          "extension to your browser and choose Quillon... on the page, or choose Watch a page... from the "
          "Quillon icon's menu."},
    {191, "Quillon Configuration"},
    {192, "Scheduled Applications"},
    {193, "Error extracting text (SELRANGE).  You may need to restart Internet Explorer."},
    {194, "&Subject:"},
    {195, "&Message:"},
    {196, "Quillon Reminder"},
    {197, "A file with this subject already exists.  Overwrite existing file?  (If you choose no, a file "
          "will be created with a new name)"},
    {198, "Couldn't create a file to save this message.  Make sure you have enough disk space, or try "
          "changing the subject."},
    {203, "Advanced"},
    {204, "Error Handling"},
    {205, "The selected text is too long for the destination device.  Do you want to divide the text "
          "into multiple messages?  (Choose 'Cancel' to return to the browser and select a smaller "
          "amount of text)"},
    {206, "Error accessing web page and extracting text"},
    {301, "Outgoing Server"},
    {320, "If Changed/60"},
    {360, "Push Notification"},
    {361, "ntfy"},
    {362, "Telegram bot"},
    {363, "Discord webhook"},
    {364, "Slack or Mattermost webhook"},
    {365, "Gotify"},
    {366, "Pushover"},
    {367, "JSON webhook"},
    {368, "Sending a test notification..."},
    {369, "Delivered: %s"},
    {370, "Not delivered: %s"},
    {371, "Test cancelled."},
    {372, "Quillon test"},
    {373, "This test notification comes from the Quillon configuration."},
    {330, "The Quillon schedule component could not be started, so no task was created.  Reinstall Quillon "
          "and try again."},
    {340, "The selected text lies in a part of the page that comes from another site, which Quillon cannot "
          "read from the browser.  Press OK to schedule the whole page instead, or Cancel to return to the "
          "browser."},
    {341, "Quillon cannot find the selected text in the page as the web site sends it: scripts may draw it, "
          "the page may need a sign-in, or the selection lies inside one text.  Press OK to schedule the "
          "whole page instead, or Cancel to return to the browser."},
    {342, "Scheduled: %s"},
    {343, "Nothing was scheduled."},
    {344, "Quillon could not read the browser's request: %s."},
    {345, "Quillon does not take requests from %s."},
    {346, "The task was created, but Quillon could not store which page it sends.  Delete it in the "
          "schedule and try again."},
    {347, "Enter the address of a web page, beginning with http:// or https://, or the path of a file."},
};

// Read as the product reads them, into 260 bytes: a text that did not fit would come
// back cut.
TEST_F(ModuleTest, EveryStringHasItsExactText)
{
    for (const StringRow &row : kStrings) {
        char text[260];
        std::memset(text, 'x', sizeof text);
        int length = LoadStringA(Module(), row.id, text, sizeof text);
        EXPECT_STREQ(text, row.text) << "string " << row.id;
        EXPECT_EQ(length, static_cast<int>(strlen(row.text))) << "string " << row.id;
    }
}

TEST_F(ModuleTest, NamedStringIdsMatchTheirTexts)
{
    // The names the deliverables use, against the texts they must give.
    const StringRow named[] = {
        {IDS_APP_CAPTION, "Quillon Scheduler"}, {IDS_EVERY, "Every "}, {IDS_SATURDAY, "Saturday "},
        {IDS_ORDINAL_BASE + 1, "1st"}, {IDS_ORDINAL_BASE + 22, "22nd"}, {IDS_ORDINAL_31ST, "31st"},
        {IDS_COLUMN_LAST_RUN, "Last Run/120"}, {IDS_REMINDER_TITLE, "Quillon Reminder"},
        {IDS_EXTRACT_ERROR, "Error accessing web page and extracting text"},
    };
    for (const StringRow &row : named) {
        char text[260] = {};
        LoadStringA(Module(), row.id, text, sizeof text);
        EXPECT_STREQ(text, row.text) << "string " << row.id;
    }
}

TEST_F(ModuleTest, NoOtherStringIdIsPresent)
{
    // A mistyped id would leave a hole in the table above and a stray string here.
    std::vector<bool> listed(65536, false);
    for (const StringRow &row : kStrings)
        listed[row.id] = true;
    for (int id = 0; id < 65536; ++id) {
        if (listed[id])
            continue;
        char text[260] = "unchanged";
        EXPECT_EQ(LoadStringA(Module(), id, text, sizeof text), 0) << "string " << id << " \"" << text << "\"";
    }
}

BOOL CALLBACK CollectResourceId(HMODULE, LPCSTR, LPSTR name, LONG_PTR param)
{
    auto *ids = reinterpret_cast<std::vector<int> *>(param);
    ids->push_back(IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(name)) : -1);
    return TRUE;
}

TEST_F(ModuleTest, CarriesExactlyTheListedResources)
{
    const struct {
        const char *what;
        LPCSTR type;
        std::vector<int> ids;
    } rows[] = {
        {"dialogs", MAKEINTRESOURCEA(5), {103, 108, 110, 111, 112, 113, 114, 115, 117, 120, 121, 122, 123, 300, 310, 315}},
        {"menus", MAKEINTRESOURCEA(4), {101, 109, 115}},
        {"accelerator tables", MAKEINTRESOURCEA(9), {109, 115}},
        {"icon groups", MAKEINTRESOURCEA(14), {107, 109}},
        {"version blocks", MAKEINTRESOURCEA(16), {1}},
    };
    for (const auto &row : rows) {
        std::vector<int> ids;
        EnumResourceNamesA(Module(), row.type, CollectResourceId, reinterpret_cast<LONG_PTR>(&ids));
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ(ids, row.ids) << row.what;
    }
}

// ---- Version block --------------------------------------------------------------------

TEST(VersionBlock, CarriesTheProductsValues)
{
    std::string path = ModulePath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << path;
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&fixed), &fixedSize));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010002u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    struct Translation {
        WORD language, codePage;
    } *translation = nullptr;
    UINT translationSize = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void **>(&translation), &translationSize));
    ASSERT_GE(translationSize, sizeof(Translation));
    EXPECT_EQ(translation->language, 0x0409);
    char prefix[64] = {};
    wsprintfA(prefix, "\\StringFileInfo\\%04x%04x\\", translation->language, translation->codePage);

    const struct {
        const char *key, *value;
    } rows[] = {
        {"Comments", "Resource DLL for Quillon"},
        {"FileDescription", "Resource DLL for Quillon"},
        {"FileVersion", "1, 2, 0, 1"},
        {"ProductVersion", "1, 2, 0, 1"},
        {"InternalName", "tasqen"},
        {"OriginalFilename", "tasqen.dll"},
        {"ProductName", "Quillon"},
    };
    for (const auto &row : rows) {
        char *value = nullptr;
        UINT length = 0;
        std::string query = std::string(prefix) + row.key;
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void **>(&value), &length))
            << row.key;
        EXPECT_STREQ(value, row.value) << row.key;
    }
}

// ---- Menus ----------------------------------------------------------------------------

struct MenuItemRow {
    UINT command;       // 0 for a separator
    const char *text;
};

struct PopupRow {
    const char *title;
    std::vector<MenuItemRow> items;
};

void ExpectMenu(HMODULE module, int id, const std::vector<PopupRow> &popups)
{
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(id));
    ASSERT_NE(menu, nullptr) << "menu " << id;
    ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(popups.size())) << "menu " << id;
    for (size_t p = 0; p < popups.size(); ++p) {
        char title[64] = {};
        GetMenuStringA(menu, static_cast<UINT>(p), title, sizeof title, MF_BYPOSITION);
        EXPECT_STREQ(title, popups[p].title) << "menu " << id;
        HMENU sub = GetSubMenu(menu, static_cast<int>(p));
        ASSERT_NE(sub, nullptr) << "menu " << id << " " << popups[p].title;
        ASSERT_EQ(GetMenuItemCount(sub), static_cast<int>(popups[p].items.size())) << "menu " << id;
        for (size_t i = 0; i < popups[p].items.size(); ++i) {
            const MenuItemRow &row = popups[p].items[i];
            MENUITEMINFOA info{};
            char text[64] = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
            info.dwTypeData = text;
            info.cch = sizeof text;
            ASSERT_TRUE(GetMenuItemInfoA(sub, static_cast<UINT>(i), TRUE, &info));
            if (row.text == nullptr) {
                EXPECT_TRUE(info.fType & MFT_SEPARATOR) << "menu " << id << " item " << i;
            } else {
                EXPECT_EQ(info.wID, row.command) << "menu " << id << " item " << i;
                EXPECT_STREQ(text, row.text) << "menu " << id << " item " << i;
            }
        }
    }
    DestroyMenu(menu);
}

TEST_F(ModuleTest, MenusHaveTheirItemsAndCommands)
{
    const MenuItemRow separator{0, nullptr};
    ExpectMenu(Module(), IDR_TRAY_MENU,
               {{"&Context",
                 {{40001, "&View Schedule..."}, {40010, "&Watch a page..."}, {40002, "&Configure..."}, separator,
                  {104, "&About..."}, separator, {105, "&Exit"}}}});
    ExpectMenu(Module(), IDR_SCHEDULER_MENU, {{"&File", {{105, "E&xit"}}}, {"&Help", {{104, "&About ..."}}}});
    ExpectMenu(Module(), IDR_REMINDER_MENU,
               {{"&Reminder",
                 {{40003, "&Schedule..."}, separator, {104, "&About..."}, separator, {105, "&Exit"}}}});
}

// ---- Accelerators ---------------------------------------------------------------------

TEST_F(ModuleTest, AcceleratorTablesHaveTheirKeys)
{
    struct Row {
        int table;
        BYTE flags;  // FVIRTKEY, FALT, FNOINVERT as loaded
        WORD key;
        WORD command;
    };
    const Row rows[] = {
        {109, FALT, '?', 104},
        {109, FALT, '/', 104},
        {115, FVIRTKEY | FALT | FNOINVERT, 'M', 40004},
        {115, FVIRTKEY | FALT | FNOINVERT, 'S', 1032},
    };
    for (int table : {IDR_SCHEDULER_ACCEL, IDR_REMINDER_ACCEL}) {
        HACCEL accel = LoadAcceleratorsA(Module(), MAKEINTRESOURCEA(table));
        ASSERT_NE(accel, nullptr) << "table " << table;
        ACCEL entries[8] = {};
        int count = CopyAcceleratorTableA(accel, entries, 8);
        std::vector<Row> expected;
        for (const Row &row : rows)
            if (row.table == table)
                expected.push_back(row);
        ASSERT_EQ(count, static_cast<int>(expected.size())) << "table " << table;
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(entries[i].fVirt & (FVIRTKEY | FALT | FSHIFT | FCONTROL | FNOINVERT), expected[i].flags)
                << "table " << table << " entry " << i;
            EXPECT_EQ(entries[i].key, expected[i].key) << "table " << table << " entry " << i;
            EXPECT_EQ(entries[i].cmd, expected[i].command) << "table " << table << " entry " << i;
        }
        DestroyAcceleratorTable(accel);
    }
}

// ---- Icons ----------------------------------------------------------------------------

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ModuleTest, IconGroupsHoldA32And16PixelImageIn16Colours)
{
    for (int group : {IDI_PRODUCT, IDI_TASK}) {
        HRSRC resource = FindResourceA(Module(), MAKEINTRESOURCEA(group), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
        ASSERT_NE(resource, nullptr) << "icon group " << group;
        const BYTE *data = static_cast<const BYTE *>(LockResource(LoadResource(Module(), resource)));
        ASSERT_NE(data, nullptr);
        WORD count = 0;
        std::memcpy(&count, data + 4, sizeof count);
        ASSERT_EQ(count, 2) << "icon group " << group;
        std::vector<int> sizes;
        for (WORD i = 0; i < count; ++i) {
            GroupIconEntry entry{};
            std::memcpy(&entry, data + 6 + i * sizeof entry, sizeof entry);
            sizes.push_back(entry.width);
            EXPECT_EQ(entry.width, entry.height) << "icon group " << group;
            EXPECT_EQ(entry.colorCount, 16) << "icon group " << group;
            EXPECT_EQ(entry.bitCount, 4) << "icon group " << group;
        }
        EXPECT_EQ(sizes, (std::vector<int>{32, 16})) << "icon group " << group;

        // As the product loads them: LoadIcon for the About boxes, 16x16 for the list.
        HICON big = LoadIconA(Module(), MAKEINTRESOURCEA(group));
        EXPECT_NE(big, nullptr) << "icon group " << group;
        HICON small = static_cast<HICON>(LoadImageA(Module(), MAKEINTRESOURCEA(group), IMAGE_ICON, 16, 16, 0));
        ASSERT_NE(small, nullptr) << "icon group " << group;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(small, &info));
        BITMAP bitmap{};
        GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, 16) << "icon group " << group;
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(small);
    }
}

// ---- Dialog templates -----------------------------------------------------------------

const char *const kButton = "#128";
const char *const kEdit = "#129";
const char *const kStatic = "#130";
const char *const kCombo = "#133";
const char *const kPicker = "SysDateTimePick32";

constexpr DWORD kButtonMask = BS_TYPEMASK | BS_MULTILINE | WS_TABSTOP | WS_GROUP;
constexpr DWORD kStaticMask = SS_TYPEMASK | SS_NOPREFIX;
constexpr DWORD kEditMask = ES_MULTILINE | ES_READONLY | ES_PASSWORD | ES_NUMBER | ES_AUTOHSCROLL | ES_AUTOVSCROLL |
                            WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kComboMask = 0x3 | CBS_SORT | WS_TABSTOP;
constexpr DWORD kPickerMask = 0xF | WS_TABSTOP;

// Control kinds as the dialogs are described: class and the style bits that matter.
struct Kind {
    const char *windowClass;
    DWORD mask, value;
};
const Kind kDefaultButton{kButton, kButtonMask, BS_DEFPUSHBUTTON | WS_TABSTOP};
const Kind kDefaultButtonGroup{kButton, kButtonMask, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP};
const Kind kPushButton{kButton, kButtonMask, BS_PUSHBUTTON | WS_TABSTOP};
const Kind kCheckBox{kButton, kButtonMask, BS_AUTOCHECKBOX | WS_TABSTOP};
const Kind kCheckBoxMultiLine{kButton, kButtonMask, BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP};
const Kind kRadio{kButton, kButtonMask, BS_AUTORADIOBUTTON};
const Kind kRadioMultiLine{kButton, kButtonMask, BS_AUTORADIOBUTTON | BS_MULTILINE};
const Kind kRadioGroupStart{kButton, kButtonMask, BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP};
const Kind kLabel{kStatic, kStaticMask, SS_LEFT};
const Kind kLabelNoPrefix{kStatic, kStaticMask, SS_LEFT | SS_NOPREFIX};
const Kind kIcon{kStatic, SS_TYPEMASK, SS_ICON};
const Kind kEtchedLine{kStatic, SS_TYPEMASK, SS_ETCHEDHORZ};
const Kind kEditText{kEdit, kEditMask, ES_AUTOHSCROLL | WS_TABSTOP};
const Kind kEditDigits{kEdit, kEditMask, ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP};
const Kind kEditPassword{kEdit, kEditMask, ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP};
const Kind kEditPasswordReadOnly{kEdit, kEditMask, ES_PASSWORD | ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP};
const Kind kEditTextView{kEdit, kEditMask, ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL};
const Kind kDropDownSorted{kCombo, kComboMask, CBS_DROPDOWNLIST | CBS_SORT | WS_TABSTOP};
const Kind kDropDown{kCombo, kComboMask, CBS_DROPDOWNLIST | WS_TABSTOP};
const Kind kTimePicker{kPicker, kPickerMask, DTS_TIMEFORMAT | WS_TABSTOP};
const Kind kDatePicker{kPicker, kPickerMask, DTS_SHORTDATEFORMAT | WS_TABSTOP};
const Kind kListView{"SysListView32", LVS_TYPEMASK | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                     LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP};
const Kind kTabControl{"SysTabControl32", WS_TABSTOP, 0};

struct ControlRow {
    int id;
    Kind kind;
    const char *text;
    short x, y, cx, cy;
};

constexpr DWORD kPopup = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kAboutBox = DS_MODALFRAME | WS_CAPTION | WS_SYSMENU;

struct DialogRow {
    int id;
    const char *title;
    short cx, cy;
    DWORD style;
    bool contextHelp;
    const char *typeface;
    std::vector<ControlRow> controls;
};

const char *const kMailSmtp = "&Outlook Express, Outlook (Internet-Only), Eudora, AOL, \nor other SMTP Mail Client";
const char *const kMailMapi = "Outlook (Corporate or Workgroup) Microsoft Exchange, \nor o&ther Windows Messaging (MAPI) Client";
const char *const kIntro = "Nagnote allows you to create your own message that Quillon will send at the time(s) you "
                           "request.  It is useful for reminding yourself about when to pay bills or for birthdays and "
                           "anniversaries.";
const char *const kExtracted = "The following text was extracted from this web page:";

const std::vector<DialogRow> &Dialogs()
{
    static const std::vector<DialogRow> dialogs = {
        {103, "About", 230, 75, kAboutBox, false, "System",
         {{2, kIcon, "#107", 14, 9, 20, 20},
          {-1, kLabelNoPrefix, "Quillon Scheduler Version 1.0.0.7", 49, 10, 119, 8},
          {1, kDefaultButtonGroup, "OK", 195, 6, 30, 11}}},
        {108, "Quillon Schedule", 301, 167, kPopup, true, "MS Sans Serif",
         {{1, kDefaultButton, "OK", 99, 146, 50, 14},
          {2, kPushButton, "Cancel", 156, 146, 50, 14},
          {1028, kListView, "", 7, 7, 227, 127},
          {1029, kPushButton, "Delete", 243, 20, 50, 14},
          {1030, kPushButton, "Edit...", 243, 40, 50, 14},
          {1031, kPushButton, "Disable", 243, 60, 50, 14},
          {1032, kPushButton, "View", 243, 80, 50, 14}}},
        {110, "Quillon: Extracted Text", 256, 159, kPopup, true, "MS Sans Serif",
         {{1, kDefaultButton, "OK", 72, 138, 50, 14},
          {2, kPushButton, "Cancel", 132, 138, 50, 14},
          {-1, kLabel, kExtracted, 7, 7, 242, 8},
          {1032, kEditTextView, "", 7, 20, 242, 73},
          {-1, kLabel, "Press 'OK' to select when to send this text.", 7, 124, 242, 8},
          {1071, kCheckBox, "Divide into multiple messages.", 7, 96, 224, 8}}},
        {111, "Quillon Configuration", 265, 221, kPopup, true, "MS Sans Serif",
         {{1, kDefaultButton, "OK", 79, 200, 50, 14},
          {2, kPushButton, "Cancel", 135, 200, 50, 14},
          {1045, kTabControl, "", 7, 7, 251, 188}}},
        {112, "", 247, 160, WS_CHILD, false, "MS Sans Serif",
         {{1041, kRadioMultiLine, kMailSmtp, 10, 10, 230, 20},
          {-1, kLabel, "SMT&P Server:", 44, 32, 46, 8},
          {1050, kEditText, "", 92, 31, 139, 12},
          {1042, kRadioMultiLine, kMailMapi, 10, 46, 220, 20},
          {-1, kLabel, "P&rofile:", 45, 69, 22, 8},
          {1051, kDropDownSorted, "", 92, 67, 139, 47},
          {-1, kLabel, "&Password:", 45, 88, 34, 8},
          {1036, kEditPasswordReadOnly, "", 92, 86, 85, 12},
          {1037, kPushButton, "&Change...", 183, 86, 48, 12},
          {-1, kLabel, "&Sender email address:", 7, 104, 227, 8},
          {1043, kEditText, "", 7, 113, 117, 12},
          {-1, kLabel, "&Destination email address:", 7, 132, 118, 8},
          {1044, kEditText, "", 7, 141, 117, 12},
          {-1, kLabel, "&Maximum message length:", 149, 132, 84, 8},
          {1034, kEditDigits, "", 149, 141, 81, 12},
          {1360, kRadio, "P&ush notification", 149, 114, 85, 10}}},
        {113, "", 227, 148, WS_CHILD, false, "MS Sans Serif",
         {{1039, kRadio, "&Use Dial-Up Networking to connect to Internet", 7, 7, 199, 10},
          {-1, kLabel, "&Name of Connection:", 29, 23, 191, 8},
          {1052, kDropDownSorted, "", 29, 32, 191, 57},
          {-1, kLabel, "&Minutes between tasks before hanging up:", 29, 51, 191, 8},
          {1048, kEditDigits, "", 29, 60, 68, 12},
          {1040, kRadio, "&Always connected to the Internet.", 7, 86, 213, 10}}},
        {114, "Change Password", 186, 94, kPopup, false, "MS Sans Serif",
         {{-1, kLabel, "&Enter new password:", 7, 7, 172, 8},
          {1036, kEditPassword, "", 7, 16, 172, 12},
          {-1, kLabel, "&Enter password again:", 7, 40, 172, 8},
          {1046, kEditPassword, "", 7, 49, 172, 12},
          {1, kDefaultButton, "OK", 40, 72, 50, 14},
          {2, kPushButton, "Cancel", 95, 72, 50, 14}}},
        {115, "About", 230, 75, kAboutBox, false, "System",
         {{2, kIcon, "#107", 14, 9, 20, 20},
          {-1, kLabelNoPrefix, "Quillon Reminder Version 1.0.0.4", 49, 10, 118, 8},
          {1, kDefaultButtonGroup, "OK", 195, 6, 30, 11}}},
        {117, "Quillon Reminder", 186, 95, kPopup, false, "MS Sans Serif",
         {{1, kDefaultButton, "OK", 67, 74, 50, 14},
          {1049, kCheckBox, "&Don't show this message again.", 7, 56, 172, 9},
          {-1, kLabel, kIntro, 7, 7, 172, 43}}},
        {120, "", 247, 160, WS_CHILD, false, "MS Sans Serif",
         {{1053, kCheckBox, "&POP3 Authentication Required", 7, 7, 233, 10},
          {-1, kLabel, "P&OP3 Server:", 31, 23, 44, 8},
          {1054, kEditText, "", 84, 22, 139, 12},
          {-1, kLabel, "&Login Name:", 31, 43, 41, 8},
          {1058, kEditText, "", 84, 41, 139, 12},
          {-1, kLabel, "P&assword:", 31, 62, 34, 8},
          {1036, kEditPasswordReadOnly, "", 84, 60, 85, 12},
          {1037, kPushButton, "&Change...", 175, 60, 48, 12},
          {1055, kCheckBox, "&Create Log File", 7, 86, 233, 10},
          {-1, kLabel, "Log &Filename:", 31, 101, 45, 8},
          {1056, kEditText, "", 84, 100, 139, 12},
          {1057, kCheckBox, "&Do not send page title", 7, 125, 233, 10}}},
        {121, "Dialog", 356, 209, kPopup, true, "MS Sans Serif",
         {{1003, kRadioGroupStart, "Every", 7, 8, 34, 10},
          {1006, kEditDigits, "", 49, 7, 55, 12},
          {1007, kDropDown, "", 114, 7, 62, 45},
          {1066, kRadioGroupStart, "24 hours a day", 185, 8, 63, 10},
          {1065, kRadioGroupStart, "From", 185, 22, 31, 10},
          {1037, kTimePicker, "", 216, 21, 60, 12},
          {1069, kLabel, "to", 279, 22, 8, 8},
          {1038, kTimePicker, "", 288, 21, 60, 12},
          {1013, kLabel, "at", 185, 10, 8, 8},
          {1033, kTimePicker, "", 197, 7, 55, 13},
          {1005, kRadioGroupStart, "On the", 7, 44, 37, 10},
          {1010, kDropDown, "", 49, 42, 55, 45},
          {1011, kDropDown, "", 114, 42, 63, 45},
          {-1, kLabel, "of the month,", 185, 44, 42, 8},
          {1036, kLabel, "at", 239, 44, 8, 8},
          {1039, kTimePicker, "", 252, 42, 55, 13},
          {1004, kRadioGroupStart, "On the", 7, 79, 37, 10},
          {1012, kDropDown, "", 49, 77, 55, 45},
          {-1, kLabel, "day of the month,", 115, 79, 56, 8},
          {1009, kLabel, "at", 185, 79, 8, 8},
          {1008, kTimePicker, "", 198, 77, 55, 13},
          {1064, kRadioGroupStart, "Starting now and continuing", 7, 121, 104, 10},
          {-1, kLabel, "forever", 19, 131, 23, 8},
          {1063, kRadioGroupStart, "From", 7, 146, 31, 10},
          {1034, kDatePicker, "", 39, 145, 60, 12},
          {-1, kLabel, "to", 29, 162, 8, 8},
          {1035, kDatePicker, "", 39, 160, 60, 12},
          {1021, kCheckBox, "Jan", 125, 132, 27, 10},
          {1022, kCheckBox, "Feb", 125, 142, 28, 10},
          {1023, kCheckBox, "Mar", 125, 152, 28, 10},
          {1024, kCheckBox, "Apr", 125, 162, 27, 10},
          {1025, kCheckBox, "May", 164, 132, 29, 10},
          {1026, kCheckBox, "Jun", 164, 142, 27, 10},
          {1027, kCheckBox, "Jul", 164, 152, 25, 10},
          {1028, kCheckBox, "Aug", 164, 162, 29, 10},
          {1029, kCheckBox, "Sep", 204, 132, 29, 10},
          {1030, kCheckBox, "Oct", 204, 142, 27, 10},
          {1031, kCheckBox, "Nov", 204, 152, 29, 10},
          {1032, kCheckBox, "Dec", 204, 162, 29, 10},
          {1014, kCheckBox, "Sunday", 281, 132, 40, 10},
          {1015, kCheckBox, "Monday", 281, 142, 41, 10},
          {1016, kCheckBox, "Tuesday", 281, 152, 43, 10},
          {1017, kCheckBox, "Wednesday", 281, 162, 54, 10},
          {1018, kCheckBox, "Thursday", 281, 172, 45, 10},
          {1019, kCheckBox, "Friday", 281, 182, 35, 10},
          {1020, kCheckBox, "Saturday", 281, 192, 44, 10},
          {1, kDefaultButton, "OK", 125, 188, 50, 14},
          {2, kPushButton, "Cancel", 180, 188, 50, 14},
          {-1, kLabel, "except during the month(s) of:", 125, 121, 112, 8},
          {-1, kLabel, "except on:", 281, 121, 34, 8},
          {-1, kEtchedLine, "", 7, 104, 115, 1},
          {-1, kEtchedLine, "", 117, 104, 231, 1},
          {1320, kCheckBoxMultiLine, "Send only when the text has changed", 7, 180, 110, 20}}},
        {122, "", 247, 160, WS_CHILD, false, "MS Sans Serif",
         {{-1, kLabel, "If unable to access web page:", 7, 7, 96, 8},
          {-1, kLabel, "Wait", 31, 42, 16, 8},
          {1070, kEditDigits, "", 51, 20, 22, 12},
          {-1, kLabel, "minutes between attempts.", 78, 42, 85, 8},
          {-1, kLabel, "Try", 36, 22, 11, 8},
          {1071, kEditDigits, "", 51, 40, 22, 12},
          {-1, kLabel, "times before giving up.", 78, 22, 72, 8},
          {1072, kEditDigits, "", 51, 83, 22, 12},
          {-1, kLabel, "Try", 36, 85, 11, 8},
          {1073, kEditDigits, "", 51, 103, 22, 12},
          {-1, kLabel, "times before giving up.", 78, 85, 72, 8},
          {-1, kLabel, "If unable to send message to pager:", 7, 70, 166, 9},
          {-1, kLabel, "Wait", 31, 105, 16, 8},
          {-1, kLabel, "minutes between attempts.", 78, 105, 85, 8}}},
        {123, "Quillon: Extracted Text", 256, 122, kPopup, true, "MS Sans Serif",
         {{1, kDefaultButton, "OK", 102, 101, 50, 14},
          {-1, kLabel, kExtracted, 7, 7, 242, 8},
          {1032, kEditTextView, "", 7, 20, 242, 73}}},
        {300, "", 247, 160, WS_CHILD, false, "MS Sans Serif",
         {{-1, kLabel, "For mail sent through an SMTP server.", 7, 7, 233, 8},
          {-1, kLabel, "P&ort:", 7, 24, 70, 8},
          {1300, kEditDigits, "", 84, 22, 36, 12},
          {-1, kLabel, "(empty: the standard SMTP port)", 126, 24, 114, 8},
          {-1, kLabel, "Security:", 7, 41, 70, 8},
          {1301, kRadioGroupStart, "&None", 84, 40, 40, 10},
          {1302, kRadio, "&STARTTLS", 128, 40, 56, 10},
          {1303, kRadio, "&TLS", 188, 40, 40, 10},
          {-1, kLabel, "Sign-in &User Name:", 7, 61, 74, 8},
          {1304, kEditText, "", 84, 59, 156, 12},
          {-1, kLabel, "Password:", 7, 80, 70, 8},
          {1305, kEditPasswordReadOnly, "", 84, 78, 82, 12},
          {1306, kPushButton, "Change &Password...", 172, 78, 68, 12},
          {1307, kLabel, "The password is shared with the POP3 log-in on the Advanced page.", 84, 95, 156, 18},
          {1308, kLabel, "Signing in needs STARTTLS or TLS: the user name and password are never sent in clear.",
           7, 122, 233, 18}}},
        {315, "", 247, 160, WS_CHILD, false, "MS Sans Serif",
         {{-1, kLabel,
           "With \"Push notification\" chosen on the Mail System page, every message goes to a phone through "
           "this service.",
           7, 5, 233, 16},
          {-1, kLabel, "Ser&vice:", 7, 25, 62, 8},
          {1361, kDropDown, "", 72, 23, 168, 120},
          {-1, kLabel, "Se&rver URL:", 7, 42, 62, 8},
          {1362, kEditText, "", 72, 40, 168, 12},
          {-1, kLabel, "T&opic, chat or user:", 7, 59, 64, 8},
          {1363, kEditText, "", 72, 57, 168, 12},
          {-1, kLabel, "Token or &webhook:", 7, 76, 64, 8},
          {1364, kEditPassword, "", 72, 74, 168, 12},
          {1366, kLabel,
           "An empty server URL means the service's own. The token or webhook URL is stored encrypted for your "
           "account.",
           7, 90, 233, 16},
          {1370, kLabel, "Warning: with an http:// server the text travels in clear.", 7, 108, 233, 8},
          {1365, kPushButton, "Send &Test", 7, 120, 60, 14},
          {1367, kPushButton, "Cance&l Test", 72, 120, 60, 14},
          {1369, kLabelNoPrefix, "", 7, 138, 233, 18}}},
        {310, "Watch a Page", 240, 62, kPopup, false, "MS Sans Serif",
         {{-1, kLabel, "&Address of the page (http://, https:// or a file path):", 7, 7, 226, 8},
          {1340, kEditText, "", 7, 18, 226, 12},
          {1, kDefaultButton, "OK", 66, 40, 50, 14},
          {2, kPushButton, "Cancel", 124, 40, 50, 14}}},
    };
    return dialogs;
}

// A template names a predefined class by ordinal (0x80 button, ...) or by name, and
// class names are matched without regard to case; both forms are the same class.
std::string CanonicalClass(const std::string &windowClass)
{
    if (windowClass == kButton) return "BUTTON";
    if (windowClass == kEdit) return "EDIT";
    if (windowClass == kStatic) return "STATIC";
    if (windowClass == kCombo) return "COMBOBOX";
    std::string upper = windowClass;
    for (char &c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return upper;
}

TEST_F(ModuleTest, DialogTemplatesMatchTheirLayout)
{
    for (const DialogRow &dialog : Dialogs()) {
        SCOPED_TRACE("dialog " + std::to_string(dialog.id));
        test::DialogTemplate tmpl;
        std::string error;
        ASSERT_TRUE(test::ReadDialogTemplate(Module(), dialog.id, tmpl, error)) << error;
        EXPECT_EQ(tmpl.title, dialog.title);
        EXPECT_EQ(tmpl.x, 0);
        EXPECT_EQ(tmpl.y, 0);
        EXPECT_EQ(tmpl.cx, dialog.cx);
        EXPECT_EQ(tmpl.cy, dialog.cy);
        EXPECT_EQ(tmpl.style, dialog.style | DS_SETFONT);
        EXPECT_EQ(tmpl.exStyle, dialog.contextHelp ? static_cast<DWORD>(WS_EX_CONTEXTHELP) : 0u);
        EXPECT_EQ(tmpl.pointSize, 8);
        EXPECT_EQ(tmpl.typeface, dialog.typeface);
        EXPECT_EQ(tmpl.menu, "");
        EXPECT_EQ(tmpl.windowClass, "");
        ASSERT_EQ(tmpl.items.size(), dialog.controls.size());
        for (size_t i = 0; i < dialog.controls.size(); ++i) {
            const ControlRow &want = dialog.controls[i];
            const test::DialogItem &got = tmpl.items[i];
            SCOPED_TRACE("control #" + std::to_string(i) + " id " + std::to_string(want.id) + " \"" + want.text + "\"");
            EXPECT_EQ(got.id, want.id);
            EXPECT_EQ(CanonicalClass(got.windowClass), CanonicalClass(want.kind.windowClass));
            EXPECT_EQ(got.text, want.text);
            EXPECT_EQ(got.x, want.x);
            EXPECT_EQ(got.y, want.y);
            EXPECT_EQ(got.cx, want.cx);
            EXPECT_EQ(got.cy, want.cy);
            EXPECT_EQ(got.style & (WS_CHILD | WS_VISIBLE), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
            EXPECT_EQ(got.style & want.kind.mask, want.kind.value) << std::hex << "style 0x" << got.style;
            EXPECT_EQ(got.exStyle, 0u);
        }
    }
}

TEST_F(ModuleTest, TemplateIdsAreTheNamedIds)
{
    // Spot checks that the shared names point at the right dialogs and controls.
    const struct {
        int dialog, control;
        const char *windowClass;
    } rows[] = {
        {IDD_SCHEDULE_LIST, IDC_LIST_TASKS, "SysListView32"},
        {IDD_CONFIGURATION, IDC_CONFIG_TABS, "SysTabControl32"},
        {IDD_CONFIG_MAIL, IDC_MAIL_MAX_LENGTH, kEdit},
        {IDD_CONFIG_ERRORS, IDC_ERR_MAIL_RETRY_TIME, kEdit},
        {IDD_TASK_EDITOR, IDC_TASK_EVERY_AT, kPicker},
        {IDD_TASK_EDITOR, IDC_TASK_WEEKDAY_AT_LABEL, kStatic},
        {IDD_TASK_EDITOR, IDC_TASK_MONTH_DEC, kButton},
        {IDD_EXTRACTED_TEXT, IDC_EXTRACTED_TEXT, kEdit},
        {IDD_REMINDER_INTRO, IDC_INTRO_DONT_SHOW, kButton},
    };
    for (const auto &row : rows) {
        test::DialogTemplate tmpl;
        std::string error;
        ASSERT_TRUE(test::ReadDialogTemplate(Module(), row.dialog, tmpl, error)) << error;
        bool found = false;
        for (const test::DialogItem &item : tmpl.items)
            if (item.id == row.control) {
                found = true;
                EXPECT_EQ(CanonicalClass(item.windowClass), CanonicalClass(row.windowClass))
                    << row.dialog << "/" << row.control;
            }
        EXPECT_TRUE(found) << row.dialog << "/" << row.control;
    }
}

// ---- Dialogs created from the foreign module --------------------------------------------

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

class DialogTest : public ModuleTest {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES | ICC_DATE_CLASSES};
        InitCommonControlsEx(&init);
    }
    void SetUp() override
    {
        ModuleTest::SetUp();
        // Pages are child dialogs; they get a hidden top-level parent.
        parent_ = CreateWindowExA(0, "STATIC", "parent", WS_OVERLAPPEDWINDOW, 0, 0, 600, 500, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
    }
    void TearDown() override { DestroyWindow(parent_); }
    HWND parent_ = nullptr;
};

TEST_F(DialogTest, EveryDialogCreatesWithItsControls)
{
    for (const DialogRow &dialog : Dialogs()) {
        SCOPED_TRACE("dialog " + std::to_string(dialog.id));
        HWND window = CreateDialogParamA(Module(), MAKEINTRESOURCEA(dialog.id), parent_, QuietDialogProc, 0);
        ASSERT_NE(window, nullptr) << "error " << GetLastError();
        char title[128] = {};
        GetWindowTextA(window, title, sizeof title);
        EXPECT_STREQ(title, dialog.title);
        for (const ControlRow &control : dialog.controls) {
            if (control.id == -1)
                continue;
            HWND item = GetDlgItem(window, control.id);
            ASSERT_NE(item, nullptr) << "control " << control.id;
            char className[64] = {};
            GetClassNameA(item, className, sizeof className);
            std::string expected = control.kind.windowClass;
            if (expected == kButton) expected = "Button";
            if (expected == kEdit) expected = "Edit";
            if (expected == kStatic) expected = "Static";
            if (expected == kCombo) expected = "ComboBox";
            EXPECT_STRCASEEQ(className, expected.c_str()) << "control " << control.id;
        }
        if (dialog.id == IDD_SCHEDULER_ABOUT || dialog.id == IDD_REMINDER_ABOUT) {
            EXPECT_NE(SendDlgItemMessageA(window, IDC_ABOUT_ICON, STM_GETICON, 0, 0), 0) << "About icon not loaded";
        }
        DestroyWindow(window);
    }
}

// Ends itself once it is up; a timer ends it anyway if the posted command is lost.
INT_PTR CALLBACK SelfClosingDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetTimer(window, 1, 5000, nullptr);
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(window, 77);
            return TRUE;
        }
        break;
    case WM_TIMER:
        EndDialog(window, -2);
        return TRUE;
    }
    return FALSE;
}

TEST_F(DialogTest, ModalDialogRunsFromTheModule)
{
    for (int id : {IDD_SCHEDULE_LIST, IDD_TASK_EDITOR, IDD_EXTRACTED_TEXT}) {
        INT_PTR result = DialogBoxParamA(Module(), MAKEINTRESOURCEA(id), parent_, SelfClosingDialogProc, 0);
        EXPECT_EQ(result, 77) << "dialog " << id << " error " << GetLastError();
    }
}

// ---- Entry point and loader -------------------------------------------------------------

TEST(EntryPoint, ReportsLoadingAndUnloadingWithTheFullPath)
{
    test::DebugOutputReader reader;
    std::string error;
    ASSERT_TRUE(reader.Start(error)) << error;

    HMODULE module = LoadLibraryA(ModulePath().c_str());
    ASSERT_NE(module, nullptr);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    ASSERT_TRUE(FreeLibrary(module));

    EXPECT_TRUE(reader.WaitFor(std::string(path) + " loading\n", 3000));
    EXPECT_TRUE(reader.WaitFor(std::string(path) + " unloading\n", 3000));
    if (HasFailure())
        for (const std::string &piece : reader.Pieces())
            ADD_FAILURE() << "debug output: " << piece;
}

TEST(Loader, FindsTheModuleBesideTheLoadingDll)
{
    // Any DLL in the installation folder stands for the loading component; the module
    // itself will do.
    UniqueModule anchor(LoadLibraryA(ModulePath().c_str()));
    ASSERT_TRUE(anchor);
    UniqueModule module;
    ASSERT_EQ(LoadResourceModuleFor("EN", ResourceModuleSearch::BesideModule, anchor.Get(), module),
              ResourceModuleStatus::Loaded);
    EXPECT_EQ(module.Get(), anchor.Get()) << "tasqEN.dll must name the shipped tasqen.dll";
}

TEST(Loader, UnderEnUsLoadsTheEnglishModule)
{
    UniqueModule anchor(LoadLibraryA(ModulePath().c_str()));
    ASSERT_TRUE(anchor);
    UniqueModule module;
    ASSERT_EQ(LoadResourceModule(ResourceModuleSearch::BesideModule, anchor.Get(), module),
              ResourceModuleStatus::Loaded);
    char text[260] = {};
    LoadStringA(module.Get(), IDS_REMINDER_TITLE, text, sizeof text);
    EXPECT_STREQ(text, "Quillon Reminder");
}

TEST(Loader, FailsWithoutTheModuleAndSaysSoOnlyForDlls)
{
    test::DebugOutputReader reader;
    std::string error;
    ASSERT_TRUE(reader.Start(error)) << error;
    const std::string message = "Couldn't find resource file\n";

    // The test program's folder holds no resource module, and neither does the
    // library search path: neither the language's own module nor the English one.
    for (const char *prefix : {"EN", "DE", "IT"}) {
        UniqueModule module;
        EXPECT_EQ(LoadResourceModuleFor(prefix, ResourceModuleSearch::SystemSearch, nullptr, module),
                  ResourceModuleStatus::NotFound)
            << prefix;
        EXPECT_FALSE(module) << prefix;
    }
    EXPECT_FALSE(reader.WaitFor(message, 300)) << "the programs exit silently";

    for (const char *prefix : {"EN", "IT"}) {
        UniqueModule module;
        EXPECT_EQ(LoadResourceModuleFor(prefix, ResourceModuleSearch::BesideModule, GetModuleHandleA(nullptr), module),
                  ResourceModuleStatus::NotFound)
            << prefix;
        EXPECT_FALSE(module) << prefix;
    }
    EXPECT_TRUE(reader.WaitFor(message, 3000));

    UniqueModule module;
    EXPECT_EQ(LoadResourceModuleFor("", ResourceModuleSearch::BesideModule, nullptr, module),
              ResourceModuleStatus::NoLanguage);
    EXPECT_EQ(LoadResourceModuleFor(nullptr, ResourceModuleSearch::SystemSearch, nullptr, module),
              ResourceModuleStatus::NoLanguage);
}

// A language the installation has no module for gets the English one from the same
// folder; a shipped language gets its own.
TEST(Loader, LanguagesWithoutAModuleFallBackToEnglish)
{
    UniqueModule anchor(LoadLibraryA(ModulePath().c_str()));
    ASSERT_TRUE(anchor);
    for (const char *prefix : {"IT", "NL", "E", "xx"}) {
        UniqueModule module;
        EXPECT_EQ(LoadResourceModuleFor(prefix, ResourceModuleSearch::BesideModule, anchor.Get(), module),
                  ResourceModuleStatus::Loaded)
            << prefix;
        EXPECT_EQ(module.Get(), anchor.Get()) << prefix << " must load tasqen.dll";
    }
    for (const char *prefix : {"DE", "FR", "ES"}) {
        UniqueModule module;
        ASSERT_EQ(LoadResourceModuleFor(prefix, ResourceModuleSearch::BesideModule, anchor.Get(), module),
                  ResourceModuleStatus::Loaded)
            << prefix;
        char path[MAX_PATH] = {};
        GetModuleFileNameA(module.Get(), path, MAX_PATH);
        EXPECT_STRCASEEQ(path, (test::BinDir() + "\\tasq" + prefix + ".dll").c_str());
    }
}

} // namespace
} // namespace quillon
