// Shows the reminder's introduction and its window with a typed reminder at the screen's
// corner, one after the other, for reminder_screenshots.sh: each picture is announced
// with <name>.ready ("width height") in the folder named by QUILLON_SCREENSHOT_DIR, and
// the program waits (at most 10 s) for the script's <name>.done. Exit code 0 when both
// were shown.
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "resources/resource_ids.h"
#include "tests/reminder/reminder_run.h"
#include "tests/support/window_driver.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;
using namespace quillon::test;

namespace {

bool HoldForScreenshot(const std::string &dir, HWND window, const char *name, int width = 0, int height = 0)
{
    if (window == nullptr)
        return false;
    UINT flags = SWP_SHOWWINDOW | (width == 0 ? SWP_NOSIZE : 0);
    SetWindowPos(window, HWND_TOP, 0, 0, width, height, flags);
    // Painted by the window's own thread: ask twice, the second after the move has settled.
    for (int i = 0; i < 2; ++i) {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
        Sleep(500);
    }
    RECT rect{};
    GetWindowRect(window, &rect);
    const std::string base = dir + "\\" + name;
    WriteWholeFile(base + ".ready",
                   std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top) + "\n");
    for (int i = 0; i < 500 && GetFileAttributesA((base + ".done").c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(20);
    DeleteFileA((base + ".done").c_str());
    return true;
}

} // namespace

int main()
{
    const char *out = std::getenv("QUILLON_SCREENSHOT_DIR");
    if (out == nullptr || *out == '\0')
        return 2;
    const std::string dir = WindowsPathOf(out);
    if (RegisterScheduleComponent() != S_OK)
        return 3;
    HMODULE resources = LoadLibraryA((BinDir() + "\\tasqen.dll").c_str());
    if (resources == nullptr)
        return 4;
    ResetProductRegistry();
    WriteReminderConfiguration("160", -1);
    auto redirect = std::make_unique<PersonalFolderRedirect>(MakeScratchDir("reminder_screenshots"));

    bool shown = false;
    {
        ReminderRun run(resources);
        HWND window = run.Window();
        // Wine without a window manager leaves an owned dialog that lies wholly inside its
        // owner unpainted on the X screen, so the window steps aside for the picture.
        SetWindowPos(window, nullptr, 450, 300, 420, 280, SWP_NOZORDER);
        HWND intro = WaitForThreadDialog(run.Thread(), IDC_INTRO_DONT_SHOW, 8000);
        bool introShown = HoldForScreenshot(dir, intro, "reminder_intro");
        PostClick(intro, IDOK);
        Sleep(300);
        run.SetField(IDM_FOCUS_SUBJECT, "Rent <May> & water");
        run.SetField(IDM_FOCUS_MESSAGE,
                     "Pay the landlord 500 before the 1st.\r\nThe water bill is due on Friday & the meter "
                     "reading goes with it.");
        run.Sync();
        shown = introShown && HoldForScreenshot(dir, window, "reminder_window", 420, 280);
        run.Stop();
    }
    redirect.reset();
    ResetProductRegistry();
    return shown ? 0 : 1;
}
