// clipnet.dll in a fake browser: registered with regsvr32 and created by CLSID as the
// browser does, given a site whose browser has a frame window with a Tools menu and an
// in-memory page. Covers the registration, the frame subclass and its menu item, the
// settings, the object's lifetime, and the capture from the selection to the task the
// page sender then runs against the same page served over loopback HTTP.
#include <gtest/gtest.h>

#include "tests/webflat/loopback_http_server.h" // winsock2.h before windows.h

#include <windows.h>
#include <ocidl.h>

#include <functional>
#include <string>
#include <vector>

#include "capture/clipnet_ids.h"
#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "resources/resource_ids.h"
#include "tests/capture/fake_browser.h"
#include "tests/support/language_texts.h"
#include "tests/support/mail_queue.h"
#include "tests/support/window_driver.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr char kClsid[] = "{7C3A92AD-2B6E-4F10-A5C8-3E0D9B41F627}";
constexpr char kBhoKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\"
    "{7C3A92AD-2B6E-4F10-A5C8-3E0D9B41F627}";
constexpr UINT kToolsMarker = 41334;
constexpr UINT kMenuItem = 39999;
constexpr char kProperty[] = "ClipnetPrivateProperty";
// The page server of the end-to-end case; no other test listens here.
constexpr char kServerAddress[] = "127.0.0.141";

const char kPage[] =
    "<html><head><title>Harbour report</title></head><body>"
    "<h1>Tides and wind</h1>"
    "<p>High tide at 14:32, low tide at 20:47.</p>"
    "<p>Wind south-west 4, easing later in the evening.</p>"
    "<p>The ferry to the island runs every hour until 19:00.</p>"
    "</body></html>";
const char kSecondParagraph[] = "Wind south-west 4, easing later in the evening.";

std::vector<UINT> frameCommands; // WM_COMMAND ids that reached the frame's own procedure
std::vector<UINT> frameMessages; // every message that reached it
std::string frameContent;        // text the frame paints (for the screenshots)

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    frameMessages.push_back(message);
    if (message == WM_COMMAND)
        frameCommands.push_back(LOWORD(wParam));
    if (message == WM_PAINT && !frameContent.empty()) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        InflateRect(&area, -12, -10);
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        DrawTextA(dc, frameContent.c_str(), -1, &area, DT_WORDBREAK);
        EndPaint(window, &paint);
        return 0;
    }
    return IsWindowUnicode(window) ? DefWindowProcW(window, message, wParam, lParam)
                                   : DefWindowProcA(window, message, wParam, lParam);
}

struct Frame {
    HWND window = nullptr;
    HMENU tools = nullptr;
    HMENU file = nullptr;
};

// A browser frame: File (100, 101), Tools (41334 "Internet Options", 200), Help.
Frame CreateFrame(bool unicode)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA ansi{};
        ansi.lpfnWndProc = FrameProc;
        ansi.hInstance = GetModuleHandleA(nullptr);
        ansi.lpszClassName = "FakeBrowserFrameA";
        RegisterClassA(&ansi);
        WNDCLASSW wide{};
        wide.lpfnWndProc = FrameProc;
        wide.hInstance = GetModuleHandleW(nullptr);
        wide.lpszClassName = L"FakeBrowserFrameW";
        RegisterClassW(&wide);
        registered = true;
    }
    Frame frame;
    HMENU bar = CreateMenu();
    frame.file = CreatePopupMenu();
    AppendMenuA(frame.file, MF_STRING, 100, "&Open");
    AppendMenuA(frame.file, MF_STRING, 101, "E&xit");
    frame.tools = CreatePopupMenu();
    AppendMenuA(frame.tools, MF_STRING, kToolsMarker, "Internet &Options...");
    AppendMenuA(frame.tools, MF_STRING, 200, "&Windows Update");
    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, 300, "&About");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(frame.file), "&File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(frame.tools), "&Tools");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "&Help");
    if (unicode)
        frame.window = CreateWindowExW(0, L"FakeBrowserFrameW", L"Harbour report - Fake Browser", WS_OVERLAPPEDWINDOW,
                                       0, 0, 400, 300, nullptr, bar, GetModuleHandleW(nullptr), nullptr);
    else
        frame.window = CreateWindowExA(0, "FakeBrowserFrameA", "Harbour report - Fake Browser", WS_OVERLAPPEDWINDOW,
                                       0, 0, 400, 300, nullptr, bar, GetModuleHandleA(nullptr), nullptr);
    return frame;
}

// The browser's part: a site for the frame and page, and a ClipObj created by CLSID and
// given the site.
struct Window {
    Frame frame;
    IUnknown *site = nullptr;
    IObjectWithSite *addIn = nullptr;
    HRESULT setSite = E_FAIL;

    void Release()
    {
        if (addIn != nullptr)
            addIn->Release();
        addIn = nullptr;
        if (site != nullptr)
            site->Release();
        site = nullptr;
    }
};

Window OpenWindow(FakePage *page, bool unicode = false, const wchar_t *url = L"http://host/a/b/page.htm")
{
    Window w;
    w.frame = CreateFrame(unicode);
    w.site = CreateFakeSite(w.frame.window, page, url);
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_ClipObj, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite,
                                     reinterpret_cast<void **>(&w.addIn)));
    if (w.addIn != nullptr)
        w.setSite = w.addIn->SetSite(w.site);
    return w;
}

int CountItem(HMENU menu, UINT id)
{
    int count = 0;
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
        if (GetMenuItemID(menu, i) == id)
            ++count;
    return count;
}

std::string ItemText(HMENU menu, UINT id)
{
    char text[260] = {};
    GetMenuStringA(menu, id, text, sizeof text, MF_BYCOMMAND);
    return text;
}

