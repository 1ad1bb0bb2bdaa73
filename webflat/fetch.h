// Reading a page's bytes for WEBFLAT.DLL: http/https through WinInet, file:// URLs and
// local paths from the file system (WinInet cannot open file:// URLs).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace quillon::webflat {

// Pages are read up to this many bytes; the rest of a larger page is not read, and the
// text comes from the part that was. A pager never shows more than the first part of a
// page, and this keeps the library's memory bounded whatever the server sends.
constexpr size_t kMaxPageBytes = 16u << 20;

// WinInet waits at most this long to connect and for each answer; a whole fetch, with
// redirects and a slow trickle of data, at most kFetchDeadlineMs.
constexpr DWORD kFetchTimeoutMs = 30000;
constexpr DWORD kFetchDeadlineMs = 90000;

struct FetchedPage {
    std::string bytes;         // at most kMaxPageBytes
    std::string headerCharset; // from the HTTP Content-Type, normalised; empty otherwise
    std::string address;       // where the page was found, after redirects
};

// Reads the page at address (an http/https URL, a file:// URL or a local path). WinInet
// follows redirects itself. False on any failure: unsupported scheme, no connection, an
// HTTP status outside 200..299, a missing or unreadable file, the deadline passed.
bool FetchPage(const std::string &address, FetchedPage &page);

} // namespace quillon::webflat
