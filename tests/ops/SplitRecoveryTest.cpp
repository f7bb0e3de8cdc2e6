#include "OpsTestSupport.h"
#include "support/MessageLoop.h"
#include "support/SettingsValues.h"
#include "support/SmallVolume.h"

#include "ops/PartNaming.h"
#include "ops/SplitOperation.h"
#include "ops/SplitRecovery.h"
#include "toolkit/Handle.h"
#include "ui/PartSizeInput.h"

#include <algorithm>

using namespace testing_support;
using namespace ops_tests;

namespace {

constexpr uint64_t kBudget = SplitRecovery::kMemoryBudget;
constexpr uint64_t GiB = 1ull << 30;

TEST_F(SplitRecoveryTest, TheShareIsRoundedUpToWholeBlocks) {
    const struct {
        int32_t slices;
        uint32_t percent;
        int32_t blocks;
    } blocks[] = {{9, 20, 2}, {9, 5, 1}, {10, 10, 1}, {11, 10, 2}, {1, 5, 1}, {32768, 30, 9831}};
    for (const auto& row : blocks)
        EXPECT_EQ(SplitRecovery::BlocksFor(row.slices, row.percent), row.blocks) << row.slices;
}

// The part size as typed: the largest number each unit takes, and numbers about 2^32,
// 2^64 - 2^30 and 2^64 - 1. Only the file's bytes are sliced, whatever the part size; a set holds
// at most 32,768 slices. Five per cent of these few slices is one block, of one slice's memory.
TEST_F(SplitRecoveryTest, EveryPartSizeTheWindowTakesIsSlicedWithoutWrapping) {
    const struct {
        const wchar_t* digits;
        int unit;
        uint64_t total;
        uint32_t slice;
        int32_t slices;
    } rows[] = {
        {L"18446744073709551615", 0, MiB + 1, 1048580, 1}, // 2^64 - 1 Byte, the largest
        {L"18446744073709551614", 0, MiB + 1, 1048580, 1},
        {L"18014398509481983", 1, MiB + 1, 1048580, 1},    // the largest in KB
        {L"17592186044415", 2, MiB + 1, 1048580, 1},       // in MB
        {L"17179869183", 3, MiB + 1, 1048580, 1},          // in GB: 2^64 - 2^30
        {L"18446744072635809793", 0, MiB + 1, 1048580, 1}, // 2^64 - 2^30 + 1
        {L"18446744072635809791", 0, MiB + 1, 1048580, 1},
        {L"18446744073709551615", 0, 5 * GiB + 3, 488064468, 11},
        {L"17179869183", 3, 5 * GiB + 3, 488064468, 11},
        {L"4294967295", 0, 5 * GiB + 3, 536870912, 11}, // 2^32 - 1
        {L"4294967296", 0, 5 * GiB + 3, 536870912, 11}, // 2^32
        {L"4194304", 1, 5 * GiB + 3, 536870912, 11},
        {L"4096", 2, 5 * GiB + 3, 536870912, 11},
        {L"4", 3, 5 * GiB + 3, 536870912, 11},
        {L"4294967297", 0, 5 * GiB + 3, 477218592, 12},
        {L"4294967297", 0, 4 * GiB, 536870912, 8}, // one byte more than the file
        // More slices of 1 GiB, or more parts, than a set holds: no plan.
        {L"18446744073709551615", 0, UINT64_MAX, 0, 0},
        {L"4", 3, UINT64_MAX, 0, 0},
        {L"1", 0, 32769, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Narrow(row.digits) + " unit " + std::to_string(row.unit));
        const uint64_t partSize = PartSizeFromInput(row.digits, row.unit);
        ASSERT_NE(partSize, 0u);
        SplitRecovery::SlicePlan plan;
        const bool planned = SplitRecovery::PlanSlices(row.total, partSize, 5, kBudget, plan);
        const DWORD error = ::GetLastError();
        EXPECT_EQ(plan.sliceSize, row.slice);
        EXPECT_EQ(plan.sliceCount, row.slices);
        EXPECT_EQ(plan.blockCount, planned ? 1 : 0);
        EXPECT_EQ(plan.memory, row.slice);
        EXPECT_EQ(planned, row.slice != 0);
        EXPECT_TRUE(planned || error == ERROR_NOT_SUPPORTED) << error;
    }
}

// Each medium's size with each share, for a file whose share fits the budget: a plan within it,
// of slices the creator takes; and a file twice as large as fits is refused with the least memory
// any slicing takes.
TEST_F(SplitRecoveryTest, EveryMediumTakesEveryShareThatFits) {
    for (const MediaSize& medium : kMediaSizes) {
        const uint64_t partSize = medium.number << (10 * medium.unitIndex);
        for (uint32_t percent : {5u, 10u, 20u, 30u}) {
            SCOPED_TRACE(Narrow(medium.name) + " " + std::to_string(percent) + " %");
            const uint64_t fits = kBudget * 100 / percent * 9 / 10;
            for (uint64_t total :
                 {std::min(partSize / 3, fits), std::min(partSize + 12345, fits), fits}) {
                SplitRecovery::SlicePlan plan;
                ASSERT_TRUE(SplitRecovery::PlanSlices(total, partSize, percent, kBudget, plan))
                    << total;
                EXPECT_TRUE(plan.sliceSize % 4 == 0 && plan.sliceSize != 0 &&
                            plan.sliceSize <= SplitRecovery::kMaxSliceBytes &&
                            plan.sliceCount <= Par2Creator::kMaxSlices && plan.memory <= kBudget &&
                            plan.memory == uint64_t{plan.sliceSize} * plan.blockCount)
                    << total;
            }
            SplitRecovery::SlicePlan plan;
            EXPECT_FALSE(
                SplitRecovery::PlanSlices(2 * fits * 10 / 9, partSize, percent, kBudget, plan));
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
            EXPECT_GE(plan.memory, kBudget);
        }
    }
}

} // namespace