void OpenPopup(const Frame &frame, HMENU popup, bool windowMenu = false)
{
    SendMessageA(frame.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(1, windowMenu ? 1 : 0));
}

void WriteConfig(const char *name, const char *value)
{
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(kConfigurationKeyPath, &key));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteString(name, value));
}

void WriteConfigNumber(const char *name, DWORD value)
{
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(kConfigurationKeyPath, &key));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteDword(name, value));
}

UINT UpdateMessage() { return RegisterWindowMessageA(kMsgUpdateConfig); }

// The add-in's settings are re-read by any hooked frame on the update message.
void AnnounceConfiguration(HWND hookedFrame) { SendMessageA(hookedFrame, UpdateMessage(), 0, 0); }

HRESULT DllCanUnloadNowOfAddIn()
{
    using Function = HRESULT(WINAPI *)();
    HMODULE module = GetModuleHandleA("clipnet.dll");
    auto canUnload = module != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void *>(
                                             GetProcAddress(module, "DllCanUnloadNow")))
                                       : nullptr;
    return canUnload != nullptr ? canUnload() : E_FAIL;
}

ProcessResult Regsvr32(const char *options)
{
    return RunProcess(std::string("regsvr32 ") + options + " \"" + BinDir() + "\\clipnet.dll\"", 30000);
}

std::string ReadText(HKEY root, const std::string &path, const char *name = "")
{
    RegistryKey key;
    if (key.Open(root, path.c_str()) != ERROR_SUCCESS)
        return "<missing key>";
    std::string text;
    if (key.ReadString(name, &text) != ERROR_SUCCESS)
        return "<missing value>";
    return text;
}

bool KeyExists(HKEY root, const std::string &path)
{
    RegistryKey key;
    return key.Open(root, path.c_str()) == ERROR_SUCCESS;
}

class CaptureHost : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WriteSuiteSettings();
        ProcessResult registered = Regsvr32("/s");
        ASSERT_TRUE(registered.started);
        ASSERT_EQ(registered.exitCode, 0u);
        ASSERT_EQ(S_OK, RegisterScheduleComponent());
        CoInitialize(nullptr);
        page = FakePageCreate(kPage);
    }
    static void TearDownTestSuite()
    {
        CoUninitialize();
        FakePageDestroy(page);
        ResetProductRegistry();
    }
    // The product's keys emptied, then the settings every case starts from.
    static void WriteSuiteSettings()
    {
        ResetProductRegistry();
        WriteConfig(config_values::kMaxMsgLen, "500");
        WriteConfig(config_values::kSender, "me@example.org"); // 14 characters, stored size 15
        WriteConfig(config_values::kDestination, "pager@example.org");
        WriteConfigNumber(config_values::kMailSystem, 0);
        // The host is this program: its upper-cased path holds the name.
        WriteConfig(config_values::kBrowserName, "CAPTURE_HOST_TESTS.EXE");
    }
    void TearDown() override { EXPECT_EQ(FakeBrowserLiveObjects(), 0) << "fake browser objects leaked"; }

    static FakePage *page;
};

FakePage *CaptureHost::page = nullptr;

TEST_F(CaptureHost, RegistrarScriptIsWrittenAndRemovedWhole)
{
    const std::string clsid = std::string("CLSID\\") + kClsid;
    struct Entry {
        HKEY root;
        std::string path;
        const char *name;
        std::string value;
    };
    const std::string module = BinDir() + "\\clipnet.dll";
    const std::vector<Entry> entries = {
        {HKEY_CLASSES_ROOT, "Clipnet.ClipObj.1", "", "ClipObj Class"},
        {HKEY_CLASSES_ROOT, "Clipnet.ClipObj.1\\CLSID", "", kClsid},
        {HKEY_CLASSES_ROOT, "Clipnet.ClipObj", "", "ClipObj Class"},
        {HKEY_CLASSES_ROOT, "Clipnet.ClipObj\\CLSID", "", kClsid},
        {HKEY_CLASSES_ROOT, "Clipnet.ClipObj\\CurVer", "", "Clipnet.ClipObj.1"},
        {HKEY_CLASSES_ROOT, clsid, "", "ClipObj Class"},
        {HKEY_CLASSES_ROOT, clsid + "\\ProgID", "", "Clipnet.ClipObj.1"},
        {HKEY_CLASSES_ROOT, clsid + "\\VersionIndependentProgID", "", "Clipnet.ClipObj"},
        {HKEY_CLASSES_ROOT, clsid + "\\InprocServer32", "", module},
        {HKEY_CLASSES_ROOT, clsid + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {HKEY_CLASSES_ROOT, clsid + "\\TypeLib", "", "{7C3A92A0-2B6E-4F10-A5C8-3E0D9B41F627}"},
    };
    for (const Entry &e : entries) {
        std::string value = ReadText(e.root, e.path, e.name);
        if (e.value == module) // the path as the loader reports it, in any case
            EXPECT_EQ(lstrcmpiA(value.c_str(), module.c_str()), 0) << e.path << " " << value;
        else
            EXPECT_EQ(value, e.value) << e.path << " " << e.name;
    }
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, clsid + "\\Programmable"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kBhoKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{7C3A92A0-2B6E-4F10-A5C8-3E0D9B41F627}"));

    ProcessResult removed = Regsvr32("/s /u");
    ASSERT_EQ(removed.exitCode, 0u);
    for (const Entry &e : entries)
        EXPECT_FALSE(KeyExists(e.root, e.path)) << e.path;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsid));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kBhoKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{7C3A92A0-2B6E-4F10-A5C8-3E0D9B41F627}"));
    // What the script marks as shared stays.
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE,
                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects"));
    // Unregistering twice is no failure; registering again restores everything.
    EXPECT_EQ(Regsvr32("/s /u").exitCode, 0u);
    ASSERT_EQ(Regsvr32("/s").exitCode, 0u);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kBhoKey));
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
}

