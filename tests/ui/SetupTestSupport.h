#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

// Reading and writing HKEY_CLASSES_ROOT straight through the registry API, so that the tests
// see the verbs as Explorer would, not through the code under test.
namespace shell_test {

struct RegValue {
    bool found = false;
    DWORD type = 0;
    DWORD bytes = 0;
    std::wstring text; // up to the first terminator
};

RegValue ReadNamed(const wchar_t* key, const wchar_t* name);
inline RegValue ReadDefault(const wchar_t* key) {
    return ReadNamed(key, nullptr);
}
void WriteNamed(const wchar_t* key, const wchar_t* name, const std::wstring& text);
inline void WriteDefault(const wchar_t* key, const std::wstring& text) {
    WriteNamed(key, nullptr, text);
}
bool KeyExists(const wchar_t* key);
// Sorted; the default value is the empty name.
std::vector<std::wstring> SubKeyNames(const wchar_t* key);
std::vector<std::wstring> ValueNames(const wchar_t* key);
// A key that lives only until the registry is unloaded; it refuses lasting subkeys.
bool CreateVolatileKey(const wchar_t* key);

// This program's own path and the command lines its verbs must carry.
std::wstring ModulePath();
std::wstring OurCommand(bool split);

// Removes everything the verbs and the tests may have put into HKEY_CLASSES_ROOT.
void RemoveTestEntries();

// Every test starts and ends without verbs and without foreign test entries.
class ShellRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveTestEntries(); }
    void TearDown() override { RemoveTestEntries(); }
};

} // namespace shell_test
