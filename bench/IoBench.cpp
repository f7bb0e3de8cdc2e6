// Copies a file through the asynchronous I/O engine with 1, 4 and 16 requests in flight and
// prints the throughput of each next to a figure measured outside (cat), with the ceiling that
// the 10 ms delivery tick puts on it and the process's peak working set.
//
//   bench_io.exe SOURCE OUTPUT_FOLDER [CAT_MIB_PER_S]

#include "BenchClock.h"

#include "app/Globals.h"
#include "app/Settings.h"
#include "io/AsyncFile.h"
#include "io/CompletionDispatcher.h"
#include "io/IoPair.h"
#include "io/IoThread.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// One copy in progress: the IoPairs cycle read, write, next chunk, until the file is through.
struct Copy {
    AsyncFile source;
    AsyncFile destination;
    uint64_t size = 0;
    uint64_t next = 0; // position of the next chunk to hand out
    uint64_t done = 0; // bytes written
    uint32_t sector = 512;
    int inFlight = 0;
    DWORD error = 0;
    const char* failedStep = nullptr;
};

Copy* gCopy = nullptr;

uint32_t RoundUp(uint32_t n, uint32_t sector) {
    return (n + sector - 1) / sector * sector;
}

void Fail(IoPair* pair, DWORD error, const char* step) {
    if (!gCopy->error) {
        gCopy->error = error;
        gCopy->failedStep = step;
    }
    ReleaseIoPair(pair);
    --gCopy->inFlight;
}

void OnRead(IoRequest* request);

void IssueNext(IoPair* pair) {
    Copy& copy = *gCopy;
    if (copy.error || copy.next >= copy.size) {
        ReleaseIoPair(pair);
        --copy.inFlight;
        return;
    }
    uint64_t left = copy.size - copy.next;
    pair->chunk = left < pair->size ? static_cast<uint32_t>(left) : pair->size;
    pair->writeOffset = copy.next;
    pair->SetPosition(copy.next);
    pair->error = 0;
    pair->transferred = 0;
    pair->onComplete = OnRead;
    copy.next += pair->chunk;
    if (!copy.source.Read(pair->data, RoundUp(pair->chunk, copy.sector), pair))
        Fail(pair, ::GetLastError(), "Read");
}

void OnWrite(IoRequest* request) {
    auto* pair = static_cast<IoPair*>(request);
    if (pair->error)
        return Fail(pair, pair->error, "OnWrite");
    gCopy->done += pair->chunk;
    IssueNext(pair);
}

void OnRead(IoRequest* request) {
    auto* pair = static_cast<IoPair*>(request);
    if (pair->error)
        return Fail(pair, pair->error, "OnRead");
    pair->SetPosition(pair->writeOffset);
    pair->onComplete = OnWrite;
    if (!gCopy->destination.Write(pair->data, RoundUp(pair->transferred, gCopy->sector), pair))
        Fail(pair, ::GetLastError(), "Write");
}

uint32_t SectorSizeOf(const wchar_t* path) {
    wchar_t root[MAX_PATH + 1];
    DWORD perCluster, bytes, freeClusters, clusters;
    if (::GetVolumePathNameW(path, root, MAX_PATH + 1) &&
        ::GetDiskFreeSpaceW(root, &perCluster, &bytes, &freeClusters, &clusters))
        return bytes;
    return 0;
}

