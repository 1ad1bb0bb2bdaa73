#include "tests/resources/debug_output_reader.h"

#include <cstring>

namespace quillon::test {

DebugOutputReader::~DebugOutputReader()
{
    if (thread_.joinable()) {
        SetEvent(stop_.Get());
        thread_.join();
    }
    if (view_ != nullptr)
        UnmapViewOfFile(view_);
}

bool DebugOutputReader::Start(std::string &error)
{
    bufferReady_.Reset(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY"));
    dataReady_.Reset(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY"));
    mapping_.Reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, "DBWIN_BUFFER"));
    stop_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!bufferReady_ || !dataReady_ || !mapping_ || !stop_) {
        error = "cannot create the DBWIN objects, error " + std::to_string(GetLastError());
        return false;
    }
    view_ = static_cast<const BYTE *>(MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, 4096));
    if (view_ == nullptr) {
        error = "cannot map DBWIN_BUFFER";
        return false;
    }
    // Wait until the thread runs: a new thread first takes the loader lock for its
    // attach notifications, and a DLL writing debug output from its entry point holds
    // that lock while it waits for the buffer, so a reader not yet running would leave
    // the writer waiting out its time-out.
    started_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    thread_ = std::thread([this] { Run(); });
    if (WaitForSingleObject(started_.Get(), 5000) != WAIT_OBJECT_0) {
        error = "the reader thread did not start";
        return false;
    }
    return true;
}

void DebugOutputReader::Run()
{
    HANDLE waits[2] = {stop_.Get(), dataReady_.Get()};
    SetEvent(started_.Get());
    for (;;) {
        SetEvent(bufferReady_.Get());
        DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (which != WAIT_OBJECT_0 + 1)
            return;
        DWORD pid = 0;
        std::memcpy(&pid, view_, sizeof pid);
        const char *text = reinterpret_cast<const char *>(view_ + sizeof pid);
        std::string piece(text, strnlen(text, 4096 - sizeof pid));
        if (pid == GetCurrentProcessId()) {
            std::lock_guard<std::mutex> guard(lock_);
            pieces_.push_back(piece);
        }
    }
}

bool DebugOutputReader::WaitFor(const std::string &text, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            for (const std::string &piece : pieces_)
                if (piece == text)
                    return true;
        }
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(10);
    }
}

std::vector<std::string> DebugOutputReader::Pieces()
{
    std::lock_guard<std::mutex> guard(lock_);
    return pieces_;
}

} // namespace quillon::test
