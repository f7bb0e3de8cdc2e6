#include "OpsTestSupport.h"
#include "support/Par2TestSets.h"
#include "support/SettingsValues.h"
#include "support/SmallVolume.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"

#include <algorithm>
#include <cstdio>

using namespace testing_support;

namespace ops_tests {
namespace {

// Runs on a small real volume (scripts/with-small-volume.sh mounts one as T:).
class DiskFullTest : public OperationTest {
protected:
    void SetUp() override {
        OperationTest::SetUp();
        root = SmallVolumeRoot();
        if (root.empty())
            GTEST_SKIP() << "no small volume: run through scripts/with-small-volume.sh";
        // The volume is shared by the cases of this run: each starts on an empty one.
        EmptyFolder(root);
        free = Available();
        ASSERT_GT(free, 2 * MiB);
        DWORD sectorsPerCluster = 0, bytesPerSector = 0;
        ASSERT_TRUE(::GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, nullptr,
                                        nullptr));
        cluster = sectorsPerCluster * bytesPerSector;
    }

    uint64_t Available() const { return AvailableOn(root); }
    std::vector<std::wstring> Files() const { return FilesIn(root); }

    // Somebody else takes all but this many bytes (a whole number of clusters) of the volume.
    void LeaveFree(uint64_t bytes) {
        const uint64_t now = Available();
        ASSERT_GE(now, bytes);
        wchar_t name[32];
        swprintf(name, 32, L"~other%d.bin", fillers++);
        ASSERT_TRUE(WritePatternFile(root + name, now - bytes, 99));
        ASSERT_EQ(Available(), bytes);
    }

    // The figures of the cases that check the room before starting are those of 4 KiB clusters
    // (tmpfs allocates pages).
    void ExpectPageClusters() const { ASSERT_EQ(cluster, 4096u); }