TEST_F(CaptureHost, VersionBlockMarksTheDllSelfRegistering)
{
    const std::string path = BinDir() + "\\clipnet.dll";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    const struct {
        const char *key;
        const char *value;
    } rows[] = {
        {"Comments", "Page Capture Add-In"},
        {"FileDescription", "Page Capture Add-In for Internet Explorer"},
        {"FileVersion", "1, 2, 0, 2"},
        {"ProductVersion", "1, 2, 0, 2"},
        {"InternalName", "clipnet"},
        {"OriginalFilename", "clipnet.DLL"},
        {"ProductName", "Quillon"},
        {"OLESelfRegister", ""},
    };
    for (const auto &row : rows) {
        char *value = nullptr;
        UINT length = 0;
        const std::string key = std::string("\\StringFileInfo\\040904b0\\") + row.key;
        ASSERT_TRUE(VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void **>(&value), &length)) << row.key;
        EXPECT_STREQ(length > 0 ? value : "", row.value) << row.key;
    }
}

TEST_F(CaptureHost, ObjectIsAnObjectWithSiteOnly)
{
    IClassFactory *factory = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_ClipObj, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void **>(&factory)));
    IUnknown *outer = reinterpret_cast<IUnknown *>(factory); // any non-null outer
    IUnknown *object = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void **>(&object)));
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void **>(&object)));
    factory->Release();

    void *answer = reinterpret_cast<void *>(1);
    const IID clipObjInterface = {0x7C3A92AC, 0x2B6E, 0x4F10, {0xA5, 0xC8, 0x3E, 0x0D, 0x9B, 0x41, 0xF6, 0x27}};
    EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(clipObjInterface, &answer));
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IDispatch, &answer));
    IObjectWithSite *withSite = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void **>(&withSite)));
    EXPECT_EQ(E_POINTER, withSite->GetSite(IID_IUnknown, nullptr));
    answer = reinterpret_cast<void *>(1);
    EXPECT_EQ(E_FAIL, withSite->GetSite(IID_IUnknown, &answer));
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(S_OK, withSite->SetSite(nullptr));
    withSite->Release();
    EXPECT_EQ(S_FALSE, DllCanUnloadNowOfAddIn());
    object->Release();
    EXPECT_EQ(S_OK, DllCanUnloadNowOfAddIn());
}

TEST_F(CaptureHost, ToolsMenuGetsTheItemOnceAndOtherMenusNever)
{
    Window a = OpenWindow(page);
    ASSERT_EQ(a.setSite, S_OK);
    EXPECT_EQ(GetPropA(a.frame.window, kProperty), static_cast<HANDLE>(a.addIn));
    const int before = GetMenuItemCount(a.frame.tools);
    OpenPopup(a.frame, a.frame.tools);
    OpenPopup(a.frame, a.frame.tools);
    EXPECT_EQ(GetMenuItemCount(a.frame.tools), before + 1);
    EXPECT_EQ(CountItem(a.frame.tools, kMenuItem), 1);
    EXPECT_EQ(GetMenuItemID(a.frame.tools, before), kMenuItem); // appended at the end
    EXPECT_EQ(ItemText(a.frame.tools, kMenuItem), "Quillon...");
    OpenPopup(a.frame, a.frame.file);
    EXPECT_EQ(CountItem(a.frame.file, kMenuItem), 0);
    // The window menu is left alone even when it holds the marker.
    HMENU system = CreatePopupMenu();
    AppendMenuA(system, MF_STRING, kToolsMarker, "marker");
    OpenPopup(a.frame, system, true);
    EXPECT_EQ(CountItem(system, kMenuItem), 0);
    DestroyMenu(system);
    // Messages the add-in does not handle reach the frame's own procedure.
    frameMessages.clear();
    SendMessageA(a.frame.window, WM_USER + 5, 0, 0);
    ASSERT_EQ(frameMessages.size(), 1u);
    EXPECT_EQ(frameMessages[0], static_cast<UINT>(WM_USER + 5));

    // A second browser window, a Unicode one, gets its own object and subclass.
    Window b = OpenWindow(page, true);
    ASSERT_EQ(b.setSite, S_OK);
    EXPECT_EQ(GetPropA(b.frame.window, kProperty), static_cast<HANDLE>(b.addIn));
    OpenPopup(b.frame, b.frame.tools);
    EXPECT_EQ(CountItem(b.frame.tools, kMenuItem), 1);
    frameMessages.clear();
    SendMessageW(b.frame.window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"caf\u00e9"));
    wchar_t title[16] = {};
    GetWindowTextW(b.frame.window, title, 16);
    EXPECT_STREQ(title, L"caf\u00e9"); // forwarded in the frame's own character set

    // A second SetSite on the same frame does not subclass it twice.
    EXPECT_EQ(S_OK, a.addIn->SetSite(a.site));
    frameMessages.clear();
    SendMessageA(a.frame.window, WM_USER + 6, 0, 0);
    EXPECT_EQ(frameMessages.size(), 1u);

    DestroyWindow(a.frame.window);
    DestroyWindow(b.frame.window);
    a.Release();
    b.Release();
}

TEST_F(CaptureHost, BrowserNameDecidesWhichHostsAreHooked)
{
    Window hooked = OpenWindow(page);
    ASSERT_NE(GetPropA(hooked.frame.window, kProperty), nullptr);

    WriteConfig(config_values::kBrowserName, "capture_host_tests.exe");
    AnnounceConfiguration(hooked.frame.window);
    Window lower = OpenWindow(page);
    EXPECT_EQ(lower.setSite, S_OK); // the object lives but hooks nothing
    EXPECT_EQ(GetPropA(lower.frame.window, kProperty), nullptr);
    OpenPopup(lower.frame, lower.frame.tools);
    EXPECT_EQ(CountItem(lower.frame.tools, kMenuItem), 0);

    WriteConfig(config_values::kBrowserName, ""); // stored size 1: matches every host
    AnnounceConfiguration(hooked.frame.window);
    Window empty = OpenWindow(page);
    EXPECT_NE(GetPropA(empty.frame.window, kProperty), nullptr);

    WriteConfig(config_values::kBrowserName, "CAPTURE_HOST_TESTS.EXE");
    AnnounceConfiguration(hooked.frame.window);
    for (Window *w : {&hooked, &lower, &empty}) {
        DestroyWindow(w->frame.window);
        w->Release();
    }
}

