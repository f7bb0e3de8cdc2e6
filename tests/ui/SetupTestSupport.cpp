#include "ui/SetupTestSupport.h"

#include <algorithm>

namespace shell_test {

RegValue ReadNamed(const wchar_t* key, const wchar_t* name) {
    RegValue value;
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return value;
    std::vector<wchar_t> data(4096);
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    DWORD type = 0;
    if (::RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &bytes) == ERROR_SUCCESS) {
        value.found = true;
        value.type = type;
        value.bytes = bytes;
        value.text.assign(data.data(), std::min<size_t>(bytes / sizeof(wchar_t), data.size()));
        value.text = value.text.c_str();
    }
    ::RegCloseKey(handle);
    return value;
}

void WriteNamed(const wchar_t* key, const wchar_t* name, const std::wstring& text) {
    HKEY handle = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    ::RegCloseKey(handle);
}

bool KeyExists(const wchar_t* key) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(handle);
    return true;
}

std::vector<std::wstring> SubKeyNames(const wchar_t* key) {
    std::vector<std::wstring> names;
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_ENUMERATE_SUB_KEYS, &handle) !=
        ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    ::RegCloseKey(handle);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::wstring> ValueNames(const wchar_t* key) {
    std::vector<std::wstring> names;
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumValueW(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    ::RegCloseKey(handle);
    std::sort(names.begin(), names.end());
    return names;
}

bool CreateVolatileKey(const wchar_t* key) {
    HKEY handle = nullptr;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, REG_OPTION_VOLATILE, KEY_READ,
                          nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(handle);
    return true;
}

std::wstring ModulePath() {
    std::vector<wchar_t> path(32768);
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::wstring(path.data(), n);
}

std::wstring OurCommand(bool split) {
    return L"\"" + ModulePath() + (split ? L"\" /s \"%1\"" : L"\" /j \"%1\"");
}

void RemoveTestEntries() {
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L".001");
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, L".001");
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"*\\Shell\\split");
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, L"*\\Shell\\split");
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"*\\Shell\\inspect");
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, L"*\\Shell\\inspect");
}

} // namespace shell_test
