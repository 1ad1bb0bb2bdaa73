#include "schedule/task_record.h"

#include <cstring>

#include "common/text.h"

namespace quillon {

bool SetTaskKeyName(TaskRecord *task, const char *name)
{
    if (name == nullptr || std::strlen(name) >= kTaskKeyNameSize)
        return false;
    CopyBounded(task->KeyName, name);
    return true;
}

bool TaskKeyNameEquals(const TaskRecord &task, const char *name)
{
    if (name == nullptr)
        return false;
    const char *a = task.KeyName;
    const char *b = name;
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
        char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (ca != cb)
            return false;
    }
    return *a == '\0' && *b == '\0';
}

} // namespace quillon
