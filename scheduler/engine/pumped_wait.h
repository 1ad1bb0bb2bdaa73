// Waiting inside the minute tick without silencing the scheduler's window. The tick
// runs on the window's thread; its long waits (the task process, the mail library's
// calls, dialling, the Internet probe) wait here, dispatching the thread's messages, so
// the notification icon, its menu and the window answer throughout. A timer message
// dispatched meanwhile reaches MinuteTick, whose busy flag turns it into "(busy)".
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "common/handles.h"

namespace quillon {

// How long a wait still lasts once the scheduler is being ended: the setup program
// waits about 25 s for the scheduler, and the tick, the library's log-off and the
// process's end must fit in that.
constexpr DWORD kExitGraceMs = 10000;

enum class WaitEnd {
    kSignalled,
    kTimedOut,    // timeoutMs passed (or the wait itself failed)
    kAbandoned,   // *exitRequested became true and kExitGraceMs passed after that
};

// Waits until `handle` is signalled or timeoutMs (INFINITE allowed) has passed,
// dispatching the calling thread's sent and posted messages meanwhile. A quit message
// met here stops the dispatching (the window is gone) and is posted again when the wait
// ends, so the message loop outside still ends. exitRequested may be null; it is read
// throughout, and may become true inside a message dispatched here.
WaitEnd WaitDispatchingMessages(HANDLE handle, DWORD timeoutMs, const bool *exitRequested);

// A thread of its own for calls that block (a mail library, dialling, the probe), made
// one at a time with WaitDispatchingMessages on the caller's side. The thread sets up
// COM for itself (apartment) when asked to, and dispatches its own messages between
// calls, as a thread with windows of a mail system must. Every call runs on the same
// thread, which MAPI requires of its initialisation and its calls.
class CallThread {
public:
    CallThread(const bool *exitRequested, bool withCom);
    // Ends the thread after its current call; when a call was abandoned the thread is
    // left to the process's end.
    ~CallThread();
    CallThread(const CallThread &) = delete;
    CallThread &operator=(const CallThread &) = delete;

    bool Started() const { return static_cast<bool>(thread_); }
    // Runs `call` on the thread and waits for it. False when the thread could not be
    // started (nothing ran) or the wait was abandoned because the scheduler is ending
    // (the call may still be running: whatever it uses must stay valid, so a caller
    // gives it copies and shared results, never references to its own stack).
    bool Run(std::function<void()> call);
    bool Abandoned() const { return abandoned_; }

private:
    struct Shared;
    static DWORD WINAPI ThreadMain(void *parameter);

    std::shared_ptr<Shared> shared_;
    UniqueHandle thread_;
    const bool *exitRequested_;
    bool abandoned_ = false;
};

} // namespace quillon
