// The reminder window with the real schedule component and tasqen.dll, worked by control
// id: the introduction, the Schedule item's state, the limits and the focus rules, and
// what Schedule leaves on disk and in the task store for each answer and each way out
// of the task editor.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "common/names.h"
#include "common/registry.h"
#include "resources/resource_ids.h"
#include "tests/reminder/reminder_run.h"
#include "tests/support/window_driver.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr int kSubject = IDM_FOCUS_SUBJECT;
constexpr int kMessage = IDM_FOCUS_MESSAGE;

const std::string kContentStart =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\"><HTML><HEAD><TITLE>";
const std::string kContentAfterTitle =
    "</TITLE><META content=\"text/html; charset=windows-1252\" http-equiv=Content-Type><META "
    "content=\"MSHTML 5.00.3105.105\" name=GENERATOR></HEAD><BODY>";
const std::string kContentEnd = "</BODY></HTML>";

bool FileExists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

DWORD ConfigDword(const char *name, DWORD *type)
{
    RegistryKey key;
    DWORD value = 0, size = sizeof value;
    *type = REG_NONE;
    if (OpenUserKey(kConfigurationKeyPath, &key) != ERROR_SUCCESS ||
        RegQueryValueExA(key.Get(), name, nullptr, type, reinterpret_cast<BYTE *>(&value), &size) != ERROR_SUCCESS)
        return 0xFFFFFFFF;
    return value;
}

class ReminderWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(S_OK, RegisterScheduleComponent());
        resources_ = LoadLibraryA((BinDir() + "\\tasqen.dll").c_str());
        ASSERT_NE(resources_, nullptr);
    }

    void SetUp() override
    {
        ResetProductRegistry();
        WriteReminderConfiguration("40", 1);
        folder_ = MakeScratchDir(std::string("reminder_") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        redirect_ = std::make_unique<PersonalFolderRedirect>(folder_);
    }

    void TearDown() override
    {
        redirect_.reset();
        ResetProductRegistry();
    }

    std::string InFolder(const std::string &name) const { return folder_ + "\\" + name; }

    static HMODULE resources_;
    std::string folder_;
    std::unique_ptr<PersonalFolderRedirect> redirect_;
};

HMODULE ReminderWindow::resources_ = nullptr;

// ---- Start-up and the introduction -------------------------------------------------

TEST_F(ReminderWindow, WithoutMaxMsgLenItEndsWithCodeZeroAndNoWindow)
{
    ResetProductRegistry();
    WriteReminderConfiguration(nullptr, 1);
    ReminderRun run(resources_);
    const DWORD start = GetTickCount();
    while (!run.Ended() && GetTickCount() - start < 10000)
        Sleep(20);
    EXPECT_TRUE(run.Ended());
    EXPECT_EQ(run.Window(0), nullptr);
    EXPECT_EQ(run.Stop(), 0);
}