// A set as the split makes it when its parts are each cut into several slices, for par2 to check
// and repair (scripts/par2-test.sh).
TEST(InteropPar2Split, MakesSetWithSeveralSlicesPerPart) {
    wchar_t folder[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"BRINDLECOT_PAR2_DIR", folder, MAX_PATH))
        GTEST_SKIP() << "run through scripts/par2-test.sh";
    const std::wstring whole = std::wstring(folder) + L"\\slices.bin";
    const uint64_t partSize = 300000, total = 3 * partSize + 123458;
    const std::vector<uint8_t> data = MakePattern(total, 9);
    ASSERT_TRUE(WriteWholeFile(whole, data));
    DynArray<PartRecord> parts;
    for (uint32_t i = 1; i <= 4; ++i) {
        const PartExtent extent = SplitPart(i, total, partSize);
        ASSERT_TRUE(WriteWholeFile(
            PartName(whole, i), std::vector<uint8_t>(data.begin() + extent.offset,
                                                     data.begin() + extent.offset + extent.size)));
        WideString path = Wide(PartName(whole, i));
        ASSERT_TRUE(
            parts.Append(PartRecord(GENERIC_WRITE, CREATE_NEW, path, extent.offset, extent.size)));
    }
    // A budget that one slice a part, or two, would pass: three slices of 100,000 bytes a part,
    // and four blocks, enough for a lost part and one more slice.
    SplitRecovery recovery;
    ASSERT_TRUE(recovery.Plan(parts, partSize, 30, 400000)) << ::GetLastError();
    EXPECT_EQ(recovery.MemoryNeeded(), 4u * 100000);
    FileHandle source(::CreateFileW(whole.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    ASSERT_TRUE(source.IsSet());
    ASSERT_TRUE(recovery.ReadHeads(source.Get(), parts, 4) && recovery.HeadsRead());
    for (size_t at = 0; at < data.size(); at += 65536) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(65536, data.size() - at));
        ASSERT_TRUE(recovery.Add(data.data() + at, n));
    }
    recovery.SetFor(Wide(whole));
    ASSERT_TRUE(recovery.Create());
    for (bool done = false; !done;)
        ASSERT_TRUE(recovery.CompleteStep(nullptr, done)) << ::GetLastError();
    source.Close();
    ASSERT_TRUE(::DeleteFileW(whole.c_str()));
    // The main packet comes first: its body begins with the slice size.
    std::vector<uint8_t> index;
    ASSERT_TRUE(ReadWholeFile(whole + L".par2", index) && index.size() > 72);
    uint64_t slice = 0;
    memcpy(&slice, index.data() + 64, 8);
    EXPECT_EQ(slice, 100000u);
}

// The set itself is checked by par2 (scripts/interop-test.sh); here, how the split makes it:
// with the parts, without a checksum list, selected with them.
TEST_F(SplitRecoveryTest, TheRecoveryFilesComeWithTheParts) {
    const std::wstring source = dir / L"r.bin";
    ASSERT_TRUE(WritePatternFile(source, 9 * MiB - 5, 7));
    ASSERT_EQ(Split(source), L"");
    std::vector<std::wstring> expected;
    for (unsigned i = 1; i <= 9; ++i)
        expected.push_back(PartName(source, i));
    for (const wchar_t* tail : {L".par2", L".vol0+1.par2", L".vol1+1.par2"})
        expected.push_back(source + tail);
    EXPECT_EQ(ShellRecorder::selected, expected);
    EXPECT_FALSE(FileExists(source + L".sha256"));
    // Two blocks of a part each, and the set's description.
    EXPECT_GT(FileSize(source + L".vol1+1.par2"), int64_t(MiB));
}

// Made like the parts: gone with a split aborted as soon as it began.
TEST_F(SplitRecoveryTest, AnAbortedSplitLeavesNoRecoveryFile) {
    const std::wstring source = dir / L"s.bin";
    ASSERT_TRUE(WritePatternFile(source, 4 * MiB, 8));
    RecordingDisplay shown;
    shown.partSize = MiB;
    SplitOperation split(shown);
    StartSplit(split, source);
    ASSERT_TRUE(split.IsBusy() && FileExists(source + L".vol0+1.par2"));
    split.Abort();
    EXPECT_EQ(FilesIn(dir.Path() + L"\\"), std::vector<std::wstring>{L"s.bin"});
}

