// hostwin: an in-memory registry that answers like Windows where the programs can tell: names
// compared without regard to ASCII case, enumeration by index over the current list (a delete closes
// the gap), ERROR_MORE_DATA / ERROR_NO_MORE_ITEMS / ERROR_FILE_NOT_FOUND, data returned as stored,
// and RegDeleteKeyA that removes a whole tree (Windows 9x) or refuses a key with subkeys (NT).
#include "state.h"

#include <algorithm>
#include <cstring>

namespace hostwin::detail {
namespace {

const char kPoison = '\x7E';  // what a failed call leaves in an out-buffer: no NUL anywhere

std::string RootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_CURRENT_USER) return "HKCU";
    if (root == HKEY_CLASSES_ROOT) return "HKCR";
    if (root == HKEY_USERS) return "HKU";
    return "";
}

std::shared_ptr<RegKey> RootKey(HKEY root) {
    std::shared_ptr<RegKey>& slot = M().roots[reinterpret_cast<uintptr_t>(root)];
    if (!slot) slot = std::make_shared<RegKey>();
    return slot;
}

// Key and printable path behind a handle, or null for a handle that is neither predefined nor open.
std::shared_ptr<RegKey> Resolve(HKEY handle, std::string* path) {
    std::string root = RootName(handle);
    if (!root.empty()) {
        if (path) *path = root;
        return RootKey(handle);
    }
    auto it = M().openKeys.find(reinterpret_cast<uintptr_t>(handle));
    if (it == M().openKeys.end()) return nullptr;
    if (path) *path = it->second.path;
    return it->second.key;
}

// Predefined keys print as their short name, opened keys as <their full path>.
std::string Describe(HKEY handle) {
    if (!RootName(handle).empty()) return RootName(handle);
    std::string path;
    if (!Resolve(handle, &path)) return Hex(reinterpret_cast<uintptr_t>(handle));
    return "<" + path + ">";
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

std::shared_ptr<RegKey> FindChild(const RegKey& key, const std::string& name) {
    for (const auto& child : key.subkeys)
        if (EqualNoCase(child->name, name)) return child;
    return nullptr;
}

std::shared_ptr<RegKey> Walk(std::shared_ptr<RegKey> key, const std::string& path, bool create) {
    if (path.empty()) return key;
    for (const std::string& part : SplitPath(path)) {
        if (part.empty()) return nullptr;
        std::shared_ptr<RegKey> child = FindChild(*key, part);
        if (!child) {
            if (!create) return nullptr;
            child = std::make_shared<RegKey>();
            child->name = part;
            key->subkeys.push_back(child);
        }
        key = child;
    }
    return key;
}

RegValue* FindValue(RegKey& key, const char* name) {
    std::string wanted = name ? name : "";
    for (RegValue& value : key.values)
        if (EqualNoCase(value.name, wanted)) return &value;
    return nullptr;
}

void MarkDeleted(RegKey& key) {
    key.deleted = true;
    for (auto& child : key.subkeys) MarkDeleted(*child);
}

// Looks up the key behind a handle for a call; sets `code` when the call must fail.
std::shared_ptr<RegKey> KeyForCall(HKEY handle, std::string* path, LONG* code) {
    std::shared_ptr<RegKey> key = Resolve(handle, path);
    if (!key) {
        *code = ERROR_INVALID_HANDLE;
    } else if (key->deleted) {
        *code = ERROR_KEY_DELETED;
    } else {
        *code = ERROR_SUCCESS;
    }
    return key;
}

LONG Finish(const std::string& call, LONG code, const std::string& extra = "") {
    Log(call + " = " + std::to_string(code) + extra);
    return code;
}

std::string Capacity(const DWORD* count) { return count ? std::to_string(*count) : "NULL"; }
std::string Pointer(const void* p, const char* name) { return p ? name : "NULL"; }

}  // namespace
}  // namespace hostwin::detail