TEST_F(ReminderWindow, IntroductionShowsUntilTheUserTicksDontShowAgain)
{
    ResetProductRegistry();
    WriteReminderConfiguration("40", -1);
    DWORD type = 0;
    for (int start = 1; start <= 2; ++start) {
        ReminderRun run(resources_);
        ASSERT_NE(run.Window(), nullptr);
        HWND intro = WaitForThreadDialog(run.Thread(), IDC_INTRO_DONT_SHOW, 8000);
        ASSERT_NE(intro, nullptr) << "start " << start;
        EXPECT_EQ(WindowTitle(intro), kReminderTitle);
        if (start == 2)
            Click(intro, IDC_INTRO_DONT_SHOW);
        PostClick(intro, IDOK);
        const DWORD wait = GetTickCount();
        while (IsWindow(intro) && GetTickCount() - wait < 8000)
            Sleep(20);
        run.Sync();
        // Closing the introduction leaves the focus in the subject field.
        EXPECT_EQ(run.Focus(), run.Field(kSubject)) << "start " << start;
        EXPECT_EQ(run.Stop(), 0);
        if (start == 1) {
            EXPECT_EQ(ConfigDword(config_values::kRemindIntro, &type), 0xFFFFFFFFu) << "OK alone stores nothing";
        }
    }
    EXPECT_EQ(ConfigDword(config_values::kRemindIntro, &type), 1u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

    ReminderRun third(resources_);
    ASSERT_NE(third.Window(), nullptr);
    EXPECT_EQ(WaitForThreadDialog(third.Thread(), IDC_INTRO_DONT_SHOW, 1500), nullptr);
}

// ---- The window --------------------------------------------------------------------

TEST_F(ReminderWindow, ScheduleIsGrayedUntilBothFieldsHoldText)
{
    ReminderRun run(resources_);
    ASSERT_NE(run.Window(), nullptr);
    EXPECT_EQ(test::WindowTitle(run.Window()), kReminderTitle);
    EXPECT_FALSE(run.ScheduleItemEnabled());
    run.SetField(kSubject, "Rent");
    EXPECT_FALSE(run.ScheduleItemEnabled());
    run.SetField(kMessage, "Pay it");
    EXPECT_TRUE(run.ScheduleItemEnabled());
    run.SetField(kSubject, "");
    EXPECT_FALSE(run.ScheduleItemEnabled());
    run.SetField(kSubject, "Rent");
    run.SetField(kMessage, "");
    EXPECT_FALSE(run.ScheduleItemEnabled());

    // A Schedule command that arrives anyway saves nothing and asks nothing.
    PostMessageA(run.Window(), WM_COMMAND, IDM_REMINDER_SCHEDULE, 0);
    EXPECT_EQ(WaitForThreadDialog(run.Thread(), 0, 1000), nullptr);
    EXPECT_TRUE(StoredTasks().empty());
    EXPECT_FALSE(FileExists(InFolder("Rent.htm")));
}

TEST_F(ReminderWindow, FieldsAreLaidOutFromTheSmallFontAndFollowTheWindowWidth)
{
    ReminderRun run(resources_);
    HWND window = run.Window();
    ASSERT_NE(window, nullptr);
    RECT client;
    GetClientRect(window, &client);
    RECT subject, message, label;
    GetWindowRect(run.Field(kSubject), &subject);
    GetWindowRect(run.Field(kMessage), &message);
    GetWindowRect(GetDlgItem(window, 103), &label);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT *>(&subject), 2);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT *>(&message), 2);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT *>(&label), 2);
    const int margin = subject.left;
    EXPECT_GT(margin, 0);
    EXPECT_EQ(label.left, margin + 1);
    EXPECT_EQ(subject.right, client.right - margin);
    EXPECT_EQ(message.right, client.right - margin);
    EXPECT_EQ(message.bottom, client.bottom - message.top / 5);   // message at 5 lines, height less 6 lines
    EXPECT_EQ(subject.top, 2 * label.top);

    SetWindowPos(window, nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER);
    run.Sync();
    GetClientRect(window, &client);
    GetWindowRect(run.Field(kSubject), &subject);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT *>(&subject), 2);
    EXPECT_EQ(subject.left, margin);
    EXPECT_EQ(subject.right, client.right - margin);
}

