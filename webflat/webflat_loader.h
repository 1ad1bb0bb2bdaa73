// Loader of the text-extraction library "WEBFLAT.DLL", used by every caller: the page
// sender, the schedule component's preview and the browser add-in. It loads the library
// from a directory the caller names, resolves WebFlat, PageFlat and WebFlatFree by name,
// and hands out extracted texts in an owner that releases each of them exactly once.
//
// Lifetime: every ExtractedText obtained from a WebFlatLibrary must be released (or
// destroyed) before that library is unloaded or destroyed, since releasing calls into
// the library. Declare the library before the texts so that scope order does this.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/handles.h"
#include "webflat/webflat_contract.h"

namespace quillon {

// The body and heading texts of one successful extraction. Owns both: Reset() and the
// destructor release the heading first and then the body with the library's WebFlatFree,
// each exactly once. Texts are writable (the page sender cuts the body in place). A null
// text from the library is kept as null and never passed to WebFlatFree.
class ExtractedText {
public:
    ExtractedText() = default;
    ~ExtractedText() { Reset(); }
    ExtractedText(const ExtractedText &) = delete;
    ExtractedText &operator=(const ExtractedText &) = delete;
    ExtractedText(ExtractedText &&other) noexcept;
    ExtractedText &operator=(ExtractedText &&other) noexcept;

    char *Body() const { return body_; }
    char *Heading() const { return heading_; }
    bool IsEmpty() const { return body_ == nullptr && heading_ == nullptr; }

    // Releases the heading, then the body.
    void Reset();

private:
    friend class WebFlatLibrary;
    void Take(WebFlatFreeFunction freeText, char *body, char *heading);

    WebFlatFreeFunction free_ = nullptr;
    char *body_ = nullptr;
    char *heading_ = nullptr;
};

class WebFlatLibrary {
public:
    WebFlatLibrary() = default;
    WebFlatLibrary(const WebFlatLibrary &) = delete;
    WebFlatLibrary &operator=(const WebFlatLibrary &) = delete;
    // Texts already handed out stay valid across a move: they keep the release function,
    // and the moved-to library keeps the module loaded.
    WebFlatLibrary(WebFlatLibrary &&other) noexcept;
    WebFlatLibrary &operator=(WebFlatLibrary &&other) noexcept;

    // The file LoadBesideModule(module) loads: <folder of module's file>\WEBFLAT.DLL, or
    // an empty text when the module's path cannot be read. For callers that name the
    // file in an error message.
    static std::string PathBesideModule(HMODULE module);

    // Loads <directory>\WEBFLAT.DLL (directory without a trailing backslash; one is
    // tolerated). False when the file cannot be loaded or lacks WebFlat or WebFlatFree;
    // the library is then not held. PageFlat is optional here: callers that need it ask
    // HasPageFlat(). A library loaded earlier is unloaded first.
    bool Load(const std::string &directory);

    // Loads WEBFLAT.DLL from the directory of `module`'s file (null: the program file
    // of the process), that is the module path with everything after its last backslash
    // replaced by the library name.
    bool LoadBesideModule(HMODULE module);

    void Unload();
    bool IsLoaded() const { return static_cast<bool>(module_); }
    bool HasPageFlat() const { return pageFlat_ != nullptr; }

    // Calls WebFlat. On a result >= 0 *text owns the two texts (whatever it held before
    // is released first); on a negative result, or when no library is loaded (-1), *text
    // is left empty. `selection` may be null: no selection descriptor.
    int32_t WebFlat(const char *address, const char *selection, int32_t maxLen, ExtractedText *text) const;

    // Calls PageFlat the same way; -1 without a library or without PageFlat.
    int32_t PageFlat(IHTMLDocument2 *document, const char *descriptor, int32_t maxLen, ExtractedText *text) const;

private:
    UniqueModule module_;
    WebFlatFunction webFlat_ = nullptr;
    PageFlatFunction pageFlat_ = nullptr;
    WebFlatFreeFunction free_ = nullptr;
};

// One extraction for a door that previews a page: loads WEBFLAT.DLL beside the program,
// calls WebFlat, copies both texts into *body and *heading (empty on failure), releases
// them and unloads the library. The result is WebFlat's, or -1 when the library cannot
// be loaded.
int32_t ExtractPageTexts(const std::string &address, const std::string *selection, int32_t maxLen, std::string *body,
                         std::string *heading);

} // namespace quillon
