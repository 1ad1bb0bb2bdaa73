// The one setting MAILSIMPLE reads itself. Everything else reaches it through the
// contract's arguments; only a refused load happens before any QLLogon has named the
// log file.
#pragma once

#include <string>

namespace quillon {

// The log file of Configuration's Logging value, or an empty text when logging is off
// (the value is missing) or the value cannot be read.
std::string LoadRefusalLogFile();

} // namespace quillon
