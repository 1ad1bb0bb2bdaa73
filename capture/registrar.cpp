#include "capture/registrar.h"

#include <oleauto.h>

#include <string>

#include "common/module_path.h"
#include "common/registry.h"

namespace quillon::capture {
namespace {

HKEY RootKey(RegistrarRoot root)
{
    switch (root) {
    case RegistrarRoot::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistrarRoot::kCurrentUser: return HKEY_CURRENT_USER;
    case RegistrarRoot::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistrarRoot::kUsers: return HKEY_USERS;
    }
    return HKEY_CLASSES_ROOT;
}

bool IsGone(LONG error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

LONG WriteValue(const RegistryKey &key, const RegistrarValue &value)
{
    if (value.isNumber)
        return key.WriteDword(value.name.c_str(), value.number);
    return key.WriteString(value.name.c_str(), value.text);
}

LONG Register(HKEY parent, const std::vector<RegistrarKey> &keys)
{
    for (const RegistrarKey &entry : keys) {
        RegistryKey holder(parent);
        if (entry.rule == KeyRule::kDelete || entry.rule == KeyRule::kForceRemove) {
            const LONG removed = holder.DeleteSubkeyTree(entry.name.c_str());
            if (removed != ERROR_SUCCESS && !IsGone(removed)) {
                holder.Release();
                return removed;
            }
        }
        holder.Release();
        if (entry.rule == KeyRule::kDelete)
            continue;
        RegistryKey key;
        LONG error = key.Create(parent, entry.name.c_str());
        if (error != ERROR_SUCCESS)
            return error;
        if (entry.hasDefault && (error = WriteValue(key, entry.defaultValue)) != ERROR_SUCCESS)
            return error;
        for (const RegistrarValue &value : entry.values)
            if ((error = WriteValue(key, value)) != ERROR_SUCCESS)
                return error;
        if ((error = Register(key.Get(), entry.subkeys)) != ERROR_SUCCESS)
            return error;
    }
    return ERROR_SUCCESS;
}

LONG Unregister(HKEY parent, const std::vector<RegistrarKey> &keys)
{
    LONG first = ERROR_SUCCESS;
    auto note = [&first](LONG error) {
        if (first == ERROR_SUCCESS && error != ERROR_SUCCESS && !IsGone(error))
            first = error;
    };
    for (const RegistrarKey &entry : keys) {
        if (entry.rule == KeyRule::kDelete)
            continue;
        if (entry.rule == KeyRule::kForceRemove) {
            RegistryKey holder(parent);
            note(holder.DeleteSubkeyTree(entry.name.c_str()));
            holder.Release();
            continue;
        }
        RegistryKey key;
        const LONG opened = key.Open(parent, entry.name.c_str());
        if (opened != ERROR_SUCCESS) {
            note(opened);
            continue;
        }
        note(Unregister(key.Get(), entry.subkeys));
        if (entry.rule == KeyRule::kNoRemove)
            continue;
        for (const RegistrarValue &value : entry.values)
            note(key.DeleteValue(value.name.c_str()));
        // A plain key goes when nothing but what the script put there is left in it.
        DWORD subkeys = 0;
        const bool empty = RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                           subkeys == 0;
        key.Close();
        if (empty) {
            RegistryKey holder(parent);
            note(holder.DeleteSubkey(entry.name.c_str()));
            holder.Release();
        }
    }
    return first;
}

bool ScriptOf(HMODULE module, std::string *script)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(101), "REGISTRY");
    if (found == nullptr)
        return false;
    HGLOBAL loaded = LoadResource(module, found);
    const void *data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr)
        return false;
    script->assign(static_cast<const char *>(data), SizeofResource(module, found));
    // The resource compiler may pad the text with zeros.
    const size_t end = script->find('\0');
    if (end != std::string::npos)
        script->resize(end);
    return true;
}

} // namespace

HRESULT ApplyRegistrarTrees(const std::vector<RegistrarTree> &trees, bool registering)
{
    for (const RegistrarTree &tree : trees) {
        const LONG error =
            registering ? Register(RootKey(tree.root), tree.keys) : Unregister(RootKey(tree.root), tree.keys);
        if (error != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(error);
    }
    return S_OK;
}

HRESULT UpdateRegistryFromResource(HMODULE module, bool registering)
{
    const std::string path = ModuleFilePath(module);
    std::string script;
    if (path.empty() || !ScriptOf(module, &script))
        return E_FAIL;
    std::vector<RegistrarTree> trees;
    if (!ParseRegistrarScript(ExpandRegistrarScript(script, {{"MODULE", path}}), &trees, nullptr))
        return E_FAIL;

    std::wstring widePath(path.size() + 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &widePath[0], static_cast<int>(widePath.size()));
    if (registering) {
        HRESULT hr = ApplyRegistrarTrees(trees, true);
        if (FAILED(hr))
            return hr;
        ITypeLib *library = nullptr;
        hr = LoadTypeLibEx(widePath.c_str(), REGKIND_NONE, &library);
        if (FAILED(hr))
            return hr;
        hr = RegisterTypeLib(library, &widePath[0], nullptr);
        library->Release();
        return hr;
    }
    // Unregistering: the type library first (it names its LIBID), then the keys.
    ITypeLib *library = nullptr;
    HRESULT typeLibResult = S_OK;
    if (SUCCEEDED(LoadTypeLibEx(widePath.c_str(), REGKIND_NONE, &library)) && library != nullptr) {
        TLIBATTR *attributes = nullptr;
        if (SUCCEEDED(library->GetLibAttr(&attributes)) && attributes != nullptr) {
            typeLibResult = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                              attributes->lcid, attributes->syskind);
            library->ReleaseTLibAttr(attributes);
        }
        library->Release();
    }
    // A type library that was not registered (any more) is no failure of unregistration.
    (void)typeLibResult;
    return ApplyRegistrarTrees(trees, false);
}

} // namespace quillon::capture
