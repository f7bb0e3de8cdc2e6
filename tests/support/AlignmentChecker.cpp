#include "support/AlignmentChecker.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace testing_support {

uint32_t SectorSizeOf(const std::wstring& path) {
    wchar_t root[MAX_PATH + 1];
    if (!::GetVolumePathNameW(path.c_str(), root, MAX_PATH + 1))
        return 0;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!::GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return 0;
    return bytesPerSector;
}

AlignmentChecker::AlignmentChecker() : previous(gIoObserver) {
    gIoObserver = this;
}

AlignmentChecker::~AlignmentChecker() {
    gIoObserver = previous;
}

void AlignmentChecker::OnOpen(const wchar_t* name, DWORD, DWORD, DWORD flags, HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE)
        return;
    // A reused handle value starts afresh.
    unbuffered.erase(handle);
    if (!(flags & FILE_FLAG_NO_BUFFERING))
        return;
    ++unbufferedOpens;
    uint32_t sectorSize = SectorSizeOf(name);
    if (sectorSize == 0) {
        ADD_FAILURE() << "no sector size for the unbuffered file " << Narrow(name) << " (error "
                      << ::GetLastError() << ")";
        return;
    }
    unbuffered[handle] = Unbuffered{name, sectorSize};
}

void AlignmentChecker::OnClose(HANDLE handle) {
    unbuffered.erase(handle);
}

void AlignmentChecker::OnTransfer(HANDLE handle, uint64_t position, const void* buffer,
                                  uint32_t length, bool write) {
    ++transfers;
    auto found = unbuffered.find(handle);
    if (found == unbuffered.end())
        return;
    ++checked;
    const uint32_t sector = found->second.sectorSize;
    const uintptr_t address = reinterpret_cast<uintptr_t>(buffer);
    if (position % sector != 0 || length % sector != 0 || address % sector != 0) {
        ADD_FAILURE() << "misaligned unbuffered " << (write ? "write" : "read") << " on "
                      << Narrow(found->second.name) << ": position " << position << ", length "
                      << length << ", buffer 0x" << std::hex << address << std::dec
                      << ", sector size " << sector;
    }
}

} // namespace testing_support
