// WEBFLAT.DLL: the exports WebFlat, PageFlat and WebFlatFree (contract in
// webflat/webflat_contract.h). The extraction itself is the portable core; this
// file gets the markup (fetched, read from a file, or taken from the browser's document
// object), converts between the page's character set, UTF-8 and the ANSI code page, and
// hands the texts out in memory the caller returns with WebFlatFree.
//
// Results: 0 on success; negative on failure, and then nothing is handed out:
//   -1 bad arguments (null address, document or out-pointer)
//   -2 the selection text is not a selection descriptor
//   -3 the page could not be had (fetch, file or document failed)
//   -4 out of memory, or any other internal failure
#include <windows.h>

#include <mshtml.h>
#include <ocidl.h>
#include <oleauto.h>

#include <cstdint>
#include "common/runtime_release.h"
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "common/com_owners.h"
#include "common/handles.h"
#include "webflat/webflat_contract.h"
#include "webflat/core/address.h"
#include "webflat/core/charset.h"
#include "webflat/core/flatten.h"
#include "webflat/fetch.h"

using namespace quillon;
using namespace quillon::webflat;

namespace {

constexpr int32_t kBadArguments = -1;
constexpr int32_t kBadDescriptor = -2;
constexpr int32_t kNoPage = -3;
constexpr int32_t kInternalFailure = -4;

struct CodePageName {
    const char *name;
    UINT codePage;
};

// Character sets the portable core does not convert, by their normalised names.
constexpr CodePageName kCodePages[] = {
    {"big5", 950},           {"euc-jp", 20932},       {"euc-kr", 949},         {"gb18030", 54936},
    {"gbk", 936},            {"ibm866", 866},         {"cp866", 866},          {"iso-2022-jp", 50220},
    {"iso-8859-2", 28592},   {"iso-8859-3", 28593},   {"iso-8859-4", 28594},   {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},   {"iso-8859-7", 28597},   {"iso-8859-8", 28598},   {"iso-8859-8-i", 28598},
    {"iso-8859-9", 28599},   {"iso-8859-13", 28603},  {"iso-8859-15", 28605},  {"koi8-r", 20866},
    {"koi8-u", 21866},       {"ks_c_5601-1987", 949}, {"macintosh", 10000},    {"shift_jis", 932},
    {"tis-620", 874},        {"windows-874", 874},    {"windows-1250", 1250},  {"windows-1251", 1251},
    {"windows-1253", 1253},  {"windows-1254", 1254},  {"windows-1255", 1255},  {"windows-1256", 1256},
    {"windows-1257", 1257},  {"windows-1258", 1258},  {"x-mac-roman", 10000},  {"utf-7", 65000},
};

std::wstring Widen(UINT codePage, std::string_view bytes)
{
    std::wstring wide;
    if (bytes.empty() || bytes.size() > INT32_MAX)
        return wide;
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0)
        return wide;
    wide.resize(static_cast<size_t>(length));
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0], length);
    return wide;
}

std::string Narrow(UINT codePage, const wchar_t *wide, size_t count)
{
    std::string bytes;
    if (count == 0 || count > INT32_MAX)
        return bytes;
    const int length =
        WideCharToMultiByte(codePage, 0, wide, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return bytes;
    bytes.resize(static_cast<size_t>(length));
    WideCharToMultiByte(codePage, 0, wide, static_cast<int>(count), &bytes[0], length, nullptr, nullptr);
    return bytes;
}

// The page's bytes as UTF-8: the core's own tables for the common sets, the system's
// code pages for the others, Windows-1252 for names nobody knows.
std::string PageToUtf8(std::string_view bytes, const std::string &headerCharset)
{
    const std::string charset = DetectCharset(bytes, headerCharset);
    std::string utf8;
    if (ConvertToUtf8(bytes, charset, utf8))
        return utf8;
    for (const CodePageName &entry : kCodePages) {
        if (charset == entry.name && IsValidCodePage(entry.codePage)) {
            std::wstring wide = Widen(entry.codePage, bytes);
            return Narrow(CP_UTF8, wide.data(), wide.size());
        }
    }
    ConvertToUtf8(bytes, "windows-1252", utf8);
    return utf8;
}

// UTF-8 text (with break marks, which pass unchanged) in the ANSI code page. Characters
// the code page lacks get the system's closest fit or '?'.
std::string Utf8ToAnsi(const std::string &utf8)
{
    std::wstring wide = Widen(CP_UTF8, utf8);
    return Narrow(CP_ACP, wide.data(), wide.size());
}

std::string BstrToUtf8(BSTR text)
{
    if (text == nullptr)
        return std::string();
    size_t length = SysStringLen(text);
    if (length > kMaxPageBytes)
        length = kMaxPageBytes;
    return Narrow(CP_UTF8, text, length);
}

// A copy of text in memory WebFlatFree releases; null when out of memory.
char *HandOut(const std::string &text)
{
    char *copy = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, text.size() + 1));
    if (copy == nullptr)
        return nullptr;
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

