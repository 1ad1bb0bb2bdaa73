#include "common/submit_page_task.h"

#include <vector>

#include "common/names.h"
#include "common/page_task.h"
#include "common/registry.h"
#include "common/text.h"

namespace quillon {
namespace {

// The interface takes writable strings; the component only reads them.
std::vector<char> WritableCopy(const std::string &text)
{
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    return copy;
}

void WritePageValues(const char *keyName, const PageTaskRequest &request)
{
    // An empty name would open Tasks itself and write the values there.
    if (keyName[0] == '\0')
        return;
    RegistryKey tasks;
    if (OpenUserKey(kTasksKeyPath, &tasks) != ERROR_SUCCESS)
        return;
    RegistryKey task;
    if (task.Open(tasks.Get(), keyName) != ERROR_SUCCESS)
        return;
    task.WriteString(task_values::kCommandLine, keyName);
    task.WriteString(task_values::kSelection, request.selection);
    if (request.writeChopMessage)
        task.WriteDword(task_values::kChopMessage, request.chopMessage);
}

} // namespace

HRESULT SubmitPageTask(ITasqeduleUI *component, HWND owner, const PageTaskRequest &request, std::string *keyName)
{
    if (keyName != nullptr)
        keyName->clear();
    if (component == nullptr)
        return E_POINTER;
    std::vector<char> description, commandLine;
    try {
        description = WritableCopy(request.description);
        commandLine = WritableCopy(request.commandLine);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    char program[sizeof kPageSenderProgram] = {};
    CopyBounded(program, kPageSenderProgram);
    // The component writes at least 15 bytes; room for the name of any Tasks key.
    char reported[kTextBufferSize] = {};
    const HRESULT result = component->SubmitApplication(owner, description.data(), program, commandLine.data(),
                                                        kPageTaskNeedsInternet, kPageTaskTimeoutMs, reported);
    reported[sizeof reported - 1] = '\0';
    if (result == S_OK)
        WritePageValues(reported, request);
    // The task stands whatever happens here: the result stays the component's.
    if (keyName != nullptr) {
        try {
            *keyName = reported;
        } catch (...) {
        }
    }
    return result;
}

} // namespace quillon