TEST_F(CaptureHost, UpdateMessageRereadsTheSettings)
{
    Window w = OpenWindow(page);
    frameMessages.clear();
    WriteConfig(config_values::kMyMenuId, "40001");
    AnnounceConfiguration(w.frame.window);
    EXPECT_TRUE(frameMessages.empty()); // answered by the add-in, not forwarded

    HMENU tools = CreatePopupMenu();
    AppendMenuA(tools, MF_STRING, kToolsMarker, "Internet Options...");
    OpenPopup(w.frame, tools);
    EXPECT_EQ(CountItem(tools, 40001), 1);
    EXPECT_EQ(CountItem(tools, kMenuItem), 0);
    DestroyMenu(tools);
    // The old id no longer runs the capture: the frame gets it as any other command.
    frameCommands.clear();
    SendMessageA(w.frame.window, WM_COMMAND, kMenuItem, 0);
    ASSERT_EQ(frameCommands.size(), 1u);
    EXPECT_EQ(frameCommands[0], kMenuItem);

    // A missing Sender stops the reload after MaxMsgLen: MyMenuId is not read again.
    RegistryKey config;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(kConfigurationKeyPath, &config));
    ASSERT_EQ(ERROR_SUCCESS, config.DeleteValue(config_values::kSender));
    WriteConfig(config_values::kMyMenuId, "40002");
    AnnounceConfiguration(w.frame.window);
    tools = CreatePopupMenu();
    AppendMenuA(tools, MF_STRING, kToolsMarker, "Internet Options...");
    OpenPopup(w.frame, tools);
    EXPECT_EQ(CountItem(tools, 40001), 1);
    DestroyMenu(tools);

    WriteConfig(config_values::kSender, "me@example.org");
    ASSERT_EQ(ERROR_SUCCESS, config.DeleteValue(config_values::kMyMenuId));
    WriteConfig(config_values::kMyMenuId, "39999");
    AnnounceConfiguration(w.frame.window);
    DestroyWindow(w.frame.window);
    w.Release();
}

WNDPROC laterPrevious = nullptr;
LRESULT CALLBACK LaterSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(laterPrevious, window, message, wParam, lParam);
}

TEST_F(CaptureHost, DestroyPutsThePredecessorBackOnlyWhenNobodySubclassedLater)
{
    Window alone = OpenWindow(page);
    ASSERT_EQ(GetWindowLongPtrA(alone.frame.window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(
        GetProcAddress(GetModuleHandleA("clipnet.dll"), "MyWndProc")));
    SendMessageA(alone.frame.window, WM_DESTROY, 0, 0);
    EXPECT_EQ(GetWindowLongPtrA(alone.frame.window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&FrameProc));
    EXPECT_EQ(GetPropA(alone.frame.window, kProperty), nullptr);

    Window covered = OpenWindow(page);
    laterPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(covered.frame.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LaterSubclass)));
    SendMessageA(covered.frame.window, WM_DESTROY, 0, 0);
    EXPECT_EQ(GetWindowLongPtrA(covered.frame.window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&LaterSubclass));
    EXPECT_EQ(GetPropA(covered.frame.window, kProperty), nullptr);
    // Still in the chain, the add-in forwards what comes through to the end.
    frameMessages.clear();
    SendMessageA(covered.frame.window, WM_USER + 7, 0, 0);
    EXPECT_EQ(frameMessages.size(), 1u);

    alone.Release();
    covered.Release();
    EXPECT_EQ(S_FALSE, DllCanUnloadNowOfAddIn()); // the covered subclass still holds its object
    DestroyWindow(alone.frame.window);
    DestroyWindow(covered.frame.window);
    EXPECT_EQ(S_OK, DllCanUnloadNowOfAddIn());
}

TEST_F(CaptureHost, SubclassKeepsItsObjectAfterTheBrowserLetsGo)
{
    Window w = OpenWindow(page);
    EXPECT_EQ(S_OK, w.addIn->SetSite(nullptr));
    EXPECT_NE(GetPropA(w.frame.window, kProperty), nullptr); // SetSite(NULL) does not unhook
    w.Release();
    EXPECT_EQ(S_FALSE, DllCanUnloadNowOfAddIn());
    EXPECT_GT(FakeBrowserLiveObjects(), 0); // the object still holds the browser
    OpenPopup(w.frame, w.frame.tools);
    EXPECT_EQ(CountItem(w.frame.tools, kMenuItem), 1);
    DestroyWindow(w.frame.window);
    EXPECT_EQ(S_OK, DllCanUnloadNowOfAddIn());
}

// clipnet.dll copied under another name (so that it loads beside the copy of bin's
// clipnet.dll this program already holds) into a folder with only the given companions.
std::string InstallCopy(const char *folder, std::initializer_list<const char *> companions)
{
    const std::string dir = MakeScratchDir(folder);
    EXPECT_TRUE(CopyFileA((BinDir() + "\\clipnet.dll").c_str(), (dir + "\\clipcopy.dll").c_str(), FALSE));
    for (const char *name : companions)
        EXPECT_TRUE(CopyFileA((BinDir() + "\\" + name).c_str(), (dir + "\\" + name).c_str(), FALSE));
    return dir + "\\clipcopy.dll";
}

