#include "toolkit/RegKey.h"

namespace {

constexpr DWORD kMaxSubKeyName = 256;

// Deletes subKey of parent with everything below it. Systems whose RegDeleteKeyW refuses a key
// with subkeys get the children removed first, one at a time from index 0.
LONG DeleteKeyTree(HKEY parent, const wchar_t* subKey) {
    if (::RegDeleteKeyW(parent, subKey) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(parent, subKey, 0, DELETE | KEY_ENUMERATE_SUB_KEYS, &key) ==
        ERROR_SUCCESS) {
        wchar_t name[kMaxSubKeyName];
        for (;;) {
            DWORD length = kMaxSubKeyName;
            if (::RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            // Each deletion moves the next child to index 0.
            if (DeleteKeyTree(key, name) != ERROR_SUCCESS)
                break;
        }
        ::RegCloseKey(key);
    }
    return ::RegDeleteKeyW(parent, subKey);
}

} // namespace

RegKey::RegKey(HKEY root) : key(root), ownsKey(false) {}

RegKey::~RegKey() {
    if (key && ownsKey)
        ::RegCloseKey(key);
}

BOOL RegKey::Open(const wchar_t* subKey, HKEY parent, REGSAM access) {
    Close();
    HKEY opened = nullptr;
    lastStatus = ::RegOpenKeyExW(parent, subKey, 0, access, &opened);
    if (lastStatus != ERROR_SUCCESS)
        return FALSE;
    key = opened;
    ownsKey = true;
    return TRUE;
}

BOOL RegKey::Create(const wchar_t* subKey, HKEY parent, REGSAM access) {
    Close();
    HKEY opened = nullptr;
    lastStatus = ::RegCreateKeyExW(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                   nullptr, &opened, nullptr);
    if (lastStatus != ERROR_SUCCESS)
        return FALSE;
    key = opened;
    ownsKey = true;
    return TRUE;
}

BOOL RegKey::Close() {
    if (!key) {
        lastStatus = ERROR_SUCCESS;
        return TRUE;
    }
    // A predefined root was never opened here, so it is only forgotten.
    lastStatus = ownsKey ? ::RegCloseKey(key) : ERROR_SUCCESS;
    key = nullptr;
    ownsKey = false;
    return lastStatus == ERROR_SUCCESS;
}

BOOL RegKey::Attach(HKEY owned) {
    if (key)
        return FALSE;
    key = owned;
    ownsKey = true;
    lastStatus = ERROR_SUCCESS;
    return TRUE;
}

void RegKey::Detach() {
    key = nullptr;
    ownsKey = false;
    lastStatus = ERROR_SUCCESS;
}

BOOL RegKey::SetString(const wchar_t* valueName, const wchar_t* text) {
    if (!text)
        text = L"";
    // The terminator is stored with the text.
    DWORD bytes = static_cast<DWORD>((::lstrlenW(text) + 1) * sizeof(wchar_t));
    lastStatus =
        ::RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
    return lastStatus == ERROR_SUCCESS;
}

BOOL RegKey::SetBinary(const wchar_t* valueName, const void* data, DWORD size) {
    lastStatus =
        ::RegSetValueExW(key, valueName, 0, REG_BINARY, static_cast<const BYTE*>(data), size);
    return lastStatus == ERROR_SUCCESS;
}

BOOL RegKey::SetDword(const wchar_t* valueName, DWORD value) {
    lastStatus = ::RegSetValueExW(key, valueName, 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&value), sizeof value);
    return lastStatus == ERROR_SUCCESS;
}

BOOL RegKey::QueryValue(const wchar_t* valueName, void* buffer, DWORD* size) {
    lastStatus =
        ::RegQueryValueExW(key, valueName, nullptr, nullptr, static_cast<BYTE*>(buffer), size);
    return lastStatus == ERROR_SUCCESS;
}

BOOL RegKey::QueryString(const wchar_t* valueName, wchar_t* buffer, DWORD capacity) {
    DWORD bytes = capacity * sizeof(wchar_t);
    lastStatus = ::RegQueryValueExW(key, valueName, nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(buffer), &bytes);
    if (lastStatus != ERROR_SUCCESS)
        return FALSE;
    // A value stored without its terminator gets one, when there is room for it.
    DWORD units = bytes / sizeof(wchar_t);
    if (units > 0 && bytes % sizeof(wchar_t) == 0 && buffer[units - 1] == 0)
        return TRUE;
    if (units < capacity) {
        buffer[units] = 0;
        return TRUE;
    }
    lastStatus = ERROR_MORE_DATA;
    return FALSE;
}

BOOL RegKey::ValueExists(const wchar_t* valueName) {
    lastStatus = ::RegQueryValueExW(key, valueName, nullptr, nullptr, nullptr, nullptr);
    return lastStatus == ERROR_SUCCESS;
}

BOOL RegKey::DeleteValue(const wchar_t* valueName) {
    lastStatus = ::RegDeleteValueW(key, valueName);
    return lastStatus == ERROR_SUCCESS;
}

BOOL RegKey::EnumKey(DWORD index, wchar_t* name, DWORD* nameLength, FILETIME* lastWrite) {
    lastStatus =
        ::RegEnumKeyExW(key, index, name, nameLength, nullptr, nullptr, nullptr, lastWrite);
    return lastStatus == ERROR_SUCCESS;
}

BOOL RegKey::EnumValue(DWORD index, wchar_t* name, DWORD* nameLength, DWORD* type, BYTE* data,
                       DWORD* dataSize) {
    lastStatus = ::RegEnumValueW(key, index, name, nameLength, nullptr, type, data, dataSize);
    return lastStatus == ERROR_SUCCESS;
}

DWORD RegKey::SubKeyCount() {
    DWORD count = 0;
    lastStatus = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr);
    return count;
}

DWORD RegKey::ValueCount() {
    DWORD count = 0;
    lastStatus = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    &count, nullptr, nullptr, nullptr, nullptr);
    return count;
}

BOOL RegKey::DeleteTree(const wchar_t* subKey) {
    lastStatus = DeleteKeyTree(key, subKey);
    return lastStatus == ERROR_SUCCESS;
}
