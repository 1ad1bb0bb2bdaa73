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

#include <functional>

namespace quillon {

// ---- Keys built aside and moved into place whole ----
//
// A key whose values must all be there (a task, a queued message) is never built in
// place: its values are written into a staging key under the same parent first, and the
// complete key is then renamed to its real name in one registry operation. A writer
// killed half-way so leaves at most a staging key, never a real key without some value.
// Staging names begin with '~', which sorts after every timestamp name and no timestamp
// name holds, and fit a 16-byte name buffer: "~" + process id + sequence, in hex.
// Readers of such a parent pass staging keys over; the next writer removes those whose
// process has ended.

// True for a staging key's name (one that begins with '~').
bool IsStagingKeyName(const char *name);

// A staging name of this process not handed out before by it.
std::string NewStagingKeyName();

// Deletes the staging keys under `parent` whose writing process has ended. The keys of a
// live process (another thread of this one, another program still writing) stay.
void RemoveAbandonedStagingKeys(const RegistryKey &parent);

// Renames the subkey `from` of `parent` to `to` (both plain ASCII); fails when `to`
// exists, so two writers racing for one name cannot both believe they own it.
LONG RenameSubkey(const RegistryKey &parent, const std::string &from, const std::string &to);

// Writes the values of a staging key. Called before every rename attempt with the name
// about to be tried; what earlier calls wrote stays in the key, so a writer whose values
// do not depend on the name writes them at the first call only. False stops the store.
using StagingKeyWriter = std::function<bool(const RegistryKey &staging, const std::string &name)>;

// Stores a new subkey of `parent` named `firstName` or, when that name is taken, after
// the next free second, trying at most `maxSeconds` names and no name longer than
// `maxNameLength` characters: `write` fills a staging key, which is then renamed to the
// first free name. Removes abandoned staging keys first. True with *name the name used;
// on false no key is left behind.
bool StoreKeyAtNextFreeSecond(const RegistryKey &parent, const std::string &firstName, int maxSeconds,
                              size_t maxNameLength, const StagingKeyWriter &write, std::string *name);

} // namespace quillon
