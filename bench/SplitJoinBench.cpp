// Splits a file into parts and joins them back with the program's own operations, under the
// settings of the prefix it runs in, and prints the throughput of each and the process's peak
// working set.
//
//   bench_split_join.exe SOURCE PART_SIZE IO_PAIR_COUNT
//
// PART_SIZE is in MiB, or in KiB with a K after the number (4K), or in bytes with a B (512B).
//
// The parts land beside SOURCE; SOURCE is then moved to SOURCE.orig and the parts are joined
// back into SOURCE, so that the caller can compare the two.

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

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        fwprintf(stderr, L"usage: bench_split_join SOURCE PART_SIZE[K|B] IO_PAIR_COUNT\n");
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

    LARGE_INTEGER start, end;
    QuietDisplay splitShown;
    splitShown.partSize = partSize;
    SplitOperation split(splitShown);
    split.Start(Wide(source.c_str()));
    QueryPerformanceCounter(&start);
    split.OnCommand(1000);
    RunToEnd(split);
    QueryPerformanceCounter(&end);
    const double splitSeconds = Seconds(start, end);
    const uint64_t total = split.TotalSize();
    if (split.State() != Done) {
        fwprintf(stderr, L"split failed: %ls\n", splitShown.last.c_str());
        return 1;
    }
    const int32_t parts = split.PartCount();
    split.Abort();
    const double splitPeak = PeakWorkingSet() / kMiB;

    const std::wstring original = source + L".orig";
    MoveFileW(source.c_str(), original.c_str());
    QuietDisplay joinShown;
    JoinOperation join(joinShown);
    QueryPerformanceCounter(&start);
    join.Start(Wide((source + L".001").c_str()));
    RunToEnd(join);
    QueryPerformanceCounter(&end);
    const double joinSeconds = Seconds(start, end);
    if (join.State() != Done) {
        fwprintf(stderr, L"join failed: %ls\n", joinShown.last.c_str());
        return 1;
    }
    join.Abort();

    gDispatcher.Stop();
    gIoThread.Stop();
    gSettings.Close();
    const double mib = total / kMiB;
    wprintf(L"split %.0f MiB: %.2f s, %.1f MiB/s, peak working set %.1f MiB, %d parts\n", mib,
            splitSeconds, mib / splitSeconds, splitPeak, parts);
    wprintf(L"join  %.0f MiB: %.2f s, %.1f MiB/s, peak working set %.1f MiB, %d parts\n", mib,
            joinSeconds, mib / joinSeconds, PeakWorkingSet() / kMiB, parts);
    return 0;
}