TEST_F(CaptureHost, LoadNeedsTheResourceModuleAndSiteNeedsTheTextLibrary)
{
    // Without tasqen.dll beside it the add-in refuses to load.
    const std::string alone = InstallCopy("capture_no_resources", {});
    HMODULE refused = LoadLibraryA(alone.c_str());
    EXPECT_EQ(refused, nullptr);
    if (refused != nullptr)
        FreeLibrary(refused);

    // Without WEBFLAT.DLL beside the resource module, SetSite says so and hooks nothing.
    const std::string path = InstallCopy("capture_no_webflat", {"tasqen.dll"});
    UniqueModule copy(LoadLibraryA(path.c_str()));
    ASSERT_TRUE(copy);
    using GetClassObjectFunction = HRESULT(WINAPI *)(REFCLSID, REFIID, void **);
    auto getClassObject = copy.Resolve<GetClassObjectFunction>("DllGetClassObject");
    ASSERT_NE(getClassObject, nullptr);
    IClassFactory *factory = nullptr;
    ASSERT_EQ(S_OK, getClassObject(CLSID_ClipObj, IID_IClassFactory, reinterpret_cast<void **>(&factory)));
    IObjectWithSite *addIn = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IObjectWithSite, reinterpret_cast<void **>(&addIn)));
    factory->Release();
    Frame frame = CreateFrame(false);
    IUnknown *site = CreateFakeSite(frame.window, page, L"http://host/page.htm");
    HRESULT result = S_OK;
    std::string caption;
    std::string text;
    RunDriven(
        [&]() -> long {
            result = addIn->SetSite(site);
            return 0;
        },
        [&](DWORD thread) {
            HWND box = WaitForThreadDialog(thread, 0);
            ASSERT_NE(box, nullptr);
            caption = WindowTitle(box);
            text = quillon::test::ItemText(box, 0xFFFF);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(result, E_FAIL);
    EXPECT_EQ(caption, "CLIPNET Load Error");
    EXPECT_EQ(lstrcmpiA(text.c_str(), (path.substr(0, path.rfind('\\')) + "\\WEBFLAT.DLL").c_str()), 0) << text;
    EXPECT_EQ(GetPropA(frame.window, kProperty), nullptr);
    addIn->Release();
    site->Release();
    DestroyWindow(frame.window);
}

struct TaskValues {
    std::string key;
    std::string commandLine;
    std::string selection;
    DWORD chop = 99;
};

std::vector<TaskValues> StoredTasks()
{
    std::vector<TaskValues> tasks;
    RegistryKey all;
    if (OpenUserKey(kTasksKeyPath, &all) != ERROR_SUCCESS)
        return tasks;
    std::string name;
    for (DWORD i = 0; all.EnumSubkeyName(i, &name) == ERROR_SUCCESS; ++i) {
        RegistryKey key;
        EXPECT_EQ(ERROR_SUCCESS, key.Open(all.Get(), name.c_str()));
        TaskValues t;
        t.key = name;
        key.ReadString(task_values::kCommandLine, &t.commandLine);
        key.ReadString(task_values::kSelection, &t.selection);
        key.ReadDword(task_values::kChopMessage, &t.chop);
        tasks.push_back(t);
    }
    return tasks;
}

std::vector<std::string> QueuedBodies()
{
    std::vector<std::string> bodies;
    for (const QueuedMessage &message : ReadQueuedMessages()) {
        EXPECT_TRUE(message.opened) << message.name;
        bodies.push_back(message.body);
    }
    return bodies;
}

void ChooseCommand(HWND frame, const std::function<void(DWORD thread)> &drive)
{
    RunDriven(
        [frame]() -> long {
            SendMessageA(frame, WM_COMMAND, kMenuItem, 0);
            return 0;
        },
        drive, 20000);
}

TEST_F(CaptureHost, CapturedParagraphIsWhatThePageSenderQueues)
{
    LoopbackHttpServer server(kServerAddress,
                              {{"/news/today/page.htm", HttpResponse("200 OK", "Content-Type: text/html\r\n", kPage)}});
    ASSERT_FALSE(server.Base().empty());
    const std::string url = server.Base() + "/news/today/page.htm";
    const std::wstring wideUrl(url.begin(), url.end());
    Window w = OpenWindow(page, false, wideUrl.c_str());
    ASSERT_TRUE(FakePageSelectText(page, kSecondParagraph, 0));

    std::string preview;
    bool ticked = true;
    std::string editorTitle;
    ChooseCommand(w.frame.window, [&](DWORD thread) {
        HWND dialog = WaitForThreadDialog(thread, IDC_PREVIEW_DIVIDE);
        ASSERT_NE(dialog, nullptr);
        preview = quillon::test::ItemText(dialog, IDC_PREVIEW_TEXT);
        ticked = IsChecked(dialog, IDC_PREVIEW_DIVIDE);
        Click(dialog, IDOK);
        HWND editor = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
        ASSERT_NE(editor, nullptr);
        editorTitle = WindowTitle(editor);
        Click(editor, IDOK);
    });
    // The selected paragraph, then the page title and a line end.
    EXPECT_EQ(preview, std::string(kSecondParagraph) + "Harbour report\r\n");
    EXPECT_FALSE(ticked);
    EXPECT_NE(editorTitle.find("Send text from " + server.Base().substr(7) + "/.../page.htm"), std::string::npos)
        << editorTitle;

    const std::vector<TaskValues> tasks = StoredTasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].commandLine, tasks[0].key);
    EXPECT_EQ(tasks[0].selection, "\"" + url + "\" (<,,<0,-1>,>)");
    EXPECT_EQ(tasks[0].chop, 0u);

    ProcessResult run = RunProcess("\"" + BinDir() + "\\quillon.exe\" " + tasks[0].commandLine, 30000,
                                   BinDir().c_str());
    EXPECT_EQ(run.exitCode, 0xFFFFFFFFu);
    const std::vector<std::string> bodies = QueuedBodies();
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0], kSecondParagraph); // that paragraph, not the page

    DestroyWindow(w.frame.window);
    w.Release();
    ResetProductRegistry();
    FakePageSelectNone(page);
    WriteConfig(config_values::kMaxMsgLen, "500");
    WriteConfig(config_values::kSender, "me@example.org");
    WriteConfig(config_values::kBrowserName, "CAPTURE_HOST_TESTS.EXE");
}