using namespace hostwin::detail;

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    std::string call = "RegOpenKeyExA(" + Describe(hKey) + ", " + Quote(lpSubKey) + ", " +
                       std::to_string(ulOptions) + ", " + Hex(samDesired) + ")";
    if (phkResult) *phkResult = nullptr;
    std::string sub = lpSubKey ? lpSubKey : "";
    if (LONG fault = static_cast<LONG>(InjectedFault("RegOpenKeyExA", sub))) return Finish(call, fault);
    std::string path;
    LONG code;
    std::shared_ptr<RegKey> parent = KeyForCall(hKey, &path, &code);
    if (code != ERROR_SUCCESS) return Finish(call, code);
    if (!phkResult || ulOptions != 0) return Finish(call, ERROR_INVALID_PARAMETER);
    std::shared_ptr<RegKey> key = Walk(parent, sub, false);
    if (!key) return Finish(call, ERROR_FILE_NOT_FOUND);
    uintptr_t handle = M().nextKeyHandle;
    M().nextKeyHandle += 4;
    M().openKeys[handle] = OpenKey{key, sub.empty() ? path : path + "\\" + sub};
    *phkResult = reinterpret_cast<HKEY>(handle);
    return Finish(call, ERROR_SUCCESS);
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                          LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    std::string path;
    std::string call = "RegEnumKeyExA(" + Describe(hKey) + ", " + std::to_string(dwIndex) + ", " +
                       Capacity(lpcchName) + ", " + Pointer(lpReserved, "reserved") + ", " +
                       Pointer(lpClass, "class") + ", " + Pointer(lpcchClass, "&classlen") + ", " +
                       Pointer(lpftLastWriteTime, "&ft") + ")";
    LONG code;
    std::shared_ptr<RegKey> key = KeyForCall(hKey, &path, &code);
    if (LONG fault = static_cast<LONG>(InjectedFault("RegEnumKeyExA", path))) return Finish(call, fault);
    if (code != ERROR_SUCCESS) return Finish(call, code);
    if (!lpName || !lpcchName || lpReserved) return Finish(call, ERROR_INVALID_PARAMETER);
    if (dwIndex >= key->subkeys.size()) return Finish(call, ERROR_NO_MORE_ITEMS);
    const std::string& name = key->subkeys[dwIndex]->name;
    if (name.size() + 1 > *lpcchName) {
        std::memset(lpName, kPoison, *lpcchName);
        return Finish(call, ERROR_MORE_DATA);
    }
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass && lpcchClass && *lpcchClass > 0) {
        lpClass[0] = '\0';
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0x12345678, 0x01D00000};
    return Finish(call, ERROR_SUCCESS, " " + Quote(lpName));
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
    std::string call = "RegQueryValueExA(" + Describe(hKey) + ", " + Quote(lpValueName) + ", " +
                       Pointer(lpReserved, "reserved") + ", " + Pointer(lpType, "&type") + ", " +
                       Pointer(lpData, "data") + ", " + Capacity(lpcbData) + ")";
    if (LONG fault = static_cast<LONG>(InjectedFault("RegQueryValueExA", lpValueName ? lpValueName : "")))
        return Finish(call, fault);
    LONG code;
    std::shared_ptr<RegKey> key = KeyForCall(hKey, nullptr, &code);
    if (code != ERROR_SUCCESS) return Finish(call, code);
    if (lpReserved || (lpData && !lpcbData)) return Finish(call, ERROR_INVALID_PARAMETER);
    RegValue* value = FindValue(*key, lpValueName);
    if (!value) return Finish(call, ERROR_FILE_NOT_FOUND);
    if (lpType) *lpType = value->type;
    DWORD size = static_cast<DWORD>(value->data.size());
    if (lpData) {
        if (size > *lpcbData) {
            std::memset(lpData, kPoison, *lpcbData);
            *lpcbData = size;
            return Finish(call, ERROR_MORE_DATA);
        }
        if (size) std::memcpy(lpData, value->data.data(), size);
    }
    if (lpcbData) *lpcbData = size;
    return Finish(call, ERROR_SUCCESS, " (" + std::to_string(size) + " bytes)");
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                          LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    std::string path;
    std::string call = "RegEnumValueA(" + Describe(hKey) + ", " + std::to_string(dwIndex) + ", " +
                       Capacity(lpcchValueName) + ", " + Pointer(lpReserved, "reserved") + ", " +
                       Pointer(lpType, "&type") + ", " + Pointer(lpData, "data") + ", " +
                       Capacity(lpcbData) + ")";
    LONG code;
    std::shared_ptr<RegKey> key = KeyForCall(hKey, &path, &code);
    if (LONG fault = static_cast<LONG>(InjectedFault("RegEnumValueA", path))) return Finish(call, fault);
    if (code != ERROR_SUCCESS) return Finish(call, code);
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
        return Finish(call, ERROR_INVALID_PARAMETER);
    if (dwIndex >= key->values.size()) return Finish(call, ERROR_NO_MORE_ITEMS);
    const RegValue& value = key->values[dwIndex];
    if (value.name.size() + 1 > *lpcchValueName) {
        std::memset(lpValueName, kPoison, *lpcchValueName);
        return Finish(call, ERROR_MORE_DATA);
    }
    DWORD size = static_cast<DWORD>(value.data.size());
    if (lpData && size > *lpcbData) {
        *lpcbData = size;
        return Finish(call, ERROR_MORE_DATA);
    }
    std::memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(value.name.size());
    if (lpType) *lpType = value.type;
    if (lpData && size) std::memcpy(lpData, value.data.data(), size);
    if (lpcbData) *lpcbData = size;
    return Finish(call, ERROR_SUCCESS, " " + Quote(lpValueName));
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    std::string call = "RegDeleteKeyA(" + Describe(hKey) + ", " + Quote(lpSubKey) + ")";
    if (LONG fault = static_cast<LONG>(InjectedFault("RegDeleteKeyA", lpSubKey ? lpSubKey : "")))
        return Finish(call, fault);
    LONG code;
    std::shared_ptr<RegKey> parentOfPath = KeyForCall(hKey, nullptr, &code);
    if (code != ERROR_SUCCESS) return Finish(call, code);
    if (!lpSubKey || !*lpSubKey) return Finish(call, ERROR_INVALID_PARAMETER);
    std::string sub = lpSubKey;
    size_t cut = sub.rfind('\\');
    std::shared_ptr<RegKey> parent =
        cut == std::string::npos ? parentOfPath : Walk(parentOfPath, sub.substr(0, cut), false);
    std::string leaf = cut == std::string::npos ? sub : sub.substr(cut + 1);
    std::shared_ptr<RegKey> key = parent ? FindChild(*parent, leaf) : nullptr;
    if (!key) return Finish(call, ERROR_FILE_NOT_FOUND);
    if (M().deleteMode == hostwin::DeleteMode::WindowsNT && !key->subkeys.empty())
        return Finish(call, ERROR_ACCESS_DENIED);
    MarkDeleted(*key);
    parent->subkeys.erase(std::find(parent->subkeys.begin(), parent->subkeys.end(), key));
    return Finish(call, ERROR_SUCCESS);
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    std::string call = "RegDeleteValueA(" + Describe(hKey) + ", " + Quote(lpValueName) + ")";
    if (LONG fault = static_cast<LONG>(InjectedFault("RegDeleteValueA", lpValueName ? lpValueName : "")))
        return Finish(call, fault);
    LONG code;
    std::shared_ptr<RegKey> key = KeyForCall(hKey, nullptr, &code);
    if (code != ERROR_SUCCESS) return Finish(call, code);
    RegValue* value = FindValue(*key, lpValueName);
    if (!value) return Finish(call, ERROR_FILE_NOT_FOUND);
    key->values.erase(key->values.begin() + (value - key->values.data()));
    return Finish(call, ERROR_SUCCESS);
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    std::string path;
    std::string call = "RegCloseKey(" + Describe(hKey) + ")";
    Resolve(hKey, &path);
    if (LONG fault = static_cast<LONG>(InjectedFault("RegCloseKey", path))) return Finish(call, fault);
    if (!RootName(hKey).empty()) return Finish(call, ERROR_SUCCESS);
    if (M().openKeys.erase(reinterpret_cast<uintptr_t>(hKey)) == 0) return Finish(call, ERROR_INVALID_HANDLE);
    return Finish(call, ERROR_SUCCESS);
}

}  // extern "C"

