#include "OpsTestSupport.h"
#include "support/SettingsValues.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"
#include "io/IoPair.h"
#include "ops/ChunkJob.h"
#include "io/IoRequest.h"
#include "support/MessageLoop.h"

#include <algorithm>

using namespace testing_support;

namespace ops_tests {
namespace {

constexpr uint32_t kSmallBuffer = 128 * 1024;

// Holds back the completion of the read of one chunk, to hand it over only when the test says
// so: the chunks after it then arrive before it, as they may on any system.
class ChunkHeldBack {
public:
    // Call while the read at that position is issued and has not come back.
    ChunkHeldBack(const AsyncFile& source, uint64_t position) {
        for (IoRequest* request = source.Pending(); request; request = request->next) {
            if (request->Position() == position) {
                routine = request->onComplete;
                request->onComplete = Stash;
            }
        }
        stashed = nullptr;
    }
    bool Found() const { return routine != nullptr; }
    bool Arrived() const { return stashed != nullptr; }
    void Deliver() {
        IoRequest* request = stashed;
        stashed = nullptr;
        routine(request);
    }
    // What happens to a chunk whose file is closed under it.
    void Abandon() {
        IoRequest* request = stashed;
        stashed = nullptr;
        request->onAbandon(request);
    }

private:
    static void Stash(IoRequest* request) { stashed = request; }
    static IoRequest* stashed;
    IoRoutine routine = nullptr;
};
IoRequest* ChunkHeldBack::stashed = nullptr;

// Counts the reads handed to the system.
class ReadCounter : public OpenRecorder {
public:
    void OnTransfer(HANDLE handle, uint64_t position, const void* buffer, uint32_t length,
                    bool write) override {
        OpenRecorder::OnTransfer(handle, position, buffer, length, write);
        if (!write)
            ++reads;
    }
    int reads = 0;
};

class TestSplit : public SplitOperation {
public:
    using SplitOperation::SplitOperation;
    const AsyncFile& Source() const { return file; }
};

class ChecksumTest : public OperationTest {
protected:
    // Starts the split with its first chunk held back until the three after it are written, and
    // pauses with their pairs held: they stay until that chunk is hashed, then go, and nothing
    // moves until the resume at the end.
    void StartWithTheFirstChunkLateAcrossAPause(TestSplit& split, const std::wstring& source) {
        split.Start(Wide(source));
        split.OnCommand(kCommandSplit);
        ChunkHeldBack first(split.Source(), 0);
        ASSERT_TRUE(first.Found());
        ASSERT_TRUE(
            RunUntil([&] { return first.Arrived() && split.DoneSize() == 3 * kSmallBuffer; }));
        split.OnCommand(kCommandPause);
        first.Deliver();
        ASSERT_TRUE(RunUntil([&] { return split.DoneSize() == 4 * kSmallBuffer; }));
        PumpFor(100);
        EXPECT_EQ(split.DoneSize(), 4 * kSmallBuffer);
        split.OnCommand(kCommandResume);
    }

