// Splits a file into parts and joins them back with the program's own operations, under the
// settings of the prefix it runs in, and prints the throughput of each and the process's peak
// working set.
//
//   bench_split_join.exe SOURCE PART_SIZE PAIRS[xBUFFER] [join [ROUNDS]]
//
// PART_SIZE is in MiB, or in KiB with a K after the number (4K), or in bytes with a B (512B).
// PAIRS is the IoPairCount; BUFFER the BufferSize, written the same way (16x4M is 16 pairs of
// 4 MiB buffers; without it the prefix's setting holds).
//
// Besides the whole run, each line gives the steady state: the rate between the moment every
// buffer has carried one chunk (and at least 30 % is done) and 90 %, when the one-time costs of
// the start (fresh buffers, first opens) are behind. "start" is the time the call that starts the
// transfer took: it creates the buffers. The shares say how busy the I/O thread (every ReadFile
// and WriteFile) and the user-interface thread were over the whole run.
//
// The parts land beside SOURCE; SOURCE is then moved to SOURCE.orig and the parts are joined
// back into SOURCE, so that the caller can compare the two.
//
// With join, the parts SOURCE.001, SOURCE.002, ... are already there (made by the caller) and
// SOURCE is not: only the join is run and measured, ROUNDS times (1 unless given, SOURCE deleted
// between rounds, a line for each), and PART_SIZE is not used. This measures a join of many parts
// without creating them under Wine, where every new name costs a read of the whole folder.

#include "BenchSupport.h"

#include "app/Globals.h"
#include "app/Settings.h"
#include "app/WideString.h"
#include "io/CompletionDispatcher.h"
#include "io/IoThread.h"
#include "ops/JoinOperation.h"
#include "ops/OperationDisplay.h"
#include "ops/SplitOperation.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

using bench::Now;
using bench::QuietDisplay;
using bench::RunWhileBusy;
using bench::Wide;
using bench::WriteSetting;

constexpr double kMiB = 1024.0 * 1024.0;

SIZE_T PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return counters.PeakWorkingSetSize;
}

uint64_t SizeArgument(const wchar_t* text) {
    wchar_t* unit = nullptr;
    const uint64_t number = _wcstoui64(text, &unit, 10);
    if (*unit == L'B' || *unit == L'b')
        return number;
    if (*unit == L'K' || *unit == L'k')
        return number * 1024;
    return number * 1024 * 1024;
}

struct Measured {
    bool done = false;
    double seconds = 0;
    double startSeconds = 0;
    double steadyRate = 0;
    double ioThreadShare = 0;
    double uiThreadShare = 0;
    uint64_t total = 0;
    int32_t parts = 0;
};

