#include <windows.h>

#include "common/handles.h"
#include "common/resource_module.h"
#include "reminder/reminder_window.h"

// Nagnote.exe takes no arguments. Without its language's resource module it can show
// nothing, so it leaves silently with code 0.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    try {
        quillon::UniqueModule resources;
        if (quillon::LoadResourceModule(quillon::ResourceModuleSearch::SystemSearch, nullptr, resources) !=
            quillon::ResourceModuleStatus::Loaded)
            return 0;
        return quillon::RunReminder(instance, resources.Get(), showCommand);
    } catch (...) {
        return 0;
    }
}
