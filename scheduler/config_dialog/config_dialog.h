// The configuration dialog (template 111 of the resource module, with its five pages
// 112 "Mail System", 113 "Internet Connection", 120 "Advanced", 122 "Error Handling",
// 300 "Outgoing Server")
// and the Change Password dialog (114). The only editor of the Configuration key.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "scheduler/config_dialog/machine_proposals.h"

namespace quillon {

struct ConfigDialogContext {
    HMODULE resources = nullptr;   // the language module: templates and strings (borrowed)
    const char *helpFile = "";     // full path of quillon.chm; a missing file does no harm
    const char *caption = "";      // caption of message boxes (the scheduler's window title)
    // The scheduler's current retry values, offered at a first configuration and used
    // where a stored retry value cannot be read.
    uint32_t retryCount = 1;
    uint32_t retryMinutes = 15;
    uint32_t taskRetryCount = 1;
    uint32_t taskRetryMinutes = 15;
    RegistryRoots roots;           // where the proposals are looked for
};

// Runs the configuration dialog (IDD_CONFIGURATION) modally. IDOK after the values were written to the Configuration key
// (or after the key could not be created: then nothing is written, and the caller still
// reloads), IDCANCEL without writing, -1 when the dialog could not be created.
INT_PTR RunConfigurationDialog(HWND owner, const ConfigDialogContext &context);

// Runs the Change Password dialog (IDD_CHANGE_PASSWORD). True with *password set when the
// two entries matched and OK was chosen; entries that differ show IDS_PASSWORD_MISMATCH
// and keep the dialog open. False on Cancel.
bool RunChangePasswordDialog(HWND owner, HMODULE resources, const char *caption, std::string *password);

} // namespace quillon
