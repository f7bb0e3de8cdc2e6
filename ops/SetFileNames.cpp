#include "ops/SetFileNames.h"

#include "ops/PartNaming.h"

#include <windows.h>

#include <cwchar>

namespace {

constexpr size_t kMaxNameUnits = 255;

bool SameNoCase(const wchar_t* a, size_t aLength, const wchar_t* b) {
    return ::CompareStringOrdinal(a, static_cast<int>(aLength), b, -1, TRUE) == CSTR_EQUAL;
}

// Windows takes these as devices in every folder, whatever extension follows.
bool IsDeviceName(const wchar_t* name) {
    size_t stem = 0;
    while (name[stem] != 0 && name[stem] != L'.')
        ++stem;
    while (stem > 0 && name[stem - 1] == L' ')
        --stem;
    static const wchar_t* const kDevices[] = {L"CON", L"PRN",    L"AUX",
                                              L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (SameNoCase(name, stem, device))
            return true;
    }
    // COM1-COM9 and LPT1-LPT9, and the superscript digits Windows also takes.
    if (stem == 4 && (SameNoCase(name, 3, L"COM") || SameNoCase(name, 3, L"LPT"))) {
        const wchar_t digit = name[3];
        return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
               digit == L'\u00B3';
    }
    return false;
}

} // namespace

bool IsPlainFileName(const wchar_t* name) {
    const size_t length = wcslen(name);
    if (length == 0 || length > kMaxNameUnits || name[length - 1] == L'.' ||
        name[length - 1] == L' ')
        return false;
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = name[i];
        if (c < 32 || wcschr(L"\\/:*?\"<>|", c) != nullptr)
            return false;
    }
    return !IsDeviceName(name);
}

SetFileRole RoleOfSetFile(const wchar_t* name, const wchar_t* wholeName, uint32_t& partNumber) {
    partNumber = 0;
    if (!IsPlainFileName(name) || !IsPlainFileName(wholeName))
        return SetFileRole::Foreign;
    if (SameNoCase(name, wcslen(name), wholeName))
        return SetFileRole::Whole;
    partNumber = PartNumberOf(name, wholeName);
    return partNumber != 0 ? SetFileRole::Part : SetFileRole::Foreign;
}
