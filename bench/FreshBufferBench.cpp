// Times what fresh transfer buffers cost before they carry data at full speed: allocates COUNT
// buffers of SIZE bytes in one of several ways, then reads FILE into each of them twice with
// plain ReadFile calls, and prints the seconds of the preparation, of the first reads and of the
// second reads. The second reads show the cost of a buffer already in use; what the first reads
// and the preparation cost beyond that is the one-time cost of fresh memory.
//
//   bench_fresh_buffers.exe FILE COUNT SIZE_MIB WAY
//
// WAY is one of:
//   none     VirtualAlloc only: the first read brings the pages in
//   touch    one write per page right after VirtualAlloc
//   block    one VirtualAlloc for all buffers, then one write per page
//   lock     VirtualLock and VirtualUnlock right after VirtualAlloc
//   large    VirtualAlloc with MEM_LARGE_PAGES (needs a privilege few users hold)
// Run each way in a process of its own: memory freed in one run comes back warm in the next.

#include "BenchClock.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

constexpr SIZE_T kPage = 4096;

void TouchPages(char* data, SIZE_T size) {
    for (SIZE_T offset = 0; offset < size; offset += kPage)
        data[offset] = 0;
}

// Reads the file from its start into every buffer; false when a read fails.
bool ReadInto(HANDLE file, char** buffers, DWORD count, DWORD size) {
    for (DWORD i = 0; i < count; ++i) {
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(i) * size;
        ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
        DWORD got = 0;
        if (!::ReadFile(file, buffers[i], size, &got, nullptr) || got != size)
            return false;
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        fwprintf(stderr,
                 L"usage: bench_fresh_buffers FILE COUNT SIZE_MIB none|touch|block|lock|large\n");
        return 2;
    }
    const DWORD count = wcstoul(argv[2], nullptr, 10);
    const DWORD size = wcstoul(argv[3], nullptr, 10) << 20;
    const wchar_t* way = argv[4];
    HANDLE file =
        ::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE || count == 0 || count > 64 || size == 0) {
        fwprintf(stderr, L"cannot open %ls or bad numbers\n", argv[1]);
        return 2;
    }
    char* buffers[64] = {};

    const double start = bench::Now();
    if (wcscmp(way, L"block") == 0) {
        auto* block = static_cast<char*>(::VirtualAlloc(nullptr, static_cast<SIZE_T>(count) * size,
                                                        MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (!block)
            return 1;
        TouchPages(block, static_cast<SIZE_T>(count) * size);
        for (DWORD i = 0; i < count; ++i)
            buffers[i] = block + static_cast<SIZE_T>(i) * size;
    } else {
        const bool large = wcscmp(way, L"large") == 0;
        for (DWORD i = 0; i < count; ++i) {
            DWORD type = MEM_RESERVE | MEM_COMMIT | (large ? MEM_LARGE_PAGES : 0);
            buffers[i] = static_cast<char*>(::VirtualAlloc(nullptr, size, type, PAGE_READWRITE));
            if (!buffers[i]) {
                wprintf(L"%-6ls VirtualAlloc fails with %lu\n", way, ::GetLastError());
                return 1;
            }
            if (wcscmp(way, L"touch") == 0)
                TouchPages(buffers[i], size);
            if (wcscmp(way, L"lock") == 0 &&
                (!::VirtualLock(buffers[i], size) || !::VirtualUnlock(buffers[i], size))) {
                wprintf(L"%-6ls VirtualLock fails with %lu\n", way, ::GetLastError());
                return 1;
            }
        }
    }
    const double prepared = bench::Now();
    if (!ReadInto(file, buffers, count, size))
        return 1;
    const double firstRead = bench::Now();
    if (!ReadInto(file, buffers, count, size))
        return 1;
    const double secondRead = bench::Now();

    const double pages = static_cast<double>(count) * size / kPage;
    const double oneTime = (firstRead - start) - (secondRead - firstRead);
    wprintf(L"%-6ls %2lu x %3lu MiB: prepare %.3f s, first reads %.3f s, second reads %.3f s, "
            L"one-time cost %.3f s (%.1f us a page)\n",
            way, count, size >> 20, prepared - start, firstRead - prepared, secondRead - firstRead,
            oneTime, oneTime / pages * 1e6);
    ::CloseHandle(file);
    return 0;
}
