#include "OpsTestSupport.h"
#include "support/MessageLoop.h"
#include "support/SettingsValues.h"
#include "support/SmallVolume.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"
#include "ops/SplitRecovery.h"

#include <algorithm>

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

    // Splits source to the end in parts of partSize bytes.
    void SplitWhole(const std::wstring& source, uint64_t partSize = MiB) {
        RecordingDisplay shown;
        shown.partSize = partSize;
        SplitOperation split(shown);
        StartSplit(split, source);
        ASSERT_TRUE(RunToEnd(split));
        ASSERT_EQ(split.State(), OperationState::Done) << Narrow(shown.statusBar);
        split.Abort();
    }

    ShellRecorder shell;
};

} // namespace

// The set itself is checked by par2 (scripts/interop-test.sh); here, how the split makes it:
// with the parts, without a checksum list, selected with them.
TEST_F(RecoveryTest, TheRecoveryFilesComeWithTheParts) {
    const std::wstring source = dir / L"r.bin";
    ASSERT_TRUE(WritePatternFile(source, 9 * MiB - 5, 7));
    ASSERT_NO_FATAL_FAILURE(SplitWhole(source));
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

// Made like the parts: never over a file of their names, and gone with an aborted split.
TEST_F(RecoveryTest, TheRecoveryFilesAreMadeLikeTheParts) {
    const std::wstring source = dir / L"s.bin";
    ASSERT_TRUE(WritePatternFile(source, 4 * MiB, 8));
    RecordingDisplay shown;
    shown.partSize = MiB;
    {
        SplitOperation split(shown);
        StartSplit(split, source);
        ASSERT_TRUE(split.IsBusy() && FileExists(source + L".vol0+1.par2"));
        split.Abort();
        EXPECT_FALSE(FileExists(source + L".par2") || FileExists(source + L".vol0+1.par2"));
    }
    ASSERT_TRUE(WriteText(source + L".vol0+1.par2", "mine"));
    SplitOperation split(shown);
    StartSplit(split, source);
    EXPECT_EQ(split.State(), OperationState::Failed);
    EXPECT_EQ(shown.statusBar,
              ErrorText(L"Error opening " + source + L".vol0+1.par2", ERROR_FILE_EXISTS));
    split.Abort();
    EXPECT_FALSE(FileExists(source + L".par2") || FileExists(PartName(source, 1)));
    EXPECT_EQ(ReadText(source + L".vol0+1.par2"), "mine");
}

// A set holds at most 32,768 slices: more parts are refused before anything is made.
TEST_F(RecoveryTest, TooManyPartsAreRefusedBeforeAnythingIsMade) {
    const std::wstring source = dir / L"t.bin";
    ASSERT_TRUE(WritePatternFile(source, 32769, 9));
    RecordingDisplay shown;
    shown.partSize = 1;
    SplitOperation split(shown);
    StartSplit(split, source);
    EXPECT_EQ(split.State(), OperationState::Failed);
    EXPECT_EQ(shown.statusBar,
              ErrorText(L"Error: recovery data covers at most 32768 parts of t.bin",
                        ERROR_NOT_SUPPORTED));
    split.Abort();
    EXPECT_FALSE(FileExists(PartName(source, 1)) || FileExists(source + L".par2"));
}

// The blocks are held in memory while the data moves: a share of the file past the budget is
// refused first, with the least memory any slicing of the parts would take.
TEST_F(RecoveryTest, BlocksPastTheMemoryBudgetAreRefusedBeforeAnythingIsMade) {
    const std::wstring source = dir / L"big.bin";
    ASSERT_TRUE(MakeSparseFile(source, 4ull << 30));
    RecordingDisplay shown;
    shown.partSize = 1ull << 30;
    SplitOperation split(shown);
    StartSplit(split, source);
    EXPECT_EQ(split.State(), OperationState::Failed);
    EXPECT_EQ(shown.statusBar, ErrorText(L"Error: the recovery data of big.bin takes 819 MB of "
                                         L"memory, more than 512 MB",
                                         ERROR_NOT_ENOUGH_MEMORY));
    split.Abort();
    EXPECT_FALSE(FileExists(PartName(source, 1)) || FileExists(source + L".par2"));
}

namespace {

// A set split with recovery data, its source kept aside to compare with.
class RepairTest : public RecoveryTest {
protected:
    void SetUp() override {
        RecoveryTest::SetUp();
        WriteDword(L"WriteChecksums", 1);
        ASSERT_TRUE(WritePatternFile(whole, 9 * MiB - 5, 11));
        ASSERT_NO_FATAL_FAILURE(SplitWhole(whole));
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
    void Damage(unsigned part) {
        HANDLE file = ::CreateFileW(PartName(whole, part).c_str(), GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        DWORD written = 0;
        ASSERT_TRUE(::SetFilePointer(file, 1000, nullptr, FILE_BEGIN) == 1000 &&
                    ::WriteFile(file, "damage", 6, &written, nullptr));
        ::CloseHandle(file);
    }

    const std::wstring whole = dir / L"w.bin";
    std::vector<uint8_t> original;
    std::vector<std::string> partHashes;
};

} // namespace

// The common case: every part whole. The set checks them, nothing is rebuilt or moved, and the
// join goes on as ever.
TEST_F(RepairTest, AWholeSetIsCheckedThenJoined) {
    RecordingDisplay shown;
    ASSERT_EQ(Join(shown), OperationState::Done) << Narrow(shown.statusBar);
    std::vector<uint8_t> joined;
    EXPECT_TRUE(ReadWholeFile(whole, joined) && joined == original);
    const auto& seen = shown.statusHistory;
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(),
                            [](const std::wstring& s) { return s.rfind(L"Checking ", 0) == 0; }));
    EXPECT_TRUE(std::none_of(seen.begin(), seen.end(),
                             [](const std::wstring& s) { return s.rfind(L"Repairing ", 0) == 0; }));
    for (unsigned part = 1; part <= 9; ++part)
        EXPECT_FALSE(FileExists(PartName(whole, part) + L".damaged")) << part;
}

// A lost part and a damaged one: both rebuilt, the damaged one kept aside, then the join as ever.
TEST_F(RepairTest, ALostAndADamagedPartAreRebuiltBeforeTheJoin) {
    ASSERT_TRUE(::DeleteFileW(PartName(whole, 3).c_str()));
    Damage(7);
    const std::string damaged = SystemSha256OfFile(PartName(whole, 7));
    RecordingDisplay shown;
    ASSERT_EQ(Join(shown), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_EQ(shown.statusBar, L"SHA-256 verified: " + whole);
    std::vector<uint8_t> joined;
    EXPECT_TRUE(ReadWholeFile(whole, joined) && joined == original);
    for (unsigned part : {3u, 7u})
        EXPECT_EQ(SystemSha256OfFile(PartName(whole, part)), partHashes[part - 1]) << part;
    EXPECT_EQ(SystemSha256OfFile(PartName(whole, 7) + L".damaged"), damaged);
    const auto& seen = shown.statusHistory;
    EXPECT_NE(std::find(seen.begin(), seen.end(), L"Repairing w.bin.003..."), seen.end());
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

// As a large share on a slow machine: toward the end, each chunk's work in its turn takes many
// ticks, while the writes of the last chunks run ahead and end first.
class SlowSplit : public SplitOperation {
public:
    using SplitOperation::SplitOperation;

protected:
    ChunkWork OnChunkInOrder(const void* data, uint32_t length) override {
        if (TotalSize() - DoneSize() > 8ull * length || ++calls % 10 == 0)
            return SplitOperation::OnChunkInOrder(data, length);
        ::Sleep(5);
        return ChunkWork::Unfinished;
    }
    int calls = 0;
};

} // namespace

// Recovery work that lags behind the writes, in pieces at ticks of a timer; blocks larger than
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
        std::vector<uint8_t> joined;
        EXPECT_TRUE(ReadWholeFile(source, joined) && joined == data);
    }
}