// A document fetched from an address; frames are fetched from their src, resolved
// against the address the page was finally found at.
class AddressSource : public DocumentSource {
public:
    AddressSource(std::string address, ULONGLONG deadline) : address_(std::move(address)), deadline_(deadline) {}

    bool Markup(std::string &utf8) override
    {
        FetchedPage page;
        if (!FetchPage(address_, deadline_, page))
            return false;
        address_ = page.address;
        utf8 = PageToUtf8(page.bytes, page.headerCharset);
        return true;
    }

    std::unique_ptr<DocumentSource> Frame(size_t, const std::string &src) override
    {
        std::string frameAddress = ResolveAddress(address_, src);
        if (frameAddress.empty() || ClassifyAddress(frameAddress) == AddressKind::kUnsupported)
            return nullptr;
        return std::make_unique<AddressSource>(frameAddress, deadline_);
    }

private:
    std::string address_;
    ULONGLONG deadline_; // shared by the page and all its frames
};

// A document the browser holds. Its markup comes from the document element's outerHTML
// (already Unicode), or, when the document offers no IHTMLDocument3, from saving it to a
// stream. Frames come from the document's frames collection by index.
class BrowserDocumentSource : public DocumentSource {
public:
    explicit BrowserDocumentSource(IHTMLDocument2 *document)
    {
        document->AddRef();
        document_.Attach(document);
    }

    bool Markup(std::string &utf8) override
    {
        ComPtr<IHTMLDocument3> document3;
        if (SUCCEEDED(document_->QueryInterface(__uuidof(IHTMLDocument3), document3.PutVoid())) && document3) {
            ComPtr<IHTMLElement> root;
            if (SUCCEEDED(document3->get_documentElement(root.Put())) && root) {
                UniqueBstr html;
                if (SUCCEEDED(root->get_outerHTML(html.Out())) && html.Get() != nullptr) {
                    utf8 = BstrToUtf8(html.Get());
                    return true;
                }
            }
        }
        return SavedMarkup(utf8);
    }

    std::unique_ptr<DocumentSource> Frame(size_t index, const std::string &) override
    {
        ComPtr<IHTMLFramesCollection2> frames;
        if (FAILED(document_->get_frames(frames.Put())) || !frames)
            return nullptr;
        long count = 0;
        if (FAILED(frames->get_length(&count)) || count < 0 || index >= static_cast<size_t>(count))
            return nullptr;
        VARIANT which;
        VariantInit(&which);
        which.vt = VT_I4;
        which.lVal = static_cast<LONG>(index);
        VARIANT item;
        VariantInit(&item);
        if (FAILED(frames->item(&which, &item)))
            return nullptr;
        std::unique_ptr<DocumentSource> source;
        if (item.vt == VT_DISPATCH && item.pdispVal != nullptr) {
            ComPtr<IHTMLWindow2> window;
            if (SUCCEEDED(item.pdispVal->QueryInterface(__uuidof(IHTMLWindow2), window.PutVoid())) && window) {
                ComPtr<IHTMLDocument2> frameDocument;
                // A frame from another site refuses its document; it is then left out.
                if (SUCCEEDED(window->get_document(frameDocument.Put())) && frameDocument)
                    source = std::make_unique<BrowserDocumentSource>(frameDocument.Get());
            }
        }
        VariantClear(&item);
        return source;
    }

private:
    bool SavedMarkup(std::string &utf8)
    {
        ComPtr<IPersistStreamInit> persist;
        if (FAILED(document_->QueryInterface(__uuidof(IPersistStreamInit), persist.PutVoid())) || !persist)
            return false;
        ComPtr<IStream> stream;
        if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put())) || !stream)
            return false;
        if (FAILED(persist->Save(stream.Get(), FALSE)))
            return false;
        HGLOBAL memory = nullptr;
        if (FAILED(GetHGlobalFromStream(stream.Get(), &memory)) || memory == nullptr)
            return false;
        STATSTG stat{};
        size_t size = GlobalSize(memory);
        if (SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME)) && stat.cbSize.QuadPart < size)
            size = static_cast<size_t>(stat.cbSize.QuadPart);
        if (size > kMaxPageBytes)
            size = kMaxPageBytes;
        const char *bytes = static_cast<const char *>(GlobalLock(memory));
        if (bytes == nullptr)
            return false;
        std::string saved(bytes, size);
        GlobalUnlock(memory);
        std::string charset;
        UniqueBstr declared;
        if (SUCCEEDED(document_->get_charset(declared.Out())) && declared.Get() != nullptr)
            charset = NormalizeCharsetLabel(BstrToUtf8(declared.Get()));
        utf8 = PageToUtf8(saved, charset);
        return true;
    }

    ComPtr<IHTMLDocument2> document_;
};

