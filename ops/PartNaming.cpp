#include "ops/PartNaming.h"

#include "toolkit/Handle.h"

#include <cwchar>

bool FileNameOf(const wchar_t* path, WideString& name) {
    uint32_t length = static_cast<uint32_t>(::lstrlenW(path));
    uint32_t start = length;
    for (uint32_t i = length; i-- > 1;) {
        if (path[i] == L'\\') {
            start = i + 1;
            break;
        }
    }
    name.Assign(path + start, length - start);
    return name.Buffer() != nullptr;
}

bool FullPathOf(const wchar_t* path, WideString& fullPath) {
    const DWORD needed = ::GetFullPathNameW(path, 0, nullptr, nullptr);
    if (needed == 0)
        return false;
    wchar_t* buffer = fullPath.Reserve(needed);
    if (!buffer)
        return false;
    const DWORD length = ::GetFullPathNameW(path, needed, buffer, nullptr);
    if (length == 0 || length >= needed) {
        if (length != 0)
            ::SetLastError(ERROR_BUFFER_OVERFLOW); // the current folder changed meanwhile
        fullPath.Assign(L"", 0);
        return false;
    }
    fullPath.Assign(buffer, length);
    return true;
}

bool PartPath(const wchar_t* wholePath, uint32_t number, WideString& partPath) {
    partPath.Format(L"%s.%03u", wholePath, number);
    return partPath.Buffer() != nullptr;
}

bool PathInFolder(const wchar_t* folder, const wchar_t* name, WideString& path) {
    WideString full;
    if (!FullPathOf(folder, full))
        return false;
    const DWORD attributes = ::GetFileAttributesW(full.Text());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::SetLastError(ERROR_DIRECTORY);
        return false;
    }
    // A root keeps its backslash ("D:\"), any other folder is given one.
    const bool closed = full.Length() != 0 && full.Text()[full.Length() - 1] == L'\\';
    path.Format(closed ? L"%s%s" : L"%s\\%s", full.Text(), name);
    return path.Buffer() != nullptr;
}

uint32_t PartNumberOf(const wchar_t* name, const wchar_t* wholeName) {
    const size_t wholeLength = wcslen(wholeName);
    const size_t length = wcslen(name);
    if (length < wholeLength + 4 || name[wholeLength] != L'.' ||
        ::CompareStringOrdinal(name, static_cast<int>(wholeLength), wholeName,
                               static_cast<int>(wholeLength), TRUE) != CSTR_EQUAL)
        return 0;
    const wchar_t* digits = name + wholeLength + 1;
    const size_t count = length - wholeLength - 1;
    if (count > 10)
        return 0;
    uint64_t number = 0;
    for (size_t i = 0; i < count; ++i) {
        if (digits[i] < L'0' || digits[i] > L'9')
            return 0;
        number = number * 10 + static_cast<uint64_t>(digits[i] - L'0');
    }
    if (number == 0 || number > 0xFFFFFFFFu)
        return 0;
    // Exactly the way parts are named: at least three digits, no further leading zeros.
    wchar_t again[16];
    swprintf(again, 16, L"%03u", static_cast<unsigned>(number));
    return wcscmp(again, digits) == 0 ? static_cast<uint32_t>(number) : 0;
}

uint64_t SplitPartCount(uint64_t totalSize, uint64_t partSize) {
    // Rounded up without adding first, which could wrap for sizes near 2^64.
    return totalSize / partSize + (totalSize % partSize != 0 ? 1 : 0);
}

PartExtent SplitPart(uint64_t number, uint64_t totalSize, uint64_t partSize) {
    PartExtent part;
    part.offset = (number - 1) * partSize;
    uint64_t rest = part.offset < totalSize ? totalSize - part.offset : 0;
    part.size = rest < partSize ? rest : partSize;
    return part;
}

bool UnfinishedPath(const wchar_t* wholePath, WideString& path) {
    path.Format(L"%s.partial", wholePath);
    return path.Length() != 0;
}

bool JoinOutputPath(const wchar_t* partPath, WideString& wholePath) {
    uint32_t length = static_cast<uint32_t>(::lstrlenW(partPath));
    uint32_t end = length;
    // The extension is looked for in the file name only: a dot in a folder name is not one
    // (D:\data.old\readme stays whole).
    for (uint32_t i = length; i-- > 1;) {
        if (partPath[i] == L'\\')
            break;
        if (partPath[i] == L'.') {
            end = i;
            break;
        }
    }
    wholePath.Assign(partPath, end);
    return wholePath.Buffer() != nullptr;
}

bool FindParts(const wchar_t* wholePath, uint32_t sectorSize, PartVisitor visit, void* context,
               FoundParts& found, uint32_t first, uint64_t offset, uint32_t last) {
    found = FoundParts();
    WideString path;
    for (uint32_t number = first; number <= last && number != 0; ++number) {
        if (!PartPath(wholePath, number, path))
            return false;
        WIN32_FIND_DATAW data;
        FindHandle search(::FindFirstFileW(path.Text(), &data));
        if (!search.IsSet() || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
        search.Close();
        uint64_t size = 0;
        if (!MeasurePart(path.Text(), data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow,
                         size)) {
            found.unmeasured = number;
            return false;
        }
        // Without a sector size nothing can be called aligned.
        const uint64_t at = offset + found.totalSize;
        if (found.aligned && (sectorSize == 0 || at % sectorSize != 0))
            found.aligned = false;
        if (!visit(context, path, at, size))
            return false;
        found.totalSize += size;
        found.count = number - first + 1;
    }
    return true;
}

bool MeasurePart(const wchar_t* partPath, DWORD attributes, DWORD sizeHigh, DWORD sizeLow,
                 uint64_t& size) {
    size = 0;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
        return true;
    }
    FileHandle file(::CreateFileW(partPath, FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER measured;
    if (!file.IsSet() || !::GetFileSizeEx(file.Get(), &measured))
        return false;
    size = static_cast<uint64_t>(measured.QuadPart);
    return true;
}

bool ScanPartNames(const wchar_t* wholePath, PartNames& names) {
    names = PartNames();
    WideString wholeName;
    WideString pattern;
    if (!FileNameOf(wholePath, wholeName))
        return false;
    pattern.Format(L"%s.*", wholePath);
    if (!pattern.Buffer())
        return false;
    WIN32_FIND_DATAW data;
    FindHandle search(::FindFirstFileW(pattern.Text(), &data));
    if (!search.IsSet()) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
    }
    do {
        const uint32_t number = PartNumberOf(data.cFileName, wholeName.Text());
        if (number == 0)
            continue;
        if (names.lowest == 0 || number < names.lowest)
            names.lowest = number;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && number > names.highestFile)
            names.highestFile = number;
    } while (::FindNextFileW(search.Get(), &data));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

uint64_t PartSizeForCount(uint64_t totalSize, uint32_t count, uint32_t sectorSize) {
    if (count == 0 || totalSize < count)
        return 0;
    const uint64_t even = (totalSize + count - 1) / count;
    if (sectorSize != 0) {
        const uint64_t whole = (even + sectorSize - 1) / sectorSize * sectorSize;
        if (whole * (count - 1) < totalSize)
            return whole;
    }
    return even * (count - 1) < totalSize ? even : 0;
}
