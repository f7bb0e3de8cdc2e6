#include "ops/PartNaming.h"

#include "toolkit/Handle.h"

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

uint32_t QuerySectorSize(const wchar_t* path) {
    if (!path || !path[0]) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // A drive letter names its root; a path that starts with two backslashes
    // (\\server\share\..., \\?\C:\...) is asked at its share root, up to the fourth backslash.
    WideString root;
    if (path[0] == L'\\' && path[1] == L'\\') {
        uint32_t length = 2;
        int separators = 2;
        while (path[length] && separators < 4) {
            if (path[length] == L'\\')
                ++separators;
            ++length;
        }
        if (separators < 4) {
            ::SetLastError(ERROR_BAD_PATHNAME);
            return 0;
        }
        root.Assign(path, length);
    } else {
        const wchar_t drive[] = {path[0], L':', L'\\'};
        root.Assign(drive, 3);
    }
    DWORD bytesPerSector = 0;
    // Only the sector size is wanted; a failed query leaves it 0 and the reason in the last error.
    if (::GetDiskFreeSpaceW(root.Text(), nullptr, &bytesPerSector, nullptr, nullptr) &&
        bytesPerSector == 0)
        ::SetLastError(ERROR_INVALID_PARAMETER);
    return bytesPerSector;
}

bool PartPath(const wchar_t* wholePath, uint32_t number, WideString& partPath) {
    partPath.Format(L"%s.%03u", wholePath, number);
    return partPath.Buffer() != nullptr;
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
               FoundParts& found) {
    found = FoundParts();
    WideString path;
    for (uint32_t number = 1;; ++number) {
        if (!PartPath(wholePath, number, path))
            return false;
        WIN32_FIND_DATAW data;
        FindHandle search(::FindFirstFileW(path.Text(), &data));
        if (!search.IsSet())
            return true;
        search.Close();
        // Without a sector size nothing can be called aligned.
        if (found.aligned && (sectorSize == 0 || found.totalSize % sectorSize != 0))
            found.aligned = false;
        uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (!visit(context, path, found.totalSize, size))
            return false;
        found.totalSize += size;
        found.count = number;
    }
}
