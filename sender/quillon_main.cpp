// quillon.exe: runs one page task. The scheduler starts it with the task's key name as
// the whole command line and reads the outcome from the exit code (-1 success, 0
// failure). It has no user interface.
#include <windows.h>

#include <exception>

#include "sender/page_sender.h"
#include "sender/page_text.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    try {
        // Not WinMain's own argument: that one drops every blank before the key name.
        return quillon::RunPageSender(quillon::TaskKeyNameFromCommandLine(GetCommandLineA()));
    } catch (const std::exception &) {
        return quillon::kPageSenderFailed;
    }
}
