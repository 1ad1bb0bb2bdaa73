// What every translated resource module must hold, compared with the English one, and
// whether its texts fit their controls.
//
// Module check: the same ids of every kind (strings, dialogs with their controls in
// the same order, menus with the same commands, accelerator tables with the same
// commands, icon groups, the version block); the same printf conversions in the same
// order in every string; every %1..%6 template holding the same placeholders; the
// "title/width" column strings still split at their last slash; the texts the programs
// use to find or name a window left as in English; access keys unique within each
// menu and dialog; every string within the 260-byte buffer its users read it into.
//
// Layout check: each dialog of each module is created with its own font, and every
// static text, button, check box, radio button and group-box caption (and the tab
// captions of the configuration dialog) must fit its control.
//
// English is the reference: what the checks find in tasqen.dll is printed, never
// failed (its texts and places are fixed; some of its access keys repeat, and some of
// its texts do not fit under Wine's fonts). A new English resource without its
// translations fails here.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cwctype>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/handles.h"
#include "resources/resource_ids.h"
#include "tests/resources/dialog_template.h"
#include "tests/support/wine_test_support.h"

namespace quillon {
namespace {

// The shipped translations (CMake passes the list, comma-separated).
std::vector<std::string> TranslatedModuleNames()
{
    std::vector<std::string> names;
    std::stringstream list(QUILLON_TRANSLATED_MODULES);
    std::string name;
    while (std::getline(list, name, ','))
        if (!name.empty())
            names.push_back(name);
    return names;
}

// Strings the programs compare with window titles or use as class names: a scheduler
// started in one language must find one running in another, and the setup program
// looks for the scheduler by these.
const int kStringsKeptAsInEnglish[] = {IDS_APP_CAPTION, IDS_SCHEDULER_CLASS, IDS_CONFIGURATION_TITLE,
                                       IDS_SCHEDULE_LIST_TITLE, IDS_REMINDER_TITLE};

// The configuration dialog's tabs, in the order the dialog inserts them.
const int kConfigurationTabs[] = {IDS_TAB_MAIL_SYSTEM, IDS_TAB_INTERNET_CONNECTION, IDS_TAB_ADVANCED,
                                  IDS_TAB_ERROR_HANDLING, IDS_TAB_OUTGOING_SERVER};

// Resource strings are read into 260-byte buffers.
constexpr size_t kStringBufferSize = 260;

struct Module {
    std::string name;
    UniqueModule handle;
    bool english = false;
};

std::string ToAnsi(const std::wstring &wide, bool *lossy = nullptr)
{
    if (wide.empty())
        return {};
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(1252, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                   &usedDefault);
    std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(1252, 0, wide.c_str(), static_cast<int>(wide.size()), &text[0], size, nullptr,
                        &usedDefault);
    if (lossy != nullptr)
        *lossy = usedDefault != FALSE;
    return text;
}

BOOL CALLBACK CollectId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR parameter)
{
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<int> *>(parameter)->push_back(static_cast<int>(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

std::vector<int> ResourceIds(HMODULE module, LPCWSTR type)
{
    std::vector<int> ids;
    EnumResourceNamesW(module, type, CollectId, reinterpret_cast<LONG_PTR>(&ids));
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Every string of the module by id, read from the string-table blocks themselves.
std::map<int, std::wstring> Strings(HMODULE module)
{
    std::map<int, std::wstring> strings;
    for (int block : ResourceIds(module, MAKEINTRESOURCEW(6))) {
        for (int i = 0; i < 16; ++i) {
            const int id = (block - 1) * 16 + i;
            const WCHAR *text = nullptr;
            int length = LoadStringW(module, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
            if (length > 0 && text != nullptr)
                strings[id] = std::wstring(text, static_cast<size_t>(length));
        }
    }
    return strings;
}

// The printf conversions of a text in order ("%s", "%d", "%5.2f"); "%%" is none, and
// "%1".."%9" followed by no conversion letter are numbered inserts, not conversions.
std::vector<std::string> PrintfConversions(const std::string &text)
{
    std::vector<std::string> found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        if (i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < text.size() && std::string("-+ #0").find(text[j]) != std::string::npos)
            ++j;
        while (j < text.size() && (isdigit(static_cast<unsigned char>(text[j])) || text[j] == '*'))
            ++j;
        if (j < text.size() && text[j] == '.') {
            ++j;
            while (j < text.size() && (isdigit(static_cast<unsigned char>(text[j])) || text[j] == '*'))
                ++j;
        }
        while (j < text.size() && std::string("hlLzjtI64").find(text[j]) != std::string::npos)
            ++j;
        if (j < text.size() && std::string("diouxXeEfgGcsp").find(text[j]) != std::string::npos) {
            found.push_back(text.substr(i, j - i + 1));
            i = j;
        }
    }
    return found;
}

// The numbered inserts %1..%9 of a template, sorted.
std::vector<int> NumberedInserts(const std::string &text)
{
    std::vector<int> found;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '%' && text[i + 1] == '%') {
            ++i;
            continue;
        }
        if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9' && PrintfConversions(text.substr(i)).empty() &&
            (i + 2 >= text.size() || std::string("diouxXeEfgGcsp.").find(text[i + 2]) == std::string::npos))
            found.push_back(text[i + 1] - '0');
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A "title/width" column string: after its last slash only digits.
bool IsColumnString(const std::string &text, std::string *title = nullptr)
{
    size_t slash = text.rfind('/');
    if (slash == std::string::npos || slash + 1 >= text.size())
        return false;
    for (size_t i = slash + 1; i < text.size(); ++i)
        if (!isdigit(static_cast<unsigned char>(text[i])))
            return false;
    if (title != nullptr)
        *title = text.substr(0, slash);
    return true;
}

// The access key of a text: the letter after a single '&', lower-cased; 0 for none.
wchar_t AccessKey(const std::wstring &text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&')
            continue;
        if (text[i + 1] == L'&') {
            ++i;
            continue;
        }
        return static_cast<wchar_t>(std::towlower(text[i + 1]));
    }
    return 0;
}

// "&O" twice among labels: the repeated keys of one menu or dialog, as "o, p".
std::string RepeatedKeys(const std::vector<std::wstring> &texts)
{
    std::map<wchar_t, int> count;
    for (const std::wstring &text : texts)
        if (wchar_t key = AccessKey(text))
            ++count[key];
    std::string repeated;
    for (const auto &entry : count)
        if (entry.second > 1)
            repeated += (repeated.empty() ? "" : ", ") + ToAnsi(std::wstring(1, entry.first));
    return repeated;
}

// ---- Menus -----------------------------------------------------------------------------

struct MenuEntry {
    std::string path;     // "0/2": position within the pop-ups
    bool separator = false;
    bool popup = false;
    UINT command = 0;
    std::wstring text;
};

void ReadMenu(HMENU menu, const std::string &path, std::vector<MenuEntry> &entries,
              std::vector<std::vector<std::wstring>> &levels)
{
    std::vector<std::wstring> level;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        WCHAR text[256] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 255;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info))
            continue;
        MenuEntry entry;
        entry.path = path + std::to_string(i);
        entry.separator = (info.fType & MFT_SEPARATOR) != 0;
        entry.popup = info.hSubMenu != nullptr;
        entry.command = entry.popup ? 0 : info.wID;
        entry.text = text;
        entries.push_back(entry);
        level.push_back(entry.text);
        if (entry.popup)
            ReadMenu(info.hSubMenu, entry.path + "/", entries, levels);
    }
    levels.push_back(level);
}

