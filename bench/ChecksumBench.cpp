// Split and join throughput with the SHA-256 list written and checked, and without it, in turn
// for ROUNDS (5) rounds, with PAIRS (16) pairs of BUFFER_MIB (16) MiB buffers; prints MiB/s for
// each run, then the medians and the share the list leaves.
//
//   bench_checksums.exe SOURCE PART_MIB [ROUNDS [PAIRS BUFFER_MIB]]
//
// The parts and the list land beside SOURCE and are removed again; SOURCE is left as it was.

#include "BenchSupport.h"

#include "app/Globals.h"
#include "app/Settings.h"
#include "app/WideString.h"
#include "io/CompletionDispatcher.h"
#include "io/IoThread.h"
#include "ops/Commands.h"
#include "ops/JoinOperation.h"
#include "ops/OperationDisplay.h"
#include "ops/SplitOperation.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using bench::WriteSetting;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3 || argc > 6 || argc == 5) {
        fwprintf(stderr, L"usage: bench_checksums SOURCE PART_MIB [ROUNDS [PAIRS BUFFER_MIB]]\n");
        return 2;
    }
    const int rounds = argc >= 4 ? _wtoi(argv[3]) : 5;
    const DWORD pairs = argc == 6 ? wcstoul(argv[4], nullptr, 10) : 16;
    const DWORD bufferMiB = argc == 6 ? wcstoul(argv[5], nullptr, 10) : 16;
    const std::wstring source = argv[1];
    const uint64_t partSize = _wcstoui64(argv[2], nullptr, 10) * 1024 * 1024;
    WriteSetting(L"IoPairCount", pairs);
    WriteSetting(L"BufferSize", bufferMiB * 1024 * 1024);
    gSettings.Open();
    if (!gDispatcher.Start() || !gIoThread.Start()) {
        fwprintf(stderr, L"cannot start the engine: %lu\n", ::GetLastError());
        return 1;
    }
    const std::wstring moved = source + L".orig";
    int status = 0;
    // Rates by checksums off (0) and on (1), for split (0) and join (1).
    std::vector<double> rates[2][2];
    for (int run = 0; run < 2 * rounds; ++run) {
        const DWORD checksums = run % 2;
        WriteSetting(L"WriteChecksums", checksums);
        std::wstring said;
        const double split = bench::RunOperation<SplitOperation>(source, partSize, said);
        ::MoveFileW(source.c_str(), moved.c_str());
        const double join =
            split < 0 ? -1.0 : bench::RunOperation<JoinOperation>(source + L".001", 0, said);
        LARGE_INTEGER size{};
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (::GetFileAttributesExW(moved.c_str(), GetFileExInfoStandard, &data))
            size.QuadPart = (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        const double mib = static_cast<double>(size.QuadPart) / (1024.0 * 1024.0);
        if (split < 0 || join < 0) {
            fwprintf(stderr, L"failed: %ls\n", said.c_str());
            status = 1;
        } else {
            rates[checksums][0].push_back(mib / split);
            rates[checksums][1].push_back(mib / join);
            wprintf(L"checksums %-3ls split %7.1f MiB/s   join %7.1f MiB/s%ls\n",
                    checksums ? L"on" : L"off", mib / split, mib / join,
                    checksums ? (said.rfind(L"SHA-256 verified", 0) == 0 ? L"   (verified)"
                                                                         : L"   (NOT verified)")
                              : L"");
        }
        ::DeleteFileW(source.c_str());
        ::MoveFileW(moved.c_str(), source.c_str());
        bench::RemoveParts(source);
    }
    gDispatcher.Stop();
    gIoThread.Stop();
    gSettings.Close();
    if (status == 0 && rounds > 0) {
        const double offSplit = Median(rates[0][0]), offJoin = Median(rates[0][1]);
        const double onSplit = Median(rates[1][0]), onJoin = Median(rates[1][1]);
        wprintf(L"median of %d: off split %.1f join %.1f, on split %.1f join %.1f MiB/s; with the "
                L"list on, split %.0f %%, join %.0f %% of the rate without\n",
                rounds, offSplit, offJoin, onSplit, onJoin, 100 * onSplit / offSplit,
                100 * onJoin / offJoin);
    }
    return status;
}
