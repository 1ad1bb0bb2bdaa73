// Small helpers the schedule dialogs share: times in the user's format, and (from
// common/) resource strings and the title-bar help command.
#pragma once

#include <windows.h>

#include <string>

#include "common/datetime.h"
#include "common/html_help.h"      // ShowHelpContext, HandleContextHelp
#include "common/resource_text.h"  // LoadResourceText

namespace quillon {

// `dt` as the user's short date / time without seconds; empty for an invalid date-time.
std::string FormatShortDate(const DateTime &dt);
std::string FormatTimeNoSeconds(const DateTime &dt);

} // namespace quillon
