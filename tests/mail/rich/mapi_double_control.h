// The test's side of the test MAPI32.DLL (mapi_double.cpp): its controls, resolved from
// the MAPI32.DLL this process has loaded, which must be the double (the test runs with
// WINEDLLOVERRIDES mapi32=n and the double beside the test program).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quillon::test {

class MapiDouble {
public:
    // Loads MAPI32.DLL (holding it for the object's life, so the double's record
    // survives the library's loads and unloads) and resolves the controls.
    MapiDouble() : module_(LoadLibraryA("MAPI32.DLL"))
    {
        Resolve(reset_, "TestMapiReset");
        Resolve(fail_, "TestMapiFail");
        Resolve(setOption_, "TestMapiSetOption");
        Resolve(liveObjects_, "TestMapiLiveObjects");
        Resolve(sessionsAboveFourGigabytes_, "TestMapiSessionsAboveFourGigabytes");
        Resolve(outstandingBuffers_, "TestMapiOutstandingBuffers");
        Resolve(initializeDepth_, "TestMapiInitializeDepth");
        Resolve(traceCount_, "TestMapiTraceCount");
        Resolve(traceLine_, "TestMapiTraceLine");
        Resolve(messageCount_, "TestMapiMessageCount");
        Resolve(message_, "TestMapiMessage");
        Resolve(problems_, "TestMapiProblems");
    }
    ~MapiDouble()
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    MapiDouble(const MapiDouble &) = delete;
    MapiDouble &operator=(const MapiDouble &) = delete;

    // False when the MAPI32.DLL loaded is not the double (Wine's own, say).
    bool Loaded() const { return module_ != nullptr && resolved_; }

    void Reset() { reset_(); }
    void Fail(const char *call, LONG result) { fail_(call, result); }
    void SetOption(const char *name, int value = 1) { setOption_(name, value); }
    long LiveObjects() const { return liveObjects_(); }
    // Sessions handed out so far that live above 4 GiB.
    long SessionsAboveFourGigabytes() const { return sessionsAboveFourGigabytes_(); }
    long OutstandingBuffers() const { return outstandingBuffers_(); }
    long InitializeDepth() const { return initializeDepth_(); }

    std::vector<std::string> Trace() const
    {
        std::vector<std::string> lines;
        char buffer[2048];
        for (int i = 0; i < traceCount_(); ++i)
            if (traceLine_(i, buffer, sizeof buffer))
                lines.push_back(buffer);
        return lines;
    }
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> messages;
        char buffer[4096];
        for (int i = 0; i < messageCount_(); ++i)
            if (message_(i, buffer, sizeof buffer))
                messages.push_back(buffer);
        return messages;
    }
    std::string Problems() const
    {
        char buffer[4096];
        problems_(buffer, sizeof buffer);
        return buffer;
    }

private:
    template <typename Function>
    void Resolve(Function &function, const char *name)
    {
        function = module_ != nullptr
                       ? reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(module_, name)))
                       : nullptr;
        resolved_ = resolved_ && function != nullptr;
    }

    HMODULE module_;
    bool resolved_ = true;
    void (*reset_)() = nullptr;
    void (*fail_)(const char *, LONG) = nullptr;
    void (*setOption_)(const char *, int) = nullptr;
    long (*liveObjects_)() = nullptr;
    long (*sessionsAboveFourGigabytes_)() = nullptr;
    long (*outstandingBuffers_)() = nullptr;
    long (*initializeDepth_)() = nullptr;
    int (*traceCount_)() = nullptr;
    BOOL (*traceLine_)(int, char *, int) = nullptr;
    int (*messageCount_)() = nullptr;
    BOOL (*message_)(int, char *, int) = nullptr;
    int (*problems_)(char *, int) = nullptr;
};

} // namespace quillon::test
