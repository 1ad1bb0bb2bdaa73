// The reminder file: where it goes, what it is called and what it holds. Portable text
// work only; the window (reminder_window.cpp) creates the file and submits its task.
//
// The file is a small HTML page in the user's Personal folder, named after the subject.
// The page sender later extracts its text as from any web page, so the subject and the
// message must survive HTML parsing exactly as the user typed them.
#pragma once

#include <cstddef>
#include <string>

namespace quillon {

// The longest full path the file system accepts (MAX_PATH less its terminating zero).
constexpr size_t kMaxReminderPathLength = 259;
// Numbered names run from 1 to this when the user declines to overwrite.
constexpr int kMaxReminderNumber = 99;

// Characters the subject field accepts for a Personal folder path of `folderLength`
// characters: folder, "\", subject and ".htm" then fill at most 259 characters. A folder
// so long that no subject would fit still gives 1, never 0 or less: the edit control
// reads a limit of 0 as "no limit at all". Such a path then fails to be created and the
// user is told so.
int SubjectCharacterLimit(size_t folderLength);

// Cleans a full path whose first `folderLength` characters are the Personal folder:
// "?" and "*" become "-" everywhere; after the folder and its separating backslash,
// every further backslash and every other character the file system refuses in a name
// (< > : " | /) becomes "-" too, so the subject can never name another folder, a drive
// or an alternate data stream. Everything else stays as it is.
std::string SafeFileName(const std::string &path, size_t folderLength);

// The cleaned path folder + "\" + subject [+ number] + ".htm". `number` 0 means none;
// 1 to 99 go between the subject and ".htm" in decimal. Returns the empty text when the
// path would be longer than kMaxReminderPathLength: such a name is never created (a
// truncated path could name another file).
std::string ReminderFilePath(const std::string &folder, const std::string &subject, int number);

// Replaces "&", "<" and ">" by their character references, so a typed "<rent>" stays
// text instead of becoming a tag. Nothing else changes (line breaks stay CR LF).
std::string EscapeReminderText(const std::string &text);

// The whole file: the fixed HTML frame with the escaped subject as the title and the
// escaped message as the body, no line break added anywhere.
std::string ReminderFileContent(const std::string &subject, const std::string &message);

// The subject as the task description names it: with the number of a numbered file
// appended ("Rent" and 2 give "Rent2"), unchanged for 0.
std::string NumberedSubject(const std::string &subject, int number);

// The task description from its resource text ("Send text from %s"): the first "%s"
// becomes the subject. The subject is never read as a format, so a "%" typed in it stays
// as typed; a text without "%s" is used as it is.
std::string TaskDescription(const std::string &format, const std::string &subject);

} // namespace quillon
