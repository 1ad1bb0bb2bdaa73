// Finding and loading the resource module tasq??.dll, the library that holds every
// user-visible string, dialog, menu, accelerator table and icon (ids in
// resources/resource_ids.h). The scheduler, the schedule component, the capture add-in
// and the reminder all load it this way at start-up:
//
//   1. the user default locale's abbreviated language name (LOCALE_SABBREVLANGNAME,
//      "ENU", "ENG", "DEU", ...) is read into a 4-byte buffer;
//   2. its first two letters name the file: "tasq%s.dll" -> tasqEN.dll (file names
//      are matched without regard to case, so the shipped tasqen.dll is found);
//   3. the library is loaded from where the loader looks (ResourceModuleSearch);
//   4. only when that fails (the language has no module there), the English module
//      "tasqen.dll" is loaded from the same place, so a user whose language was not
//      shipped gets English instead of a program that does not start.
//
// With neither module the result is ResourceModuleStatus::NotFound, and the caller
// fails its start-up. A caller that needs to know which language it got asks the
// loaded module's file name.
#pragma once

#include <windows.h>

#include "common/handles.h"

namespace quillon {

enum class ResourceModuleStatus {
    Loaded,      // the module is loaded
    NoLanguage,  // the locale gave no abbreviated language name (call failed or empty)
    NotFound,    // the library could not be loaded from where the loader looks
};

enum class ResourceModuleSearch {
    // "tasqXX.dll" by name alone: the system's library search, which starts with the
    // program's own directory. The programs (scheduler, reminder) load it this way.
    SystemSearch,
    // "<directory of besideModule>\tasqXX.dll" and nowhere else. The DLLs (schedule
    // component, capture add-in) pass their own module handle.
    BesideModule,
};

// Two letters and a terminating zero.
constexpr size_t kLanguagePrefixSize = 3;

// Fills prefix with the first two characters of the user default locale's abbreviated
// language name ("EN" for "ENU"). Returns false when the locale call fails or gives a
// name shorter than one character; prefix is then the empty text.
bool UserLanguagePrefix(char (&prefix)[kLanguagePrefixSize]);

// Loads the module for the given language prefix, or tasqen.dll from the same place when
// that language's module cannot be loaded. besideModule is used only with
// BesideModule (null there means the calling program's exe). On success `module`
// owns the library (Release() it to keep it loaded beyond the owner) and the status is
// Loaded; otherwise `module` is empty. With BesideModule a failed load also writes
// "Couldn't find resource file\n" to the debugger output (once, when neither module
// loads), as the DLL loaders must.
// A directory so long that the file name would not fit in a 260-byte path counts as
// NotFound: nothing is loaded from a cut path.
ResourceModuleStatus LoadResourceModuleFor(const char *languagePrefix, ResourceModuleSearch where,
                                           HMODULE besideModule, UniqueModule &module);

// Both steps for the user's language: UserLanguagePrefix, then LoadResourceModuleFor.
ResourceModuleStatus LoadResourceModule(ResourceModuleSearch where, HMODULE besideModule,
                                        UniqueModule &module);

} // namespace quillon
