#include "webflat/webflat_loader.h"

#include <utility>

#include "common/module_path.h"

namespace quillon {

ExtractedText::ExtractedText(ExtractedText &&other) noexcept
    : free_(std::exchange(other.free_, nullptr)), body_(std::exchange(other.body_, nullptr)),
      heading_(std::exchange(other.heading_, nullptr))
{
}

ExtractedText &ExtractedText::operator=(ExtractedText &&other) noexcept
{
    if (this != &other) {
        Reset();
        free_ = std::exchange(other.free_, nullptr);
        body_ = std::exchange(other.body_, nullptr);
        heading_ = std::exchange(other.heading_, nullptr);
    }
    return *this;
}

void ExtractedText::Reset()
{
    // The contract fixes the order: heading first, then body.
    char *heading = std::exchange(heading_, nullptr);
    char *body = std::exchange(body_, nullptr);
    WebFlatFreeFunction freeText = std::exchange(free_, nullptr);
    if (freeText == nullptr)
        return;
    if (heading != nullptr)
        freeText(heading);
    if (body != nullptr)
        freeText(body);
}

void ExtractedText::Take(WebFlatFreeFunction freeText, char *body, char *heading)
{
    Reset();
    free_ = freeText;
    body_ = body;
    heading_ = heading;
}

namespace {

std::string LibraryPathIn(const std::string &directory)
{
    std::string path = directory;
    if (!path.empty() && path.back() != '\\')
        path += '\\';
    path += kWebFlatLibraryName;
    return path;
}

} // namespace

WebFlatLibrary::WebFlatLibrary(WebFlatLibrary &&other) noexcept
    : module_(std::move(other.module_)), webFlat_(std::exchange(other.webFlat_, nullptr)),
      pageFlat_(std::exchange(other.pageFlat_, nullptr)), free_(std::exchange(other.free_, nullptr))
{
}

WebFlatLibrary &WebFlatLibrary::operator=(WebFlatLibrary &&other) noexcept
{
    if (this != &other) {
        // The functions are cleared before the module they point into goes.
        webFlat_ = std::exchange(other.webFlat_, nullptr);
        pageFlat_ = std::exchange(other.pageFlat_, nullptr);
        free_ = std::exchange(other.free_, nullptr);
        module_ = std::move(other.module_);
    }
    return *this;
}

std::string WebFlatLibrary::PathBesideModule(HMODULE module)
{
    const std::string directory = ModuleDirectory(module);
    return directory.empty() ? std::string() : LibraryPathIn(directory);
}

bool WebFlatLibrary::Load(const std::string &directory)
{
    Unload();
    const std::string path = LibraryPathIn(directory);
    // The altered search path lets the library find its own companions beside it.
    UniqueModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module)
        return false;
    WebFlatFunction webFlat = module.Resolve<WebFlatFunction>(kWebFlatExport);
    WebFlatFreeFunction freeText = module.Resolve<WebFlatFreeFunction>(kWebFlatFreeExport);
    if (webFlat == nullptr || freeText == nullptr)
        return false;
    pageFlat_ = module.Resolve<PageFlatFunction>(kPageFlatExport);
    webFlat_ = webFlat;
    free_ = freeText;
    module_ = std::move(module);
    return true;
}

bool WebFlatLibrary::LoadBesideModule(HMODULE module)
{
    const std::string directory = ModuleDirectory(module);
    if (directory.empty()) {
        Unload();
        return false;
    }
    return Load(directory);
}

void WebFlatLibrary::Unload()
{
    webFlat_ = nullptr;
    pageFlat_ = nullptr;
    free_ = nullptr;
    module_.Reset();
}

int32_t WebFlatLibrary::WebFlat(const char *address, const char *selection, int32_t maxLen,
                                ExtractedText *text) const
{
    text->Reset();
    if (webFlat_ == nullptr)
        return -1;
    char *body = nullptr;
    char *heading = nullptr;
    int32_t result = webFlat_(address, selection, &body, &heading, maxLen);
    if (result >= 0)
        text->Take(free_, body, heading);
    return result;
}

int32_t WebFlatLibrary::PageFlat(IHTMLDocument2 *document, const char *descriptor, int32_t maxLen,
                                 ExtractedText *text) const
{
    text->Reset();
    if (pageFlat_ == nullptr)
        return -1;
    char *body = nullptr;
    char *heading = nullptr;
    int32_t result = pageFlat_(document, descriptor, &body, &heading, maxLen);
    if (result >= 0)
        text->Take(free_, body, heading);
    return result;
}

int32_t ExtractPageTexts(const std::string &address, const std::string *selection, int32_t maxLen, std::string *body,
                         std::string *heading)
{
    body->clear();
    heading->clear();
    WebFlatLibrary library;
    if (!library.LoadBesideModule(nullptr))
        return -1;
    ExtractedText text;
    const int32_t result =
        library.WebFlat(address.c_str(), selection != nullptr ? selection->c_str() : nullptr, maxLen, &text);
    if (result >= 0) {
        *body = text.Body() != nullptr ? text.Body() : "";
        *heading = text.Heading() != nullptr ? text.Heading() : "";
    }
    return result;
}

} // namespace quillon
