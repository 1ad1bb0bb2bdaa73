// Fuzz target: any text as a registrar script, expanded and parsed. An accepted script
// has roots with named keys only.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "capture/registrar_script.h"

using namespace quillon::capture;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::string script = ExpandRegistrarScript(text, {{"MODULE", "C:\\it's\\clipnet.dll"}});
    std::vector<RegistrarTree> trees;
    std::string error;
    if (ParseRegistrarScript(script, &trees, &error)) {
        std::vector<const RegistrarKey *> pending;
        for (const RegistrarTree &tree : trees)
            for (const RegistrarKey &key : tree.keys)
                pending.push_back(&key);
        while (!pending.empty()) {
            const RegistrarKey *key = pending.back();
            pending.pop_back();
            if (key->name.empty())
                std::abort();
            for (const RegistrarKey &sub : key->subkeys)
                pending.push_back(&sub);
        }
    } else if (!trees.empty() || error.empty()) {
        std::abort();
    }
    return 0;
}
