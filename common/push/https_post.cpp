#include "common/push/https_post.h"

#include <winhttp.h>

#include <memory>
#include <vector>

namespace quillon {

namespace {

// How long to wait for WinHTTP to let go of a closed request. Wine's WinHTTP reports
// the closing of a request whose receive is still pending only when that receive ends
// (docs/toolchain-notes.md), which a trickling server may put off for good. After this
// wait the request is abandoned instead: its context stays allocated and this module
// stays loaded for the life of the process, so that a late callback finds both.
constexpr DWORD kCloseWaitMs = 2000;

void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD);

void KeepThisModuleLoaded()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&OnRequestStatus), &module);
}

std::wstring Wide(const std::string &utf8)
{
    if (utf8.empty())
        return std::wstring();
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], length);
    return out;
}

std::string Narrow(const wchar_t *text, size_t length)
{
    std::string out;
    for (size_t i = 0; i < length; ++i)
        out.push_back(text[i] >= 0x20 && text[i] < 0x7F ? static_cast<char>(text[i]) : '?');
    return out;
}

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle = nullptr) : handle_(handle) {}
    ~InternetHandle() { Reset(); }
    InternetHandle(const InternetHandle &) = delete;
    InternetHandle &operator=(const InternetHandle &) = delete;
    HINTERNET Get() const { return handle_; }
    void Reset()
    {
        if (handle_ != nullptr)
            WinHttpCloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HINTERNET handle_;
};

// What the callbacks share with the waiting thread. Lives until WinHTTP reports the
// request handle closing (the last callback it makes for that handle).
struct RequestContext {
    RequestContext()
    {
        InitializeCriticalSection(&lock);
        done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        closed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~RequestContext()
    {
        if (done != nullptr)
            CloseHandle(done);
        if (closed != nullptr)
            CloseHandle(closed);
        DeleteCriticalSection(&lock);
    }
    void Finish(DWORD failure)
    {
        EnterCriticalSection(&lock);
        if (!finished) {
            finished = true;
            error = failure;
        }
        LeaveCriticalSection(&lock);
        SetEvent(done);
    }

    CRITICAL_SECTION lock;
    HANDLE done = nullptr;
    HANDLE closed = nullptr;
    bool finished = false;
    DWORD error = 0;
    DWORD certificateFlags = 0;
    DWORD status = 0;
    std::string body;
    std::string retryAfter;
    char buffer[4096];
};

void ReadHeaders(HINTERNET request, RequestContext *context)
{
    DWORD status = 0, size = sizeof status;
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                            &status, &size, WINHTTP_NO_HEADER_INDEX))
        context->status = status;
    wchar_t retry[128];
    size = sizeof retry;
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_CUSTOM, L"Retry-After", retry, &size, WINHTTP_NO_HEADER_INDEX))
        context->retryAfter = Narrow(retry, size / sizeof(wchar_t));
}

void CALLBACK OnRequestStatus(HINTERNET handle, DWORD_PTR contextValue, DWORD status, LPVOID information,
                              DWORD informationLength)
{
    auto *context = reinterpret_cast<RequestContext *>(contextValue);
    if (context == nullptr)
        return;
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        if (!WinHttpReceiveResponse(handle, nullptr))
            context->Finish(GetLastError());
        break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        ReadHeaders(handle, context);
        if (!WinHttpQueryDataAvailable(handle, nullptr))
            context->Finish(GetLastError());
        break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE: {
        DWORD available = information != nullptr ? *static_cast<DWORD *>(information) : 0;
        if (available == 0) {
            context->Finish(0);
            break;
        }
        DWORD wanted = available < sizeof context->buffer ? available : static_cast<DWORD>(sizeof context->buffer);
        if (!WinHttpReadData(handle, context->buffer, wanted, nullptr))
            context->Finish(GetLastError());
        break;
    }
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        if (informationLength == 0) {
            context->Finish(0);
            break;
        }
        context->body.append(context->buffer, informationLength);
        if (context->body.size() >= kMaxAnswerBytes) {
            context->body.resize(kMaxAnswerBytes);
            context->Finish(0);
            break;
        }
        if (!WinHttpQueryDataAvailable(handle, nullptr))
            context->Finish(GetLastError());
        break;
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
        if (information != nullptr)
            context->certificateFlags = *static_cast<DWORD *>(information);
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
        const auto *result = static_cast<const WINHTTP_ASYNC_RESULT *>(information);
        context->Finish(result != nullptr && result->dwError != 0 ? result->dwError : ERROR_WINHTTP_INTERNAL_ERROR);
        break;
    }
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
        SetEvent(context->closed);
        break;
    default:
        break;
    }
}

HttpsAnswer::Outcome OutcomeOf(DWORD error)
{
    switch (error) {
    case 0: return HttpsAnswer::Outcome::kAnswered;
    case ERROR_WINHTTP_TIMEOUT: return HttpsAnswer::Outcome::kTimedOut;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:   // what Wine reports for an untrusted root
        return HttpsAnswer::Outcome::kCertificateRefused;
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        return HttpsAnswer::Outcome::kNoConnection;
    default: return HttpsAnswer::Outcome::kFailed;
    }
}

int RemainingMs(ULONGLONG deadline)
{
    ULONGLONG now = GetTickCount64();
    if (now >= deadline)
        return 1;
    ULONGLONG left = deadline - now;
    return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left);
}

HttpsAnswer Failed(DWORD error)
{
    HttpsAnswer answer;
    answer.error = error;
    answer.outcome = OutcomeOf(error);
    if (answer.outcome == HttpsAnswer::Outcome::kAnswered)
        answer.outcome = HttpsAnswer::Outcome::kFailed;
    return answer;
}

