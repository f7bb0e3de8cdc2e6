#include "OpsTestSupport.h"
#include "support/SettingsValues.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"

#include <cstdio>

using namespace testing_support;

namespace ops_tests {
namespace {

using ExamplesTest = OperationTest;

TEST_F(ExamplesTest, TenMiBInThreeMiBPartsGivesFourParts) {
    const std::wstring source = dir / L"ten.bin";
    ASSERT_TRUE(WritePatternFile(source, 10 * MiB, 3));
    RecordingDisplay shown;
    ASSERT_EQ(Split(source, 3 * MiB, shown), OperationState::Done) << Narrow(shown.statusBar);
    for (unsigned i = 1; i <= 4; ++i)
        EXPECT_EQ(FileSize(PartName(source, i)), int64_t(i < 4 ? 3 * MiB : 1 * MiB)) << i;
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
    std::vector<uint8_t> expected = MakeParts(whole, {3 * MiB, 3 * MiB, 1000001}, 101);
    RecordingDisplay shown;
    ASSERT_EQ(Join(whole, shown), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_EQ(FileSize(whole), 7291457);
    EXPECT_TRUE(Holds(whole, expected));
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
    std::vector<uint8_t> expected = MakeParts(whole, {1000000, 1000000, 1000000, 12345}, 101);
    RecordingDisplay shown;
    ASSERT_EQ(Join(whole, shown), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_TRUE(Holds(whole, expected));
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
    ASSERT_EQ(Split(source, 512, shown), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_EQ(FileSize(source + L".999"), 512);
    EXPECT_EQ(FileSize(source + L".1000"), 512);
    EXPECT_EQ(FileSize(source + L".1001"), 512);
    EXPECT_EQ(FileSize(source + L".1002"), 7);
    EXPECT_FALSE(FileExists(source + L".1003"));
    EXPECT_FALSE(FileExists(source + L".0999"));

    ASSERT_TRUE(::DeleteFileW(source.c_str()));
    RecordingDisplay joinShown;
    ASSERT_EQ(Join(source, joinShown), OperationState::Done) << Narrow(joinShown.statusBar);
    EXPECT_TRUE(Holds(source, original));
}

TEST_F(ExamplesTest, JoinStartedOnAnyPartStartsFromTheFirst) {
    const std::wstring whole = dir / L"trip.avi";
    std::vector<uint8_t> expected = MakeParts(whole, {4096, 4096, 100}, 101);
    RecordingDisplay shown;
    ASSERT_EQ(Join(whole, shown, 3), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_TRUE(Holds(whole, expected));
    EXPECT_EQ(shown.title, L"trip.avi");
}

TEST_F(ExamplesTest, AnEmptyPartThatTheListVouchesForIsSkipped) {
    OpenRecorder recorder;
    const std::wstring whole = dir / L"gap.bin";
    std::vector<uint8_t> expected = MakeParts(whole, {2048, 0, 1000}, 101);
    ASSERT_TRUE(WriteText(whole + L".sha256", SystemSha256(expected) + "  gap.bin\n"));
    RecordingDisplay shown;
    ASSERT_EQ(Join(whole, shown), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_TRUE(Holds(whole, expected));
    // The empty part contributes nothing and is never opened.
    EXPECT_TRUE(recorder.OpensOf(PartName(whole, 2)).empty());
    EXPECT_EQ(recorder.OpensOf(PartName(whole, 3)).size(), 1u);
}

TEST_F(ExamplesTest, DeleteFilesRemovesThePartsAfterAJoinAndNamesOneThatStays) {
    WriteDword(L"DeleteFiles", 1);
    const std::wstring whole = dir / L"gone.bin";
    std::vector<uint8_t> expected = MakeParts(whole, {8192, 8192, 3}, 101);
    // A read-only part can't be deleted: the join stands, and says which part stayed.
    const std::wstring kept = PartName(whole, 2);
    ASSERT_TRUE(::SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_READONLY));
    RecordingDisplay shown;
    ASSERT_EQ(Join(whole, shown), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_EQ(shown.statusBar, ErrorText(L"Error deleting gone.bin.002", ERROR_ACCESS_DENIED));
    ::SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (unsigned i = 1; i <= 3; ++i)
        EXPECT_EQ(FileExists(PartName(whole, i)), i == 2);
    EXPECT_TRUE(Holds(whole, expected));
}

TEST_F(ExamplesTest, PartsThatAreAllEmptyJoinIntoAnEmptyFile) {
    const std::wstring whole = dir / L"empty.bin";
    MakeParts(whole, {0, 0}, 101);
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
