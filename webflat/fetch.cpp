#include "webflat/fetch.h"

#include <wininet.h>

#include <memory>

#include "common/handles.h"
#include "common/internet_handle.h"
#include "webflat/core/address.h"
#include "webflat/core/charset.h"

namespace quillon::webflat {
namespace {

std::string Trimmed(const std::string &text)
{
    size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(start, end - start + 1);
}

bool ReadFileBytes(const std::string &path, FetchedPage &page)
{
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0)
        return false;
    const size_t wanted = static_cast<size_t>(size.QuadPart) < kMaxPageBytes ? static_cast<size_t>(size.QuadPart)
                                                                             : kMaxPageBytes;
    page.bytes.resize(wanted);
    size_t got = 0;
    while (got < wanted) {
        DWORD chunk = 0;
        const DWORD ask = static_cast<DWORD>(wanted - got < (1u << 20) ? wanted - got : (1u << 20));
        if (!ReadFile(file.Get(), &page.bytes[got], ask, &chunk, nullptr))
            return false;
        if (chunk == 0)
            break;
        got += chunk;
    }
    page.bytes.resize(got);
    page.address = path;
    return true;
}

std::string QueryText(HINTERNET request, DWORD info)
{
    char buffer[1024];
    DWORD size = sizeof(buffer);
    DWORD index = 0;
    if (!HttpQueryInfoA(request, info, buffer, &size, &index) || size >= sizeof(buffer))
        return std::string();
    return std::string(buffer, size);
}

bool ReadWebPage(const std::string &url, ULONGLONG deadline, FetchedPage &page)
{
    InternetHandle session(InternetOpenA("Mozilla/4.0 (compatible; WEBFLAT)", INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                         nullptr, 0));
    if (session.Get() == nullptr)
        return false;
    DWORD timeout = kFetchTimeoutMs;
    InternetSetOptionA(session.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionA(session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionA(session.Get(), INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_KEEP_CONNECTION;
    InternetHandle request(InternetOpenUrlA(session.Get(), url.c_str(), "Accept: text/html, */*\r\n",
                                            static_cast<DWORD>(-1), flags, 0));
    if (request.Get() == nullptr)
        return false;
    DWORD status = 0;
    DWORD size = sizeof(status);
    DWORD index = 0;
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index))
        return false;
    if (status < 200 || status > 299)
        return false;
    page.headerCharset = CharsetFromContentType(QueryText(request.Get(), HTTP_QUERY_CONTENT_TYPE));

    char finalUrl[2048];
    DWORD urlSize = sizeof(finalUrl);
    if (InternetQueryOptionA(request.Get(), INTERNET_OPTION_URL, finalUrl, &urlSize) && urlSize < sizeof(finalUrl))
        page.address.assign(finalUrl, urlSize);
    else
        page.address = url;

    char buffer[64 * 1024];
    while (page.bytes.size() < kMaxPageBytes) {
        if (GetTickCount64() > deadline)
            return false;
        DWORD read = 0;
        const DWORD ask = static_cast<DWORD>(
            kMaxPageBytes - page.bytes.size() < sizeof(buffer) ? kMaxPageBytes - page.bytes.size() : sizeof(buffer));
        if (!InternetReadFile(request.Get(), buffer, ask, &read))
            return false;
        if (read == 0)
            break;
        page.bytes.append(buffer, read);
    }
    return true;
}

// One web fetch handed to a worker thread. The caller and the worker share it, so a
// caller that gives up at the deadline leaves the worker something valid to write into.
struct WebFetchJob {
    std::string url;
    ULONGLONG deadline = 0;
    FetchedPage page;
    bool ok = false;
    HMODULE module = nullptr;   // a reference that keeps this code loaded while the worker runs
};

DWORD WINAPI WebFetchThread(void *parameter)
{
    auto *held = static_cast<std::shared_ptr<WebFetchJob> *>(parameter);
    HMODULE module = nullptr;
    {
        std::shared_ptr<WebFetchJob> job = std::move(*held);
        delete held;
        job->ok = ReadWebPage(job->url, job->deadline, job->page);
        module = job->module;
    }
    if (module != nullptr)
        FreeLibraryAndExitThread(module, 0);
    return 0;
}

// WinInet's own time-outs do not bound everything a server can do: a server that accepts
// and never answers, or trickles a byte now and then, can hold a read far past them. The
// fetch therefore runs on a worker thread, and the caller waits for it only until the
// deadline. A worker still blocked then is abandoned: it ends by itself when WinInet
// gives up or the process ends, holding a reference to this module until it does so the
// library cannot be unloaded under it.
bool ReadWebPageWithin(const std::string &url, ULONGLONG deadline, FetchedPage &page)
{
    auto job = std::make_shared<WebFetchJob>();
    job->url = url;
    job->deadline = deadline;
    HMODULE self = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&WebFetchThread), &self) &&
        self != GetModuleHandleA(nullptr))
        job->module = self;
    auto *held = new std::shared_ptr<WebFetchJob>(job);
    UniqueHandle thread(CreateThread(nullptr, 0, WebFetchThread, held, 0, nullptr));
    if (!thread) {
        delete held;
        if (job->module != nullptr)
            FreeLibrary(job->module);
        return false;
    }
    const ULONGLONG now = GetTickCount64();
    const DWORD wait = deadline > now ? static_cast<DWORD>(deadline - now < 0xFFFFFFF0u ? deadline - now : 0xFFFFFFF0u) : 0;
    if (WaitForSingleObject(thread.Get(), wait) != WAIT_OBJECT_0)
        return false;
    if (!job->ok)
        return false;
    page = std::move(job->page);
    return true;
}

} // namespace

bool FetchPage(const std::string &address, ULONGLONG deadline, FetchedPage &page)
{
    page = FetchedPage();
    if (GetTickCount64() > deadline)
        return false;
    const std::string trimmed = Trimmed(address);
    switch (ClassifyAddress(trimmed)) {
    case AddressKind::kWeb:
        return ReadWebPageWithin(trimmed, deadline, page);
    case AddressKind::kFile:
        return ReadFileBytes(PathOfFileUrl(trimmed), page);
    case AddressKind::kLocalPath:
        return ReadFileBytes(trimmed, page);
    case AddressKind::kUnsupported:
        break;
    }
    return false;
}

} // namespace quillon::webflat