// ---- The modules under test ----------------------------------------------------------------

class Translations : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES | ICC_DATE_CLASSES};
        InitCommonControlsEx(&init);
    }
    void SetUp() override
    {
        english_.name = "tasqen";
        english_.english = true;
        english_.handle.Reset(LoadLibraryA((test::BinDir() + "\\tasqen.dll").c_str()));
        ASSERT_TRUE(english_.handle) << "tasqen.dll";
        for (const std::string &name : TranslatedModuleNames()) {
            Module module;
            module.name = name;
            module.handle.Reset(LoadLibraryA((test::BinDir() + "\\" + name + ".dll").c_str()));
            ASSERT_TRUE(module.handle) << name << ".dll is not in the installation folder";
            translations_.push_back(std::move(module));
        }
        ASSERT_FALSE(translations_.empty());
    }

    // A finding: a failure in a translation, a printed note for English.
    static void Report(const Module &module, const std::string &what)
    {
        if (module.english)
            std::cout << "[ note ] " << module.name << ": " << what << "\n";
        else
            ADD_FAILURE() << module.name << ": " << what;
    }

    Module english_;
    std::vector<Module> translations_;
};

TEST_F(Translations, CarryTheSameResourceIdsOfEveryKind)
{
    const struct {
        const char *kind;
        LPCWSTR type;
    } kinds[] = {
        {"dialog", MAKEINTRESOURCEW(5)},       {"menu", MAKEINTRESOURCEW(4)},
        {"accelerator table", MAKEINTRESOURCEW(9)}, {"icon group", MAKEINTRESOURCEW(14)},
        {"version block", MAKEINTRESOURCEW(16)},
    };
    std::map<int, std::wstring> englishStrings = Strings(english_.handle.Get());
    for (const Module &module : translations_) {
        for (const auto &kind : kinds) {
            std::vector<int> expected = ResourceIds(english_.handle.Get(), kind.type);
            std::vector<int> actual = ResourceIds(module.handle.Get(), kind.type);
            for (int id : expected)
                if (!std::binary_search(actual.begin(), actual.end(), id))
                    ADD_FAILURE() << module.name << " lacks " << kind.kind << " " << id;
            for (int id : actual)
                if (!std::binary_search(expected.begin(), expected.end(), id))
                    ADD_FAILURE() << module.name << " has " << kind.kind << " " << id << ", which English has not";
        }
        std::map<int, std::wstring> strings = Strings(module.handle.Get());
        for (const auto &entry : englishStrings)
            if (strings.count(entry.first) == 0)
                ADD_FAILURE() << module.name << " lacks string " << entry.first << " (\"" << ToAnsi(entry.second)
                              << "\")";
        for (const auto &entry : strings)
            if (englishStrings.count(entry.first) == 0)
                ADD_FAILURE() << module.name << " has string " << entry.first << ", which English has not";
    }
}

