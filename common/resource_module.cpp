#include "common/resource_module.h"

#include "common/module_path.h"
#include "common/text.h"

#include <cstring>

namespace quillon {

bool UserLanguagePrefix(char (&prefix)[kLanguagePrefixSize])
{
    prefix[0] = '\0';
    // Four bytes, as every loader asks: three letters and the terminating zero. A longer
    // name makes the call fail, which counts as no language.
    char abbreviation[4] = {};
    int count = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, abbreviation,
                               static_cast<int>(sizeof abbreviation));
    if (count < 2)
        return false;
    abbreviation[sizeof abbreviation - 1] = '\0';
    CopyBounded(prefix, abbreviation); // keeps the first two characters
    return true;
}

namespace {

// The file to load for one language prefix: by name alone, or beside besideModule.
// False when the directory is unknown or the name would not fit in a 260-byte path.
bool ResourceModulePath(const char *languagePrefix, ResourceModuleSearch where, HMODULE besideModule,
                        char (&path)[kTextBufferSize])
{
    path[0] = '\0';
    if (where == ResourceModuleSearch::SystemSearch)
        return FormatBounded(path, "tasq%s.dll", languagePrefix);
    const std::string folder = ModuleDirectory(besideModule);
    char name[16] = {};
    return !folder.empty() && FormatBounded(name, "\\tasq%s.dll", languagePrefix) && CopyBounded(path, folder) &&
           AppendBounded(path, name);
}

bool IsEnglishPrefix(const char *languagePrefix)
{
    return (languagePrefix[0] == 'E' || languagePrefix[0] == 'e') &&
           (languagePrefix[1] == 'N' || languagePrefix[1] == 'n') && languagePrefix[2] == '\0';
}

} // namespace

ResourceModuleStatus LoadResourceModuleFor(const char *languagePrefix, ResourceModuleSearch where,
                                           HMODULE besideModule, UniqueModule &module)
{
    module.Reset();
    if (languagePrefix == nullptr || languagePrefix[0] == '\0')
        return ResourceModuleStatus::NoLanguage;

    char path[kTextBufferSize] = {};
    if (ResourceModulePath(languagePrefix, where, besideModule, path))
        module.Reset(LoadLibraryA(path));
    // The language's own module is missing (or cannot be loaded): the English one, looked
    // for in the same place, so the program starts in English rather than not at all.
    if (!module && !IsEnglishPrefix(languagePrefix) && ResourceModulePath("en", where, besideModule, path))
        module.Reset(LoadLibraryA(path));
    if (!module) {
        if (where == ResourceModuleSearch::BesideModule)
            OutputDebugStringA("Couldn't find resource file\n");
        return ResourceModuleStatus::NotFound;
    }
    return ResourceModuleStatus::Loaded;
}

ResourceModuleStatus LoadResourceModule(ResourceModuleSearch where, HMODULE besideModule,
                                        UniqueModule &module)
{
    module.Reset();
    char prefix[kLanguagePrefixSize] = {};
    if (!UserLanguagePrefix(prefix))
        return ResourceModuleStatus::NoLanguage;
    return LoadResourceModuleFor(prefix, where, besideModule, module);
}

} // namespace quillon
