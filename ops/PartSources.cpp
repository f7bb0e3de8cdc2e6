#include "ops/PartSources.h"

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
    // A folder that is not there (a drive without its disc) holds no parts.
    if (!PathInFolder(folder.Text(), name.Text(), wholePath))
        return ::GetLastError() != ERROR_NOT_ENOUGH_MEMORY;
    PartNames names;
    if (ScanPartNames(wholePath.Text(), names))
        Expect(names.highestFile);
    if (!FindParts(wholePath.Text(), sectorSize, visit, context, found, first, offset))
        return false;
    if (found.count != 0)
        runStart = static_cast<int32_t>(first) - 1;
    return true;
}