TEST_F(Translations, StringsKeepTheirConversionsPlaceholdersColumnsAndLimits)
{
    std::map<int, std::wstring> englishStrings = Strings(english_.handle.Get());
    for (const Module &module : translations_) {
        std::map<int, std::wstring> strings = Strings(module.handle.Get());
        for (const auto &entry : englishStrings) {
            const int id = entry.first;
            auto found = strings.find(id);
            if (found == strings.end())
                continue; // reported by the id check
            const std::string english = ToAnsi(entry.second);
            bool lossy = false;
            const std::string text = ToAnsi(found->second, &lossy);
            const std::string where = module.name + " string " + std::to_string(id) + " \"" + text + "\"";
            EXPECT_FALSE(lossy) << where << ": not representable in Windows-1252";
            EXPECT_LT(text.size(), kStringBufferSize) << where << ": longer than the 260-byte buffer";
            EXPECT_EQ(PrintfConversions(text), PrintfConversions(english)) << where << ": printf conversions";
            EXPECT_EQ(NumberedInserts(text), NumberedInserts(english)) << where << ": %1..%6 inserts";
            if (IsColumnString(english)) {
                std::string title;
                EXPECT_TRUE(IsColumnString(text, &title) && !title.empty())
                    << where << ": a column string is a title, a slash and a width in pixels";
            }
            // Schedule texts are put together from pieces that end with their space.
            if (!english.empty() && english.back() == ' ') {
                EXPECT_TRUE(!text.empty() && text.back() == ' ') << where << ": lost its trailing space";
            }
        }
        for (int id : kStringsKeptAsInEnglish)
            EXPECT_EQ(ToAnsi(strings[id]), ToAnsi(englishStrings[id]))
                << module.name << " string " << id << " names or finds a window: it stays as in English";
    }
}

