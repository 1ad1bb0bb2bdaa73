// Runs the reminder's window on a thread of the test program and works it by control id
// from the test's own thread, as a user would: fields, the menu, the overwrite question,
// the real task editor of the schedule component. Every wait has a time limit, and
// ending a run cancels whatever dialog is still open first, so no test can hang.
//
// In-process rather than as a separate Nagnote.exe: Wine cannot read the menu of another
// process's window, and the focus of another thread is readable only within the process.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace quillon::test {

// The titles and texts the reminder shows (from tasqen.dll).
extern const char kReminderTitle[];
extern const char kOverwriteQuestion[];
extern const char kFileError[];

// Points the user's Personal folder (Shell Folders and User Shell Folders, "Personal")
// at `folder` for the object's life and puts the earlier values back afterwards.
class PersonalFolderRedirect {
public:
    explicit PersonalFolderRedirect(const std::string &folder);
    ~PersonalFolderRedirect();
    PersonalFolderRedirect(const PersonalFolderRedirect &) = delete;
    PersonalFolderRedirect &operator=(const PersonalFolderRedirect &) = delete;

private:
    struct Saved {
        bool present = false;
        DWORD type = REG_SZ;
        std::vector<BYTE> data;
    };
    Saved shellFolders_;
    Saved userShellFolders_;
};

// The Configuration values a configured scheduler leaves behind; intro 1 suppresses the
// introduction (the value is not written for -1).
void WriteReminderConfiguration(const char *maxMsgLen, int remindIntro);

struct StoredTask {
    std::string keyName;
    std::string displayName;
    std::string appName;
    std::string commandLine;
    std::string selection;
    DWORD needsInternet = 0;
    DWORD timeout = 0;
};
std::vector<StoredTask> StoredTasks();

class ReminderRun {
public:
    // Loads nothing itself: `resources` is tasqen.dll, loaded by the caller.
    explicit ReminderRun(HMODULE resources);
    ~ReminderRun();
    ReminderRun(const ReminderRun &) = delete;
    ReminderRun &operator=(const ReminderRun &) = delete;

    DWORD Thread() const { return threadId_; }
    // The main window once it is visible (null at the time limit).
    HWND Window(DWORD timeoutMs = 10000);
    HWND Field(int id) { return GetDlgItem(Window(), id); }
    // Waits until the window's thread has handled everything sent and posted so far.
    void Sync();

    void SetField(int id, const std::string &text);
    std::string FieldText(int id);
    // What the Reminder menu shows for Schedule when it opens.
    bool ScheduleItemEnabled();
    // The window with the keyboard focus on the reminder's thread.
    HWND Focus();

    // Sends Schedule and works what follows: the overwrite question answered with
    // `answer` (0: the test expects none), then the task editor closed with OK (after a
    // count of 5 minutes) or Cancel. Returns the editor's title, empty when none came.
    std::string Schedule(int answer, bool editorOk);

    // A visible message box of the thread showing `text` (null at the time limit).
    HWND WaitForMessageBox(const std::string &text, DWORD timeoutMs);

    // Cancels open dialogs, exits the window and waits for the thread; the exit code.
    int Stop();
    bool Ended() const { return done_; }

private:
    void WaitForWindowGone(HWND window);

    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    std::atomic<bool> done_{false};
    std::atomic<int> exitCode_{-1};
    HWND window_ = nullptr;
    HHOOK hook_ = nullptr;
};

} // namespace quillon::test
