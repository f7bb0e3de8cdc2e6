#include "ops/FreeSpace.h"

#include "ui/PartSizeInput.h"

#include <cmath>

namespace {

constexpr int kUnitByte = 0;

// The volume's root (a drive, a share, or a folder where another volume is mounted) for the
// cluster size, which GetDiskFreeSpaceW gives for roots only.
uint32_t QueryAllocationUnit(const wchar_t* folder) {
    WideString root;
    uint32_t capacity = static_cast<uint32_t>(::lstrlenW(folder)) + 2;
    wchar_t* buffer = root.Reserve(capacity);
    if (!buffer || !::GetVolumePathNameW(folder, buffer, capacity))
        return 0;
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    if (!::GetDiskFreeSpaceW(buffer, &sectorsPerCluster, &bytesPerSector, nullptr, nullptr))
        return 0;
    uint64_t unit = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    return unit <= UINT32_MAX ? static_cast<uint32_t>(unit) : 0;
}

} // namespace

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
    if (asked)
        room.allocationUnit = QueryAllocationUnit(asked);
    return true;
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

void FormatByteSize(uint64_t bytes, WideString& text) {
    int unit = kUnitByte;
    uint64_t whole = bytes;
    while (unit < kPartSizeUnitCount - 1 && whole >= 1024) {
        whole /= 1024;
        ++unit;
    }
    if (unit == kUnitByte) {
        text.Format(L"%llu %s", bytes, kPartSizeUnitNames[unit]);
        return;
    }
    double value = static_cast<double>(bytes) / std::ldexp(1.0, 10 * unit);
    if (value < 10.0)
        text.Format(L"%.2f %s", std::floor(value * 100.0) / 100.0, kPartSizeUnitNames[unit]);
    else if (value < 100.0)
        text.Format(L"%.1f %s", std::floor(value * 10.0) / 10.0, kPartSizeUnitNames[unit]);
    else
        text.Format(L"%llu %s", whole, kPartSizeUnitNames[unit]);
}

void FormatShortfall(uint64_t needed, uint64_t available, WideString& neededText,
                     WideString& availableText) {
    FormatByteSize(needed, neededText);
    FormatByteSize(available, availableText);
    if (::lstrcmpW(neededText.Text(), availableText.Text()) != 0)
        return;
    neededText.Format(L"%llu %s", needed, kPartSizeUnitNames[kUnitByte]);
    availableText.Format(L"%llu %s", available, kPartSizeUnitNames[kUnitByte]);
}
