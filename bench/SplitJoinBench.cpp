// Splits a file into parts and joins them back with the program's own operations, under the
// settings of the prefix it runs in, and prints the throughput of each and the process's peak
// working set.
//
//   bench_split_join.exe SOURCE PART_SIZE IO_PAIR_COUNT [join [ROUNDS]]
//
// PART_SIZE is in MiB, or in KiB with a K after the number (4K), or in bytes with a B (512B).
//
// The parts land beside SOURCE; SOURCE is then moved to SOURCE.orig and the parts are joined
// back into SOURCE, so that the caller can compare the two.
//
// With join, the parts SOURCE.001, SOURCE.002, ... are already there (made by the caller) and
// SOURCE is not: only the join is run and measured, ROUNDS times (1 unless given, SOURCE deleted
// between rounds, a line for each), and PART_SIZE is not used. This measures a join of many parts
// without creating them under Wine, where every new name costs a read of the whole folder.

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

constexpr double kMiB = 1024.0 * 1024.0;

// The window's part: only the part size and the end matter here.
class QuietDisplay : public OperationDisplay {
public:
    void SetTitle(const wchar_t*) override {}
    void SetTitleProgress(const wchar_t*, float) override {}
    void SetStatusV(const wchar_t*, va_list) override {}
    void SetStatusBar(const wchar_t* text) override { last = text; }
    void SetStatusBarV(const wchar_t*, va_list) override {}
    void SetAction(UINT, UINT) override {}
    uint64_t GetPartSize() override { return partSize; }
    void ShowPartSizePanel(bool) override {}
    void Repaint() override {}
    HWND EndedTarget() const override { return nullptr; }

    uint64_t partSize = 0;
    std::wstring last;
};

SIZE_T PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return counters.PeakWorkingSetSize;
}

void RunToEnd(const Operation& operation) {
    MSG msg;
    while ((operation.State() == Running || operation.State() == Paused) &&
           GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

double Seconds(LARGE_INTEGER start, LARGE_INTEGER end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

WideString Wide(const wchar_t* text) {
    WideString result;
    result.Assign(text, static_cast<uint32_t>(wcslen(text)));
    return result;
}

void SetIoPairCount(DWORD count) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"software\\brindlecot", 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, L"IoPairCount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count),
                       sizeof count);
        RegCloseKey(key);
    }
}

uint64_t PartSizeArgument(const wchar_t* text) {
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
    uint64_t total = 0;
    int32_t parts = 0;
};

Measured RunSplit(const std::wstring& source, uint64_t partSize) {
    Measured result;
    LARGE_INTEGER start, end;
    QuietDisplay shown;
    shown.partSize = partSize;
    SplitOperation split(shown);
    split.Start(Wide(source.c_str()));
    QueryPerformanceCounter(&start);
    split.OnCommand(1000);
    RunToEnd(split);
    QueryPerformanceCounter(&end);
    result.seconds = Seconds(start, end);
    result.total = split.TotalSize();
    result.parts = split.PartCount();
    result.done = split.State() == Done;
    if (!result.done)
        fwprintf(stderr, L"split failed: %ls\n", shown.last.c_str());
    split.Abort();
    return result;
}

// Joins SOURCE.001, SOURCE.002, ... into SOURCE; the time runs from the search for the parts
// to the end, as a join started from the shell would.
Measured RunJoin(const std::wstring& source) {
    Measured result;
    LARGE_INTEGER start, end;
    QuietDisplay shown;
    JoinOperation join(shown);
    QueryPerformanceCounter(&start);
    join.Start(Wide((source + L".001").c_str()));
    RunToEnd(join);
    QueryPerformanceCounter(&end);
    result.seconds = Seconds(start, end);
    result.total = join.TotalSize();
    result.parts = join.PartCount();
    result.done = join.State() == Done;
    if (!result.done)
        fwprintf(stderr, L"join failed: %ls\n", shown.last.c_str());
    join.Abort();
    return result;
}

void PrintLine(const wchar_t* what, const Measured& measured, double peakMiB) {
    const double mib = measured.total / kMiB;
    wprintf(L"%-5ls %.0f MiB: %.2f s, %.1f MiB/s, peak working set %.1f MiB, %d parts\n", what, mib,
            measured.seconds, mib / measured.seconds, peakMiB, measured.parts);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool joinOnly = argc >= 5 && wcscmp(argv[4], L"join") == 0;
    const int joinRounds = argc >= 6 ? _wtoi(argv[5]) : 1;
    if (argc < 4 || (argc >= 5 && !joinOnly) || joinRounds < 1) {
        fwprintf(stderr,
                 L"usage: bench_split_join SOURCE PART_SIZE[K|B] IO_PAIR_COUNT [join [ROUNDS]]\n");
        return 2;
    }
    const std::wstring source = argv[1];
    const uint64_t partSize = PartSizeArgument(argv[2]);
    SetIoPairCount(wcstoul(argv[3], nullptr, 10));

    gSettings.Open();
    if (!gDispatcher.Start() || !gIoThread.Start()) {
        fwprintf(stderr, L"cannot start the engine: %lu\n", GetLastError());
        return 1;
    }

    Measured split;
    double splitPeak = 0;
    if (!joinOnly) {
        split = RunSplit(source, partSize);
        if (!split.done)
            return 1;
        splitPeak = PeakWorkingSet() / kMiB;
        const std::wstring original = source + L".orig";
        MoveFileW(source.c_str(), original.c_str());
    }
    Measured join = RunJoin(source);
    if (!join.done)
        return 1;
    for (int round = 1; joinOnly && round < joinRounds; ++round) {
        PrintLine(L"join", join, PeakWorkingSet() / kMiB);
        DeleteFileW(source.c_str());
        join = RunJoin(source);
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