int32_t Flatten(DocumentSource &source, const char *descriptor, char **body, char **heading, int32_t maxLen)
{
    FlatText flat;
    switch (FlattenPage(source, descriptor, flat)) {
    case FlattenResult::kOk:
        break;
    case FlattenResult::kBadDescriptor:
        return kBadDescriptor;
    case FlattenResult::kNoDocument:
        return kNoPage;
    }
    std::string bodyText = Utf8ToAnsi(flat.body);
    MarkWordBreaks(bodyText, maxLen);
    const std::string headingText = Utf8ToAnsi(flat.heading);
    char *bodyCopy = HandOut(bodyText);
    char *headingCopy = HandOut(headingText);
    if (bodyCopy == nullptr || headingCopy == nullptr) {
        if (bodyCopy != nullptr)
            HeapFree(GetProcessHeap(), 0, bodyCopy);
        if (headingCopy != nullptr)
            HeapFree(GetProcessHeap(), 0, headingCopy);
        return kInternalFailure;
    }
    *body = bodyCopy;
    *heading = headingCopy;
    return 0;
}

} // namespace

extern "C" {

int32_t WebFlat(const char *address, const char *selection, char **body, char **heading, int32_t maxLen)
{
    if (body == nullptr || heading == nullptr)
        return kBadArguments;
    *body = nullptr;
    *heading = nullptr;
    if (address == nullptr)
        return kBadArguments;
    try {
        AddressSource source(address, GetTickCount64() + kPageDeadlineMs);
        return Flatten(source, selection, body, heading, maxLen);
    } catch (...) {
        return kInternalFailure;
    }
}

int32_t PageFlat(IHTMLDocument2 *document, const char *descriptor, char **body, char **heading, int32_t maxLen)
{
    if (body == nullptr || heading == nullptr)
        return kBadArguments;
    *body = nullptr;
    *heading = nullptr;
    if (document == nullptr)
        return kBadArguments;
    try {
        BrowserDocumentSource source(document);
        return Flatten(source, descriptor, body, heading, maxLen);
    } catch (...) {
        return kInternalFailure;
    }
}

void WebFlatFree(char *text)
{
    if (text != nullptr)
        HeapFree(GetProcessHeap(), 0, text);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        OutputDebugStringA("WEBFLAT loading\n");
    } else if (reason == DLL_PROCESS_DETACH) {
        OutputDebugStringA("WEBFLAT unloading\n");
        // The preview loads the library per use inside the browser's long-lived process.
        if (reserved == nullptr)
            quillon::ReleaseRuntimeAtUnload();
    }
    return TRUE;
}

} // extern "C"

// The exports keep the exact types callers look them up as.
static_assert(std::is_same_v<decltype(&WebFlat), WebFlatFunction>, "WebFlat signature");
static_assert(std::is_same_v<decltype(&PageFlat), PageFlatFunction>, "PageFlat signature");
static_assert(std::is_same_v<decltype(&WebFlatFree), WebFlatFreeFunction>, "WebFlatFree signature");
