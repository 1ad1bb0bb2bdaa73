#include "scheduler/engine/pumped_wait.h"

#include <objbase.h>

#include <new>

namespace quillon {

WaitEnd WaitDispatchingMessages(HANDLE handle, DWORD timeoutMs, const bool *exitRequested)
{
    const ULONGLONG start = GetTickCount64();
    ULONGLONG exitDeadline = 0;
    bool quit = false;
    int quitCode = 0;
    WaitEnd end = WaitEnd::kTimedOut;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (exitRequested != nullptr && *exitRequested && exitDeadline == 0)
            exitDeadline = now + kExitGraceMs;
        DWORD wait = INFINITE;
        if (timeoutMs != INFINITE) {
            const ULONGLONG deadline = start + timeoutMs;
            wait = deadline > now ? static_cast<DWORD>(deadline - now) : 0;
        }
        bool waitEndsByExit = false;
        if (exitDeadline != 0) {
            const DWORD left = exitDeadline > now ? static_cast<DWORD>(exitDeadline - now) : 0;
            if (wait == INFINITE || left < wait) {
                wait = left;
                waitEndsByExit = true;
            }
        }
        // Once the quit message has come there is no window left to answer for.
        const DWORD result = quit ? WaitForSingleObject(handle, wait)
                                  : MsgWaitForMultipleObjectsEx(1, &handle, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0) {
            end = WaitEnd::kSignalled;
            break;
        }
        if (result == WAIT_OBJECT_0 + 1 && !quit) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) {
                    quit = true;
                    quitCode = static_cast<int>(message.wParam);
                    break;
                }
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            continue;
        }
        end = result == WAIT_TIMEOUT && waitEndsByExit ? WaitEnd::kAbandoned : WaitEnd::kTimedOut;
        break;
    }
    if (quit)
        PostQuitMessage(quitCode);
    return end;
}

// What the caller and the thread share; it outlives whichever of them ends last.
struct CallThread::Shared {
    UniqueHandle ready;   // a call (or the end) is waiting for the thread
    UniqueHandle done;    // the thread has finished the call
    std::function<void()> call;
    bool end = false;
    bool withCom = false;
};

CallThread::CallThread(const bool *exitRequested, bool withCom)
    : shared_(std::make_shared<Shared>()), exitRequested_(exitRequested)
{
    shared_->ready.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    shared_->done.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    shared_->withCom = withCom;
    if (!shared_->ready || !shared_->done)
        return;
    auto *handOver = new (std::nothrow) std::shared_ptr<Shared>(shared_);
    if (handOver == nullptr)
        return;
    thread_.Reset(CreateThread(nullptr, 0, &CallThread::ThreadMain, handOver, 0, nullptr));
    if (!thread_)
        delete handOver;
}

CallThread::~CallThread()
{
    if (!thread_ || abandoned_)
        return;
    shared_->end = true;
    SetEvent(shared_->ready.Get());
    // The thread is between calls, so it ends at once (MAPI's uninitialise at most).
    if (WaitDispatchingMessages(thread_.Get(), INFINITE, exitRequested_) == WaitEnd::kAbandoned)
        thread_.Release();   // still ending: the process's end takes it
}

bool CallThread::Run(std::function<void()> call)
{
    if (!thread_ || abandoned_)
        return false;
    shared_->call = std::move(call);
    SetEvent(shared_->ready.Get());
    if (WaitDispatchingMessages(shared_->done.Get(), INFINITE, exitRequested_) != WaitEnd::kSignalled) {
        abandoned_ = true;
        return false;
    }
    shared_->call = nullptr;
    return true;
}

DWORD WINAPI CallThread::ThreadMain(void *parameter)
{
    std::unique_ptr<std::shared_ptr<Shared>> owned(static_cast<std::shared_ptr<Shared> *>(parameter));
    Shared &shared = **owned;
    const bool com = shared.withCom && SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    for (;;) {
        if (WaitDispatchingMessages(shared.ready.Get(), INFINITE, nullptr) != WaitEnd::kSignalled || shared.end)
            break;
        try {
            if (shared.call)
                shared.call();
        } catch (...) {
            // Nothing may leave the thread; the caller sees the result the call left.
        }
        SetEvent(shared.done.Get());
    }
    if (com)
        CoUninitialize();
    return 0;
}

} // namespace quillon
