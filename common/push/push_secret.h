// PushSecret: the push service's secret (a token or a webhook URL), stored as REG_BINARY
// protected for the current user with CryptProtectData. Only the configuration dialog
// writes it; mailpush and the dialog's Send Test read it. The plain text lives only in
// memory of the one user's processes; callers clear their copies once used.
#pragma once

#include <string>

namespace quillon {

// Largest protected blob accepted from the registry: far above any token or webhook
// URL, small enough that a hostile value cannot cost much memory.
constexpr unsigned long kMaxPushSecretBlob = 16384;

// The protected form of `plain`; false when the system refuses.
bool ProtectPushSecret(const std::string &plain, std::string *blob);
// The plain text of a blob made by ProtectPushSecret for this user; false (plain empty)
// when it is not one (another user's, damaged, or not a protected blob at all).
bool UnprotectPushSecret(const std::string &blob, std::string *plain);

// Reads and unprotects PushSecret from the Configuration key. False (plain empty) when
// the value is missing, too large, not binary or cannot be unprotected.
bool ReadPushSecret(std::string *plain);

// Overwrites the string's bytes before it is released.
void ClearSecretText(std::string *text);

} // namespace quillon