TEST_F(ReminderWindow, SubjectTakes224CharactersUnderA30CharacterFolderAndMessageTakesMaxMsgLen)
{
    std::string folder = "C:\\nagnote_subject_limit_";
    folder.resize(30, 'x');
    CreateDirectoryA(folder.c_str(), nullptr);
    PersonalFolderRedirect redirect(folder);

    ReminderRun run(resources_);
    ASSERT_NE(run.Window(), nullptr);
    const std::string typed(300, 's');
    // Typed text (EM_REPLACESEL), which the limit applies to, unlike WM_SETTEXT.
    SendMessageA(run.Field(kSubject), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(typed.c_str()));
    SendMessageA(run.Field(kMessage), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(typed.c_str()));
    EXPECT_EQ(run.FieldText(kSubject).size(), 224u);
    EXPECT_EQ(run.FieldText(kMessage).size(), 40u);

    // The longest subject still makes a valid file in that folder.
    run.SetField(kMessage, "x");
    EXPECT_FALSE(run.Schedule(0, true).empty());
    const std::string path = folder + "\\" + std::string(224, 's') + ".htm";
    EXPECT_EQ(path.size(), 259u);
    EXPECT_TRUE(FileExists(path));
    run.Stop();
    DeleteFileA(path.c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST_F(ReminderWindow, TabAndTheAcceleratorsMoveTheFocusAndTabNeverEntersTheMessage)
{
    ReminderRun run(resources_);
    HWND window = run.Window();
    ASSERT_NE(window, nullptr);
    HWND subject = run.Field(kSubject);
    HWND message = run.Field(kMessage);
    run.SetField(kSubject, "Rent");
    run.SetField(kMessage, "Pay");
    EXPECT_EQ(run.Focus(), subject);

    // Posted as the keyboard would post them; the window's loop translates them.
    auto press = [&](HWND target, UINT keyMessage, WPARAM key, LPARAM flags, HWND expectedFocus) {
        PostMessageA(target, keyMessage, key, flags);
        const DWORD start = GetTickCount();
        while (run.Focus() != expectedFocus && GetTickCount() - start < 3000)
            Sleep(20);
        run.Sync();
    };
    const LPARAM tabKey = 0x000F0001;

    press(subject, WM_KEYDOWN, VK_TAB, tabKey, message);
    EXPECT_EQ(run.Focus(), message) << "TAB in the subject";
    press(message, WM_KEYDOWN, VK_TAB, tabKey, subject);
    EXPECT_EQ(run.Focus(), subject) << "TAB in the message";
    EXPECT_EQ(run.FieldText(kMessage), "Pay");
    EXPECT_EQ(run.FieldText(kSubject), "Rent");

    // Alt+M and Alt+S as real keystrokes: the accelerator table reads the Alt key's state,
    // which only real input sets.
    SetForegroundWindow(window);
    auto chord = [&](BYTE letter, HWND expectedFocus) {
        INPUT keys[4] = {};
        const WORD codes[4] = {VK_MENU, letter, letter, VK_MENU};
        for (int i = 0; i < 4; ++i) {
            keys[i].type = INPUT_KEYBOARD;
            keys[i].ki.wVk = codes[i];
            keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
        }
        SendInput(4, keys, sizeof(INPUT));
        const DWORD start = GetTickCount();
        while (run.Focus() != expectedFocus && GetTickCount() - start < 3000)
            Sleep(20);
        run.Sync();
    };
    chord('M', message);
    EXPECT_EQ(run.Focus(), message) << "Alt+M";
    chord('S', subject);
    EXPECT_EQ(run.Focus(), subject) << "Alt+S";
    EXPECT_EQ(run.FieldText(kMessage), "Pay");
    EXPECT_EQ(run.FieldText(kSubject), "Rent");

    // The main window passes the focus on to the field that had it last.
    chord('M', message);
    SendMessageA(window, WM_SETFOCUS, 0, 0);
    run.Sync();
    EXPECT_EQ(run.Focus(), message);
}

// ---- Schedule ----------------------------------------------------------------------

TEST_F(ReminderWindow, ScheduleWritesTheFileByteForByteAndTheTaskValues)
{
    ReminderRun run(resources_);
    ASSERT_NE(run.Window(), nullptr);
    const std::string subject = "Bill <gas> & water";
    const std::string message = "Pay <b>both</b> today\r\nand tell Sam & Jo";
    run.SetField(kSubject, subject);
    run.SetField(kMessage, message);
    EXPECT_EQ(run.Schedule(0, true), "Send text from Bill <gas> & water");

    const std::string path = InFolder("Bill -gas- & water.htm");
    EXPECT_EQ(ReadWholeFile(path), kContentStart + "Bill &lt;gas&gt; &amp; water" + kContentAfterTitle +
                                        "Pay &lt;b&gt;both&lt;/b&gt; today\r\nand tell Sam &amp; Jo" + kContentEnd);
    std::vector<StoredTask> tasks = StoredTasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].displayName, "Send text from " + subject);
    EXPECT_EQ(tasks[0].appName, "quillon.exe");
    EXPECT_EQ(tasks[0].commandLine, tasks[0].keyName);
    EXPECT_EQ(tasks[0].selection, "\"" + path + "\"");
    EXPECT_EQ(tasks[0].needsInternet, 1u);
    EXPECT_EQ(tasks[0].timeout, 300000u);
    // The fields keep their text for the next reminder.
    EXPECT_EQ(run.FieldText(kSubject), subject);
    EXPECT_EQ(run.FieldText(kMessage), message);
}

TEST_F(ReminderWindow, SubjectsBecomeSafeFileNamesWhileTheDescriptionKeepsTheTypedText)
{
    const struct {
        const char *subject;
        const char *file;
    } cases[] = {
        {"Rent?", "Rent-.htm"},
        {"a\\b", "a-b.htm"},
        {"Call at 10:30", "Call at 10-30.htm"},
        {"?*", "--.htm"},
    };
    ReminderRun run(resources_);
    ASSERT_NE(run.Window(), nullptr);
    run.SetField(kMessage, "text");
    for (const auto &c : cases) {
        run.SetField(kSubject, c.subject);
        EXPECT_EQ(run.Schedule(0, true), std::string("Send text from ") + c.subject) << c.subject;
        EXPECT_TRUE(FileExists(InFolder(c.file))) << c.subject;
        EXPECT_EQ(StoredTasks().back().selection, "\"" + InFolder(c.file) + "\"") << c.subject;
    }
    EXPECT_EQ(StoredTasks().size(), 4u);
    // A colon never reaches the file system: no file named by the part before it.
    EXPECT_FALSE(FileExists(InFolder("Call at 10")));
}

