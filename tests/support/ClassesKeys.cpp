#include "support/ClassesKeys.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <algorithm>

namespace testing_support {

namespace {

// Only KEY_READ, for everybody, and nothing inherited from the parent.
constexpr wchar_t kReadOnlyAccessList[] = L"D:P(A;;KR;;;WD)";

HKEY OpenClassesKey(HKEY hive, const wchar_t* key, REGSAM access) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(hive, ClassesPath(key).c_str(), 0, access, &handle) != ERROR_SUCCESS)
        return nullptr;
    return handle;
}

// Every name that `nameAt` gives for the key, sorted.
template <class NameAt>
std::vector<std::wstring> SortedNames(const wchar_t* key, HKEY hive, REGSAM access, NameAt nameAt) {
    std::vector<std::wstring> names;
    const HKEY handle = OpenClassesKey(hive, key, access);
    if (handle == nullptr)
        return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (nameAt(handle, i, name, &length) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    ::RegCloseKey(handle);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::wstring ClassesPath(const wchar_t* key) {
    return std::wstring(L"Software\\Classes\\") + key;
}

RegValue ReadNamed(const wchar_t* key, const wchar_t* name, HKEY hive) {
    RegValue value;
    const HKEY handle = OpenClassesKey(hive, key, KEY_QUERY_VALUE);
    if (handle == nullptr)
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

void WriteNamed(const wchar_t* key, const wchar_t* name, const std::wstring& text, HKEY hive) {
    HKEY handle = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(hive, ClassesPath(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    ::RegCloseKey(handle);
}

bool KeyExists(const wchar_t* key, HKEY hive) {
    const HKEY handle = OpenClassesKey(hive, key, KEY_QUERY_VALUE);
    if (handle == nullptr)
        return false;
    ::RegCloseKey(handle);
    return true;
}

LONG DeleteTree(const wchar_t* key, HKEY hive) {
    return ::RegDeleteTreeW(hive, ClassesPath(key).c_str());
}

std::vector<std::wstring> SubKeyNames(const wchar_t* key, HKEY hive) {
    return SortedNames(key, hive, KEY_ENUMERATE_SUB_KEYS,
                       [](HKEY handle, DWORD index, wchar_t* name, DWORD* length) {
                           return ::RegEnumKeyExW(handle, index, name, length, nullptr, nullptr,
                                                  nullptr, nullptr);
                       });
}

std::vector<std::wstring> ValueNames(const wchar_t* key, HKEY hive) {
    return SortedNames(
        key, hive, KEY_QUERY_VALUE, [](HKEY handle, DWORD index, wchar_t* name, DWORD* length) {
            return ::RegEnumValueW(handle, index, name, length, nullptr, nullptr, nullptr, nullptr);
        });
}

bool CreateVolatileKey(const wchar_t* key, HKEY hive) {
    HKEY handle = nullptr;
    if (::RegCreateKeyExW(hive, ClassesPath(key).c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_READ,
                          nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(handle);
    return true;
}

void WriteMachineVerbs(const std::wstring& program) {
    WriteDefault(L".001\\Shell\\join", L"&Join", kMachine);
    WriteDefault(L".001\\Shell\\join\\command", L"\"" + program + L"\" /j \"%1\"", kMachine);
    WriteDefault(L".001\\Shell", L"join", kMachine);
    WriteDefault(L"*\\Shell\\split", L"&Split", kMachine);
    WriteDefault(L"*\\Shell\\split\\command", L"\"" + program + L"\" /s \"%1\"", kMachine);
}

ReadOnlyForEverybody::ReadOnlyForEverybody(const wchar_t* path, HKEY hive) {
    key = OpenClassesKey(hive, path, READ_CONTROL | WRITE_DAC);
    if (key == nullptr)
        return;
    DWORD bytes = 0;
    ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &bytes);
    saved.resize(bytes);
    if (bytes == 0 ||
        ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.data(), &bytes) != ERROR_SUCCESS)
        return;
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kReadOnlyAccessList, SDDL_REVISION_1, &readOnly, nullptr))
        return;
    applied = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
    ::LocalFree(readOnly);
}

ReadOnlyForEverybody::~ReadOnlyForEverybody() {
    // The handle was opened with WRITE_DAC before the list changed, so it can put it back.
    if (applied)
        ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.data());
    if (key != nullptr)
        ::RegCloseKey(key);
}

} // namespace testing_support