namespace hostwin {

void SetDeleteMode(DeleteMode mode) { M().deleteMode = mode; }

void AddKey(HKEY root, const std::string& path) { Walk(RootKey(root), path, true); }

void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const std::vector<uint8_t>& data) {
    std::shared_ptr<RegKey> key = Walk(RootKey(root), path, true);
    if (RegValue* value = FindValue(*key, name.c_str())) {
        value->type = type;
        value->data = data;
    } else {
        key->values.push_back(RegValue{name, type, data});
    }
}

void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    SetValue(root, path, name, REG_SZ, data);
}

bool KeyExists(HKEY root, const std::string& path) { return Walk(RootKey(root), path, false) != nullptr; }

std::vector<std::string> SubkeyNames(HKEY root, const std::string& path) {
    std::vector<std::string> names;
    if (std::shared_ptr<RegKey> key = Walk(RootKey(root), path, false))
        for (const auto& child : key->subkeys) names.push_back(child->name);
    return names;
}

std::vector<std::string> ValueNames(HKEY root, const std::string& path) {
    std::vector<std::string> names;
    if (std::shared_ptr<RegKey> key = Walk(RootKey(root), path, false))
        for (const RegValue& value : key->values) names.push_back(value.name);
    return names;
}

std::optional<std::vector<uint8_t>> ValueData(HKEY root, const std::string& path, const std::string& name) {
    std::shared_ptr<RegKey> key = Walk(RootKey(root), path, false);
    if (!key) return std::nullopt;
    RegValue* value = FindValue(*key, name.c_str());
    if (!value) return std::nullopt;
    return value->data;
}

std::vector<std::string> OpenHandles() {
    std::vector<std::string> out;
    for (const auto& [handle, open] : M().openKeys) out.push_back("key <" + open.path + ">");
    for (const auto& [handle, path] : M().openInfs) out.push_back("inf " + path);
    for (uintptr_t context : M().openContexts) out.push_back("queue context " + Hex(context));
    return out;
}

}  // namespace hostwin
