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

// WinInet waits at most this long to connect and for each answer. A whole page, with
// its redirects, frames and a slow trickle of data, may take at most kPageDeadlineMs
// (callers pass the deadline on to every fetch of the page), well within the time the
// scheduler gives a page task.
constexpr DWORD kFetchTimeoutMs = 30000;
constexpr DWORD kPageDeadlineMs = 120000;

struct FetchedPage {
    std::string bytes;         // at most kMaxPageBytes
    std::string headerCharset; // from the HTTP Content-Type, normalised; empty otherwise
    std::string address;       // where the page was found, after redirects
};

// Reads the page at address (an http/https URL, a file:// URL or a local path). WinInet
// follows redirects itself. False on any failure: unsupported scheme, no connection, an
// HTTP status outside 200..299, a missing or unreadable file, deadline (a
// GetTickCount64 value) passed before the page was read. A web fetch returns by the
// deadline whatever the server does (silent, trickling, redirecting without end).
bool FetchPage(const std::string &address, ULONGLONG deadline, FetchedPage &page);

} // namespace quillon::webflat