TEST_F(ReminderWindow, AnExistingNameIsOverwrittenOrNumberedOrLeftAlone)
{
    const std::string earlier = "earlier reminder";
    ASSERT_TRUE(WriteWholeFile(InFolder("Rent.htm"), earlier));
    ASSERT_TRUE(WriteWholeFile(InFolder("Rent1.htm"), earlier));
    ReminderRun run(resources_);
    ASSERT_NE(run.Window(), nullptr);
    run.SetField(kSubject, "Rent");
    run.SetField(kMessage, "Pay");

    // Cancel: nothing saved, nothing scheduled.
    EXPECT_EQ(run.Schedule(IDCANCEL, true), "");
    EXPECT_EQ(ReadWholeFile(InFolder("Rent.htm")), earlier);
    EXPECT_FALSE(FileExists(InFolder("Rent2.htm")));
    EXPECT_TRUE(StoredTasks().empty());

    // No: the first free number.
    EXPECT_EQ(run.Schedule(IDNO, true), "Send text from Rent2");
    EXPECT_EQ(ReadWholeFile(InFolder("Rent2.htm")), kContentStart + "Rent" + kContentAfterTitle + "Pay" + kContentEnd);
    EXPECT_EQ(ReadWholeFile(InFolder("Rent1.htm")), earlier);
    ASSERT_EQ(StoredTasks().size(), 1u);
    EXPECT_EQ(StoredTasks()[0].selection, "\"" + InFolder("Rent2.htm") + "\"");

    // Yes: the plain name, replaced.
    EXPECT_EQ(run.Schedule(IDYES, true), "Send text from Rent");
    EXPECT_EQ(ReadWholeFile(InFolder("Rent.htm")), kContentStart + "Rent" + kContentAfterTitle + "Pay" + kContentEnd);
    EXPECT_EQ(StoredTasks().size(), 2u);
}

TEST_F(ReminderWindow, WhenNoNumberedNameIsFreeMessage198EndsIt)
{
    for (int n = 0; n <= 99; ++n)
        ASSERT_TRUE(WriteWholeFile(InFolder("Full" + (n == 0 ? std::string() : std::to_string(n)) + ".htm"), "x"));
    ReminderRun run(resources_);
    ASSERT_NE(run.Window(), nullptr);
    run.SetField(kSubject, "Full");
    run.SetField(kMessage, "Pay");
    PostMessageA(run.Window(), WM_COMMAND, IDM_REMINDER_SCHEDULE, 0);
    HWND question = run.WaitForMessageBox(kOverwriteQuestion, 8000);
    ASSERT_NE(question, nullptr);
    PostMessageA(question, WM_COMMAND, IDNO, 0);
    HWND error = run.WaitForMessageBox(kFileError, 8000);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(WindowTitle(error), kReminderTitle);
    PostMessageA(error, WM_COMMAND, IDOK, 0);
    run.Stop();
    EXPECT_TRUE(StoredTasks().empty());
}

TEST_F(ReminderWindow, CancelInTheEditorRemovesANewFileAndRestoresAnOverwrittenOne)
{
    ReminderRun run(resources_);
    ASSERT_NE(run.Window(), nullptr);
    run.SetField(kSubject, "Dentist");
    run.SetField(kMessage, "Tuesday");
    EXPECT_EQ(run.Schedule(0, false), "Send text from Dentist");
    EXPECT_FALSE(FileExists(InFolder("Dentist.htm")));
    EXPECT_TRUE(StoredTasks().empty());

    // A file an earlier task still sends: overwritten on Yes, put back on Cancel.
    const std::string earlier = kContentStart + "Dentist" + kContentAfterTitle + "Monday" + kContentEnd;
    ASSERT_TRUE(WriteWholeFile(InFolder("Dentist.htm"), earlier));
    EXPECT_EQ(run.Schedule(IDYES, false), "Send text from Dentist");
    EXPECT_EQ(ReadWholeFile(InFolder("Dentist.htm")), earlier);
    EXPECT_TRUE(StoredTasks().empty());

    // A numbered file made by this run goes again; the earlier one stays.
    EXPECT_EQ(run.Schedule(IDNO, false), "Send text from Dentist1");
    EXPECT_FALSE(FileExists(InFolder("Dentist1.htm")));
    EXPECT_EQ(ReadWholeFile(InFolder("Dentist.htm")), earlier);
}

} // namespace

