// Creating a registry key named after a second (a timestamp key name, common/timestamp.h)
// when other writers may take the same second: the task store and the message queue's
// writer both name new keys this way.
#pragma once

#include <windows.h>

#include <string>

#include "common/registry.h"

namespace quillon {

// Creates a new subkey of `parent` named `firstName` or, when that name is taken, after
// the next free second, trying at most `maxSeconds` names. The registry tells the caller
// alone that it created the key, so writers racing for one second each get a key of
// their own and an existing key is never opened. A name longer than `maxNameLength`
// characters ends the search. True with *key open on the new key and *name its name.
bool CreateKeyAtNextFreeSecond(HKEY parent, const std::string &firstName, int maxSeconds, size_t maxNameLength,
                               RegistryKey *key, std::string *name);

} // namespace quillon