TEST_F(Translations, DialogsKeepTheirControlsInOrder)
{
    std::map<int, std::wstring> englishStrings = Strings(english_.handle.Get());
    for (const Module &module : translations_) {
        for (int id : ResourceIds(english_.handle.Get(), MAKEINTRESOURCEW(5))) {
            test::DialogTemplate expected, actual;
            std::string error;
            ASSERT_TRUE(test::ReadDialogTemplate(english_.handle.Get(), id, expected, error)) << error;
            if (!test::ReadDialogTemplate(module.handle.Get(), id, actual, error))
                continue; // reported by the id check
            const std::string where = module.name + " dialog " + std::to_string(id);
            EXPECT_EQ(actual.style, expected.style) << where << ": style";
            EXPECT_EQ(actual.exStyle, expected.exStyle) << where << ": extended style";
            EXPECT_EQ(actual.pointSize, expected.pointSize) << where << ": font size";
            EXPECT_EQ(actual.typeface, expected.typeface) << where << ": font";
            EXPECT_GE(actual.cx, expected.cx) << where << ": narrower than in English";
            EXPECT_GE(actual.cy, expected.cy) << where << ": lower than in English";
            ASSERT_EQ(actual.items.size(), expected.items.size()) << where << ": number of controls";
            for (size_t i = 0; i < expected.items.size(); ++i) {
                const test::DialogItem &e = expected.items[i];
                const test::DialogItem &a = actual.items[i];
                const std::string item = where + " control " + std::to_string(i) + " (id " + std::to_string(e.id) + ")";
                EXPECT_EQ(a.id, e.id) << item << ": id";
                EXPECT_EQ(a.windowClass, e.windowClass) << item << ": class";
                EXPECT_EQ(a.style, e.style) << item << ": style";
                EXPECT_EQ(a.exStyle, e.exStyle) << item << ": extended style";
                EXPECT_EQ(a.text.empty(), e.text.empty()) << item << ": text present in one language only";
                if (!e.text.empty() && e.text[0] == '#') {
                    EXPECT_EQ(a.text, e.text) << item << ": resource ordinal";
                }
            }
        }
        // The scheduler finds an open configuration dialog by the title in string 191.
        test::DialogTemplate configuration;
        std::string error;
        if (test::ReadDialogTemplate(module.handle.Get(), IDD_CONFIGURATION, configuration, error)) {
            EXPECT_EQ(configuration.title, ToAnsi(englishStrings[IDS_CONFIGURATION_TITLE]))
                << module.name << ": the configuration dialog's caption is string 191";
        }
    }
}

TEST_F(Translations, MenusAndAcceleratorsKeepTheirCommands)
{
    for (const Module &module : translations_) {
        for (int id : ResourceIds(english_.handle.Get(), MAKEINTRESOURCEW(4))) {
            HMENU englishMenu = LoadMenuW(english_.handle.Get(), MAKEINTRESOURCEW(id));
            HMENU menu = LoadMenuW(module.handle.Get(), MAKEINTRESOURCEW(id));
            if (menu == nullptr) {
                DestroyMenu(englishMenu);
                continue; // reported by the id check
            }
            std::vector<MenuEntry> expected, actual;
            std::vector<std::vector<std::wstring>> unusedLevels;
            ReadMenu(englishMenu, "", expected, unusedLevels);
            ReadMenu(menu, "", actual, unusedLevels);
            DestroyMenu(englishMenu);
            DestroyMenu(menu);
            const std::string where = module.name + " menu " + std::to_string(id);
            ASSERT_EQ(actual.size(), expected.size()) << where << ": number of items";
            for (size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(actual[i].path, expected[i].path) << where << " item " << i;
                EXPECT_EQ(actual[i].separator, expected[i].separator) << where << " item " << expected[i].path;
                EXPECT_EQ(actual[i].popup, expected[i].popup) << where << " item " << expected[i].path;
                EXPECT_EQ(actual[i].command, expected[i].command) << where << " item " << expected[i].path;
                EXPECT_EQ(actual[i].text.empty(), expected[i].text.empty()) << where << " item " << expected[i].path;
            }
        }
        for (int id : ResourceIds(english_.handle.Get(), MAKEINTRESOURCEW(9))) {
            HACCEL englishTable = LoadAcceleratorsW(english_.handle.Get(), MAKEINTRESOURCEW(id));
            HACCEL table = LoadAcceleratorsW(module.handle.Get(), MAKEINTRESOURCEW(id));
            if (table == nullptr) {
                DestroyAcceleratorTable(englishTable);
                continue;
            }
            ACCEL expected[32] = {}, actual[32] = {};
            const int expectedCount = CopyAcceleratorTableW(englishTable, expected, 32);
            const int actualCount = CopyAcceleratorTableW(table, actual, 32);
            DestroyAcceleratorTable(englishTable);
            DestroyAcceleratorTable(table);
            const std::string where = module.name + " accelerator table " + std::to_string(id);
            ASSERT_EQ(actualCount, expectedCount) << where;
            // The keys may follow the translated labels; the commands and modifiers stay.
            for (int i = 0; i < expectedCount; ++i) {
                EXPECT_EQ(actual[i].cmd, expected[i].cmd) << where << " entry " << i;
                EXPECT_EQ(actual[i].fVirt, expected[i].fVirt) << where << " entry " << i;
            }
        }
    }
}

