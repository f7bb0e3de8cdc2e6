#include "OpsTestSupport.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"
#include "support/ClassesKeys.h"
#include "support/MessageLoop.h"
#include "support/SettingsValues.h"

#include <algorithm>
#include <cstdio>

using namespace testing_support;

namespace ops_tests {
namespace {

class StateTest : public OperationTest {};

TEST_F(StateTest, WaitingFollowsThePartSize) {
    const std::wstring source = dir / L"wait.bin";
    ASSERT_TRUE(WritePatternFile(source, 10 * MiB, 1));
    RecordingDisplay shown;
    SplitOperation split(shown);
    EXPECT_EQ(split.Progress(), 0.0f);
    split.Start(Wide(source));
    ASSERT_EQ(split.State(), OperationState::Waiting);
    EXPECT_EQ(shown.title, L"wait.bin");
    EXPECT_EQ(shown.status, L"Waiting user action.");
    EXPECT_EQ(shown.statusBar, L"Pick Part-Size.");
    EXPECT_EQ(shown.actionId, kCommandSplit);
    EXPECT_EQ(shown.actionFlags, kActionRunGroup | kActionSplitEnabled | kActionLabelInert);

    shown.partSize = 3 * MiB;
    split.OnPartSizeChanged();
    EXPECT_EQ(shown.statusBar, L"Click Split button to begin (4 parts will be created).");
    EXPECT_EQ(shown.actionFlags, kActionRunGroup | kActionSplitEnabled | kActionLabelRuns);
    shown.partSize = 0;
    split.OnPartSizeChanged();
    EXPECT_EQ(shown.statusBar, L"Pick Part-Size.");
    EXPECT_EQ(shown.actionFlags, kActionRunGroup | kActionLabelInert);

    // No part size: Split does nothing at all.
    split.OnCommand(kCommandSplit);
    EXPECT_EQ(split.State(), OperationState::Waiting);
    EXPECT_FALSE(FileExists(PartName(source, 1)));
    // Commands of other states are ignored.
    for (UINT command : {kCommandPause, kCommandResume, kCommandOpen, kCommandFind})
        split.OnCommand(command);
    EXPECT_EQ(split.State(), OperationState::Waiting);
    split.Abort();
    EXPECT_EQ(split.State(), OperationState::Idle);
}

TEST_F(StateTest, PauseLetsWhatIsInFlightFinishAndResumeGoesOn) {
    SetTuning(128 * KiB, 4);
    const std::wstring source = dir / L"pause.bin";
    ASSERT_TRUE(WritePatternFile(source, 8 * MiB + 100, 2));
    RecordingDisplay shown;
    shown.partSize = 3 * MiB;
    SplitOperation split(shown);
    split.Start(Wide(source));
    split.OnCommand(kCommandSplit);
    ASSERT_EQ(split.State(), OperationState::Running);
    EXPECT_EQ(shown.panelShown, 0);
    EXPECT_EQ(shown.status, L"Processing pause.bin...");
    EXPECT_EQ(shown.statusBar, source);
    EXPECT_EQ(shown.actionId, kCommandPause);
    EXPECT_EQ(shown.actionFlags, kActionRunGroup | kActionPauseEnabled);
    EXPECT_TRUE(split.IsBusy());

    split.OnCommand(kCommandPause);
    ASSERT_EQ(split.State(), OperationState::Paused);
    EXPECT_EQ(shown.status, L"Processing pause.bin paused.");
    EXPECT_EQ(shown.actionId, kCommandResume);
    EXPECT_EQ(shown.actionFlags, kActionRunGroup | kActionResumeEnabled);
    EXPECT_TRUE(split.IsBusy());

    // The four chunks in flight are still written (however slowly a loaded machine gets there);
    // nothing new goes out.
    EXPECT_TRUE(RunUntil([&] { return split.DoneSize() >= 4 * 128 * KiB; }));
    EXPECT_EQ(split.DoneSize(), 4 * 128 * KiB);
    int transfers = checker.TransferCount();
    PumpFor(200);
    EXPECT_EQ(checker.TransferCount(), transfers);
    EXPECT_EQ(split.DoneSize(), 4 * 128 * KiB);
    EXPECT_EQ(split.State(), OperationState::Paused);

    split.OnCommand(kCommandResume);
    EXPECT_EQ(split.State(), OperationState::Running);
    EXPECT_EQ(shown.status, L"Processing pause.bin...");
    EXPECT_EQ(shown.actionId, kCommandPause);
    ASSERT_TRUE(RunToEnd(split));
    ASSERT_EQ(split.State(), OperationState::Done);
    EXPECT_FLOAT_EQ(split.Progress(), 100.0f);
    split.Abort();

    std::vector<uint8_t> original;
    ASSERT_TRUE(ReadWholeFile(source, original));
    EXPECT_TRUE(PartsHold(source, 3, original));
}

TEST_F(StateTest, LastWritesLandingWhilePausedStillEndTheOperation) {
    SetTuning(128 * KiB, 4);
    const std::wstring source = dir / L"drain.bin";
    ASSERT_TRUE(WritePatternFile(source, 4 * 128 * KiB, 5)); // exactly four chunks
    RecordingDisplay shown;
    shown.partSize = 1 * MiB;
    SplitOperation split(shown);
    split.Start(Wide(source));
    split.OnCommand(kCommandSplit);
    split.OnCommand(kCommandPause);
    ASSERT_TRUE(RunToEnd(split, 5000));
    EXPECT_EQ(split.State(), OperationState::Done);
    EXPECT_EQ(shown.status, L"drain.bin splited !");
    EXPECT_EQ(shown.actionId, kCommandFind);
    EXPECT_EQ(shown.endedMessages, 1);
    EXPECT_EQ(FileSize(PartName(source, 1)), int64_t(512 * KiB));
    split.Abort();
}

// Abort leaves nothing of a split that runs, nor of one with every byte written whose list goes to
// the disk on a worker while the window answers.
TEST_F(StateTest, AbortWhileRunningRemovesWhatTheSplitCreated) {
    SetTuning(128 * KiB, 1);
    const std::wstring source = dir / L"abort.bin";
    ASSERT_TRUE(WritePatternFile(source, 4 * MiB, 6));
    // A file of another name beside it stays whatever happens.
    ASSERT_TRUE(WriteWholeFile(dir / L"abort.bin.txt", MakePattern(10)));
    for (const bool listed : {false, true}) {
        SCOPED_TRACE(listed ? "the list going to the disk" : "running");
        WriteDword(L"WriteChecksums", listed);
        RecordingDisplay shown;
        shown.partSize = 1 * MiB;
        SplitOperation split(shown);
        split.Start(Wide(source));
        split.OnCommand(kCommandSplit);
        const uint64_t reached = listed ? 4 * MiB : 1 * MiB + 256 * KiB;
        ASSERT_TRUE(RunUntil([&] {
            return split.State() != OperationState::Running || split.DoneSize() >= reached;
        }));
        ASSERT_EQ(split.State(), OperationState::Running);
        ASSERT_TRUE(FileExists(PartName(source, 2)));
        split.Abort();
        EXPECT_EQ(split.State(), OperationState::Idle);
        for (unsigned i = 1; i <= 4; ++i)
            EXPECT_FALSE(FileExists(PartName(source, i))) << i;
        EXPECT_FALSE(FileExists(source + L".sha256"));
        EXPECT_EQ(FileSize(source), int64_t(4 * MiB));
        EXPECT_TRUE(FileExists(dir / L"abort.bin.txt"));
        // The abandoned IoPairs come back and free themselves without touching the operation.
        PumpFor(100);
    }
}

// What lies under the unfinished output's name when a join starts, and what appears under the
// real name while it runs.
TEST_F(StateTest, TheUnfinishedOutputIsReplacedOnlyWhenItIsOurs) {
    SetTuning(128 * KiB, 1);
    WriteDword(L"DeleteFiles", 1);
    enum class Found { LeftByAJoin, Larger, Folder, RealNameMeanwhile };
    const std::wstring whole = dir / L"u.bin", unfinished = whole + L".partial";
    for (Found found :
         {Found::LeftByAJoin, Found::Larger, Found::Folder, Found::RealNameMeanwhile}) {
        SCOPED_TRACE(static_cast<int>(found));
        const std::vector<uint8_t> all = MakeParts(whole, {512 * KiB, 512 * KiB, 512 * KiB}, 61);
        const std::vector<uint8_t> left =
            MakePattern(found == Found::Larger ? 1537 * KiB : 700 * KiB, 9);
        if (found == Found::Folder) {
            ASSERT_TRUE(::CreateDirectoryW(unfinished.c_str(), nullptr));
        } else if (found != Found::RealNameMeanwhile) {
            ASSERT_TRUE(WriteWholeFile(unfinished, left));
        }
        RecordingDisplay shown;
        JoinOperation join(shown);
        join.Start(Wide(PartName(whole, 1)));
        if (found == Found::RealNameMeanwhile) {
            ASSERT_TRUE(WriteWholeFile(whole, left));
        }
        ASSERT_TRUE(RunToEnd(join));
        join.Abort();
        switch (found) {
        case Found::LeftByAJoin:
            EXPECT_EQ(shown.status, L"u.bin joined !");
            EXPECT_TRUE(Holds(whole, all));
            EXPECT_FALSE(FileExists(unfinished));
            EXPECT_FALSE(FileExists(PartName(whole, 1)));
            break;
        case Found::Larger:
        case Found::Folder:
            EXPECT_EQ(shown.statusBar,
                      ErrorText(L"Error opening u.bin.partial", ERROR_FILE_EXISTS));
            EXPECT_TRUE(found == Found::Folder ? ::RemoveDirectoryW(unfinished.c_str())
                                               : Holds(unfinished, left));
            EXPECT_FALSE(FileExists(whole));
            break;
        case Found::RealNameMeanwhile:
            // Both stay: the file that took the name, and the joined one beside it.
            EXPECT_EQ(shown.statusBar,
                      ErrorText(L"Error renaming u.bin.partial to u.bin", ERROR_ALREADY_EXISTS));
            EXPECT_TRUE(Holds(whole, left));
            EXPECT_TRUE(Holds(unfinished, all));
            EXPECT_TRUE(FileExists(PartName(whole, 1)));
            break;
        }
        for (const std::wstring& file :
             {whole, unfinished, PartName(whole, 1), PartName(whole, 2), PartName(whole, 3)})
            ::DeleteFileW(file.c_str());
    }
}

// Abort leaves nothing of a join paused far from its end, nor of one with every byte written
// whose file goes to the disk on a worker while the window answers (Pause has nothing left to
// stop then): nothing ever had the real name, and every part stays.
TEST_F(StateTest, AbortRemovesThePartialJoinPausedOrGoingToTheDisk) {
    SetTuning(128 * KiB, 2);
    const std::wstring whole = dir / L"partial.bin";
    for (unsigned i = 1; i <= 3; ++i)
        ASSERT_TRUE(WritePatternFile(PartName(whole, i), 2 * MiB, i));
    for (const bool paused : {true, false}) {
        SCOPED_TRACE(paused ? "paused" : "going to the disk");
        RecordingDisplay shown;
        JoinOperation join(shown);
        join.Start(Wide(PartName(whole, 1)));
        ASSERT_EQ(join.State(), OperationState::Running);
        // Paused at once, however fast the machine: only the two chunks in flight still
        // complete, far from the end.
        if (paused)
            join.OnCommand(kCommandPause);
        const OperationState expected = paused ? OperationState::Paused : OperationState::Running;
        const uint64_t reached = paused ? 256 * KiB : 6 * MiB;
        ASSERT_TRUE(
            RunUntil([&] { return join.State() != expected || join.DoneSize() == reached; }));
        ASSERT_EQ(join.State(), expected);
        if (!paused) {
            // A Pause that comes anyway, from a click made before the button changed, is
            // refused: the flush would come back to a paused join and be dropped.
            EXPECT_EQ(shown.actionFlags & kActionPauseEnabled, 0u);
            join.OnCommand(kCommandPause);
            EXPECT_EQ(join.State(), OperationState::Running);
        }
        ASSERT_TRUE(FileExists(whole + L".partial"));
        EXPECT_FALSE(FileExists(whole));
        join.Abort();
        EXPECT_FALSE(FileExists(whole + L".partial"));
        EXPECT_FALSE(FileExists(whole));
        for (unsigned i = 1; i <= 3; ++i)
            EXPECT_EQ(FileSize(PartName(whole, i)), int64_t(2 * MiB));
        PumpFor(100);
        EXPECT_EQ(join.State(), OperationState::Idle);
    }
}

TEST_F(StateTest, AbortAfterDoneDeletesNothing) {
    const std::wstring source = dir / L"kept.bin";
    ASSERT_TRUE(WritePatternFile(source, 3000, 8));
    RecordingDisplay shown, joinShown;
    ASSERT_EQ(Split(source, 1000, shown), OperationState::Done);
    for (unsigned i = 1; i <= 3; ++i)
        EXPECT_EQ(FileSize(PartName(source, i)), 1000);

    ASSERT_TRUE(::DeleteFileW(source.c_str()));
    ASSERT_EQ(Join(source, joinShown), OperationState::Done);
    EXPECT_EQ(FileSize(source), 3000);
}

// Makes the shell open files of one made-up type with a copy: opening x.type leaves
// x.type.opened beside it, a copy of what was opened.
class CopyOnOpen {
public:
    explicit CopyOnOpen(const wchar_t* type) : extension(type) {
        const std::wstring command = L"cmd.exe /c copy /y \"%1\" \"%1.opened\"";
        WriteDefault(extension.c_str(), kType, kMachine);
        WriteDefault(kCommandKey, command, kMachine);
        ok = ReadDefault(kCommandKey, kMachine).text == command;
    }
    ~CopyOnOpen() {
        DeleteTree(kType, kMachine);
        DeleteTree(extension.c_str(), kMachine);
    }
    CopyOnOpen(const CopyOnOpen&) = delete;
    CopyOnOpen& operator=(const CopyOnOpen&) = delete;
    bool IsSet() const { return ok; }

private:
    static constexpr const wchar_t* kType = L"BrindlecotTestCopy";
    static constexpr const wchar_t* kCommandKey = L"BrindlecotTestCopy\\shell\\open\\command";
    std::wstring extension;
    bool ok = false;
};

TEST_F(StateTest, OpenAndFindHandTheResultToTheShellOnlyWhenDone) {
    ShellRecorder shell;
    CopyOnOpen opener(L".bcjoined");
    ASSERT_TRUE(opener.IsSet());
    const std::wstring source = dir / L"result.bcjoined";
    const std::vector<uint8_t> data = MakePattern(2500, 14);
    ASSERT_TRUE(WriteWholeFile(source, data));

    RecordingDisplay shown;
    shown.partSize = 1000;
    SplitOperation split(shown);
    split.Start(Wide(source));
    split.OnCommand(kCommandFind); // Waiting: nothing to show yet
    EXPECT_EQ(ShellRecorder::calls, 0);
    split.OnCommand(kCommandSplit);
    ASSERT_TRUE(RunToEnd(split));
    ASSERT_EQ(split.State(), OperationState::Done);
    EXPECT_EQ(ShellRecorder::calls, 0); // SelectFiles is off
    split.OnCommand(kCommandOpen);      // a split has nothing to open
    split.OnCommand(kCommandFind);
    ASSERT_EQ(ShellRecorder::calls, 1);
    std::vector<std::wstring> parts;
    for (unsigned i = 1; i <= 3; ++i)
        parts.push_back(PartName(source, i));
    parts.push_back(source + L".sha256"); // their SHA-256 list with them
    ASSERT_EQ(ShellRecorder::selected.size(), parts.size());
    for (size_t i = 0; i < parts.size(); ++i)
        EXPECT_EQ(::lstrcmpiW(ShellRecorder::selected[i].c_str(), parts[i].c_str()), 0) << i;
    split.Abort();
    EXPECT_FALSE(FileExists(source + L".opened"));

    ASSERT_TRUE(::DeleteFileW(source.c_str()));
    RecordingDisplay joinShown;
    JoinOperation join(joinShown);
    join.Start(Wide(PartName(source, 1)));
    join.OnCommand(kCommandOpen); // still running: ignored
    join.OnCommand(kCommandFind);
    ASSERT_TRUE(RunToEnd(join));
    ASSERT_EQ(join.State(), OperationState::Done);
    EXPECT_EQ(ShellRecorder::calls, 1);
    EXPECT_FALSE(FileExists(source + L".opened"));

    join.OnCommand(kCommandFind);
    ASSERT_EQ(ShellRecorder::calls, 2);
    ASSERT_EQ(ShellRecorder::selected.size(), 1u);
    EXPECT_EQ(::lstrcmpiW(ShellRecorder::selected[0].c_str(), source.c_str()), 0);

    // Open starts the program the file type names, here a copy of the joined file.
    join.OnCommand(kCommandOpen);
    // The copy may still hold its file open for a moment after it has its full size.
    std::vector<uint8_t> opened;
    EXPECT_TRUE(RunUntil(
        [&] { return ReadWholeFile(source + L".opened", opened) && opened == data; }, 30000));
    join.Abort();
}

TEST_F(StateTest, AbortMidRunKeepsAFileNamedLikeAPartItNeverReached) {
    SetTuning(128 * KiB, 1);
    const std::wstring source = dir / L"x.bin";
    ASSERT_TRUE(WritePatternFile(source, 8 * MiB, 12));
    RecordingDisplay shown;
    shown.partSize = 1 * MiB;
    SplitOperation split(shown);
    split.Start(Wide(source));
    split.OnCommand(kCommandSplit);
    ASSERT_EQ(split.State(), OperationState::Running);
    // Somebody else's file under the name of a later part, made after the split began.
    const std::vector<uint8_t> foreign = MakePattern(333, 13);
    ASSERT_TRUE(WriteWholeFile(PartName(source, 4), foreign));
    ASSERT_TRUE(RunUntil([&] { return split.DoneSize() >= 128 * KiB; }));
    ASSERT_EQ(split.State(), OperationState::Running);
    ASSERT_LT(split.DoneSize(), 3 * MiB);
    split.Abort();
    PumpFor(100);
    EXPECT_FALSE(FileExists(PartName(source, 1)));
    EXPECT_FALSE(FileExists(PartName(source, 2)));
    EXPECT_TRUE(Holds(PartName(source, 4), foreign));
    EXPECT_EQ(FileSize(source), int64_t(8 * MiB));
}

TEST_F(StateTest, AJoinWithDeleteFilesOffKeepsEveryPart) {
    // DeleteFiles is left at its default, off.
    const std::wstring whole = dir / L"keep.bin";
    const std::vector<uint8_t> all = MakeParts(whole, {1504, 1504, 1501}, 41);
    RecordingDisplay shown;
    ASSERT_EQ(Join(whole, shown), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_EQ(shown.status, L"keep.bin joined !");
    EXPECT_TRUE(Holds(whole, all));
    for (unsigned i = 1; i <= 3; ++i)
        EXPECT_EQ(FileSize(PartName(whole, i)), int64_t(1504 - i / 3 * 3)) << i;
}

TEST_F(StateTest, AnEmptySourceIgnoresSplit) {
    const std::wstring source = dir / L"empty.bin";
    ASSERT_TRUE(WriteWholeFile(source, {}));
    RecordingDisplay shown;
    shown.partSize = 1000;
    SplitOperation split(shown);
    split.Start(Wide(source));
    EXPECT_EQ(shown.statusBar, L"Click Split button to begin (0 parts will be created).");
    split.OnCommand(kCommandSplit);
    EXPECT_EQ(split.State(), OperationState::Waiting);
    EXPECT_FALSE(FileExists(PartName(source, 1)));
    split.Abort();
}

// The file grows or shrinks while the user makes up their mind: the parts are laid out from its
// size at the Split command.
TEST_F(StateTest, TheSplitLaysOutThePartsFromTheSizeAtTheSplitCommand) {
    const struct {
        const wchar_t* name;
        uint64_t before;
        size_t after;
        uint64_t partSize;
        unsigned parts;
    } rows[] = {{L"grown.bin", 5000, 7100, 2000, 4}, {L"shrunk.bin", 9000, 4100, 4096, 2}};
    uint32_t seed = 10;
    for (const auto& row : rows) {
        SCOPED_TRACE(Narrow(row.name));
        const std::wstring source = dir / row.name;
        ASSERT_TRUE(WritePatternFile(source, row.before, seed++));
        RecordingDisplay shown;
        shown.partSize = row.partSize;
        SplitOperation split(shown);
        split.Start(Wide(source));
        EXPECT_EQ(shown.statusBar, L"Click Split button to begin (3 parts will be created).");
        const std::vector<uint8_t> now = MakePattern(row.after, seed++);
        ASSERT_TRUE(WriteWholeFile(source, now));
        split.OnCommand(kCommandSplit);
        ASSERT_TRUE(RunToEnd(split));
        ASSERT_EQ(split.State(), OperationState::Done) << Narrow(shown.statusBar);
        split.Abort();
        EXPECT_TRUE(PartsHold(source, row.parts, now));
        for (unsigned i = 1; i <= row.parts; ++i)
            EXPECT_EQ(
                FileSize(PartName(source, i)),
                int64_t(std::min<uint64_t>(row.partSize, row.after - (i - 1) * row.partSize)));
        EXPECT_FALSE(FileExists(PartName(source, row.parts + 1)));
    }
}

} // namespace
} // namespace ops_tests
