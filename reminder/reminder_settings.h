// The reminder's few settings: everything it reads from or writes to the registry
// outside the task it submits. Each call opens its key, uses it and closes it again.
#pragma once

#include <string>

namespace quillon {

struct ReminderSettings {
    long maxMsgLen = 0;          // character limit of the message field
    bool introSuppressed = false;
};

// Reads MaxMsgLen (decimal text) and RemindIntro from the Configuration key. False when
// the key cannot be opened or MaxMsgLen is missing, as before the scheduler's
// configuration was first stored: the reminder then ends without a word.
bool ReadReminderSettings(ReminderSettings *settings);

// Stores RemindIntro = 1 (REG_DWORD) in an existing Configuration key. False when the
// key cannot be opened or written; the introduction then shows again at the next start.
bool StoreIntroSuppressed();

// The user's Personal folder as the shell records it (HKCU\...\Explorer\Shell Folders,
// "Personal"), at most 259 characters; empty when the value is missing or too long.
std::string PersonalFolder();

} // namespace quillon
