#include "OpsTestSupport.h"
#include "support/MessageLoop.h"
#include "support/Par2TestSets.h"
#include "support/SettingsValues.h"
#include "support/SmallVolume.h"

#include "app/Globals.h"
#include "io/ComputePool.h"
#include "io/IoPair.h"
#include "ops/ChunkJob.h"
#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"
#include "ops/SplitRecovery.h"

#include <algorithm>
#include <map>

using namespace testing_support;
using namespace ops_tests;

namespace {

class RecoveryTest : public OperationTest {
protected:
    void SetUp() override {
        OperationTest::SetUp();
        WriteDword(L"RecoveryPercent", 20);
        WriteDword(L"WriteChecksums", 0);
        WriteDword(L"SelectFiles", 1);
    }
    // Starts a split of source in parts of the display's size.
    void StartSplit(SplitOperation& split, const std::wstring& source) {
        split.Start(Wide(source));
        split.OnCommand(kCommandSplit);
    }
    // Splits source in parts of partSize bytes: the status bar when that is refused at once, else
    // empty once the split is done.
    std::wstring Split(const std::wstring& source, uint64_t partSize = MiB) {
        RecordingDisplay shown;
        shown.partSize = partSize;
        SplitOperation split(shown);
        StartSplit(split, source);
        const bool refused = split.State() == OperationState::Failed;
        if (!refused) {
            EXPECT_TRUE(RunToEnd(split));
            EXPECT_EQ(split.State(), OperationState::Done) << Narrow(shown.statusBar);
        }
        split.Abort();
        return refused ? shown.statusBar : L"";
    }

    ShellRecorder shell;
};

} // namespace

