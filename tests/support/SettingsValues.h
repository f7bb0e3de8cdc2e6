#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace testing_support {

// The program's settings key under HKEY_CURRENT_USER, written and read straight in the registry
// as a user would, around the program's own reader. A write that the registry refuses fails the
// running test.

// Empties the key (it stays, with no values).
void ClearSettingsKey();
// Deletes the key itself, as before the program's first run.
void RemoveSettingsKey();
bool SettingsKeyExists();

bool WriteSetting(const wchar_t* name, DWORD type, const void* data, DWORD size);
bool WriteDword(const wchar_t* name, uint32_t value);
bool WriteBinary(const wchar_t* name, const void* data, DWORD size);
void DeleteSetting(const wchar_t* name);

// The bytes of a value, and its type when asked; empty when it is missing.
std::vector<uint8_t> ReadValue(const wchar_t* name, DWORD* type = nullptr);
bool ValueExists(const wchar_t* name);
// The value when it has 4 bytes, else 0xDEADBEEF.
uint32_t ReadDword(const wchar_t* name);

} // namespace testing_support
