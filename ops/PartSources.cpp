#include "ops/PartSources.h"

#include "toolkit/Handle.h"

bool PartSources::Begin(const wchar_t* wholePath, const wchar_t* wholeName) {
    expected = 0;
    runStart = 0;
    const uint32_t length = static_cast<uint32_t>(::lstrlenW(wholePath));
    uint32_t end = length;
    while (end > 0 && wholePath[end - 1] != L'\\')
        --end;
    // A root keeps its backslash ("D:\"); any other folder is named without one.
    const bool root = end >= 2 && wholePath[end - 2] == L':';
    folder.Assign(wholePath, end > 0 && !root ? end - 1 : end);
    name.Assign(wholeName, static_cast<uint32_t>(::lstrlenW(wholeName)));
    return folder.Buffer() != nullptr && name.Buffer() != nullptr;
}

bool PartSources::TakeFolder(const WideString& named) {
    folder.Assign(named.Text(), named.Length());
    return folder.Buffer() != nullptr;
}

bool PartSources::FindRun(uint32_t first, uint64_t offset, uint32_t sectorSize, PartVisitor visit,
                          void* context, FoundParts& found) {
    found = FoundParts();
    WideString wholePath;
    WideString partPath;
    // A folder that is not there (a drive without its disc) holds no parts.
    if (!PathInFolder(folder.Text(), name.Text(), wholePath))
        return ::GetLastError() != ERROR_NOT_ENOUGH_MEMORY;
    PartNames names;
    if (ScanPartNames(wholePath.Text(), names))
        Expect(names.highestFile);
    for (uint32_t number = first;; ++number) {
        if (!PartPath(wholePath.Text(), number, partPath))
            return false;
        WIN32_FIND_DATAW data;
        FindHandle search(::FindFirstFileW(partPath.Text(), &data));
        if (!search.IsSet() || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
        search.Close();
        uint64_t size = 0;
        if (!MeasurePart(partPath.Text(), data.dwFileAttributes, data.nFileSizeHigh,
                         data.nFileSizeLow, size)) {
            found.unmeasured = number;
            return false;
        }
        const uint64_t at = offset + found.totalSize;
        found.aligned = found.aligned && sectorSize != 0 && at % sectorSize == 0;
        if (!visit(context, partPath, at, size))
            return false;
        found.totalSize += size;
        found.count = number - first + 1;
        runStart = static_cast<int32_t>(first) - 1;
    }
}