// Copies source to output with `pairs` IoPairs in flight; returns the seconds taken, or -1.
double RunCopy(const std::wstring& source, const std::wstring& output, int pairs) {
    Copy copy;
    gCopy = &copy;
    copy.sector = SectorSizeOf(source.c_str());
    if (copy.sector == 0)
        copy.sector = 512;
    DWORD unbuffered = FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING;
    if (!copy.source.Open(source.c_str(), GENERIC_READ, OPEN_EXISTING, unbuffered) ||
        !copy.destination.Open(output.c_str(), GENERIC_WRITE, CREATE_ALWAYS, unbuffered)) {
        fprintf(stderr, "open failed: error %lu\n", ::GetLastError());
        return -1;
    }
    copy.size = copy.source.GetSize();

    double start = bench::Now();
    for (int i = 0; i < pairs; ++i) {
        IoPair* pair = CreateIoPair();
        if (!pair) {
            fprintf(stderr, "CreateIoPair failed: error %lu\n", ::GetLastError());
            break;
        }
        ++copy.inFlight;
        IssueNext(pair);
    }
    MSG msg;
    while (copy.inFlight > 0 && ::GetMessageW(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&msg);
    double seconds = bench::Now() - start;

    copy.source.Close();
    copy.destination.Close();
    gCopy = nullptr;
    if (copy.error) {
        fprintf(stderr, "%s failed: error %lu\n", copy.failedStep, copy.error);
        return -1;
    }
    // The last write went out in whole sectors: cut the copy to the exact size.
    AsyncFile cut;
    if (!cut.Open(output.c_str(), GENERIC_WRITE, OPEN_EXISTING, 0) || !cut.SetSize(copy.size)) {
        fprintf(stderr, "cutting the copy failed: error %lu\n", ::GetLastError());
        return -1;
    }
    return copy.done == copy.size ? seconds : -1;
}

SIZE_T PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return counters.PeakWorkingSetSize;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: bench_io SOURCE OUTPUT_FOLDER [CAT_MIB_PER_S]\n");
        return 2;
    }
    std::wstring source = argv[1];
    std::wstring folder = argv[2];
    double catRate = argc > 3 ? wcstod(argv[3], nullptr) : 0;

    // What the process holds before any buffer exists, to set the peaks against.
    const double baseMiB = PeakWorkingSet() / kMiB;
    gSettings.Open();
    const uint32_t bufferSize = gSettings.ReadBufferSize();
    if (!gDispatcher.Start() || !gIoThread.Start()) {
        fprintf(stderr, "the engine did not start: error %lu\n", ::GetLastError());
        return 1;
    }

    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!::GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &info)) {
        fprintf(stderr, "no source file: error %lu\n", ::GetLastError());
        return 1;
    }
    const double sizeMiB =
        ((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) / kMiB;
    const double bufferMiB = bufferSize / kMiB;
    // One buffer per IoPair per two deliveries (read, then write), a delivery every 10 ms.
    const double ticksPerSecond = 1000.0 / CompletionDispatcher::kTimerPeriod;

    printf("file %.0f MiB, buffer %.2f MiB, unbuffered overlapped I/O\n", sizeMiB, bufferMiB);
    if (catRate > 0)
        printf("cat copy: %.1f MiB/s\n", catRate);
    printf("peak working set before the copies: %.1f MiB\n", baseMiB);
    printf("%8s %10s %10s %12s %10s %10s %14s\n", "in flight", "seconds", "MiB/s", "ceiling",
           "of ceil.", "vs cat", "peak WS MiB");
    int status = 0;
    const int counts[] = {1, 4, 16};
    for (int pairs : counts) {
        std::wstring output = folder + L"\\copy-" + std::to_wstring(pairs) + L".bin";
        double seconds = RunCopy(source, output, pairs);
        if (seconds < 0) {
            printf("%8d copy failed\n", pairs);
            status = 1;
            continue;
        }
        double rate = sizeMiB / seconds;
        double ceiling = pairs * bufferMiB * ticksPerSecond / 2;
        char versusCat[32] = "-";
        if (catRate > 0)
            snprintf(versusCat, sizeof versusCat, "%.3f", rate / catRate);
        printf("%8d %10.2f %10.1f %12.1f %9.0f%% %10s %14.1f\n", pairs, seconds, rate, ceiling,
               100 * rate / ceiling, versusCat, PeakWorkingSet() / kMiB);
        fflush(stdout);
        // The last copy stays for the caller to compare.
        if (pairs != counts[2])
            ::DeleteFileW(output.c_str());
    }

    gDispatcher.Stop();
    gIoThread.Stop();
    gSettings.Close();
    return status;
}