TEST_F(Translations, AccessKeysAreUniqueWithinEachMenuAndDialog)
{
    std::vector<const Module *> all{&english_};
    for (const Module &module : translations_)
        all.push_back(&module);
    for (const Module *module : all) {
        for (int id : ResourceIds(module->handle.Get(), MAKEINTRESOURCEW(4))) {
            HMENU menu = LoadMenuW(module->handle.Get(), MAKEINTRESOURCEW(id));
            std::vector<MenuEntry> entries;
            std::vector<std::vector<std::wstring>> levels;
            ReadMenu(menu, "", entries, levels);
            DestroyMenu(menu);
            for (const auto &level : levels) {
                std::string repeated = RepeatedKeys(level);
                if (!repeated.empty())
                    Report(*module, "menu " + std::to_string(id) + " repeats the access key " + repeated);
            }
        }
        for (int id : ResourceIds(module->handle.Get(), MAKEINTRESOURCEW(5))) {
            test::DialogTemplate dialog;
            std::string error;
            ASSERT_TRUE(test::ReadDialogTemplate(module->handle.Get(), id, dialog, error)) << error;
            std::vector<std::wstring> texts;
            for (const test::DialogItem &item : dialog.items) {
                // A static without prefix processing shows its ampersands.
                const bool staticText = item.windowClass == "#130" || item.windowClass == "Static";
                if (staticText && (item.style & SS_NOPREFIX) != 0)
                    continue;
                WCHAR wide[512] = {};
                MultiByteToWideChar(CP_ACP, 0, item.text.c_str(), -1, wide, 511);
                texts.push_back(wide);
            }
            std::string repeated = RepeatedKeys(texts);
            if (!repeated.empty())
                Report(*module, "dialog " + std::to_string(id) + " repeats the access key " + repeated);
        }
    }
}

TEST_F(Translations, VersionBlocksNameTheirModule)
{
    for (const Module &module : translations_) {
        const std::string path = test::BinDir() + "\\" + module.name + ".dll";
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_GT(size, 0u) << path;
        std::string block(size, '\0');
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, &block[0]));
        struct LanguageAndCodePage {
            WORD language, codePage;
        } *translation = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(&block[0], "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation),
                                   &length));
        char prefix[64] = {};
        wsprintfA(prefix, "\\StringFileInfo\\%04x%04x\\", translation->language, translation->codePage);
        const struct {
            const char *name;
            std::string value;
        } values[] = {
            {"InternalName", module.name},   {"OriginalFilename", module.name + ".dll"},
            {"ProductName", "Quillon"},      {"FileVersion", "1, 2, 0, 1"},
            {"ProductVersion", "1, 2, 0, 1"},
        };
        for (const auto &v : values) {
            char *text = nullptr;
            UINT textLength = 0;
            ASSERT_TRUE(VerQueryValueA(&block[0], (std::string(prefix) + v.name).c_str(),
                                       reinterpret_cast<void **>(&text), &textLength))
                << module.name << " " << v.name;
            EXPECT_EQ(std::string(text), v.value) << module.name << " " << v.name;
        }
    }
}

// ---- Layout ------------------------------------------------------------------------------

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

std::wstring WindowTextOf(HWND window)
{
    WCHAR text[1024] = {};
    GetWindowTextW(window, text, 1023);
    return text;
}

std::wstring ClassNameOf(HWND window)
{
    WCHAR name[64] = {};
    GetClassNameW(window, name, 63);
    return name;
}