HttpsAnswer Post(const push::PushRequest &request, ULONGLONG deadline, HANDLE cancel)
{
    // The system's proxy settings where the system has them (Windows 8.1 and later),
    // else the older default.
    HINTERNET opened = WinHttpOpen(L"Quillon/1.2", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    if (opened == nullptr)
        opened = WinHttpOpen(L"Quillon/1.2", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    if (opened == nullptr)
        return Failed(GetLastError());
    InternetHandle session(opened);
    HINTERNET sessionHandle = session.Get();
    const int wait = RemainingMs(deadline);
    WinHttpSetTimeouts(sessionHandle, wait, wait, wait, wait);

    std::string host = request.url.host;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    InternetHandle connection(WinHttpConnect(sessionHandle, Wide(host).c_str(), request.url.port, 0));
    if (connection.Get() == nullptr)
        return Failed(GetLastError());

    HINTERNET requestHandle = WinHttpOpenRequest(connection.Get(), L"POST", Wide(request.url.path).c_str(), nullptr,
                                                 WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                 request.url.secure ? WINHTTP_FLAG_SECURE : 0);
    if (requestHandle == nullptr)
        return Failed(GetLastError());

    auto context = std::make_unique<RequestContext>();
    if (context->done == nullptr || context->closed == nullptr) {
        WinHttpCloseHandle(requestHandle);
        return Failed(ERROR_NOT_ENOUGH_MEMORY);
    }
    DWORD_PTR contextValue = reinterpret_cast<DWORD_PTR>(context.get());
    WinHttpSetOption(requestHandle, WINHTTP_OPTION_CONTEXT_VALUE, &contextValue, sizeof contextValue);
    // A redirect would turn the POST into a GET elsewhere: the service's own answer is
    // what counts, and a 3xx is no success.
    DWORD disable = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
    WinHttpSetOption(requestHandle, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
    if (WinHttpSetStatusCallback(requestHandle, OnRequestStatus,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES |
                                     WINHTTP_CALLBACK_FLAG_SECURE_FAILURE,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        DWORD error = GetLastError();
        WinHttpCloseHandle(requestHandle);
        return Failed(error);
    }

    std::wstring headers = L"Content-Type: " + Wide(request.contentType) + L"\r\n";
    for (const auto &header : request.headers)
        headers += Wide(header.first) + L": " + Wide(header.second) + L"\r\n";
    std::vector<char> body(request.body.begin(), request.body.end());
    const DWORD bodyLength = static_cast<DWORD>(body.size());
    if (!WinHttpSendRequest(requestHandle, headers.c_str(), static_cast<DWORD>(-1L), body.empty() ? nullptr : body.data(),
                            bodyLength, bodyLength, contextValue))
        context->Finish(GetLastError());

    HANDLE waits[2] = {context->done, cancel};
    DWORD waited = WaitForMultipleObjects(cancel != nullptr ? 2 : 1, waits, FALSE, static_cast<DWORD>(RemainingMs(deadline)));
    // Whatever ended the wait, nothing more is taken from the request: the callbacks
    // that are still under way finish against the context, which stays until WinHTTP
    // reports the handle closing.
    context->Finish(waited == WAIT_OBJECT_0 ? 0 : waited == WAIT_OBJECT_0 + 1 ? ERROR_CANCELLED : ERROR_TIMEOUT);
    WinHttpCloseHandle(requestHandle);
    if (WaitForSingleObject(context->closed, kCloseWaitMs) != WAIT_OBJECT_0) {
        // A late callback may still use the context and this module: see kCloseWaitMs.
        KeepThisModuleLoaded();
        RequestContext *abandoned = context.release();
        HttpsAnswer answer;
        EnterCriticalSection(&abandoned->lock);
        answer.error = abandoned->error;
        LeaveCriticalSection(&abandoned->lock);
        answer.outcome = answer.error == ERROR_CANCELLED ? HttpsAnswer::Outcome::kCancelled
                         : answer.error == ERROR_TIMEOUT ? HttpsAnswer::Outcome::kTimedOut
                                                         : OutcomeOf(answer.error);
        if (answer.outcome == HttpsAnswer::Outcome::kAnswered)
            answer.outcome = HttpsAnswer::Outcome::kFailed;   // finished, but not let go of
        return answer;
    }

    HttpsAnswer answer;
    EnterCriticalSection(&context->lock);
    answer.error = context->error;
    answer.certificateFlags = context->certificateFlags;
    answer.status = static_cast<int>(context->status);
    answer.body = context->body;
    answer.retryAfter = context->retryAfter;
    LeaveCriticalSection(&context->lock);
    if (answer.error == ERROR_CANCELLED)
        answer.outcome = HttpsAnswer::Outcome::kCancelled;
    else if (answer.error == ERROR_TIMEOUT)
        answer.outcome = HttpsAnswer::Outcome::kTimedOut;
    else if (answer.error == 0 && answer.status == 0) {
        answer.outcome = HttpsAnswer::Outcome::kNoConnection;
        answer.error = ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
    } else
        answer.outcome = OutcomeOf(answer.error);
    if (answer.outcome == HttpsAnswer::Outcome::kFailed && answer.certificateFlags != 0)
        answer.outcome = HttpsAnswer::Outcome::kCertificateRefused;
    return answer;
}

} // namespace

HttpsAnswer PostRequest(const push::PushRequest &request, ULONGLONG deadline, HANDLE cancel)
{
    try {
        return Post(request, deadline, cancel);
    } catch (...) {
        return Failed(ERROR_NOT_ENOUGH_MEMORY);
    }
}

} // namespace quillon
