// Submitting a page task through the schedule component: the one way every door that
// creates page tasks (the browser add-in, the reminder, the browser's native host, the
// tray's page door) hands a task to the user and stores what the page sender needs.
//
// SubmitPageTask calls ITasqeduleUI::SubmitApplication with the page sender
// (kPageSenderProgram), kPageTaskNeedsInternet and kPageTaskTimeoutMs: the component
// opens its task editor, owned by `owner`, and blocks the calling thread until the user
// closes it. Only when the component answers S_OK (the user confirmed and the task was
// stored) are the page sender's values added to the new task's key under Tasks:
//   CommandLine  the task's own key name (the page sender's argument);
//   Selection    request.selection;
//   ChopMessage  request.chopMessage, only when request.writeChopMessage.
// After a cancel (E_ABORT) nothing is written: the key name the component reported may
// then, in a rare race, be that of another task stored meanwhile, which must not be
// overwritten. The component must be used on the thread that created it.
#pragma once

#include <windows.h>

#include <string>

#include "tasqui_h.h"

namespace quillon {

struct PageTaskRequest {
    // DisplayName of the task, also the editor's title. The door bounds it to the room
    // its list shows; it is passed on whole.
    std::string description;
    // The command line handed to SubmitApplication (what the editor's program field
    // shows until the task is stored; CommandLine is rewritten to the key name after).
    std::string commandLine;
    // The task's Selection value (SelectionValue of common/page_task.h).
    std::string selection;
    bool writeChopMessage = false;
    DWORD chopMessage = 0;  // the divide choice: nonzero divides the text into messages
};

// The component's answer: S_OK when the task was stored, E_ABORT when the user
// cancelled, E_POINTER when `component` is null, E_OUTOFMEMORY, or whatever else the
// component returned. *keyName (may be null) receives the name the component reported,
// even after a cancel (then it names no task); empty when it reported none. Whether
// writing the values afterwards succeeded is not part of the result: as with a task the
// component failed to store, that failure is silent to the user, and the task then runs
// without a page. Never throws.
HRESULT SubmitPageTask(ITasqeduleUI *component, HWND owner, const PageTaskRequest &request, std::string *keyName);

} // namespace quillon
