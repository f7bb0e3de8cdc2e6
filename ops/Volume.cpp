#include "ops/Volume.h"

#include "app/ByteSize.h"
#include "toolkit/Handle.h"

bool VolumeRootOf(const wchar_t* path, WideString& root) {
    if (!path || !path[0]) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // The root is never longer than the path and its closing backslash, except for a relative
    // path, whose root is that of the current folder.
    const uint32_t length = static_cast<uint32_t>(::lstrlenW(path));
    const uint32_t capacity = (length > MAX_PATH ? length : MAX_PATH) + 2;
    wchar_t* buffer = root.Reserve(capacity);
    if (!buffer)
        return false;
    if (!::GetVolumePathNameW(path, buffer, capacity)) {
        root.Assign(L"", 0);
        return false;
    }
    return true;
}

bool OnOneVolume(const wchar_t* path, const wchar_t* otherPath) {
    WideString root;
    WideString otherRoot;
    return VolumeRootOf(path, root) && VolumeRootOf(otherPath, otherRoot) &&
           ::CompareStringOrdinal(root.Text(), -1, otherRoot.Text(), -1, TRUE) == CSTR_EQUAL;
}

namespace {

// Sectors and clusters of a volume root, as GetDiskFreeSpaceW gives them for roots only.
bool QueryGeometry(const wchar_t* root, DWORD& bytesPerSector, DWORD& sectorsPerCluster) {
    bytesPerSector = 0;
    sectorsPerCluster = 0;
    if (!::GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, nullptr, nullptr))
        return false;
    if (bytesPerSector == 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

} // namespace

uint32_t QuerySectorSize(const wchar_t* path) {
    WideString root;
    DWORD bytesPerSector = 0;
    DWORD sectorsPerCluster = 0;
    if (!VolumeRootOf(path, root) || !QueryGeometry(root.Text(), bytesPerSector, sectorsPerCluster))
        return 0;
    return bytesPerSector;
}

bool QueryVolumeRoom(const wchar_t* filePath, VolumeRoom& room) {
    room = VolumeRoom();
    WideString folder;
    folder.Assign(filePath, static_cast<uint32_t>(::lstrlenW(filePath)));
    if (!folder.Buffer())
        return false;
    // A bare file name lives in the current folder, which a null folder names.
    const wchar_t* asked = folder.CutAfterLastBackslash() ? folder.Text() : nullptr;
    ULARGE_INTEGER available;
    if (!::GetDiskFreeSpaceExW(asked, &available, nullptr, nullptr))
        return false;
    room.available = available.QuadPart;
    WideString root;
    DWORD bytesPerSector = 0;
    DWORD sectorsPerCluster = 0;
    if (asked && VolumeRootOf(asked, root) &&
        QueryGeometry(root.Text(), bytesPerSector, sectorsPerCluster)) {
        const uint64_t unit = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
        room.allocationUnit = unit <= UINT32_MAX ? static_cast<uint32_t>(unit) : 0;
    }
    return true;
}

uint64_t LargestFileFor(const wchar_t* fileSystem) {
    if (::lstrcmpiW(fileSystem, L"FAT") == 0 || ::lstrcmpiW(fileSystem, L"FAT32") == 0)
        return UINT32_MAX;
    return UINT64_MAX;
}

uint64_t LargestFileOn(const wchar_t* path, WideString& fileSystem) {
    fileSystem.Assign(L"", 0);
    WideString root;
    if (!VolumeRootOf(path, root))
        return UINT64_MAX;
    // Asked through a handle on the root folder: by its name, the volume's label and serial
    // number would be read as well, which a plain user may not do on every device.
    FileHandle folder(::CreateFileW(root.Text(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    wchar_t name[MAX_PATH + 1] = {};
    if (!folder.IsSet() || !::GetVolumeInformationByHandleW(folder.Get(), nullptr, 0, nullptr,
                                                            nullptr, nullptr, name, MAX_PATH + 1))
        return UINT64_MAX;
    fileSystem.Assign(name, static_cast<uint32_t>(::lstrlenW(name)));
    return LargestFileFor(name);
}

uint64_t SpaceTaken(uint64_t size, uint32_t unit) {
    if (unit == 0)
        return size;
    uint64_t rest = size % unit;
    return rest == 0 ? size : size + (unit - rest);
}

uint64_t SplitSpaceNeeded(uint64_t totalSize, uint64_t partSize, uint32_t unit) {
    uint64_t fullParts = totalSize / partSize;
    return fullParts * SpaceTaken(partSize, unit) + SpaceTaken(totalSize % partSize, unit);
}

void FormatShortfall(uint64_t needed, uint64_t available, WideString& neededText,
                     WideString& availableText) {
    FormatByteSize(needed, neededText);
    FormatByteSize(available, availableText);
    if (::lstrcmpW(neededText.Text(), availableText.Text()) != 0)
        return;
    neededText.Format(L"%llu %s", needed, kSizeUnitNames[kSizeUnitByte]);
    availableText.Format(L"%llu %s", available, kSizeUnitNames[kSizeUnitByte]);
}

DWORD FolderRefusal(const wchar_t* probeName) {
    // A file or folder of that name already there would refuse the probe whatever the folder.
    if (::GetFileAttributesW(probeName) != INVALID_FILE_ATTRIBUTES)
        return 0;
    FileHandle probe(::CreateFileW(
        probeName, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (probe.IsSet())
        return 0;
    const DWORD error = ::GetLastError();
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
        return error;
    default:
        return 0;
    }
}
