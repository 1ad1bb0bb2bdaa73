// The registrar script of an in-process COM server: the text, stored as a "REGISTRY"
// resource, that says which registry keys and values registration writes and
// unregistration removes. Both directions read this one script, so they cannot drift
// apart. Portable; the Windows side applies it (capture/registrar.h).
//
// Grammar (white space between tokens is free):
//   script  := { root "{" { key } "}" }
//   root    := HKCR | HKCU | HKLM | HKU | HKEY_CLASSES_ROOT | HKEY_CURRENT_USER
//              | HKEY_LOCAL_MACHINE | HKEY_USERS
//   key     := [ NoRemove | ForceRemove | Delete ] name [ "=" value ] [ "{" { item } "}" ]
//   item    := key | "val" name "=" value
//   value   := "s" quoted | "d" ( quoted | number )
//   name    := quoted | bare word (letters, digits and . _ - { } without spaces)
//   quoted  := "'" text "'", where "''" stands for one quote
// Keys nest at most kMaxRegistrarDepth levels.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::capture {

constexpr int kMaxRegistrarDepth = 32;

enum class RegistrarRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers };

enum class KeyRule {
    kPlain,       // written on registration; removed on unregistration when nothing else is left in it
    kNoRemove,    // never removed; what is listed inside it is
    kForceRemove, // replaced as a whole on registration; removed as a whole on unregistration
    kDelete,      // removed as a whole on registration; left alone on unregistration
};

struct RegistrarValue {
    std::string name;        // empty: the key's default value
    bool isNumber = false;   // "d": REG_DWORD; "s": REG_SZ
    std::string text;
    uint32_t number = 0;
};

struct RegistrarKey {
    KeyRule rule = KeyRule::kPlain;
    std::string name;
    bool hasDefault = false;
    RegistrarValue defaultValue;
    std::vector<RegistrarValue> values; // "val" items
    std::vector<RegistrarKey> subkeys;
};

struct RegistrarTree {
    RegistrarRoot root = RegistrarRoot::kClassesRoot;
    std::vector<RegistrarKey> keys;
};

// Replaces every %NAME% of script with its value, doubling the quotes in the value so a
// path such as C:\O'Neil\x.dll stays one quoted text. "%%" gives "%". Unknown names are
// left as they stand.
struct RegistrarReplacement {
    std::string name;
    std::string value;
};
std::string ExpandRegistrarScript(std::string_view script, const std::vector<RegistrarReplacement> &replacements);

// Parses an expanded script. False (and *error a short reason with the offset) for text
// outside the grammar; *trees is then empty.
bool ParseRegistrarScript(std::string_view script, std::vector<RegistrarTree> *trees, std::string *error);

} // namespace quillon::capture
