#include "support/SettingsValues.h"

#include "app/ProgramInfo.h"

#include <gtest/gtest.h>

#include <cstring>

namespace testing_support {

void ClearSettingsKey() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKeyPath);
}

void RemoveSettingsKey() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKeyPath);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKeyPath);
}

bool SettingsKeyExists() {
    HKEY key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

bool WriteSetting(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    const LSTATUS status =
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name, type, data, size);
    EXPECT_EQ(status, ERROR_SUCCESS) << "writing the setting " << testing::PrintToString(name);
    return status == ERROR_SUCCESS;
}

bool WriteDword(const wchar_t* name, uint32_t value) {
    return WriteSetting(name, REG_DWORD, &value, sizeof value);
}

bool WriteBinary(const wchar_t* name, const void* data, DWORD size) {
    return WriteSetting(name, REG_BINARY, data, size);
}

void DeleteSetting(const wchar_t* name) {
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name);
}

std::vector<uint8_t> ReadValue(const wchar_t* name, DWORD* type) {
    std::vector<uint8_t> data(256);
    DWORD size = static_cast<DWORD>(data.size());
    if (::RegGetValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name, RRF_RT_ANY, type, data.data(),
                       &size) != ERROR_SUCCESS)
        return {};
    data.resize(size);
    return data;
}

bool ValueExists(const wchar_t* name) {
    return ::RegGetValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name, RRF_RT_ANY, nullptr, nullptr,
                          nullptr) == ERROR_SUCCESS;
}

uint32_t ReadDword(const wchar_t* name) {
    std::vector<uint8_t> data = ReadValue(name);
    uint32_t value = 0xDEADBEEF;
    if (data.size() == 4)
        std::memcpy(&value, data.data(), 4);
    return value;
}

} // namespace testing_support
