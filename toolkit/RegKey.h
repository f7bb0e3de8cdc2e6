#pragma once

#include <windows.h>

// One open registry key and the status of the last registry call made through it. Every
// operation returns a plain success flag; callers that need the reason read LastStatus().
class RegKey {
public:
    RegKey() = default;
    // Holds a predefined root (HKEY_CLASSES_ROOT, ...) without opening anything, so that
    // DeleteTree can work on it. A root is never closed.
    explicit RegKey(HKEY root);
    ~RegKey();
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    HKEY Handle() const { return key; }
    bool IsOpen() const { return key != nullptr; }
    LONG LastStatus() const { return lastStatus; }

    BOOL Open(const wchar_t* subKey, HKEY parent, REGSAM access);
    BOOL Create(const wchar_t* subKey, HKEY parent, REGSAM access);
    BOOL Close();
    BOOL Attach(HKEY owned);
    void Detach();

    BOOL SetString(const wchar_t* valueName, const wchar_t* text);
    BOOL SetBinary(const wchar_t* valueName, const void* data, DWORD size);
    BOOL SetDword(const wchar_t* valueName, DWORD value);
    BOOL QueryValue(const wchar_t* valueName, void* buffer, DWORD* size);
    BOOL QueryString(const wchar_t* valueName, wchar_t* buffer, DWORD capacity);
    BOOL ValueExists(const wchar_t* valueName);
    BOOL DeleteValue(const wchar_t* valueName);
    BOOL EnumKey(DWORD index, wchar_t* name, DWORD* nameLength, FILETIME* lastWrite);
    BOOL EnumValue(DWORD index, wchar_t* name, DWORD* nameLength, DWORD* type, BYTE* data,
                   DWORD* dataSize);
    DWORD SubKeyCount();
    DWORD ValueCount();
    BOOL DeleteTree(const wchar_t* subKey);

protected:
    HKEY key = nullptr;
    LONG lastStatus = ERROR_SUCCESS;
    bool ownsKey = false; // false for a predefined root held by the root constructor
};
