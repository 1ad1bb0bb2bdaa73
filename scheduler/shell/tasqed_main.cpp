#include <windows.h>

#include "scheduler/shell/scheduler_shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    try {
        return quillon::RunScheduler(instance);
    } catch (...) {
        return 0;
    }
}
