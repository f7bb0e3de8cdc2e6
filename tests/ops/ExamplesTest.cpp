#include "OpsTestSupport.h"
#include "support/SettingsValues.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"

#include <cstdio>

using namespace testing_support;

namespace ops_tests {
namespace {

class ExamplesTest : public OperationTest {
protected:
    // Splits and returns the display's state; the operation has been aborted as at exit.
    void Split(const std::wstring& source, uint64_t partSize, RecordingDisplay& shown) {
        shown.partSize = partSize;
        SplitOperation split(shown);
        split.Start(Wide(source));
        ASSERT_EQ(split.State(), OperationState::Waiting) << Narrow(shown.statusBar);
        split.OnCommand(kCommandSplit);
        ASSERT_TRUE(RunToEnd(split));
        ASSERT_EQ(split.State(), OperationState::Done) << Narrow(shown.statusBar);
        split.Abort();
    }
    void Join(const std::wstring& firstPart, RecordingDisplay& shown) {
        JoinOperation join(shown);
        join.Start(Wide(firstPart));
        ASSERT_TRUE(RunToEnd(join));
        ASSERT_EQ(join.State(), OperationState::Done) << Narrow(shown.statusBar);
        join.Abort();
    }
    // Writes parts of the given sizes for whole, and returns what the whole file must hold.
    std::vector<uint8_t> MakeParts(const std::wstring& whole, const std::vector<uint64_t>& sizes) {
        std::vector<uint8_t> all;
        unsigned i = 1;
        for (uint64_t size : sizes) {
            std::vector<uint8_t> part = MakePattern(static_cast<size_t>(size), 100 + i);
            EXPECT_TRUE(WriteWholeFile(PartName(whole, i++), part));
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }
};

TEST_F(ExamplesTest, TenMiBInThreeMiBPartsGivesFourParts) {
    const std::wstring source = dir / L"ten.bin";
    ASSERT_TRUE(WritePatternFile(source, 10 * MiB, 3));
    RecordingDisplay shown;
    ASSERT_NO_FATAL_FAILURE(Split(source, 3 * MiB, shown));
    EXPECT_EQ(FileSize(PartName(source, 1)), int64_t(3 * MiB));
    EXPECT_EQ(FileSize(PartName(source, 2)), int64_t(3 * MiB));
    EXPECT_EQ(FileSize(PartName(source, 3)), int64_t(3 * MiB));
    EXPECT_EQ(FileSize(PartName(source, 4)), int64_t(1 * MiB));
    EXPECT_FALSE(FileExists(PartName(source, 5)));
    // The part size is a sector multiple: the source too was read unbuffered.
    EXPECT_EQ(checker.UnbufferedOpenCount(), 5);
}

TEST_F(ExamplesTest, NineMiBGivesExactlyThreePartsAndSelectsThem) {
    WriteDword(L"SelectFiles", 1);
    ShellRecorder shell;
    const std::wstring source = dir / L"nine.bin";
    ASSERT_TRUE(WritePatternFile(source, 9 * MiB, 4));
    RecordingDisplay shown;
    shown.partSize = 3 * MiB;
    {
        SplitOperation split(shown);
        split.Start(Wide(source));
        EXPECT_EQ(shown.statusBar, L"Click Split button to begin (3 parts will be created).");
        split.OnCommand(kCommandSplit);
        ASSERT_TRUE(RunToEnd(split));
        ASSERT_EQ(split.State(), OperationState::Done);
        EXPECT_EQ(shown.actionId, kCommandFind);
        EXPECT_EQ(shown.actionFlags, kActionRunGroup | kActionResultGroup | kActionFindEnabled);
        ASSERT_EQ(ShellRecorder::calls, 1);
        // The three parts and their SHA-256 list.
        ASSERT_EQ(ShellRecorder::selected.size(), 4u);
        for (unsigned i = 0; i < 3; ++i)
            EXPECT_EQ(
                ::lstrcmpiW(ShellRecorder::selected[i].c_str(), PartName(source, i + 1).c_str()),
                0);
        EXPECT_EQ(::lstrcmpiW(ShellRecorder::selected[3].c_str(), (source + L".sha256").c_str()),
                  0);
        // Find selects them again.
        split.OnCommand(kCommandFind);
        EXPECT_EQ(ShellRecorder::calls, 2);
        split.Abort();
    }
    EXPECT_FALSE(FileExists(PartName(source, 4)));
    for (unsigned i = 1; i <= 3; ++i)
        EXPECT_EQ(FileSize(PartName(source, i)), int64_t(3 * MiB));
}

TEST_F(ExamplesTest, SectorMultiplePartsJoinUnbufferedAndTheOutputIsCut) {
    OpenRecorder recorder;
    const std::wstring whole = dir / L"film.avi";
    std::vector<uint8_t> expected = MakeParts(whole, {3 * MiB, 3 * MiB, 1000001});
    RecordingDisplay shown;
    ASSERT_NO_FATAL_FAILURE(Join(PartName(whole, 1), shown));
    EXPECT_EQ(FileSize(whole), 7291457);
    std::vector<uint8_t> joined;
    ASSERT_TRUE(ReadWholeFile(whole, joined));
    EXPECT_TRUE(joined == expected);
    std::vector<OpenRecorder::Open> opens = recorder.OpensOf(whole + L".partial");
    ASSERT_GE(opens.size(), 2u);
    EXPECT_EQ(opens[0].flags, DWORD(FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING));
    EXPECT_EQ(opens[0].disposition, DWORD(CREATE_NEW));
    // The cut goes through an ordinary handle.
    EXPECT_EQ(opens.back().flags, 0u);
    EXPECT_EQ(shown.status, L"film.avi joined !");
    EXPECT_EQ(shown.actionId, kCommandOpen);
    EXPECT_EQ(shown.actionFlags,
              kActionRunGroup | kActionResultGroup | kActionOpenEnabled | kActionFindEnabled);
}

TEST_F(ExamplesTest, UnalignedPartsJoinBuffered) {
    OpenRecorder recorder;
    const std::wstring whole = dir / L"million.bin";
    std::vector<uint8_t> expected = MakeParts(whole, {1000000, 1000000, 1000000, 12345});
    RecordingDisplay shown;
    ASSERT_NO_FATAL_FAILURE(Join(PartName(whole, 1), shown));
    std::vector<uint8_t> joined;
    ASSERT_TRUE(ReadWholeFile(whole, joined));
    EXPECT_TRUE(joined == expected);
    std::vector<OpenRecorder::Open> opens = recorder.OpensOf(whole + L".partial");
    ASSERT_GE(opens.size(), 1u);
    EXPECT_EQ(opens[0].flags, DWORD(FILE_FLAG_OVERLAPPED));
}

TEST_F(ExamplesTest, MoreThan999PartsGoOnWithFourDigits) {
    SetTuning(128 * 1024, 16);
    const std::wstring source = dir / L"many.bin";
    std::vector<uint8_t> original = MakePattern(1001 * 512 + 7, 9);
    ASSERT_TRUE(WriteWholeFile(source, original));
    RecordingDisplay shown;
    ASSERT_NO_FATAL_FAILURE(Split(source, 512, shown));
    EXPECT_EQ(FileSize(source + L".999"), 512);
    EXPECT_EQ(FileSize(source + L".1000"), 512);
    EXPECT_EQ(FileSize(source + L".1001"), 512);
    EXPECT_EQ(FileSize(source + L".1002"), 7);
    EXPECT_FALSE(FileExists(source + L".1003"));
    EXPECT_FALSE(FileExists(source + L".0999"));

    ASSERT_TRUE(::DeleteFileW(source.c_str()));
    RecordingDisplay joinShown;
    ASSERT_NO_FATAL_FAILURE(Join(source + L".001", joinShown));
    std::vector<uint8_t> joined;
    ASSERT_TRUE(ReadWholeFile(source, joined));
    EXPECT_TRUE(joined == original);
}

TEST_F(ExamplesTest, JoinStartedOnAnyPartStartsFromTheFirst) {
    const std::wstring whole = dir / L"trip.avi";
    std::vector<uint8_t> expected = MakeParts(whole, {4096, 4096, 100});
    RecordingDisplay shown;
    ASSERT_NO_FATAL_FAILURE(Join(PartName(whole, 3), shown));
    std::vector<uint8_t> joined;
    ASSERT_TRUE(ReadWholeFile(whole, joined));
    EXPECT_TRUE(joined == expected);
    EXPECT_EQ(shown.title, L"trip.avi");
}

TEST_F(ExamplesTest, AnEmptyPartThatTheListVouchesForIsSkipped) {
    OpenRecorder recorder;
    const std::wstring whole = dir / L"gap.bin";
    std::vector<uint8_t> expected = MakeParts(whole, {2048, 0, 1000});
    ASSERT_TRUE(WriteText(whole + L".sha256", SystemSha256(expected) + "  gap.bin\n"));
    RecordingDisplay shown;
    ASSERT_NO_FATAL_FAILURE(Join(PartName(whole, 1), shown));
    std::vector<uint8_t> joined;
    ASSERT_TRUE(ReadWholeFile(whole, joined));
    EXPECT_TRUE(joined == expected);
    // The empty part contributes nothing and is never opened.
    EXPECT_TRUE(recorder.OpensOf(PartName(whole, 2)).empty());
    EXPECT_EQ(recorder.OpensOf(PartName(whole, 3)).size(), 1u);
}

TEST_F(ExamplesTest, DeleteFilesRemovesThePartsAfterAJoinAndNamesOneThatStays) {
    WriteDword(L"DeleteFiles", 1);
    const std::wstring whole = dir / L"gone.bin";
    std::vector<uint8_t> expected = MakeParts(whole, {8192, 8192, 3});
    // A read-only part can't be deleted: the join stands, and says which part stayed.
    const std::wstring kept = PartName(whole, 2);
    ASSERT_TRUE(::SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_READONLY));
    RecordingDisplay shown;
    ASSERT_NO_FATAL_FAILURE(Join(PartName(whole, 1), shown));
    EXPECT_EQ(shown.statusBar, ErrorText(L"Error deleting gone.bin.002", ERROR_ACCESS_DENIED));
    ::SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (unsigned i = 1; i <= 3; ++i)
        EXPECT_EQ(FileExists(PartName(whole, i)), i == 2);
    std::vector<uint8_t> joined;
    ASSERT_TRUE(ReadWholeFile(whole, joined));
    EXPECT_TRUE(joined == expected);
}

TEST_F(ExamplesTest, PartsThatAreAllEmptyJoinIntoAnEmptyFile) {
    const std::wstring whole = dir / L"empty.bin";
    MakeParts(whole, {0, 0});
    RecordingDisplay shown;
    JoinOperation join(shown);
    join.Start(Wide(PartName(whole, 1)));
    // Nothing to move: the join ends at once, and still tells the window.
    EXPECT_EQ(join.State(), OperationState::Done);
    EXPECT_EQ(shown.status, L"empty.bin joined !");
    ASSERT_TRUE(RunUntil([&] { return shown.endedMessages == 1; }, 2000));
    EXPECT_EQ(FileSize(whole), 0);
    join.Abort();
    EXPECT_TRUE(FileExists(whole));
}

} // namespace
} // namespace ops_tests
