#include "tests/support/end_to_end_setup.h"

#include <windows.h>

#include "common/handles.h"
#include "common/names.h"
#include "common/registry.h"
#include "common/win_datetime.h"

namespace quillon::test {

std::vector<ConfigRow> EndToEndConfiguration(const std::string &smtpServer, const std::string &sender,
                                             const std::string &logFile)
{
    using namespace config_values;
    return With(CompleteSmtpConfiguration(smtpServer),
                {Text(kSender, sender), Text(kDestination, "pager@example.org"), Text(kLogging, logFile),
                 Number(kClipSubject, 0), Number(kRetryCount, 1), Number(kRetryTime, 15), Number(kTaskRetryCount, 1),
                 Number(kTaskRetryTime, 15)});
}

bool WriteMinutePageTask(const std::string &name, const std::string &url, bool sendIfChanged)
{
    namespace v = task_values;
    RegistryKey key;
    if (CreateUserKey((std::string(kTasksKeyPath) + "\\" + name).c_str(), &key) != ERROR_SUCCESS)
        return false;
    DateTime zero = {};
    key.WriteDword(v::kNeedsInternet, 1);
    key.WriteString(v::kDisplayName, "Send text from " + url);
    key.WriteString(v::kAppName, "quillon.exe");
    key.WriteString(v::kCommandLine, name);
    key.WriteDword(v::kHasDates, 0);
    key.WriteDword(v::kHasTimes, 0);
    key.WriteDword(v::kNotWeekend, 0);
    key.WriteDword(v::kDisabled, 0);
    key.WriteBinary(v::kStartDate, &zero, sizeof zero);
    key.WriteBinary(v::kEndDate, &zero, sizeof zero);
    key.WriteBinary(v::kLastRun, &zero, sizeof zero);
    key.WriteDword(v::kTaskType, 1);
    key.WriteDword(v::kValue, 1);
    key.WriteDword(v::kValue2, 0);
    key.WriteDword(v::kDaysOfWeek, 0);
    key.WriteDword(v::kMonthsOfYear, 0);
    key.WriteDword(v::kTimeout, 60000);
    key.WriteString(v::kSelection, "\"" + url + "\"");
    key.WriteDword(v::kChopMessage, 0);
    if (sendIfChanged)
        key.WriteDword(v::kSendIfChanged, 1);
    return true;
}

std::vector<std::string> MaildirMessages(const char *unixMaildir)
{
    std::vector<std::string> messages;
    if (unixMaildir == nullptr || *unixMaildir == '\0')
        return messages;
    const std::string dir = WindowsPathOf(unixMaildir) + "\\new";
    WIN32_FIND_DATAA found;
    UniqueFindHandle search(FindFirstFileA((dir + "\\*").c_str(), &found));
    if (!search.IsValid())
        return messages;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            messages.push_back(ReadWholeFile(dir + "\\" + found.cFileName));
    } while (FindNextFileA(search.Get(), &found));
    return messages;
}

} // namespace quillon::test