    // Parts of 1,000,000 bytes (read buffered) of a file of 5.3 MB.
    std::vector<uint8_t> SplitSample(const std::wstring& source) {
        std::vector<uint8_t> data = MakePattern(5300001, 9);
        EXPECT_TRUE(WriteWholeFile(source, data));
        RecordingDisplay shown;
        EXPECT_EQ(Split(source, 1000000, shown), OperationState::Done) << Narrow(shown.statusBar);
        return data;
    }
};

TEST_F(ChecksumTest, TheListOfASplitIsWhatSha256sumWrites) {
    const std::wstring source = dir / L"report.pdf";
    const std::vector<uint8_t> data = MakePattern(5 * MiB + 12345, 5);
    ASSERT_TRUE(WriteWholeFile(source, data));
    // Many small chunks in flight, with part sizes read buffered and unbuffered.
    for (uint32_t pairs : {1u, 4u, 16u}) {
        for (uint64_t partSize : {uint64_t(1000000), uint64_t(1 * MiB)}) {
            SCOPED_TRACE(::testing::Message() << pairs << " pairs, parts of " << partSize);
            SetTuning(kSmallBuffer, pairs);
            RecordingDisplay made;
            ASSERT_EQ(Split(source, partSize, made), OperationState::Done)
                << Narrow(made.statusBar);
            EXPECT_EQ(ReadText(source + L".sha256"), ExpectedChecksumList(source, data, partSize));

            // The join over them checks them and says so.
            ASSERT_TRUE(::DeleteFileW(source.c_str()));
            RecordingDisplay shown;
            EXPECT_EQ(Join(source, shown), OperationState::Done) << Narrow(shown.statusBar);
            EXPECT_EQ(shown.statusBar, L"SHA-256 verified: " + source);
            EXPECT_EQ(shown.status, L"report.pdf joined !");
            for (unsigned i = 1; FileExists(PartName(source, i)); ++i)
                ::DeleteFileW(PartName(source, i).c_str());
            ASSERT_TRUE(::DeleteFileW((source + L".sha256").c_str()));
        }
    }
}

TEST_F(ChecksumTest, APairWhoseChunkIsNotHashedYetWaitsForItsTurn) {
    SetTuning(kSmallBuffer, 4);
    ReadCounter reads;
    const std::wstring source = dir / L"ordered.bin";
    const std::vector<uint8_t> data = MakePattern(3 * MiB + 999, 6);
    ASSERT_TRUE(WriteWholeFile(source, data));
    RecordingDisplay shown;
    shown.partSize = 1 * MiB;
    TestSplit split(shown);
    split.Start(Wide(source));
    split.OnCommand(kCommandSplit);
    ASSERT_EQ(split.State(), OperationState::Running);
    ChunkHeldBack first(split.Source(), 0);
    ASSERT_TRUE(first.Found());
    ASSERT_EQ(reads.reads, 4);
    // The three later chunks are written, but their pairs read nothing new: their chunks can't
    // be hashed before the first.
    ASSERT_TRUE(RunUntil([&] { return first.Arrived() && split.DoneSize() == 3 * kSmallBuffer; }));
    EXPECT_EQ(reads.reads, 4);
    EXPECT_EQ(split.State(), OperationState::Running);
    // The first comes: once the workers have hashed it, everything goes on, in order.
    first.Deliver();
    EXPECT_TRUE(RunUntil([&] { return reads.reads >= 7; }));
    ASSERT_TRUE(RunToEnd(split));
    ASSERT_EQ(split.State(), OperationState::Done) << Narrow(shown.statusBar);
    split.Abort();
    EXPECT_EQ(ReadText(source + L".sha256"), ExpectedChecksumList(source, data, 1 * MiB));
}

// The first chunk comes last, with a pause and a resume in between: the split still ends with
// the list sha256sum writes, and the join of its parts, with the same chunk held back, checks out.
TEST_F(ChecksumTest, AChunkHeldBackAcrossAPauseStillHashesInOrder) {
    SetTuning(kSmallBuffer, 4);
    const std::wstring source = dir / L"late.bin";
    const std::vector<uint8_t> data = MakePattern(3 * MiB + 999, 8);
    ASSERT_TRUE(WriteWholeFile(source, data));
    {
        RecordingDisplay shown;
        shown.partSize = 1 * MiB;
        TestSplit split(shown);
        ASSERT_NO_FATAL_FAILURE(StartWithTheFirstChunkLateAcrossAPause(split, source));
        ASSERT_TRUE(RunToEnd(split));
        ASSERT_EQ(split.State(), OperationState::Done) << Narrow(shown.statusBar);
        split.Abort();
    }
    EXPECT_EQ(ReadText(source + L".sha256"), ExpectedChecksumList(source, data, 1 * MiB));

    ASSERT_TRUE(::DeleteFileW(source.c_str()));
    RecordingDisplay shown;
    JoinOperation join(shown);
    join.Start(Wide(PartName(source, 1)));
    ChunkHeldBack first(join.Part(0).file, 0);
    ASSERT_TRUE(first.Found());
    ASSERT_TRUE(RunUntil([&] { return first.Arrived() && join.DoneSize() == 3 * kSmallBuffer; }));
    first.Deliver();
    ASSERT_TRUE(RunToEnd(join));
    ASSERT_EQ(join.State(), OperationState::Done) << Narrow(shown.statusBar);
    join.Abort();
    EXPECT_EQ(shown.statusBar, L"SHA-256 verified: " + source);
    EXPECT_TRUE(Holds(source, data));
}

TEST_F(ChecksumTest, PairsHeldForTheirTurnGoWhenTheSplitIsAbortedOrPaused) {
    SetTuning(kSmallBuffer, 4);
    const std::wstring source = dir / L"held.bin";
    ASSERT_TRUE(WritePatternFile(source, 3 * MiB, 7));
    RecordingDisplay shown;
    shown.partSize = 1 * MiB;
    {
        TestSplit split(shown);
        ASSERT_NO_FATAL_FAILURE(StartWithTheFirstChunkLateAcrossAPause(split, source));

        // Held back again further on, then closed: the held pairs are let go, the list and the
        // parts made go.
        ChunkHeldBack fifth(split.Source(), 4 * kSmallBuffer);
        ASSERT_TRUE(fifth.Found());
        ASSERT_TRUE(
            RunUntil([&] { return fifth.Arrived() && split.DoneSize() == 7 * kSmallBuffer; }));
        split.Abort();
        // Its file was closed under it: it comes back to its abandon routine.
        fifth.Abandon();
        // Every pair comes back: the held ones let go, the others through their abandon routine.
        EXPECT_TRUE(RunUntil([this] { return LiveIoPairs() == pairsAtStart; }, 10000))
            << LiveIoPairs() - pairsAtStart;
    }
    EXPECT_FALSE(FileExists(source + L".sha256"));
    EXPECT_FALSE(FileExists(PartName(source, 1)));
}

TEST_F(ChecksumTest, ADamagedPartFailsTheJoinAtOnceNamesItAndNothingIsDeleted) {
    WriteDword(L"DeleteFiles", 1);
    SetTuning(kSmallBuffer, 1);
    const std::wstring whole = dir / L"report.pdf";
    SplitSample(whole);
    ASSERT_TRUE(::DeleteFileW(whole.c_str()));
    std::vector<uint8_t> third;
    ASSERT_TRUE(ReadWholeFile(PartName(whole, 3), third));
    third[777777] ^= 0x01;
    ASSERT_TRUE(WriteWholeFile(PartName(whole, 3), third));

    OpenRecorder opens;
    RecordingDisplay shown;
    EXPECT_EQ(Join(whole, shown), OperationState::Failed);
    EXPECT_EQ(shown.status, L"Error occurred !");
    EXPECT_EQ(shown.statusBar, ErrorText(L"Part report.pdf.003 is damaged", ERROR_CRC));
    // At once: the parts after it were never opened.
    EXPECT_TRUE(opens.OpensOf(PartName(whole, 5)).empty());
    for (unsigned i = 1; i <= 6; ++i)
        EXPECT_TRUE(FileExists(PartName(whole, i))) << i;
    EXPECT_TRUE(FileExists(whole + L".sha256"));
}

TEST_F(ChecksumTest, AMissingLastPartFailsWhenTheListNamesIt) {
    const std::wstring whole = dir / L"report.pdf";
    SplitSample(whole);
    ASSERT_TRUE(::DeleteFileW(whole.c_str()));
    ASSERT_TRUE(::DeleteFileW(PartName(whole, 6).c_str()));
    RecordingDisplay shown;
    EXPECT_EQ(Join(whole, shown), OperationState::Failed);
    EXPECT_EQ(shown.statusBar, ErrorText(L"Part report.pdf.006 is missing", ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(FileExists(whole)); // failed before the output was made
    for (unsigned i = 1; i <= 5; ++i)
        EXPECT_TRUE(FileExists(PartName(whole, i))) << i;
}

// Lists written by hand the way sha256sum writes them: the whole file only, CR LF, the binary
// mark, an empty part.
TEST_F(ChecksumTest, ListsAsSha256sumWritesThemAreHonoured) {
    WriteDword(L"DeleteFiles", 1);
    const std::wstring whole = dir / L"a b.bin";
    const std::vector<uint8_t> one = MakePattern(300000, 1), three = MakePattern(4567, 3);
    std::vector<uint8_t> all = one;
    all.insert(all.end(), three.begin(), three.end());
    const std::wstring list = whole + L".sha256";
    struct Case {
        const char* what;
        std::string text;
        bool damaged; // part 3 has a byte flipped
        std::wstring statusBar;
    };
    const std::string empty = SystemSha256(nullptr, 0);
    const Case cases[] = {
        {"whole only", SystemSha256(all) + "  a b.bin\n", false, L"SHA-256 verified: " + whole},
        {"whole only, damaged", SystemSha256(all) + "  a b.bin\n", true,
         ErrorText(L"Joined file a b.bin is damaged", ERROR_CRC)},
        {"CR LF, binary mark, empty part",
         SystemSha256(one) + " *a b.bin.001\r\n" + empty + " *a b.bin.002\r\n" +
             SystemSha256(three) + " *a b.bin.003\r\n",
         false, L"SHA-256 verified: " + whole},
        {"parts 1 and 2 only", SystemSha256(one) + "  a b.bin.001\n" + empty + "  a b.bin.002\n",
         false, L"SHA-256 verified for 2 of 3 parts: " + whole},
        {"parts 1 and 3 only: the empty part between them is no part a splitter makes",
         SystemSha256(one) + "  a b.bin.001\n" + SystemSha256(three) + "  a b.bin.003\n", false,
         ErrorText(L"Part a b.bin.002 has 0 bytes, not 300000 as a b.bin.001", ERROR_HANDLE_EOF)},
        {"empty part wrong",
         SystemSha256(one) + "  a b.bin.001\n" + SystemSha256(three) + "  a b.bin.002\n", false,
         ErrorText(L"Part a b.bin.002 is damaged", ERROR_CRC)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> damaged = three;
        if (c.damaged)
            damaged[100] ^= 0x80;
        ASSERT_TRUE(WriteWholeFile(PartName(whole, 1), one));
        ASSERT_TRUE(WriteWholeFile(PartName(whole, 2), {}));
        ASSERT_TRUE(WriteWholeFile(PartName(whole, 3), damaged));
        ASSERT_TRUE(WriteText(list, c.text));
        RecordingDisplay shown;
        const bool ok = c.statusBar.rfind(L"SHA-256", 0) == 0;
        EXPECT_EQ(Join(whole, shown), ok ? OperationState::Done : OperationState::Failed);
        EXPECT_EQ(shown.statusBar, c.statusBar);
        // The parts go only after a join that checked out.
        EXPECT_EQ(FileExists(PartName(whole, 1)), !ok);
        EXPECT_EQ(FileExists(PartName(whole, 3)), !ok);
        ::DeleteFileW(whole.c_str());
    }
}

// A list that is there but not taken leaves the parts unchecked: the join goes on, says why, and
// keeps every part whatever DeleteFiles says.
TEST_F(ChecksumTest, AnUntrustworthyListIsIgnoredAndSaysSo) {
    WriteDword(L"DeleteFiles", 1);
    const std::wstring whole = dir / L"x.bin";
    const std::wstring list = whole + L".sha256";
    const std::vector<uint8_t> data = MakePattern(100000, 4);
    const std::string good = SystemSha256(data) + "  x.bin.001\n";
    struct Case {
        const char* what;
        std::string text;
        std::wstring said;
    };
    const Case cases[] = {
        {"bad line", good + "nonsense\n", L"line 2 is not a SHA-256 line"},
        {"folder", SystemSha256(data) + "  ..\\x.bin.001\n",
         L"line 1 names a file outside this set"},
        {"binary",
         std::string("\x7f"
                     "ELF\0\0\0",
                     7),
         L"not a text file"},
        {"huge", good + "#", L"too large"},
        {"empty", "", L"names no file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteWholeFile(PartName(whole, 1), data));
        ASSERT_TRUE(WriteText(list, c.text));
        // A comment running past the largest list a join reads, whatever the set.
        if (c.said == L"too large") {
            ASSERT_TRUE(WritePatternFile(list, kChecksumListLimit + 1));
        }
        RecordingDisplay shown;
        EXPECT_EQ(Join(whole, shown), OperationState::Done) << Narrow(shown.statusBar);
        EXPECT_EQ(shown.statusBar, L"x.bin.sha256 ignored (" + c.said + L"), parts kept: " + whole);
        EXPECT_TRUE(FileExists(PartName(whole, 1)));
        EXPECT_TRUE(Holds(whole, data));
        ::DeleteFileW(whole.c_str());
    }
    // No list at all: as ever.
    ASSERT_TRUE(::DeleteFileW(list.c_str()));
    RecordingDisplay shown;
    EXPECT_EQ(Join(whole, shown), OperationState::Done);
    EXPECT_EQ(shown.statusBar, whole);
}

TEST_F(ChecksumTest, AnExistingListStopsTheSplitBeforeAnyPart) {
    const std::wstring source = dir / L"kept.bin";
    ASSERT_TRUE(WritePatternFile(source, 3 * MiB, 8));
    ASSERT_TRUE(WriteText(source + L".sha256", "mine\n"));
    RecordingDisplay shown;
    shown.partSize = 1 * MiB;
    SplitOperation split(shown);
    split.Start(Wide(source));
    split.OnCommand(kCommandSplit);
    EXPECT_EQ(split.State(), OperationState::Failed);
    EXPECT_EQ(shown.statusBar,
              ErrorText(L"Error opening " + source + L".sha256", ERROR_FILE_EXISTS));
    split.Abort();
    EXPECT_FALSE(FileExists(PartName(source, 1)));
    EXPECT_EQ(ReadText(source + L".sha256"), "mine\n");
}

TEST_F(ChecksumTest, WithChecksumsOffNoListIsWritten) {
    WriteDword(L"WriteChecksums", 0);
    const std::wstring source = dir / L"plain.bin";
    ASSERT_TRUE(WritePatternFile(source, 3 * MiB, 8));
    RecordingDisplay shown;
    ASSERT_EQ(Split(source, 1 * MiB, shown), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_FALSE(FileExists(source + L".sha256"));
    EXPECT_TRUE(FileExists(PartName(source, 3)));
}

// A slot freed by a chunk that was held takes the next chunk as one not held, not handed on and
// not worked yet.
TEST(ChunkHasher, AReusedSlotStartsAfresh) {
    ChunkHasher hasher;
    hasher.Begin(false, true);
    IoPair first{}, second{};
    ChunkJob job{};
    ASSERT_TRUE(hasher.Add(&first, 0));
    ASSERT_TRUE(hasher.Hold(&first));
    ChunkHasher::Waiting* slot = hasher.NextToSubmit();
    ASSERT_TRUE(slot && slot->pair == &first);
    hasher.Submitted(*slot, &job, 8);
    EXPECT_EQ(hasher.NextToSubmit(), nullptr);
    slot->worked = true;
    ASSERT_EQ(hasher.NextToFinish(), slot);
    EXPECT_TRUE(slot->held);
    hasher.Finished(*slot, 8);
    ASSERT_TRUE(hasher.Add(&second, 8));
    slot = hasher.NextToSubmit();
    ASSERT_TRUE(slot && slot->pair == &second);
    EXPECT_FALSE(slot->held || slot->worked || slot->job);
    EXPECT_EQ(hasher.Hashed(), 8u);
}

} // namespace
} // namespace ops_tests