// The extent of `text` in the control's own font: width and height when broken into
// lines of at most `width` pixels (width 0: on one line).
SIZE TextExtent(HWND control, const std::wstring &text, int width, UINT extraFormat)
{
    HDC dc = GetDC(control);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
    RECT rect{0, 0, width > 0 ? width : 10000, 0};
    UINT format = DT_CALCRECT | extraFormat | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
    if (previous != nullptr)
        SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// What does not fit in one control, or "" when it fits (or is not a kind that shows text).
std::string LayoutFinding(HWND control)
{
    const std::wstring kind = ClassNameOf(control);
    const std::wstring text = WindowTextOf(control);
    if (text.empty())
        return {};
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    RECT client = {};
    GetClientRect(control, &client);
    const int width = client.right;
    const int height = client.bottom;
    const UINT prefix = 0;
    SIZE need = {};
    int room = width;
    if (lstrcmpiW(kind.c_str(), L"Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_SIMPLE &&
            type != SS_LEFTNOWORDWRAP)
            return {};
        const UINT noPrefix = (style & SS_NOPREFIX) != 0 ? DT_NOPREFIX : prefix;
        if (type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP)
            need = TextExtent(control, text, 0, noPrefix);
        else
            need = TextExtent(control, text, width, noPrefix);
    } else if (lstrcmpiW(kind.c_str(), L"Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        const bool multiline = (style & BS_MULTILINE) != 0;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
            room = width - 2 * GetSystemMetrics(SM_CXEDGE) - 2;
            need = TextExtent(control, text, multiline ? room : 0, 0);
        } else if (type == BS_GROUPBOX) {
            room = width - 16;
            need = TextExtent(control, text, 0, 0);
        } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                   type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE) {
            // The box and the gap after it.
            room = width - GetSystemMetrics(SM_CXMENUCHECK) - 4;
            need = TextExtent(control, text, multiline ? room : 0, 0);
        } else {
            return {};
        }
    } else {
        return {};
    }
    std::ostringstream finding;
    if (need.cx > room)
        finding << need.cx << " px wide, room for " << room;
    if (need.cy > height)
        finding << (finding.str().empty() ? "" : "; ") << need.cy << " px high, room for " << height;
    return finding.str();
}

struct LayoutSearch {
    std::vector<std::string> findings;
};

BOOL CALLBACK CheckControl(HWND control, LPARAM parameter)
{
    std::string finding = LayoutFinding(control);
    if (!finding.empty()) {
        std::ostringstream line;
        line << "control " << GetDlgCtrlID(control) << " \"" << ToAnsi(WindowTextOf(control)) << "\": " << finding;
        reinterpret_cast<LayoutSearch *>(parameter)->findings.push_back(line.str());
    }
    return TRUE;
}

TEST_F(Translations, EveryTextFitsItsControl)
{
    HWND parent = CreateWindowExA(0, "STATIC", "parent", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    std::vector<const Module *> all{&english_};
    for (const Module &module : translations_)
        all.push_back(&module);
    for (const Module *module : all) {
        for (int id : ResourceIds(module->handle.Get(), MAKEINTRESOURCEW(5))) {
            HWND dialog = CreateDialogParamW(module->handle.Get(), MAKEINTRESOURCEW(id), parent, QuietDialogProc, 0);
            ASSERT_NE(dialog, nullptr) << module->name << " dialog " << id << " error " << GetLastError();
            LayoutSearch search;
            EnumChildWindows(dialog, CheckControl, reinterpret_cast<LPARAM>(&search));
            if (id == IDD_CONFIGURATION) {
                // The tabs get the page titles, each as wide as its text; all must show.
                HWND tabs = GetDlgItem(dialog, IDC_CONFIG_TABS);
                ASSERT_NE(tabs, nullptr);
                int index = 0;
                for (int title : kConfigurationTabs) {
                    WCHAR text[260] = {};
                    LoadStringW(module->handle.Get(), static_cast<UINT>(title), text, 260);
                    TCITEMW item = {};
                    item.mask = TCIF_TEXT;
                    item.pszText = text;
                    SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&item));
                }
                RECT last = {}, client = {};
                SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index - 1), reinterpret_cast<LPARAM>(&last));
                GetClientRect(tabs, &client);
                if (last.right > client.right)
                    search.findings.push_back("tab captions need " + std::to_string(last.right) + " px, room for " +
                                              std::to_string(client.right));
            }
            for (const std::string &finding : search.findings)
                Report(*module, "dialog " + std::to_string(id) + " " + finding);
            DestroyWindow(dialog);
        }
    }
    DestroyWindow(parent);
}

} // namespace
} // namespace quillon