// Seconds the thread has run, in user and kernel mode together.
double CpuSeconds(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user))
        return 0;
    auto value = [](FILETIME time) {
        return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

// Runs the message loop until the operation ends, and notes when the done size crosses the
// bounds of the steady state.
void RunToEnd(const Operation& operation, uint64_t inFlight, Measured& result, double begin) {
    const uint64_t total = operation.TotalSize();
    uint64_t low = total * 3 / 10;
    if (low < inFlight)
        low = inFlight;
    const uint64_t high = total * 9 / 10;
    double lowTime = 0, highTime = 0;
    uint64_t lowDone = 0, highDone = 0;
    const double ioBefore = CpuSeconds(gIoThread.Thread());
    const double uiBefore = CpuSeconds(::GetCurrentThread());
    RunWhileBusy(operation, [&](double, const MSG&) {
        const uint64_t done = operation.DoneSize();
        if (lowTime == 0 && done >= low && low < high) {
            lowTime = Now();
            lowDone = done;
        }
        if (highTime == 0 && done >= high && lowTime != 0 && done > lowDone) {
            highTime = Now();
            highDone = done;
        }
    });
    const double end = Now();
    result.seconds = end - begin;
    if (highTime > lowTime)
        result.steadyRate = (highDone - lowDone) / kMiB / (highTime - lowTime);
    result.ioThreadShare = (CpuSeconds(gIoThread.Thread()) - ioBefore) / result.seconds;
    result.uiThreadShare = (CpuSeconds(::GetCurrentThread()) - uiBefore) / result.seconds;
}

Measured RunSplit(const std::wstring& source, uint64_t partSize, uint64_t inFlight) {
    Measured result;
    QuietDisplay shown;
    shown.partSize = partSize;
    SplitOperation split(shown);
    split.Start(Wide(source));
    const double begin = Now();
    split.OnCommand(1000);
    result.startSeconds = Now() - begin;
    RunToEnd(split, inFlight, result, begin);
    result.total = split.TotalSize();
    result.parts = split.PartCount();
    result.done = split.State() == OperationState::Done;
    if (!result.done)
        fwprintf(stderr, L"split failed: %ls\n", shown.last.c_str());
    split.Abort();
    return result;
}

// Joins SOURCE.001, SOURCE.002, ... into SOURCE; the time runs from the search for the parts
// to the end, as a join started from the shell would.
Measured RunJoin(const std::wstring& source, uint64_t inFlight) {
    Measured result;
    QuietDisplay shown;
    JoinOperation join(shown);
    const double begin = Now();
    join.Start(Wide(source + L".001"));
    result.startSeconds = Now() - begin;
    RunToEnd(join, inFlight, result, begin);
    result.total = join.TotalSize();
    result.parts = join.PartCount();
    result.done = join.State() == OperationState::Done;
    if (!result.done)
        fwprintf(stderr, L"join failed: %ls\n", shown.last.c_str());
    join.Abort();
    return result;
}

void PrintLine(const wchar_t* what, const Measured& measured, double peakMiB) {
    const double mib = measured.total / kMiB;
    wprintf(L"%-5ls %.0f MiB: %.2f s, %.1f MiB/s, steady %.1f MiB/s, start %.3f s, peak working "
            L"set %.1f MiB, %d parts, I/O thread %.0f %%, UI thread %.0f %%\n",
            what, mib, measured.seconds, mib / measured.seconds, measured.steadyRate,
            measured.startSeconds, peakMiB, measured.parts, 100 * measured.ioThreadShare,
            100 * measured.uiThreadShare);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool joinOnly = argc >= 5 && wcscmp(argv[4], L"join") == 0;
    const int joinRounds = argc >= 6 ? _wtoi(argv[5]) : 1;
    if (argc < 4 || (argc >= 5 && !joinOnly) || joinRounds < 1) {
        fwprintf(stderr, L"usage: bench_split_join SOURCE PART_SIZE[K|B] PAIRS[xBUFFER[K|M]] "
                         L"[join [ROUNDS]]\n");
        return 2;
    }
    const std::wstring source = argv[1];
    const uint64_t partSize = SizeArgument(argv[2]);
    wchar_t* rest = nullptr;
    const DWORD pairs = wcstoul(argv[3], &rest, 10);
    WriteSetting(L"IoPairCount", pairs);
    // The pipeline alone: the SHA-256 list has a benchmark of its own (bench_checksums).
    WriteSetting(L"WriteChecksums", 0);
    if (*rest == L'x')
        WriteSetting(L"BufferSize", static_cast<DWORD>(SizeArgument(rest + 1)));

    gSettings.Open();
    if (!gDispatcher.Start() || !gIoThread.Start()) {
        fwprintf(stderr, L"cannot start the engine: %lu\n", ::GetLastError());
        return 1;
    }
    const uint32_t bufferSize = gSettings.ReadBufferSize();
    const uint64_t inFlight =
        static_cast<uint64_t>(PairsInFlight(gSettings.ReadIoPairCount(), bufferSize)) * bufferSize;

    Measured split;
    double splitPeak = 0;
    if (!joinOnly) {
        split = RunSplit(source, partSize, inFlight);
        if (!split.done)
            return 1;
        splitPeak = PeakWorkingSet() / kMiB;
        const std::wstring original = source + L".orig";
        ::MoveFileW(source.c_str(), original.c_str());
    }
    Measured join = RunJoin(source, inFlight);
    if (!join.done)
        return 1;
    for (int round = 1; joinOnly && round < joinRounds; ++round) {
        PrintLine(L"join", join, PeakWorkingSet() / kMiB);
        ::DeleteFileW(source.c_str());
        join = RunJoin(source, inFlight);
        if (!join.done)
            return 1;
    }

    gDispatcher.Stop();
    gIoThread.Stop();
    gSettings.Close();
    if (!joinOnly)
        PrintLine(L"split", split, splitPeak);
    PrintLine(L"join", join, PeakWorkingSet() / kMiB);
    return 0;
}
