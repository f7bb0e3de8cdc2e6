#include "ops/PartSources.h"

#include "ops/Volume.h"

bool PartSources::Begin(const wchar_t* wholePath, const wchar_t* wholeName) {
    const uint32_t length = static_cast<uint32_t>(::lstrlenW(wholePath));
    uint32_t end = length;
    while (end > 0 && wholePath[end - 1] != L'\\')
        --end;
    // A root keeps its backslash ("D:\"); any other folder is named without one.
    const bool root = end >= 2 && wholePath[end - 2] == L':';
    WideString beside;
    beside.Assign(wholePath, end > 0 && !root ? end - 1 : end);
    name.Assign(wholeName, static_cast<uint32_t>(::lstrlenW(wholeName)));
    folders.Clear();
    if (!beside.Buffer() || !name.Buffer() || !folders.Append(static_cast<WideString&&>(beside)))
        return false;
    Restart();
    return folder.Buffer() != nullptr;
}

void PartSources::Restart() {
    expected = 0;
    highestSeen = 0;
    runStart = 0;
    folder.Assign(folders[0].Text(), folders[0].Length());
}

bool PartSources::TakeFolder(const WideString& named, bool& added) {
    added = true;
    for (const WideString& known : folders)
        added = added && ::lstrcmpiW(known.Text(), named.Text()) != 0;
    folder.Assign(named.Text(), named.Length());
    if (!folder.Buffer())
        return false;
    if (!added)
        return true;
    WideString copy;
    copy.Assign(named.Text(), named.Length());
    return copy.Buffer() && folders.Append(static_cast<WideString&&>(copy));
}

void PartSources::TakeRebuilt(const DynArray<uint32_t>& numbers, const WideString& rebuiltWhole) {
    rebuilt = &numbers;
    rebuiltPath = &rebuiltWhole;
}

bool PartSources::WholeIn(const WideString& in, WideString& wholePath) const {
    return PathInFolder(in.Text(), name.Text(), wholePath);
}

bool PartSources::Locate(uint32_t number, WideString& partPath) const {
    WideString wholePath;
    for (const WideString& known : folders) {
        if (!WholeIn(known, wholePath) || !PartPath(wholePath.Text(), number, partPath))
            continue;
        const DWORD attributes = ::GetFileAttributesW(partPath.Text());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
    }
    return WholeIn(folders[0], wholePath) && PartPath(wholePath.Text(), number, partPath);
}

bool PartSources::FindInFolders(uint32_t first, uint32_t last, uint64_t offset, uint32_t sectorSize,
                                PartVisitor visit, void* context, FoundParts& run) {
    run = FoundParts();
    WideString wholePath;
    for (const WideString& known : folders) {
        // A folder that is not there (a drive without its disc) holds no parts.
        if (!WholeIn(known, wholePath)) {
            if (::GetLastError() == ERROR_NOT_ENOUGH_MEMORY)
                return false;
            continue;
        }
        if (!FindParts(wholePath.Text(), sectorSize, visit, context, run, first, offset, last))
            return false;
        if (run.count == 0)
            continue;
        PartNames names;
        if (ScanPartNames(wholePath.Text(), names) && names.highestFile > highestSeen)
            highestSeen = names.highestFile;
        folder.Assign(known.Text(), known.Length());
        return folder.Buffer() != nullptr;
    }
    return true;
}

bool PartSources::Find(uint32_t first, uint64_t offset, uint32_t& sectorSize, PartVisitor visit,
                       void* context, FoundParts& found) {
    found = FoundParts();
    // Transfers suit the sectors of every drive the parts may come from.
    for (int32_t k = 1; sectorSize != 0 && k < folders.Count(); ++k) {
        const uint32_t folderSector = QuerySectorSize(folders[k].Text());
        sectorSize = folderSector > sectorSize ? folderSector : sectorSize;
    }
    int32_t k = 0;
    while (rebuilt && k < rebuilt->Count() && (*rebuilt)[k] < first)
        ++k;
    for (uint32_t number = first;;) {
        const bool rebuiltNext = rebuilt && k < rebuilt->Count();
        FoundParts run;
        bool searched = true;
        if (rebuiltNext && (*rebuilt)[k] == number) {
            searched = FindParts(rebuiltPath->Text(), sectorSize, visit, context, run, number,
                                 offset + found.totalSize, number);
            ++k;
        } else {
            searched = FindInFolders(number, rebuiltNext ? (*rebuilt)[k] - 1 : UINT32_MAX,
                                     offset + found.totalSize, sectorSize, visit, context, run);
        }
        found.Add(run);
        if (!searched)
            return false;
        if (run.count == 0)
            break;
        number += run.count;
    }
    if (found.count != 0)
        runStart = static_cast<int32_t>(first) - 1;
    return true;
}