    std::wstring root;
    uint64_t free = 0;
    uint32_t cluster = 0;
    int fillers = 0;
};

// 1,000,000 bytes in ten parts of 100,000: each part takes 25 clusters of 4 KiB, 1,024,000
// bytes in all, more than the source itself; the SHA-256 list beside them takes one more.
constexpr uint64_t kSplitSource = 1000000;
constexpr uint64_t kSplitPart = 100000;
constexpr uint64_t kSplitNeeds = 10 * 102400 + 4096;

// Without recovery data, more than the source's bytes are free but not what its parts take; with
// it, room for the parts and the list but not for the recovery files.
TEST_F(DiskFullTest, ASplitThatCannotFitFailsAtOnceAndCreatesNothing) {
    ExpectPageClusters();
    SetTuning(128 * KiB, 4);
    const std::wstring source = root + L"big.bin";
    for (const uint32_t percent : {0u, 30u}) {
        EmptyFolder(root);
        WriteDword(L"RecoveryPercent", percent);
        ASSERT_TRUE(WritePatternFile(source, kSplitSource, 31));
        const uint64_t room = percent == 0 ? kSplitNeeds - 4096 : kSplitNeeds;
        LeaveFree(room);
        const std::vector<std::wstring> before = Files();
        RecordingDisplay shown;
        shown.partSize = kSplitPart;
        SplitOperation split(shown);
        split.Start(Wide(source));
        ASSERT_EQ(split.State(), OperationState::Waiting) << Narrow(shown.statusBar);
        split.OnCommand(kCommandSplit);
        // At once: nothing was issued that the message loop would have to bring back.
        EXPECT_EQ(split.State(), OperationState::Failed) << percent;
        EXPECT_EQ(shown.status, L"Error occurred !");
        if (percent == 0) {
            EXPECT_EQ(
                shown.statusBar,
                ErrorText(L"Error CheckFreeSpace (1004 KB needed, 1000 KB free)", ERROR_DISK_FULL));
        }
        EXPECT_EQ(shown.statusBar.rfind(L"Error CheckFreeSpace (", 0), 0u)
            << Narrow(shown.statusBar);
        EXPECT_EQ(shown.actionId, kCommandExit);
        ASSERT_TRUE(RunToEnd(split));
        split.Abort();
        EXPECT_EQ(Files(), before);
        EXPECT_EQ(Available(), room);
    }
}

TEST_F(DiskFullTest, ASplitThatJustFitsFillsTheVolumeExactly) {
    ExpectPageClusters();
    SetTuning(128 * KiB, 4);
    const std::wstring source = root + L"big.bin";
    ASSERT_TRUE(WritePatternFile(source, kSplitSource, 32));
    LeaveFree(kSplitNeeds);
    RecordingDisplay shown;
    ASSERT_EQ(Split(source, kSplitPart, shown), OperationState::Done) << Narrow(shown.statusBar);
    std::vector<uint8_t> whole;
    ASSERT_TRUE(ReadWholeFile(source, whole));
    EXPECT_TRUE(PartsHold(source, 10, whole));
    for (unsigned i = 1; i <= 10; ++i)
        EXPECT_EQ(FileSize(PartName(source, i)), int64_t(kSplitPart)) << i;
    // What the check counted is what the parts and the list took.
    EXPECT_EQ(Available(), 0u);
}

// Parts of one byte take a cluster each, and the list, lines of 71 bytes plus the name's, some
// clusters more: one list ends exactly on a cluster boundary, the other one byte past it, so the
// count must be right to the byte either way.
TEST_F(DiskFullTest, TheListOfManyPartsIsCountedInWholeClusters) {
    ExpectPageClusters();
    SetTuning(128 * KiB, 4);
    struct Row {
        const wchar_t* name;
        uint64_t parts;
        uint64_t listClusters; // of a list 40,960 and 20,481 bytes long
        const wchar_t* refused;
    };
    const Row rows[] = {
        {L"a.bin", 538, 10, L"Error CheckFreeSpace (2.14 MB needed, 2.13 MB free)"},
        {L"edge-case1.bin", 240, 6, L"Error CheckFreeSpace (984 KB needed, 980 KB free)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Narrow(row.name));
        const uint64_t needs = (row.parts + row.listClusters) * 4096;
        const std::wstring source = root + row.name;
        ASSERT_TRUE(WritePatternFile(source, row.parts, 33));
        // A cluster short: refused before any part is made.
        LeaveFree(needs - 4096);
        const std::vector<std::wstring> before = Files();
        RecordingDisplay refused;
        EXPECT_EQ(Split(source, 1, refused), OperationState::Failed);
        EXPECT_EQ(refused.statusBar, ErrorText(row.refused, ERROR_DISK_FULL));
        EXPECT_EQ(Files(), before);

        // With that cluster, parts and list fill the volume exactly.
        for (const std::wstring& name : before) {
            if (name.rfind(L"~other", 0) == 0) {
                ASSERT_TRUE(::DeleteFileW((root + name).c_str()));
            }
        }
        LeaveFree(needs);
        RecordingDisplay done;
        EXPECT_EQ(Split(source, 1, done), OperationState::Done) << Narrow(done.statusBar);
        EXPECT_EQ(Available(), 0u);
        for (const std::wstring& name : Files())
            ASSERT_TRUE(::DeleteFileW((root + name).c_str()));
    }
}

// Parts of 512 KiB and 300,000 bytes: the output takes 202 clusters, 827,392 bytes.
constexpr uint64_t kJoinFirst = 512 * KiB;
constexpr uint64_t kJoinSecond = 300000;
constexpr uint64_t kJoinNeeds = 202 * 4096;

TEST_F(DiskFullTest, AJoinThatCannotFitFailsAtOnceAndCreatesNothing) {
    ExpectPageClusters();
    SetTuning(128 * KiB, 2);
    // The parts would go only after the output is complete: they don't make room for it.
    WriteDword(L"DeleteFiles", 1);
    const std::wstring whole = root + L"whole.bin";
    ASSERT_TRUE(WritePatternFile(whole + L".001", kJoinFirst, 33));
    ASSERT_TRUE(WritePatternFile(whole + L".002", kJoinSecond, 34));
    LeaveFree(kJoinNeeds - 4096);
    const std::vector<std::wstring> before = Files();
    RecordingDisplay shown;
    JoinOperation join(shown);
    join.Start(Wide(whole + L".001"));
    EXPECT_EQ(join.State(), OperationState::Failed);
    EXPECT_EQ(shown.status, L"Error occurred !");
    EXPECT_EQ(shown.statusBar,
              ErrorText(L"Error CheckFreeSpace (808 KB needed, 804 KB free)", ERROR_DISK_FULL));
    ASSERT_TRUE(RunToEnd(join));
    join.Abort();
    EXPECT_EQ(Files(), before);
    EXPECT_FALSE(FileExists(whole));
    EXPECT_EQ(FileSize(whole + L".001"), int64_t(kJoinFirst));
    EXPECT_EQ(FileSize(whole + L".002"), int64_t(kJoinSecond));
}

TEST_F(DiskFullTest, AJoinThatJustFitsSucceeds) {
    ExpectPageClusters();
    SetTuning(128 * KiB, 2);
    WriteDword(L"DeleteFiles", 1);
    const std::wstring whole = root + L"whole.bin";
    ASSERT_TRUE(WritePatternFile(whole + L".001", kJoinFirst, 35));
    ASSERT_TRUE(WritePatternFile(whole + L".002", kJoinSecond, 36));
    std::vector<uint8_t> expected, second;
    ASSERT_TRUE(ReadWholeFile(whole + L".001", expected));
    ASSERT_TRUE(ReadWholeFile(whole + L".002", second));
    expected.insert(expected.end(), second.begin(), second.end());
    LeaveFree(kJoinNeeds);
    RecordingDisplay shown;
    ASSERT_EQ(Join(whole, shown), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_TRUE(Holds(whole, expected));
    EXPECT_FALSE(FileExists(whole + L".001"));
    EXPECT_FALSE(FileExists(whole + L".002"));
}

// The room was there when the work began, and somebody else took it while the data moved: the
// writes that no longer fit fail, and that is reported.
TEST_F(DiskFullTest, ASplitWhoseRoomIsTakenWhileRunningFailsAndSaysSo) {
    SetTuning(128 * KiB, 4);
    const std::wstring source = root + L"full.bin";
    const uint64_t size = 1 * MiB;
    ASSERT_TRUE(WritePatternFile(source, size, 21));
    RecordingDisplay shown;
    shown.partSize = 256 * KiB;
    SplitOperation split(shown);
    split.Start(Wide(source));
    ASSERT_EQ(split.State(), OperationState::Waiting) << Narrow(shown.statusBar);
    split.OnCommand(kCommandSplit);
    ASSERT_EQ(split.State(), OperationState::Running) << Narrow(shown.statusBar);
    // Only reads are out yet: every write is issued from the message loop below.
    LeaveFree(128 * KiB);
    ASSERT_TRUE(RunToEnd(split));
    EXPECT_EQ(split.State(), OperationState::Failed);
    EXPECT_EQ(shown.status, L"Error occurred !");
    // A write the disk refuses comes back as a completion carrying the error: BeginWrite
    // fails only when the call cannot be handed to the I/O thread at all.
    EXPECT_EQ(shown.statusBar, ErrorText(L"Error OnWrite", ERROR_DISK_FULL));
    EXPECT_EQ(shown.endedMessages, 0);
    split.Abort();
    // What was written stays after a failure; the source is untouched. A list begun would
    // vouch for only some parts: it goes.
    EXPECT_TRUE(FileExists(source + L".001"));
    EXPECT_FALSE(FileExists(source + L".sha256"));
    EXPECT_EQ(FileSize(source), int64_t(size));
}

// The same with recovery data, with room left for the parts and the list alone: the recovery
// files, written on the workers once the data moved, meet the full disk; the file that failed is
// named, and the set goes with the abort.
TEST_F(DiskFullTest, ASplitWhoseRecoveryFilesFindNoRoomNamesTheFileAndLeavesNoSet) {
    ExpectPageClusters();
    SetTuning(128 * KiB, 4);
    WriteDword(L"RecoveryPercent", 30);
    const std::wstring source = root + L"big.bin";
    ASSERT_TRUE(WritePatternFile(source, kSplitSource, 33));
    RecordingDisplay shown;
    shown.partSize = kSplitPart;
    SplitOperation split(shown);
    StartSplit(split, source);
    ASSERT_EQ(split.State(), OperationState::Running) << Narrow(shown.statusBar);
    LeaveFree(kSplitNeeds);
    ASSERT_TRUE(RunToEnd(split));
    EXPECT_EQ(split.State(), OperationState::Failed);
    std::vector<std::wstring> named;
    for (const wchar_t* tail : {L".par2", L".vol0+1.par2", L".vol1+2.par2"})
        named.push_back(ErrorText(L"Error writing " + source + tail, ERROR_DISK_FULL));
    EXPECT_NE(std::find(named.begin(), named.end(), shown.statusBar), named.end())
        << Narrow(shown.statusBar);
    split.Abort();
    EXPECT_TRUE(FileExists(source + L".010"));
    for (const std::wstring& file : Files())
        EXPECT_EQ(file.find(L".par2"), std::wstring::npos) << Narrow(file);
}

TEST_F(DiskFullTest, AJoinWhoseRoomIsTakenWhileRunningFailsAndKeepsTheParts) {
    SetTuning(128 * KiB, 2);
    WriteDword(L"DeleteFiles", 1);
    const std::wstring whole = root + L"whole.bin";
    const uint64_t partSize = 512 * KiB;
    ASSERT_TRUE(WritePatternFile(whole + L".001", partSize, 22));
    ASSERT_TRUE(WritePatternFile(whole + L".002", partSize, 23));
    RecordingDisplay shown;
    JoinOperation join(shown);
    join.Start(Wide(whole + L".001"));
    ASSERT_EQ(join.State(), OperationState::Running) << Narrow(shown.statusBar);
    LeaveFree(128 * KiB);
    ASSERT_TRUE(RunToEnd(join));
    EXPECT_EQ(join.State(), OperationState::Failed);
    EXPECT_EQ(shown.statusBar, ErrorText(L"Error OnWrite", ERROR_DISK_FULL));
    join.Abort();
    EXPECT_EQ(FileSize(whole + L".001"), int64_t(partSize));
    EXPECT_EQ(FileSize(whole + L".002"), int64_t(partSize));
}

// Parts to rebuild take room beside the others until they are proven: a join that would not fit
// with them, a lost part known at once or a damaged one found by the check, rebuilds nothing.
TEST_F(DiskFullTest, ARepairWithoutRoomForTheRebuiltPartsRebuildsNothing) {
    ExpectPageClusters();
    // Three parts of 49 clusters, the output of 147.
    constexpr uint64_t kPart = 200000, kOutput = 147 * 4096, kRebuilt = 49 * 4096;
    const std::wstring whole = root + L"r.bin";
    for (const bool lost : {true, false}) {
        EmptyFolder(root);
        std::vector<SetFile> parts;
        for (unsigned i = 1; i <= 3; ++i)
            parts.push_back({L"r.bin.00" + std::to_wstring(i), MakePattern(kPart, 40 + i)});
        ASSERT_TRUE(MakeRecoverySet(whole, parts, 65536, 5, true));
        std::vector<uint8_t> second = parts[1].data;
        second[70000] ^= 1;
        ASSERT_TRUE(lost ? ::DeleteFileW(PartName(whole, 2).c_str()) != 0
                         : WriteWholeFile(PartName(whole, 2), second));
        LeaveFree(kOutput + kRebuilt - 4096);
        const std::vector<std::wstring> before = Files();
        RecordingDisplay shown;
        JoinOperation join(shown);
        join.Start(Wide(PartName(whole, 1)));
        RunToEnd(join);
        EXPECT_EQ(join.State(), OperationState::Failed) << lost;
        EXPECT_EQ(shown.statusBar.rfind(L"Error CheckFreeSpace (", 0), 0u)
            << Narrow(shown.statusBar);
        join.Abort();
        EXPECT_EQ(Files(), before) << lost;
        EXPECT_EQ(Holds(PartName(whole, 2), second), !lost);
    }
}

// The FAT32 limit and the room are those of the folder the parts go to, from a source elsewhere;
// both refuse before anything is made there.
TEST_F(DiskFullTest, TheTargetFolderRefusesASplitItCannotHold) {
    ExpectPageClusters();
    const std::wstring fat = Fat32Root(), source = dir / L"big.bin";
    ASSERT_FALSE(fat.empty());
    LeaveFree(kSplitNeeds - 4096);
    const struct {
        std::wstring to;
        uint64_t size, part;
        const wchar_t* refusal;
    } rows[] = {{fat, 5 * 1024 * MiB, 4294967296u, L"Error: FAT32 holds no file over "},
                {root, kSplitSource, kSplitPart, L"Error CheckFreeSpace (1004 KB needed, "}};
    for (const auto& row : rows) {
        const std::vector<std::wstring> before = FilesIn(row.to);
        ASSERT_TRUE(MakeSparseFile(source, row.size));
        RecordingDisplay shown;
        EXPECT_EQ(Split(source, row.part, shown, row.to), OperationState::Failed);
        EXPECT_EQ(shown.statusBar.rfind(row.refusal, 0), 0u) << Narrow(shown.statusBar);
        EXPECT_EQ(FilesIn(row.to), before);
        ASSERT_TRUE(::DeleteFileW(source.c_str()));
    }
}

} // namespace
} // namespace ops_tests
