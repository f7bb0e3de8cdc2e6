// The split without the checksum list and with it, without recovery data and with 5 % and 10 % of
// it (10 % without the list too, and with one worker, then two, up to all of them); the join of
// the whole set with its 10 % of recovery data beside it and without; then a join that rebuilds
// one lost part first. Each twice, the faster counted. With 16 pairs of 16 MiB buffers; prints
// seconds, MiB/s and the longest message of each, and the ratios against their goals.
//
//   bench_recovery.exe SOURCE PART_MIB
//
// The parts and the set land beside SOURCE and are removed again; SOURCE is left as it was. The
// recovery set of the last split (10 %) is left for the script to compare with par2.

#include "BenchSupport.h"

#include "app/Globals.h"
#include "app/Settings.h"
#include "io/CompletionDispatcher.h"
#include "io/ComputePool.h"
#include "io/IoThread.h"
#include "ops/Commands.h"
#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

using bench::WriteSetting;

void RemoveSet(const std::wstring& source, bool recovery) {
    bench::RemoveParts(source);
    if (!recovery)
        return;
    WIN32_FIND_DATAW found;
    const std::wstring folder = source.substr(0, source.rfind(L'\\') + 1);
    HANDLE search = ::FindFirstFileW((source + L"*.par2").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do
        ::DeleteFileW((folder + found.cFileName).c_str());
    while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

// Renames the set's files from "*<from>" to "*<to>": out of the join's sight and back.
void RenameSet(const std::wstring& source, const wchar_t* from, const wchar_t* to) {
    WIN32_FIND_DATAW found;
    const std::wstring folder = source.substr(0, source.rfind(L'\\') + 1);
    HANDLE search = ::FindFirstFileW((source + L"*" + from).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        name.resize(name.size() - wcslen(from));
        ::MoveFileW((folder + found.cFileName).c_str(), (folder + name + to).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

// Every timed run starts after the machine has been idle a while (BRINDLECOT_BENCH_SETTLE_MS,
// 3000 unless set; 0: at once), so that none runs on the memory the run before it just freed: on
// a virtual machine that hands freed memory back to its host within seconds, a run that starts
// at once writes its output into pages still at hand, and one that starts later pays the host
// for every page again. Without the pause a join after a repair, which runs for seconds, was
// measured against plain joins that had 1 GiB of fresh pages at hand.
void Settle() {
    static const DWORD ms = [] {
        const wchar_t* set = _wgetenv(L"BRINDLECOT_BENCH_SETTLE_MS");
        return set ? static_cast<DWORD>(wcstoul(set, nullptr, 10)) : DWORD{3000};
    }();
    ::Sleep(ms);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fwprintf(stderr, L"usage: bench_recovery SOURCE PART_MIB\n");
        return 2;
    }
    const std::wstring source = argv[1];
    const uint64_t partSize = _wcstoui64(argv[2], nullptr, 10) * 1024 * 1024;
    WriteSetting(L"IoPairCount", 16);
    WriteSetting(L"BufferSize", 16 * 1024 * 1024);
    WriteSetting(L"WriteChecksums", 1);
    gSettings.Open();
    if (!gDispatcher.Start() || !gIoThread.Start() || !gComputePool.Start()) {
        fwprintf(stderr, L"cannot start the engine: %lu\n", ::GetLastError());
        return 1;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    ::GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data);
    const double mib =
        static_cast<double>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) /
        (1024.0 * 1024.0);
    int status = 0;
    std::wstring said;
    wprintf(L"processors the process may use: %d; workers: %d\n", ComputePool::UsableProcessors(),
            gComputePool.Workers());
    // A split: best of two runs (the set of the last one is left), or -1 when it failed; the
    // longest message of either, since the window must answer in every run.
    std::wstring splitDuring;  // the status line as that message ended
    bench::Phases splitPhases; // of the best run
    const auto split = [&](DWORD list, DWORD percent, double& longest) {
        WriteSetting(L"WriteChecksums", list);
        WriteSetting(L"RecoveryPercent", percent);
        double best = -1;
        longest = 0;
        for (int round = 0; round < 2; ++round) {
            RemoveSet(source, true);
            double took = 0;
            std::wstring during;
            bench::Phases phases;
            Settle();
            const double seconds = bench::RunOperation<SplitOperation>(source, partSize, said,
                                                                       &took, &during, &phases);
            if (seconds < 0) {
                fwprintf(stderr, L"split failed: %ls\n", said.c_str());
                return -1.0;
            }
            if (took > longest) {
                longest = took;
                splitDuring = during;
            }
            if (best < 0 || seconds < best) {
                best = seconds;
                splitPhases = phases;
            }
        }
        return best;
    };
    const auto show = [&](const wchar_t* what, double seconds, double longest) {
        wprintf(L"%-40ls %7.2f s  %7.1f MiB/s  longest message %5.0f ms (\"%ls\")\n", what, seconds,
                mib / seconds, longest * 1000, splitDuring.c_str());
    };
    double longest = 0;
    const double bare = split(0, 0, longest);
    show(L"split, no list, no recovery data:", bare, longest);
    const double listed = split(1, 0, longest);
    show(L"split, list, no recovery data:", listed, longest);
    // The recovery data's own cost, without the list's hashing beside it.
    const double bareTen = split(0, 10, longest);
    show(L"split, no list, recovery 10 %:", bareTen, longest);
    const double five = split(1, 5, longest);
    show(L"split, list, recovery 5 %:", five, longest);
    // Recovery data at 10 %, with one worker and up to all of them; the last run's set is kept.
    const int32_t all = gComputePool.Workers();
    double ten = 0;
    for (int32_t workers = 1; workers <= all; ++workers) {
        gComputePool.Stop();
        gComputePool.Start(workers);
        ten = split(1, 10, longest);
        wchar_t what[64];
        swprintf(what, 64, L"split, list, recovery 10 %%, %d worker%ls:", workers,
                 workers == 1 ? L"" : L"s");
        show(what, ten, longest);
        // The ends against the middle: 80 % of the data between 11 and 91 %.
        const bench::Phases& p = splitPhases;
        wprintf(L"  its phases: to 11 %% %.2f s; 11 to 91 %% %.2f s; 91 to 100 %% written %.2f s; "
                L"from then to the end %.2f s\n",
                p.to11, p.to91 - p.to11, p.written - p.to91, ten - p.written);
    }
    if (bare < 0 || listed < 0 || bareTen < 0 || five < 0 || ten < 0)
        return 1;
    wprintf(L"the list costs: %.2f x the split without it (goal: that split at 90 %% or more, "
            L"at most 1.11 x)\n",
            listed / bare);
    wprintf(L"recovery 10 %%: %.2f x the split without it, %.2f x without the list on either "
            L"(goal at most 1.25 x)\n",
            ten / listed, bareTen / bare);
    const std::wstring moved = source + L".orig";
    ::MoveFileW(source.c_str(), moved.c_str());
    // The whole set, joined with the recovery set beside it (checked as it is joined) and
    // without; twice each, taking turns, the faster of each counted.
    // The longest message of each kind counts every run: the window must answer in all.
    double with = 0, without = 0, longestWith = 0, longestWithout = 0;
    for (int round = 0; round < 4; ++round) {
        const bool recovery = round % 2 == 1;
        if (!recovery)
            RenameSet(source, L".par2", L".par2.off");
        double took = 0;
        Settle();
        const double seconds = bench::RunOperation<JoinOperation>(source + L".001", 0, said, &took);
        if (!recovery)
            RenameSet(source, L".par2.off", L".par2");
        ::DeleteFileW(source.c_str());
        if (seconds < 0) {
            fwprintf(stderr, L"join failed: %ls\n", said.c_str());
            return 1;
        }
        double& best = recovery ? with : without;
        best = best == 0 || seconds < best ? seconds : best;
        double& most = recovery ? longestWith : longestWithout;
        most = took > most ? took : most;
    }
    wprintf(L"join, whole set, no recovery data: %7.2f s  %7.1f MiB/s  longest message %5.0f ms\n",
            without, mib / without, longestWithout * 1000);
    const double plainJoin = without;
    wprintf(L"join, whole set, recovery 10 %%:    %7.2f s  %7.1f MiB/s  longest message %5.0f ms "
            L"(%.2f x the join without; goal at most 1.15 x)\n",
            with, mib / with, longestWith * 1000, with / without);

    // One part lost: the join checks every part, rebuilds it, then joins. Twice, as the others,
    // the faster counted and the longest message of both.
    double rebuilding = -1, rebuildLongest = 0;
    std::wstring rebuildDuring;
    bench::Phases rebuildPhases; // of the faster run
    for (int round = 0; round < 2 && status == 0; ++round) {
        ::DeleteFileW((source + L".002").c_str());
        ::DeleteFileW(source.c_str());
        std::wstring during;
        double took = 0;
        bench::Phases phases;
        Settle();
        const double seconds =
            bench::RunOperation<JoinOperation>(source + L".001", 0, said, &took, &during, &phases);
        if (seconds < 0) {
            fwprintf(stderr, L"join failed: %ls\n", said.c_str());
            status = 1;
            break;
        }
        if (rebuilding < 0 || seconds < rebuilding) {
            rebuilding = seconds;
            rebuildPhases = phases;
        }
        if (took > rebuildLongest) {
            rebuildLongest = took;
            rebuildDuring = during;
        }
    }
    if (status == 0) {
        wprintf(L"join rebuilding one part: %7.2f s  %7.1f MiB/s  longest message %5.0f ms, as "
                L"\"%ls\" showed (%ls)\n",
                rebuilding, mib / rebuilding, rebuildLongest * 1000, rebuildDuring.c_str(),
                said.c_str());
        // The repair's own share, against the join that follows it.
        wprintf(L"  its phases: the check and the repair %.2f s; the join after them %.2f s\n",
                rebuildPhases.moving, rebuilding - rebuildPhases.moving);
        wprintf(L"join rebuilding one part: %.2f x the plain join (goal at most 1.5 x)\n",
                rebuilding / plainJoin);
    }
    ::DeleteFileW(source.c_str());
    ::MoveFileW(moved.c_str(), source.c_str());
    RemoveSet(source, false);
    gComputePool.Stop();
    gDispatcher.Stop();
    gIoThread.Stop();
    gSettings.Close();
    return status;
}