namespace {

// Points the schedule component's registration at a library that does not exist for
// the test's life (every test that creates the component holds the registry lock), then
// puts the registered path back.
class ComponentHidden {
public:
    ComponentHidden()
    {
        if (server_.Open(HKEY_CLASSES_ROOT, kServerKey) == ERROR_SUCCESS &&
            server_.ReadString("", &registered_) == ERROR_SUCCESS)
            server_.WriteString("", "C:\\nowhere\\tasqui-missing.dll");
    }
    ~ComponentHidden()
    {
        if (!registered_.empty())
            server_.WriteString("", registered_);
    }

private:
    static constexpr char kServerKey[] = "CLSID\\{7C3A91D5-2B6E-4F10-A5C8-3E0D9B41F627}\\InprocServer32";
    RegistryKey server_;
    std::string registered_;
};

TEST_F(ReminderWindow, WithoutTheScheduleComponentOnlyTheMenuShowsAndScheduleStaysGrayed)
{
    ComponentHidden hidden;
    ReminderRun run(resources_);
    ASSERT_NE(run.Window(), nullptr);
    EXPECT_EQ(run.Field(kSubject), nullptr);
    EXPECT_EQ(run.Field(kMessage), nullptr);
    EXPECT_EQ(GetWindow(run.Window(), GW_CHILD), nullptr);
    EXPECT_FALSE(run.ScheduleItemEnabled());
    PostMessageA(run.Window(), WM_COMMAND, IDM_REMINDER_SCHEDULE, 0);
    EXPECT_EQ(WaitForThreadDialog(run.Thread(), 0, 1000), nullptr);
    EXPECT_EQ(run.Stop(), 0);
}

} // namespace

namespace {

// Names the file system cannot hold as files: a device name, and a Personal folder so
// long that no subject fits (the subject field then still takes one character, never
// an unlimited number).
TEST_F(ReminderWindow, ADeviceNameIsNoFileAndAnOverlongFolderEndsAtMessage198)
{
    {
        ReminderRun run(resources_);
        ASSERT_NE(run.Window(), nullptr);
        run.SetField(kSubject, "CON");
        run.SetField(kMessage, "Pay");
        EXPECT_EQ(run.Schedule(IDNO, true), "Send text from CON1");
        EXPECT_EQ(ReadWholeFile(InFolder("CON1.htm")),
                  kContentStart + "CON" + kContentAfterTitle + "Pay" + kContentEnd);
        ASSERT_EQ(StoredTasks().size(), 1u);
        EXPECT_EQ(StoredTasks()[0].selection, "\"" + InFolder("CON1.htm") + "\"");
    }
    ResetProductRegistry();
    WriteReminderConfiguration("40", 1);

    const std::string folder = "C:\\" + std::string(251, 'f');
    PersonalFolderRedirect redirect(folder);
    ReminderRun run(resources_);
    ASSERT_NE(run.Window(), nullptr);
    SendMessageA(run.Field(kSubject), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("abc"));
    EXPECT_EQ(run.FieldText(kSubject), "a");
    run.SetField(kMessage, "Pay");
    PostMessageA(run.Window(), WM_COMMAND, IDM_REMINDER_SCHEDULE, 0);
    HWND question = run.WaitForMessageBox(kOverwriteQuestion, 8000);
    ASSERT_NE(question, nullptr);
    PostMessageA(question, WM_COMMAND, IDYES, 0);
    HWND error = run.WaitForMessageBox(kFileError, 8000);
    ASSERT_NE(error, nullptr);
    PostMessageA(error, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(run.Stop(), 0);
    EXPECT_TRUE(StoredTasks().empty());
}

TEST_F(ReminderWindow, AMaxMsgLenWithoutDigitsStillLimitsTheMessage)
{
    ResetProductRegistry();
    WriteReminderConfiguration("none", 1);
    ReminderRun run(resources_);
    ASSERT_NE(run.Window(), nullptr);
    SendMessageA(run.Field(kMessage), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("abc"));
    EXPECT_EQ(run.FieldText(kMessage), "a");
}

} // namespace
