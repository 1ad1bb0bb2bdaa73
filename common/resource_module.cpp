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

ResourceModuleStatus LoadResourceModuleFor(const char *languagePrefix, ResourceModuleSearch where,
                                           HMODULE besideModule, UniqueModule &module)
{
    module.Reset();
    if (languagePrefix == nullptr || languagePrefix[0] == '\0')
        return ResourceModuleStatus::NoLanguage;

    char path[kTextBufferSize] = {};
    if (where == ResourceModuleSearch::SystemSearch) {
        if (!FormatBounded(path, "tasq%s.dll", languagePrefix))
            return ResourceModuleStatus::NotFound;
    } else {
        const std::string folder = ModuleDirectory(besideModule);
        char name[16] = {};
        const bool pathFits = !folder.empty() && FormatBounded(name, "\\tasq%s.dll", languagePrefix) &&
                              CopyBounded(path, folder) && AppendBounded(path, name);
        if (!pathFits) {
            OutputDebugStringA("Couldn't find resource file\n");
            return ResourceModuleStatus::NotFound;
        }
    }

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
