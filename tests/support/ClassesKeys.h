#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Reading and writing the classes keys straight through the registry API, so that the tests see
// the verbs as Explorer would, not through the code under test. Key names are relative to
// "Software\Classes" of a hive: the user's own (HKEY_CURRENT_USER), where the program keeps its
// verbs, or the machine's (HKEY_LOCAL_MACHINE), where writes to HKEY_CLASSES_ROOT land.
namespace testing_support {

inline const HKEY kUser = HKEY_CURRENT_USER;
inline const HKEY kMachine = HKEY_LOCAL_MACHINE;

struct RegValue {
    bool found = false;
    DWORD type = 0;
    DWORD bytes = 0;
    std::wstring text; // up to the first terminator
};

// "Software\Classes\<key>".
std::wstring ClassesPath(const wchar_t* key);

RegValue ReadNamed(const wchar_t* key, const wchar_t* name, HKEY hive = kUser);
inline RegValue ReadDefault(const wchar_t* key, HKEY hive = kUser) {
    return ReadNamed(key, nullptr, hive);
}
void WriteNamed(const wchar_t* key, const wchar_t* name, const std::wstring& text,
                HKEY hive = kUser);
inline void WriteDefault(const wchar_t* key, const std::wstring& text, HKEY hive = kUser) {
    WriteNamed(key, nullptr, text, hive);
}
bool KeyExists(const wchar_t* key, HKEY hive = kUser);
LONG DeleteTree(const wchar_t* key, HKEY hive = kUser);
// Sorted; the default value is the empty name.
std::vector<std::wstring> SubKeyNames(const wchar_t* key, HKEY hive = kUser);
std::vector<std::wstring> ValueNames(const wchar_t* key, HKEY hive = kUser);
// A key that lives only until the registry is unloaded; it refuses lasting subkeys.
bool CreateVolatileKey(const wchar_t* key, HKEY hive = kUser);

// The verbs as an older copy wrote them for everybody, through HKEY_CLASSES_ROOT.
void WriteMachineVerbs(const std::wstring& program);

// While it lives, everybody may only read the key: its access list is replaced by one that
// grants KEY_READ alone, as Windows' own list on the machine's classes does for a user. The
// old list comes back at the end.
class ReadOnlyForEverybody {
public:
    ReadOnlyForEverybody(const wchar_t* path, HKEY hive);
    ~ReadOnlyForEverybody();
    ReadOnlyForEverybody(const ReadOnlyForEverybody&) = delete;
    ReadOnlyForEverybody& operator=(const ReadOnlyForEverybody&) = delete;
    bool Applied() const { return applied; }

private:
    HKEY key = nullptr;
    std::vector<BYTE> saved;
    bool applied = false;
};

} // namespace testing_support