// Aborted while its files are written on the workers, a step at a time: the abort waits for the
// step under way, and nothing of the split is left.
TEST_F(SplitRecoveryTest, AnAbortWhileTheFilesAreWrittenLeavesOnlyTheSource) {
    const std::wstring source = dir / L"w.bin";
    // One block of 40 MiB, which its volume takes several steps to write.
    ASSERT_TRUE(MakeSparseFile(source, 80 * MiB + 1));
    RecordingDisplay shown;
    shown.partSize = 40 * MiB;
    SplitOperation split(shown);
    StartSplit(split, source);
    const std::wstring volume = source + L".vol0+1.par2";
    ASSERT_TRUE(RunUntil([&] { return FileSize(volume) > 0 || !split.IsBusy(); }));
    ASSERT_TRUE(split.IsBusy()) << Narrow(shown.statusBar);
    ASSERT_LT(FileSize(volume), int64_t(40 * MiB));
    const std::wstring status = shown.status;
    split.Abort();
    EXPECT_EQ(FilesIn(dir.Path() + L"\\"), std::vector<std::wstring>{L"w.bin"});
    // The step's return finds it let go: nothing more is written or reported.
    PumpFor(300);
    EXPECT_EQ(split.State(), OperationState::Idle);
    EXPECT_EQ(shown.status, status);
}

// A set left beside the source, under any case, as a file or a folder, refuses the split before
// anything is made, with or without recovery data of its own; names that only look alike do not.
// (The end-to-end tests refuse a split for a volume left beside it.)
TEST_F(SplitRecoveryTest, ALeftSetRefusesTheSplitBeforeAnythingIsMade) {
    const struct {
        const wchar_t* left;
        bool folder;
        uint32_t percent;
        bool refused;
    } rows[] = {
        {L"s.bin.par2", false, 0, true},           {L"S.BIN.PAR2", false, 20, true},
        {L"s.bin.vol0+1.par2", false, 20, true},   {L"s.bin.VOL07+08.Par2", false, 20, true},
        {L"s.bin.vol1+2.par2", true, 0, true},     {L"s.bin.vol.par2", false, 0, true},
        {L"s.bin.par2.bak", false, 20, false},     {L"s.bin.vol0+1.par", false, 0, false},
        {L"s.bin.x.par2", false, 20, false},       {L"s.binpar2", false, 0, false},
        {L"s.bin.vol0+1.par2x", false, 20, false},
    };
    WriteDword(L"WriteChecksums", 1);
    WriteDword(L"WriteJoinScript", 1);
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(Narrow(row.left));
        const std::wstring folder = dir / (L"left" + std::to_wstring(++n));
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        const std::wstring source = folder + L"\\s.bin", left = folder + L"\\" + row.left;
        ASSERT_TRUE(WritePatternFile(source, 3 * MiB + 7, n));
        ASSERT_TRUE(row.folder ? ::CreateDirectoryW(left.c_str(), nullptr) != 0
                               : WriteText(left, "left"));
        WriteDword(L"RecoveryPercent", row.percent);
        EXPECT_EQ(Split(source),
                  row.refused ? ErrorText(L"Error opening " + left, ERROR_FILE_EXISTS) : L"");
        if (row.refused) {
            std::vector<std::wstring> expected = {L"s.bin"};
            if (!row.folder)
                expected.push_back(row.left);
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(FilesIn(folder + L"\\"), expected);
        }
        EXPECT_TRUE(row.folder || ReadText(left) == "left");
    }
}

// More parts than a set holds, or blocks past the memory budget (which the blocks are held in
// while the data moves, said with the least memory any slicing of the parts would take): refused
// before anything is made.
TEST_F(SplitRecoveryTest, SetsPastTheLimitsAreRefusedBeforeAnythingIsMade) {
    const struct {
        const wchar_t* name;
        uint64_t size;
        uint64_t partSize;
        const wchar_t* refusal;
        DWORD error;
    } rows[] = {
        {L"t.bin", 32769, 1, L"Error: recovery data covers at most 32768 parts of t.bin",
         ERROR_NOT_SUPPORTED},
        {L"big.bin", 4ull << 30, 1ull << 30,
         L"Error: the recovery data of big.bin takes 819 MB of memory, more than 512 MB",
         ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const auto& row : rows) {
        const std::wstring source = dir / row.name;
        ASSERT_TRUE(MakeSparseFile(source, row.size));
        EXPECT_EQ(Split(source, row.partSize), ErrorText(row.refusal, row.error));
        EXPECT_EQ(FilesIn(dir.Path() + L"\\"), std::vector<std::wstring>{row.name});
        ASSERT_TRUE(::DeleteFileW(source.c_str()));
    }
}