TEST_F(CaptureHost, MissingScheduleComponentIsReportedAndNothingIsStored)
{
    UniqueModule component(LoadLibraryA((BinDir() + "\\tasqui.dll").c_str()));
    using EntryPoint = HRESULT(STDAPICALLTYPE *)();
    auto unregister = component.Resolve<EntryPoint>("DllUnregisterServer");
    ASSERT_NE(unregister, nullptr);
    ASSERT_EQ(S_OK, unregister());
    Window w = OpenWindow(page);
    ASSERT_TRUE(FakePageSelectText(page, kSecondParagraph, 0));
    std::string caption;
    std::string text;
    ChooseCommand(w.frame.window, [&](DWORD thread) {
        HWND dialog = WaitForThreadDialog(thread, IDC_PREVIEW_DIVIDE);
        ASSERT_NE(dialog, nullptr);
        Click(dialog, IDOK);
        // Under Wine the failed activation of a local or remote server may take ten seconds.
        HWND box = nullptr;
        const ULONGLONG start = GetTickCount64();
        while (box == nullptr && GetTickCount64() - start < 15000) {
            HWND found = FindThreadDialog(thread, 0);
            if (found != nullptr && WindowTitle(found) == "Quillon Scheduler")
                box = found;
            else
                Sleep(20);
        }
        ASSERT_NE(box, nullptr);
        caption = WindowTitle(box);
        text = quillon::test::ItemText(box, 0xFFFF);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(caption, "Quillon Scheduler");
    EXPECT_EQ(text, "The Quillon schedule component could not be started, so no task was created.  Reinstall "
                    "Quillon and try again.");
    EXPECT_TRUE(StoredTasks().empty());
    EXPECT_EQ(S_OK, RegisterScheduleComponent());
    FakePageSelectNone(page);
    DestroyWindow(w.frame.window);
    w.Release();
}

// Run again by CTest under German, French, Spanish and Italian user locales: the add-in
// loaded its language's module (Italian: English) and its preview shows those texts.
TEST_F(CaptureHost, PreviewShowsTheUsersLanguage)
{
    const LanguageTexts &texts = ExpectedLanguageTexts();
    Window w = OpenWindow(page);
    ASSERT_TRUE(FakePageSelectText(page, kSecondParagraph, 0));
    std::string cancel, divide;
    char loaded[MAX_PATH] = {};
    GetModuleFileNameA(GetModuleHandleA(texts.moduleFile), loaded, MAX_PATH);
    EXPECT_EQ(lstrcmpiA(loaded, (BinDir() + "\\" + texts.moduleFile).c_str()), 0)
        << texts.moduleFile << " is not loaded from the add-in's folder: " << loaded;
    ChooseCommand(w.frame.window, [&](DWORD thread) {
        HWND dialog = WaitForThreadDialog(thread, IDC_PREVIEW_DIVIDE);
        ASSERT_NE(dialog, nullptr);
        cancel = quillon::test::ItemText(dialog, IDCANCEL);
        divide = quillon::test::ItemText(dialog, IDC_PREVIEW_DIVIDE);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(cancel, texts.cancel);
    EXPECT_EQ(divide, texts.divideCheckBox);
    EXPECT_TRUE(StoredTasks().empty());
    FakePageSelectNone(page);
    DestroyWindow(w.frame.window);
    w.Release();
}

TEST_F(CaptureHost, LongTextAsksWhetherToDivideAndRemembersYes)
{
    Window w = OpenWindow(page);
    // 60 less the stored size of Sender (15): 45 characters, shorter than the page.
    WriteConfig(config_values::kMaxMsgLen, "60");
    AnnounceConfiguration(w.frame.window);
    FakePageSelectNone(page);

    // Cancel to the question ends the command: no dialog, no task.
    bool asked = false;
    ChooseCommand(w.frame.window, [&](DWORD thread) {
        HWND question = WaitForThreadDialog(thread, IDYES);
        ASSERT_NE(question, nullptr);
        asked = IsWindowEnabled(GetDlgItem(question, IDNO)) != FALSE;
        Click(question, IDCANCEL);
    });
    EXPECT_TRUE(asked);
    EXPECT_TRUE(StoredTasks().empty());

    // Yes divides, and the dialog opens with its box ticked.
    std::string divided;
    bool ticked = false;
    std::string undivided;
    ChooseCommand(w.frame.window, [&](DWORD thread) {
        HWND question = WaitForThreadDialog(thread, IDYES);
        ASSERT_NE(question, nullptr);
        Click(question, IDYES);
        HWND dialog = WaitForThreadDialog(thread, IDC_PREVIEW_DIVIDE);
        ASSERT_NE(dialog, nullptr);
        ticked = IsChecked(dialog, IDC_PREVIEW_DIVIDE);
        divided = quillon::test::ItemText(dialog, IDC_PREVIEW_TEXT);
        Click(dialog, IDC_PREVIEW_DIVIDE); // untick: the text is shown cut
        undivided = quillon::test::ItemText(dialog, IDC_PREVIEW_TEXT);
        Click(dialog, IDC_PREVIEW_DIVIDE); // and ticked again
        Click(dialog, IDCANCEL);
    });
    EXPECT_TRUE(ticked);
    EXPECT_NE(divided.find("---Message #2---"), std::string::npos) << divided;
    EXPECT_EQ(undivided.size(), 45u) << undivided;
    EXPECT_TRUE(StoredTasks().empty()); // cancelled dialog: nothing submitted

    // The flag lives on: no question the next time, and the task divides its text.
    bool directly = false;
    ChooseCommand(w.frame.window, [&](DWORD thread) {
        HWND dialog = WaitForThreadDialog(thread, IDC_PREVIEW_DIVIDE);
        ASSERT_NE(dialog, nullptr);
        directly = IsChecked(dialog, IDC_PREVIEW_DIVIDE);
        Click(dialog, IDOK);
        HWND editor = WaitForThreadDialog(thread, IDC_TASK_INTERVAL);
        ASSERT_NE(editor, nullptr);
        Click(editor, IDOK);
    });
    EXPECT_TRUE(directly);
    const std::vector<TaskValues> tasks = StoredTasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].chop, 1u);
    // Nothing was selected: the address alone, and the page sender sends the whole page.
    EXPECT_EQ(tasks[0].selection, "\"http://host/a/b/page.htm\"");
    EXPECT_EQ(tasks[0].commandLine, tasks[0].key);
    ResetProductRegistry();
    WriteConfig(config_values::kSender, "me@example.org");
    WriteConfig(config_values::kBrowserName, "CAPTURE_HOST_TESTS.EXE");

    WriteConfig(config_values::kMaxMsgLen, "500");
    AnnounceConfiguration(w.frame.window);
    DestroyWindow(w.frame.window);
    w.Release();
}

// ---- Help of dialog 110 ---------------------------------------------------------------

// The preview dialog's caption help reaches the help viewer once, at its own topic of
// quillon.chm beside the add-in. The viewer is the recording double of hhctrl.ocx, which
// the build puts beside this program. Wine reads a program's DLL settings when the
// process starts, so the case sets them for this program and runs itself again: the
// child drives the capture and presses Help, this process reads what the double recorded.
constexpr char kPreviewHelpChild[] = "QUILLON_PREVIEW_HELP_CHILD";
constexpr char kHostOverridesKey[] = "Software\\Wine\\AppDefaults\\capture_host_tests.exe\\DllOverrides";

std::string OwnProgramPath()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// The double's record lines: context|command|help file|caption of the calling window.
std::vector<std::vector<std::string>> RecordedHelpCalls(const std::string &file)
{
    std::vector<std::vector<std::string>> calls;
    const std::string text = ReadWholeFile(file);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::vector<std::string> fields;
        const std::string line = text.substr(start, end - start);
        for (size_t from = 0, bar;; from = bar + 1) {
            bar = fields.size() < 3 ? line.find('|', from) : std::string::npos;
            fields.push_back(line.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
            if (bar == std::string::npos)
                break;
        }
        calls.push_back(fields);
    }
    return calls;
}

TEST_F(CaptureHost, PreviewHelpOpensItsTopicBesideTheAddIn)
{
    if (std::getenv(kPreviewHelpChild) != nullptr) {
        // The child, started with hhctrl.ocx taken from beside the program.
        Window w = OpenWindow(page);
        ASSERT_TRUE(FakePageSelectText(page, kSecondParagraph, 0));
        bool openAfterHelp = false;
        bool closedByCancel = false;
        ChooseCommand(w.frame.window, [&](DWORD thread) {
            HWND dialog = WaitForThreadDialog(thread, IDC_PREVIEW_DIVIDE);
            ASSERT_NE(dialog, nullptr);
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(dialog, WM_SYSCOMMAND, SC_CONTEXTHELP, 0, SMTO_NORMAL, 10000, &ignored);
            Sleep(200);
            openAfterHelp = IsWindow(dialog) && IsWindowVisible(dialog);
            Click(dialog, IDCANCEL);
            closedByCancel = WaitForWindowGone(dialog, 5000);
        });
        EXPECT_TRUE(openAfterHelp) << "Help closed the dialog";
        EXPECT_TRUE(closedByCancel);
        EXPECT_TRUE(StoredTasks().empty());
        FakePageSelectNone(page);
        DestroyWindow(w.frame.window);
        w.Release();
        return;
    }

    const std::string helpFile = BinDir() + "\\quillon.chm";
    if (GetFileAttributesA(helpFile.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no quillon.chm was built (chmcmd missing): the dialog's Help does nothing then";
    const std::string program = OwnProgramPath();
    ASSERT_FALSE(program.empty());
    const std::string folder = program.substr(0, program.rfind('\\'));
    ASSERT_NE(GetFileAttributesA((folder + "\\hhctrl.ocx").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the hhctrl.ocx double is not beside " << program;
    const std::string callsFile = folder + "\\hhctrl-calls.txt";
    DeleteFileA(callsFile.c_str());
    {
        RegistryKey overrides;
        ASSERT_EQ(overrides.Create(HKEY_CURRENT_USER, kHostOverridesKey), ERROR_SUCCESS);
        ASSERT_EQ(overrides.WriteString("hhctrl.ocx", "n,b"), ERROR_SUCCESS);
    }
    // The child's own report, since its console output is not kept.
    const std::string childReport = MakeScratchDir("capture_preview_help") + "\\child.xml";
    SetEnvironmentVariableA(kPreviewHelpChild, "1");
    const ProcessResult child =
        RunProcess("\"" + program + "\" --gtest_filter=CaptureHost.PreviewHelpOpensItsTopicBesideTheAddIn"
                   " \"--gtest_output=xml:" + childReport + "\"", 90000, folder.c_str());
    SetEnvironmentVariableA(kPreviewHelpChild, nullptr);
    {
        RegistryKey wine;
        if (wine.Open(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults") == ERROR_SUCCESS)
            wine.DeleteSubkeyTree("capture_host_tests.exe");
    }
    const auto calls = RecordedHelpCalls(callsFile);
    DeleteFileA(callsFile.c_str());
    // The child's suite emptied the product's keys at its end: back to this suite's settings.
    WriteSuiteSettings();

    ASSERT_TRUE(child.started);
    EXPECT_FALSE(child.timedOut);
    EXPECT_EQ(child.exitCode, 0u) << "the driven capture failed:\n" << ReadWholeFile(childReport);
    ASSERT_EQ(calls.size(), 1u) << "the help viewer was not called exactly once";
    ASSERT_EQ(calls[0].size(), 4u);
    EXPECT_EQ(calls[0][0], "1004");
    EXPECT_EQ(calls[0][1], std::to_string(0x000F)); // HH_HELP_CONTEXT
    EXPECT_EQ(Lower(calls[0][2]), Lower(helpFile));
    EXPECT_EQ(calls[0][3], "Quillon: Extracted Text");
}

// ---- Pictures for the README ------------------------------------------------------

// When QUILLON_SCREENSHOT_DIR names a folder (capture_screenshots.sh), announces the
// screen's top-left width x height with <name>.ready and waits (at most 10 s) for the
// script's <name>.done.
void HoldForScreenshot(const char *name, int width, int height)
{
    const std::string base = WindowsPathOf(std::getenv("QUILLON_SCREENSHOT_DIR")) + "\\" + name;
    WriteWholeFile(base + ".ready", std::to_string(width) + " " + std::to_string(height) + "\n");
    for (int i = 0; i < 500 && GetFileAttributesA((base + ".done").c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(20);
    DeleteFileA((base + ".done").c_str());
}

// Prints an open popup menu into <name>.bmp and its place on the screen into
// <name>.offset, for the script to lay over the screen's picture: under Xvfb the X server
// shows Wine's menu windows unpainted, while the menu prints itself correctly.
void PrintPopup(HWND menu, const char *name)
{
    RECT rect{};
    GetWindowRect(menu, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageA(menu, WM_PRINT, reinterpret_cast<WPARAM>(memory),
                 PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    GdiFlush();
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    const DWORD size = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
    file.bfSize = file.bfOffBits + size;
    std::string data(reinterpret_cast<const char *>(&file), sizeof file);
    data.append(reinterpret_cast<const char *>(&info.bmiHeader), sizeof info.bmiHeader);
    data.append(static_cast<const char *>(bits), size);
    const std::string base = WindowsPathOf(std::getenv("QUILLON_SCREENSHOT_DIR")) + "\\" + name;
    WriteWholeFile(base + ".bmp", data);
    WriteWholeFile(base + ".offset", std::to_string(rect.left) + " " + std::to_string(rect.top) + "\n");
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

HWND VisibleMenuWindow(DWORD thread)
{
    HWND found = nullptr;
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM result) -> BOOL {
            char name[16] = {};
            GetClassNameA(window, name, sizeof name);
            if (lstrcmpA(name, "#32768") == 0 && IsWindowVisible(window)) {
                *reinterpret_cast<HWND *>(result) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (found == nullptr) {
        // Wine may own the menu window elsewhere; any visible one of this process will do.
        HWND window = nullptr;
        while ((window = FindWindowExA(nullptr, window, "#32768", nullptr)) != nullptr) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == GetCurrentProcessId() && IsWindowVisible(window))
                return window;
        }
    }
    return found;
}

TEST_F(CaptureHost, Screenshots)
{
    if (std::getenv("QUILLON_SCREENSHOT_DIR") == nullptr)
        GTEST_SKIP() << "only in the screenshot run";
    Window w = OpenWindow(page, false, L"http://harbour.example/news/today/report.htm");
    frameContent = "Tides and wind\r\n\r\nHigh tide at 14:32, low tide at 20:47.\r\n\r\n"
                   "Wind south-west 4, easing later in the evening.\r\n\r\n"
                   "The ferry to the island runs every hour until 19:00.";
    SetWindowPos(w.frame.window, HWND_TOP, 0, 0, 460, 260, SWP_SHOWWINDOW);
    UpdateWindow(w.frame.window);
    // The Tools menu, dropped down below its place in the menu bar.
    RECT item{};
    GetMenuItemRect(w.frame.window, GetMenu(w.frame.window), 1, &item);
    // From inside the menu loop: the menu prints itself, then the screen is taken.
    static bool printed;
    printed = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND menu = VisibleMenuWindow(GetCurrentThreadId());
        if (menu != nullptr && !printed) {
            printed = true;
            PrintPopup(menu, "capture-tools-menu-popup");
            HoldForScreenshot("capture-tools-menu", 460, 260);
        }
        EndMenu();
    });
    TrackPopupMenu(w.frame.tools, TPM_LEFTALIGN | TPM_TOPALIGN, item.left, item.bottom, 0, w.frame.window, nullptr);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(printed);
    EXPECT_EQ(CountItem(w.frame.tools, kMenuItem), 1);

    // Dialog 110 for a selected paragraph.
    ASSERT_TRUE(FakePageSelectText(page, kSecondParagraph, 0));
    ChooseCommand(w.frame.window, [&](DWORD thread) {
        HWND dialog = WaitForThreadDialog(thread, IDC_PREVIEW_DIVIDE);
        ASSERT_NE(dialog, nullptr);
        SetWindowPos(dialog, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
        Sleep(300);
        RECT rect{};
        GetWindowRect(dialog, &rect);
        HoldForScreenshot("capture-preview", rect.right - rect.left, rect.bottom - rect.top);
        Click(dialog, IDCANCEL);
    });
    FakePageSelectNone(page);
    frameContent.clear();
    DestroyWindow(w.frame.window);
    w.Release();
}

} // namespace
