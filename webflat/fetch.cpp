#include "webflat/fetch.h"

#include <wininet.h>

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

} // namespace

bool FetchPage(const std::string &address, ULONGLONG deadline, FetchedPage &page)
{
    page = FetchedPage();
    if (GetTickCount64() > deadline)
        return false;
    const std::string trimmed = Trimmed(address);
    switch (ClassifyAddress(trimmed)) {
    case AddressKind::kWeb:
        return ReadWebPage(trimmed, deadline, page);
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
