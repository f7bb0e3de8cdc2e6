#include "support/SmallVolume.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

namespace testing_support {

namespace {

// The root of the drive letter an environment variable of scripts/with-small-volume.sh names.
std::wstring DriveRoot(const wchar_t* variable) {
    wchar_t drive[8] = {};
    if (!::GetEnvironmentVariableW(variable, drive, 8))
        return std::wstring();
    return std::wstring(drive) + L"\\";
}

} // namespace

std::wstring SmallVolumeRoot() {
    return DriveRoot(L"BRINDLECOT_SMALL_DRIVE");
}

std::wstring Fat32Root() {
    return DriveRoot(L"BRINDLECOT_FAT32_DRIVE");
}

std::wstring ReadOnlyRoot() {
    return DriveRoot(L"BRINDLECOT_READONLY_DRIVE");
}

std::wstring ReadOnlySourceRoot() {
    return DriveRoot(L"BRINDLECOT_READONLY_SOURCE");
}

bool MakeSparseFile(const std::wstring& path, uint64_t size) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool made = ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
    return ::CloseHandle(file) && made;
}

uint64_t AvailableOn(const std::wstring& folder) {
    ULARGE_INTEGER available = {};
    EXPECT_TRUE(::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr));
    return available.QuadPart;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(found.cFileName);
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void EmptyFolder(const std::wstring& folder) {
    for (const std::wstring& name : FilesIn(folder))
        ::DeleteFileW((folder + name).c_str());
}

} // namespace testing_support
