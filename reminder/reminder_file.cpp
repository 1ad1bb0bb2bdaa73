#include "reminder/reminder_file.h"

namespace quillon {

namespace {

constexpr char kContentStart[] =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\"><HTML><HEAD><TITLE>";
constexpr char kContentAfterTitle[] =
    "</TITLE><META content=\"text/html; charset=windows-1252\" http-equiv=Content-Type><META "
    "content=\"MSHTML 5.00.3105.105\" name=GENERATOR></HEAD><BODY>";
constexpr char kContentEnd[] = "</BODY></HTML>";

// The subject's path part: leaves room for the separator and ".htm".
constexpr int kSubjectRoom = static_cast<int>(kMaxReminderPathLength) - 1 - 4;

bool RefusedInName(char c)
{
    switch (c) {
    case '\\':
    case '<':
    case '>':
    case ':':
    case '"':
    case '|':
    case '/':
        return true;
    default:
        return false;
    }
}

} // namespace

int SubjectCharacterLimit(size_t folderLength)
{
    if (folderLength >= static_cast<size_t>(kSubjectRoom))
        return 1;
    return kSubjectRoom - static_cast<int>(folderLength);
}

std::string SafeFileName(const std::string &path, size_t folderLength)
{
    std::string cleaned = path;
    // The folder's own separator is kept: the name part starts after it.
    const size_t nameStart = folderLength + 1;
    for (size_t i = 0; i < cleaned.size(); ++i) {
        char &c = cleaned[i];
        if (c == '?' || c == '*' || (i >= nameStart && RefusedInName(c)))
            c = '-';
    }
    return cleaned;
}

std::string ReminderFilePath(const std::string &folder, const std::string &subject, int number)
{
    std::string path = folder + "\\" + NumberedSubject(subject, number) + ".htm";
    if (path.size() > kMaxReminderPathLength)
        return std::string();
    return SafeFileName(path, folder.size());
}

std::string EscapeReminderText(const std::string &text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string ReminderFileContent(const std::string &subject, const std::string &message)
{
    return kContentStart + EscapeReminderText(subject) + kContentAfterTitle + EscapeReminderText(message) +
           kContentEnd;
}

std::string NumberedSubject(const std::string &subject, int number)
{
    if (number <= 0)
        return subject;
    return subject + std::to_string(number);
}

std::string TaskDescription(const std::string &format, const std::string &subject)
{
    std::string description = format;
    const size_t slot = description.find("%s");
    if (slot != std::string::npos)
        description.replace(slot, 2, subject);
    return description;
}

} // namespace quillon