// The set itself is checked by par2 (scripts/interop-test.sh); here, how the split makes it:
// with the parts, without a checksum list, selected with them.
TEST_F(RecoveryTest, TheRecoveryFilesComeWithTheParts) {
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
TEST_F(RecoveryTest, AnAbortedSplitLeavesNoRecoveryFile) {
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

// A set left beside the source, under any case, as a file or a folder, refuses the split before
// anything is made, with or without recovery data of its own; names that only look alike do not.
// (The end-to-end tests refuse a split for a volume left beside it.)
TEST_F(RecoveryTest, ALeftSetRefusesTheSplitBeforeAnythingIsMade) {
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
TEST_F(RecoveryTest, SetsPastTheLimitsAreRefusedBeforeAnythingIsMade) {
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

namespace {

// A set split with recovery data, its source kept aside to compare with.
class RepairTest : public RecoveryTest {
protected:
    void SetUp() override {
        RecoveryTest::SetUp();
        WriteDword(L"WriteChecksums", 1);
        ASSERT_TRUE(WritePatternFile(whole, 9 * MiB - 5, 11));
        ASSERT_EQ(Split(whole), L"");
        ASSERT_TRUE(ReadWholeFile(whole, original));
        ASSERT_TRUE(::DeleteFileW(whole.c_str()));
        for (unsigned i = 1; i <= 9; ++i)
            partHashes.push_back(SystemSha256OfFile(PartName(whole, i)));
    }
    // Joins the parts of wholePath, by default those of whole.
    OperationState Join(RecordingDisplay& shown, const std::wstring& wholePath = {}) {
        JoinOperation join(shown);
        join.Start(Wide(PartName(wholePath.empty() ? whole : wholePath, 1)));
        RunToEnd(join);
        const OperationState state = join.State();
        join.Abort();
        return state;
    }
    // The status line showed a text that starts so.
    static bool Shows(const RecordingDisplay& display, const wchar_t* start) {
        const auto& seen = display.statusHistory;
        return std::any_of(seen.begin(), seen.end(),
                           [start](const std::wstring& s) { return s.rfind(start, 0) == 0; });
    }
    void Damage(unsigned part) {
        HANDLE file = ::CreateFileW(PartName(whole, part).c_str(), GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        DWORD written = 0;
        ASSERT_TRUE(::SetFilePointer(file, 1000, nullptr, FILE_BEGIN) == 1000 &&
                    ::WriteFile(file, "damage", 6, &written, nullptr));
        ::CloseHandle(file);
    }

    // Every file of the set beside the parts, by name, with its bytes.
    std::map<std::wstring, std::vector<uint8_t>> SetFiles() const {
        std::map<std::wstring, std::vector<uint8_t>> files;
        WIN32_FIND_DATAW found;
        HANDLE search = ::FindFirstFileW((whole + L".*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return files;
        do
            EXPECT_TRUE(ReadWholeFile(dir / found.cFileName, files[found.cFileName]));
        while (::FindNextFileW(search, &found));
        ::FindClose(search);
        return files;
    }

    const std::wstring whole = dir / L"w.bin";
    std::vector<uint8_t> original;
    std::vector<std::string> partHashes;
};

} // namespace

// The common case: every part whole. The set checks them as they are joined, with no read of
// its own; nothing is rebuilt or moved. Then a lost part and a damaged one: both rebuilt, the
// damaged one kept aside, then the join as ever. Then a damaged part alone, found by the join:
// the parts are checked on their own, the part rebuilt, and the join done again.
TEST_F(RepairTest, AWholeSetIsCheckedAndALostAndADamagedPartAreRebuiltBeforeTheJoin) {
    RecordingDisplay shown, again, third;
    ASSERT_EQ(Join(shown), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_TRUE(Holds(whole, original));
    EXPECT_FALSE(Shows(shown, L"Checking "));
    EXPECT_FALSE(Shows(shown, L"Repairing "));
    for (unsigned part = 1; part <= 9; ++part)
        EXPECT_FALSE(FileExists(PartName(whole, part) + L".damaged")) << part;
    ASSERT_TRUE(::DeleteFileW(whole.c_str()) && ::DeleteFileW(PartName(whole, 3).c_str()));
    Damage(7);
    const std::string damaged = SystemSha256OfFile(PartName(whole, 7));
    ASSERT_EQ(Join(again), OperationState::Done) << Narrow(again.statusBar);
    EXPECT_EQ(again.statusBar, L"SHA-256 verified: " + whole);
    EXPECT_TRUE(Holds(whole, original));
    for (unsigned part : {3u, 7u})
        EXPECT_EQ(SystemSha256OfFile(PartName(whole, part)), partHashes[part - 1]) << part;
    EXPECT_EQ(SystemSha256OfFile(PartName(whole, 7) + L".damaged"), damaged);
    const auto& later = again.statusHistory;
    EXPECT_NE(std::find(later.begin(), later.end(), L"Repairing w.bin.003..."), later.end());

    ASSERT_TRUE(::DeleteFileW(whole.c_str()) &&
                ::DeleteFileW((PartName(whole, 7) + L".damaged").c_str()));
    Damage(5);
    ASSERT_EQ(Join(third), OperationState::Done) << Narrow(third.statusBar);
    EXPECT_TRUE(Holds(whole, original));
    EXPECT_EQ(SystemSha256OfFile(PartName(whole, 5)), partHashes[4]);
    EXPECT_TRUE(Shows(third, L"Checking ") && Shows(third, L"Repairing w.bin.005"));
    EXPECT_FALSE(FileExists(whole + L".partial"));
}

// The workers share out the hashes and the blocks: one worker, two or eight make the same parts,
// list and set, byte for byte, and a join with as many checks the set as it goes, finds a
// damaged part and rebuilds it.
TEST_F(RepairTest, OneWorkerOrManyMakeTheSameSetAndRepairAlike) {
    const auto made = SetFiles();
    ASSERT_EQ(made.size(), 13u); // nine parts, the list, the index and two volumes
    for (const int32_t workers : {1, 2, 8}) {
        SCOPED_TRACE(workers);
        gComputePool.Stop();
        ASSERT_TRUE(gComputePool.Start(workers));
        for (const auto& file : SetFiles())
            ASSERT_TRUE(::DeleteFileW((dir / file.first).c_str()));
        ASSERT_TRUE(WriteWholeFile(whole, original));
        ASSERT_EQ(Split(whole), L"");
        ASSERT_TRUE(::DeleteFileW(whole.c_str()));
        EXPECT_TRUE(SetFiles() == made);
        Damage(4);
        RecordingDisplay shown;
        ASSERT_EQ(Join(shown), OperationState::Done) << Narrow(shown.statusBar);
        EXPECT_TRUE(Holds(whole, original));
        EXPECT_TRUE(Shows(shown, L"Repairing w.bin.004"));
        ASSERT_TRUE(::DeleteFileW(whole.c_str()));
    }
}

// A last part far shorter than its slice: the slice is hashed with megabytes of zeros after the
// part's bytes, in pieces, as the join goes; the whole set still takes no pass of its own.
TEST_F(RepairTest, ALastPartFarShorterThanItsSliceIsCheckedAsItIsJoined) {
    const std::wstring big = dir / L"b.bin";
    const std::vector<uint8_t> data = MakePattern(25 * MiB, 12);
    ASSERT_TRUE(WriteWholeFile(big, data));
    ASSERT_EQ(Split(big, 12 * MiB), L"");
    ASSERT_TRUE(::DeleteFileW(big.c_str()));
    RecordingDisplay shown;
    ASSERT_EQ(Join(shown, big), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_TRUE(Holds(big, data));
    EXPECT_FALSE(Shows(shown, L"Checking "));
}

// More lost than the blocks can rebuild: nothing is made, moved or deleted.
TEST_F(RepairTest, TooFewBlocksFailBeforeAnythingChanges) {
    WriteDword(L"DeleteFiles", 1);
    for (unsigned part : {2u, 5u})
        ASSERT_TRUE(::DeleteFileW(PartName(whole, part).c_str()));
    Damage(8);
    RecordingDisplay shown;
    EXPECT_EQ(Join(shown), OperationState::Failed);
    EXPECT_EQ(shown.statusBar,
              ErrorText(L"Part w.bin.002 cannot be rebuilt: 1 more recovery blocks needed",
                        ERROR_INVALID_DATA));
    EXPECT_FALSE(FileExists(whole) || FileExists(PartName(whole, 8) + L".damaged"));
    for (unsigned part = 1; part <= 9; ++part) {
        const int64_t size = part == 2 || part == 5 ? -1
                             : part == 9            ? int64_t(MiB - 5)
                                                    : int64_t(MiB);
        EXPECT_EQ(FileSize(PartName(whole, part)), size) << part;
    }
}

namespace {

// As a large share on a slow machine: toward the end, the workers take long over each chunk,
// while the writes of the last chunks run ahead and end first.
class SlowSplit : public SplitOperation {
public:
    using SplitOperation::SplitOperation;

protected:
    void RunChunkWork(ChunkJob& job, int32_t lane) override {
        if (job.pair->chunkOffset + 8ull * job.length >= TotalSize())
            ::Sleep(lane == 0 ? 60 : 20);
        SplitOperation::RunChunkWork(job, lane);
    }
};

} // namespace

// Recovery work that lags behind the writes; blocks larger than
// the pieces the files are written in; a short last part whose slice's long padding is hashed
// in pieces too: the set is still whole, listed in whole, and rebuilds what is lost, also after a
// pause.
TEST_F(RepairTest, RecoveryWorkInPiecesMakesAWholeSet) {
    const struct {
        uint32_t partSize;
        uint32_t size;
        std::vector<unsigned> lost;
    } cases[] = {{256 * 1024, 64 * 256 * 1024, {1, 40}},
                 {4 * MiB + 4096, 8 * MiB + 8192, {2}},
                 {4 * MiB + 4096, 4 * MiB + 5096, {1}}};
    WriteDword(L"RecoveryPercent", 30);
    SetTuning(MiB, 4);
    for (const auto& c : cases) {
        const std::wstring source = dir / (L"lag" + std::to_wstring(c.size));
        ASSERT_TRUE(WritePatternFile(source, c.size, c.size % 251));
        std::vector<uint8_t> data;
        ASSERT_TRUE(ReadWholeFile(source, data));
        RecordingDisplay splitShown;
        splitShown.partSize = c.partSize;
        SlowSplit split(splitShown);
        split.Start(Wide(source));
        split.OnCommand(kCommandSplit);
        // A pause while the work lags holds it; a resume takes it up again.
        ASSERT_TRUE(RunUntil([&] { return split.TotalSize() - split.DoneSize() < MiB; }, 30000));
        split.OnCommand(kCommandPause);
        PumpFor(200);
        split.OnCommand(kCommandResume);
        ASSERT_TRUE(RunToEnd(split));
        ASSERT_EQ(split.State(), OperationState::Done) << Narrow(splitShown.statusBar);
        split.Abort();
        EXPECT_EQ(ReadText(source + L".sha256"), ExpectedChecksumList(source, data, c.partSize));
        ASSERT_TRUE(::DeleteFileW(source.c_str()));
        for (unsigned part : c.lost)
            ASSERT_TRUE(::DeleteFileW(PartName(source, part).c_str()));
        RecordingDisplay shown;
        ASSERT_EQ(Join(shown, source), OperationState::Done) << Narrow(shown.statusBar);
        EXPECT_TRUE(Holds(source, data));
    }
}
