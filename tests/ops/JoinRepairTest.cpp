#include "OpsTestSupport.h"
#include "support/MessageLoop.h"
#include "support/Par2TestSets.h"
#include "support/SmallVolume.h"
#include "support/SettingsValues.h"

#include "app/ByteSize.h"
#include "app/Globals.h"
#include "io/ComputePool.h"
#include "io/IoPair.h"
#include "ops/ChunkJob.h"
#include "ops/JoinOperation.h"
#include "ops/JoinRepair.h"
#include "recovery/Crc32.h"
#include "recovery/Galois16.h"
#include "recovery/Par2Format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <map>

using namespace ops_tests;
using namespace testing_support;

namespace {

// Reads the set through and starts the check of the parts; false when the set is not used.
bool LoadAndCheck(JoinRepair& repair) {
    JoinRepair::Step step;
    while ((step = repair.Work(0)) == JoinRepair::Step::Working)
        ::SleepEx(1, TRUE);
    repair.Check();
    return step == JoinRepair::Step::Loaded;
}

// Slices a little larger than the 4 MiB pieces read and written, a short last slice padded with
// more zeros than a piece, more rebuilt slices than a step can feed a piece to, and a recovery
// block damaged in its body: the repair goes one step a call (Work(0)) and rebuilds every byte,
// each step writing a piece at most and, while the present slices are fed (the repair's second
// pass), feeding the rebuilt slices 16 MiB in all at most.
TEST(JoinRepairTest, LargeSlicesAreRebuiltInBoundedSteps) {
    constexpr uint32_t kSlice = 4 * MiB + 64 * KiB;
    const wchar_t* const names[] = {L"j.001", L"j.002", L"j.003"};
    const uint64_t sizes[] = {4 * kSlice + 1000, kSlice + 100, 2 * kSlice};
    const struct {
        const wchar_t* lost;
        const wchar_t* damaged; // in its second slice
        int32_t rebuiltSlices;
    } cases[] = {{L"j.003", nullptr, 7}, {nullptr, L"j.003", 6}};
    for (const auto& c : cases) {
        TempDir dir;
        std::vector<SetFile> parts;
        for (int i = 0; i < 3; ++i)
            parts.push_back({names[i], MakePattern(sizes[i], i + 3)});
        ASSERT_TRUE(MakeRecoverySet(dir / L"j", parts, kSlice, 8, true));
        ASSERT_TRUE(::DeleteFileW((dir / L"j.001").c_str()));
        ASSERT_TRUE(!c.lost || ::DeleteFileW((dir / c.lost).c_str()));
        std::vector<uint8_t> damaged, volume;
        if (c.damaged) {
            damaged = parts[2].data;
            damaged[kSlice + 10] ^= 1;
            ASSERT_TRUE(WriteWholeFile(dir / c.damaged, damaged));
        }
        ASSERT_TRUE(ReadWholeFile(dir / L"j.vol3+4.par2", volume));
        volume[64 + 4 + 1000] ^= 1;
        ASSERT_TRUE(WriteWholeFile(dir / L"j.vol3+4.par2", volume));

        JoinRepair repair;
        ASSERT_TRUE(repair.Find(Wide(dir / L"j")));
        ASSERT_TRUE(LoadAndCheck(repair));
        // What a part holds, where it is and where it is rebuilt.
        const auto written = [&](int i) {
            return std::max<int64_t>(FileSize(dir / names[i]), 0) +
                   std::max<int64_t>(FileSize(dir / names[i] + L".rebuilding"), 0);
        };
        int64_t before[3];
        for (int i = 0; i < 3; ++i)
            before[i] = written(i);
        int pass = -1; // of the repair, after the check
        float last = 1;
        JoinRepair::Step step;
        while ((step = repair.Work(0)) == JoinRepair::Step::Working ||
               step == JoinRepair::Step::Planned) {
            const float now = repair.Progress();
            ASSERT_TRUE(now >= 0 && now <= 1) << now;
            if (wcsncmp(repair.Activity().Text(), L"Repairing ", 10) == 0 && now < last)
                ++pass;
            if (pass == 1 && !c.damaged) { // a damaged file's slices are passed over a step each
                EXPECT_LE((now - last) * sizes[1] * c.rebuiltSlices, 16.0 * MiB);
            }
            last = now;
            for (int i = 0; i < 3; ++i) {
                const int64_t size = written(i);
                EXPECT_LE(size - before[i], static_cast<int64_t>(4 * MiB)) << i;
                before[i] = size;
            }
        }
        ASSERT_EQ(step, JoinRepair::Step::Done) << Narrow(repair.FailureText().Text());
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(Holds(dir / names[i], parts[i].data)) << i;
        EXPECT_EQ(Holds(dir / L"j.003.damaged", damaged), !!c.damaged);
        EXPECT_FALSE(FileExists(dir / L"j.002.damaged"));
    }
}

// A set that lists an empty file (y.003, described in the index file in place of x.003): it
// holds no slice, so there is nothing of it to check or rebuild, whether it is there or not.
TEST(JoinRepairTest, AnEmptyFileOfTheSetIsLeftAlone) {
    const wchar_t* const names[] = {L"x.001", L"x.002", L"x.003"};
    const uint64_t sizes[] = {5000, 5000, 700};
    for (const bool present : {false, true}) {
        TempDir dir;
        std::vector<SetFile> files;
        for (int i = 0; i < 3; ++i)
            files.push_back({names[i], MakePattern(sizes[i], i + 1)});
        ASSERT_TRUE(MakeRecoverySet(dir / L"x", files, 4096, 2, true));
        std::vector<uint8_t> index;
        ASSERT_TRUE(ReadWholeFile(dir / L"x.par2", index));
        const auto name = std::search(index.begin(), index.end(), "x.003", "x.003" + 5);
        ASSERT_NE(name, index.end());
        const size_t body = name - index.begin() - par2::DescriptionBody::kNameAt;
        index[body + par2::DescriptionBody::kNameAt] = 'y';
        par2::Put(&index[body], par2::DescriptionBody::kFileSize, 0);
        par2::PutBytes(&index[body], par2::DescriptionBody::kFileHash, Md5Of({}).bytes);
        Rehash(index, body - par2::kHeaderBytes);
        ASSERT_TRUE(WriteWholeFile(dir / L"x.par2", index));
        ASSERT_TRUE(!present || WriteWholeFile(dir / L"y.003", {}));
        JoinRepair repair;
        ASSERT_TRUE(repair.Find(Wide(dir / L"x")));
        ASSERT_TRUE(LoadAndCheck(repair));
        JoinRepair::Step step;
        while ((step = repair.Work(0)) == JoinRepair::Step::Working) {
        }
        EXPECT_EQ(step, JoinRepair::Step::Done) << Narrow(repair.FailureText().Text());
        EXPECT_EQ(FileExists(dir / L"y.003"), present);
        for (const wchar_t* damaged : {L"x.001.damaged", L"x.002.damaged", L"y.003.damaged"})
            EXPECT_FALSE(FileExists(dir / damaged)) << Narrow(damaged);
    }
}

// A set speaks only for the files it names once as this file's parts. A part named twice (the
// second time in another case, with other bytes that it could "rebuild" over the part) is none of
// them; and a file beside the parts that is no part is never read, so that its slices count as
// lost: here the blocks are then too few for the part lost beside it.
TEST(JoinRepairTest, ASetSpeaksOnlyForThePartsItNamesOnce) {
    const struct {
        const wchar_t* third;
        const wchar_t* lost;
        JoinRepair::Step ends;
    } cases[] = {{L"T.001", nullptr, JoinRepair::Step::Done},
                 {L"notes.txt", L"t.002", JoinRepair::Step::Failed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.third));
        TempDir dir;
        const std::vector<SetFile> files = {{L"t.001", MakePattern(5000, 1)},
                                            {L"t.002", MakePattern(5000, 2)},
                                            {c.third, MakePattern(5000, 3)}};
        ASSERT_TRUE(MakeRecoverySet(dir / L"t", files, 4096, 3, true));
        ASSERT_TRUE(WriteWholeFile(dir / L"t.001", files[0].data)); // the one file of both names
        ASSERT_TRUE(!c.lost || ::DeleteFileW((dir / c.lost).c_str()));
        JoinRepair repair;
        ASSERT_TRUE(repair.Find(Wide(dir / L"t")));
        ASSERT_TRUE(LoadAndCheck(repair));
        uint64_t size = 0;
        EXPECT_EQ(repair.CoversPart(1, size), c.lost != nullptr);
        JoinRepair::Step step;
        while ((step = repair.Work(0)) == JoinRepair::Step::Working ||
               step == JoinRepair::Step::Planned)
            ::SleepEx(1, TRUE);
        EXPECT_EQ(step, c.ends) << Narrow(repair.FailureText().Text());
        EXPECT_EQ(repair.Rebuilt().Count(), 0);
        EXPECT_TRUE(Holds(dir / L"t.001", files[0].data));
    }
}

// A set of many small slices, as par2 makes by default, with a slice damaged in the middle of a
// part and a part lost. Checked on its own, the parts are read on past each slice's end while
// the workers hash the slices before: with every piece back between two steps, a step goes
// through many slices (it went through one, and waited for a timer tick before the next), and
// the check finds the damaged slice alone. The repair then rebuilds both parts; and a part lost
// alone, with the others fed to its many sums on the workers as they are checked.
using SmallSlicesTest = OperationTest;
TEST_F(SmallSlicesTest, ManyAreCheckedWithoutAStepEach) {
    constexpr uint32_t kSlice = 4096;
    constexpr int32_t kSlices = 256; // a part
    const wchar_t* const names[] = {L"m.001", L"m.002", L"m.003"};
    std::vector<SetFile> parts;
    for (int i = 0; i < 3; ++i)
        parts.push_back({names[i], MakePattern(kSlices * kSlice, i + 7)});
    ASSERT_TRUE(MakeRecoverySet(dir / L"m", parts, kSlice, kSlices + 1, true));
    std::vector<uint8_t> damaged = parts[0].data;
    damaged[100 * kSlice + 5] ^= 1;
    ASSERT_TRUE(WriteWholeFile(dir / L"m.001", damaged));
    ASSERT_TRUE(::DeleteFileW((dir / L"m.003").c_str()));

    JoinRepair check;
    ASSERT_TRUE(check.Find(Wide(dir / L"m")));
    JoinRepair::Step step;
    while ((step = check.Work()) == JoinRepair::Step::Working)
        ::SleepEx(1, TRUE);
    ASSERT_EQ(step, JoinRepair::Step::Loaded);
    check.CheckOnly();
    int steps = 0;
    while ((step = check.Work()) == JoinRepair::Step::Working) {
        ++steps;
        ASSERT_TRUE(gComputePool.WaitIdle());
        PumpFor(25); // two ticks of the dispatcher: every piece hashed is back
    }
    ASSERT_EQ(step, JoinRepair::Step::Planned) << Narrow(check.FailureText().Text());
    EXPECT_LT(steps, 2 * kSlices / 4);
    for (int32_t s = 0; s < kSlices; ++s)
        EXPECT_EQ(check.SliceBad(1, s), s == 100) << s;
    JoinRepair::PartFinding finding;
    ASSERT_TRUE(check.FindingOf(2, finding));
    EXPECT_TRUE(finding.whole);
    ASSERT_TRUE(check.FindingOf(3, finding));
    EXPECT_FALSE(finding.present);
    EXPECT_EQ(check.BlocksNeeded(), kSlices + 1);

    JoinRepair repair;
    ASSERT_TRUE(repair.Find(Wide(dir / L"m")));
    ASSERT_TRUE(LoadAndCheck(repair));
    while ((step = repair.Work()) == JoinRepair::Step::Working || step == JoinRepair::Step::Planned)
        PumpFor(1);
    ASSERT_EQ(step, JoinRepair::Step::Done) << Narrow(repair.FailureText().Text());
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(Holds(dir / names[i], parts[i].data)) << i;
    EXPECT_TRUE(Holds(dir / L"m.001.damaged", damaged));

    // A part lost alone: the others are fed to the repair as they are checked, the workers
    // sharing out its many sums.
    ASSERT_TRUE(::DeleteFileW((dir / L"m.002").c_str()));
    JoinRepair again;
    ASSERT_TRUE(again.Find(Wide(dir / L"m")));
    ASSERT_TRUE(LoadAndCheck(again));
    while ((step = again.Work()) == JoinRepair::Step::Working || step == JoinRepair::Step::Planned)
        PumpFor(1);
    ASSERT_EQ(step, JoinRepair::Step::Done) << Narrow(again.FailureText().Text());
    EXPECT_TRUE(Holds(dir / L"m.002", parts[1].data));
}

// Three parts with their set, the second damaged and the third lost.
class RebuildTest : public OperationTest {
protected:
    void SetUp() override {
        OperationTest::SetUp();
        parts = {{L"j.001", MakePattern(3 * 4096, 1)},
                 {L"j.002", MakePattern(2 * 4096, 2)},
                 {L"j.003", MakePattern(4096 + 10, 3)}};
        ASSERT_TRUE(MakeRecoverySet(whole, parts, 4096, 4, true));
        damaged = parts[1].data;
        damaged[5000] ^= 1;
        ASSERT_TRUE(WriteWholeFile(dir / L"j.002", damaged));
        ASSERT_TRUE(::DeleteFileW((dir / L"j.003").c_str()));
    }
    bool Holds(const std::wstring& name, const std::vector<uint8_t>& data) const {
        return testing_support::Holds(dir / name, data);
    }
    bool AnyRebuilding() const {
        WIN32_FIND_DATAW found;
        HANDLE search = ::FindFirstFileW((dir / L"*.rebuilding*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return false;
        ::FindClose(search);
        return true;
    }

    const std::wstring whole = dir / L"j";
    std::vector<SetFile> parts;
    std::vector<uint8_t> damaged;
};

// Cancelled at any step of the rebuild, every part keeps its own name and bytes, and nothing
// temporary stays; carried to the end, the rebuilt parts take their places only once written in
// whole and checked, the damaged one kept aside.
TEST_F(RebuildTest, APartIsSwappedInOnlyOnceRebuiltAndACancelLeavesEveryName) {
    for (int stop = 0;; ++stop) {
        JoinRepair repair;
        ASSERT_TRUE(repair.Find(Wide(whole)));
        ASSERT_TRUE(LoadAndCheck(repair));
        JoinRepair::Step step = JoinRepair::Step::Working;
        for (int steps = 0; steps < stop; ++steps) {
            // An alertable wait lets the workers' hashes come back between the steps.
            ::SleepEx(1, TRUE);
            step = repair.Work(0);
            // While anything is rebuilt beside, the part itself is untouched.
            if (AnyRebuilding()) {
                EXPECT_TRUE(Holds(L"j.002", damaged)) << steps;
            }
            if (step != JoinRepair::Step::Working && step != JoinRepair::Step::Planned)
                break;
        }
        if (step == JoinRepair::Step::Done) {
            EXPECT_TRUE(Holds(L"j.002", parts[1].data) && Holds(L"j.003", parts[2].data));
            EXPECT_TRUE(Holds(L"j.002.damaged", damaged));
            EXPECT_FALSE(AnyRebuilding() || FileExists(dir / L"j.003.damaged"));
            EXPECT_GT(stop, 3);
            return;
        }
        ASSERT_NE(step, JoinRepair::Step::Failed) << Narrow(repair.FailureText().Text());
        repair.Cancel();
        EXPECT_TRUE(Holds(L"j.001", parts[0].data) && Holds(L"j.002", damaged)) << stop;
        EXPECT_FALSE(FileExists(dir / L"j.003") || FileExists(dir / L"j.002.damaged")) << stop;
        EXPECT_FALSE(AnyRebuilding()) << stop;
    }
}

// Refusals that do not hang on what the parts hold come before any part is rebuilt: here the
// output exists already.
TEST_F(RebuildTest, AJoinThatWillBeRefusedRebuildsNothingFirst) {
    ASSERT_TRUE(WriteWholeFile(whole, MakePattern(10, 4)));
    RecordingDisplay shown;
    JoinOperation join(shown);
    join.Start(Wide(dir / L"j.001"));
    RunToEnd(join);
    EXPECT_EQ(join.State(), OperationState::Failed);
    EXPECT_EQ(shown.statusBar, ErrorText(L"Error opening j", ERROR_FILE_EXISTS));
    join.Abort();
    EXPECT_TRUE(Holds(L"j.002", damaged));
    EXPECT_FALSE(FileExists(dir / L"j.003") || FileExists(dir / L"j.002.damaged"));
    EXPECT_FALSE(AnyRebuilding());
}

// Three lost parts of one slice of 1 GiB each, more than the process can have at once: with too
// few blocks the join says how many more it needs, with enough that the rebuild takes more memory
// than it can have; either way before anything is written. The blocks are sparse files.
TEST(SmallAddressSpaceJoinRepair, LostPartsTooLargeToRebuildAreRefusedWithTheReason) {
    constexpr uint64_t kSlice = 1ull << 30;
    for (const int blocks : {0, 3}) {
        TempDir dir;
        Md5Digest setId;
        ASSERT_TRUE(WriteWholeFile(
            dir / L"m.par2",
            MakeIndex(kSlice, {{"m.001", kSlice}, {"m.002", kSlice}, {"m.003", kSlice}}, &setId)));
        const uint64_t length = par2::kHeaderBytes + par2::RecoveryBody::Bytes(kSlice);
        HANDLE volume = ::CreateFileW((dir / L"m.vol0+3.par2").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, 0, nullptr);
        for (int b = 0; b < blocks; ++b) {
            std::vector<uint8_t> header = MakePacket(par2::kRecoveryType, setId, {0, 0, 0, 0});
            par2::Put(header.data(), par2::Header::kLength, length);
            par2::Put(header.data() + par2::kHeaderBytes, par2::RecoveryBody::kExponent, b);
            LARGE_INTEGER at, end;
            at.QuadPart = static_cast<LONGLONG>(b * length);
            end.QuadPart = static_cast<LONGLONG>((b + 1) * length);
            DWORD written = 0;
            ASSERT_TRUE(::SetFilePointerEx(volume, at, nullptr, FILE_BEGIN) &&
                        ::WriteFile(volume, header.data(), 68, &written, nullptr) &&
                        ::SetFilePointerEx(volume, end, nullptr, FILE_BEGIN) &&
                        ::SetEndOfFile(volume));
        }
        ::CloseHandle(volume);
        const std::vector<std::wstring> before = FilesIn(dir.Path() + L"\\");

        JoinRepair repair;
        ASSERT_TRUE(repair.Find(Wide(dir / L"m")));
        ASSERT_TRUE(LoadAndCheck(repair)) << Narrow(repair.Note().Text());
        JoinRepair::Step step;
        while ((step = repair.Work(1000)) == JoinRepair::Step::Working ||
               step == JoinRepair::Step::Planned) {
        }
        ASSERT_EQ(step, JoinRepair::Step::Failed);
        WideString memory;
        FormatByteSize(3 * kSlice, memory);
        const std::wstring reason = blocks == 0
                                        ? std::wstring(L"3 more recovery blocks needed")
                                        : L"it takes " + std::wstring(memory.Text()) +
                                              L" of memory, more than this program can have";
        EXPECT_EQ(repair.FailureText().Text(), L"Part m.001 cannot be rebuilt: " + reason);
        EXPECT_EQ(FilesIn(dir.Path() + L"\\"), before);
    }
}

// A set split with recovery data, its source kept aside to compare with.
class RepairTest : public SplitRecoveryTest {
protected:
    void SetUp() override {
        SplitRecoveryTest::SetUp();
        WriteDword(L"WriteChecksums", 1);
        ASSERT_TRUE(WritePatternFile(whole, 9 * MiB - 5, 11));
        ASSERT_EQ(Split(whole), L"");
        ASSERT_TRUE(ReadWholeFile(whole, original));
        ASSERT_TRUE(::DeleteFileW(whole.c_str()));
        for (unsigned i = 1; i <= 9; ++i)
            partHashes.push_back(SystemSha256OfFile(PartName(whole, i)));
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

// The common case: every part whole. The set checks them as they are joined, with no read of
// its own; nothing is rebuilt or moved. Then a lost part and a damaged one: both rebuilt, the
// damaged one kept aside, then the join as ever. Then a damaged part alone, found by the join:
// the parts are checked on their own, the part rebuilt, and the join done again.
TEST_F(RepairTest, AWholeSetIsCheckedAndALostAndADamagedPartAreRebuiltBeforeTheJoin) {
    RecordingDisplay shown, again, third;
    ASSERT_EQ(Join(whole, shown), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_TRUE(Holds(whole, original));
    EXPECT_FALSE(Shows(shown, L"Checking "));
    EXPECT_FALSE(Shows(shown, L"Repairing "));
    for (unsigned part = 1; part <= 9; ++part)
        EXPECT_FALSE(FileExists(PartName(whole, part) + L".damaged")) << part;
    ASSERT_TRUE(::DeleteFileW(whole.c_str()) && ::DeleteFileW(PartName(whole, 3).c_str()));
    Damage(7);
    const std::string damaged = SystemSha256OfFile(PartName(whole, 7));
    ASSERT_EQ(Join(whole, again), OperationState::Done) << Narrow(again.statusBar);
    EXPECT_EQ(again.statusBar, L"w.bin.003 and 1 more rebuilt; SHA-256 verified: " + whole);
    EXPECT_TRUE(Holds(whole, original));
    for (unsigned part : {3u, 7u})
        EXPECT_EQ(SystemSha256OfFile(PartName(whole, part)), partHashes[part - 1]) << part;
    EXPECT_EQ(SystemSha256OfFile(PartName(whole, 7) + L".damaged"), damaged);
    const auto& later = again.statusHistory;
    EXPECT_NE(std::find(later.begin(), later.end(), L"Repairing w.bin.003..."), later.end());

    ASSERT_TRUE(::DeleteFileW(whole.c_str()) &&
                ::DeleteFileW((PartName(whole, 7) + L".damaged").c_str()));
    Damage(5);
    ASSERT_EQ(Join(whole, third), OperationState::Done) << Narrow(third.statusBar);
    EXPECT_TRUE(Holds(whole, original));
    EXPECT_EQ(SystemSha256OfFile(PartName(whole, 5)), partHashes[4]);
    EXPECT_TRUE(Shows(third, L"Checking ") && Shows(third, L"Repairing w.bin.005"));
    EXPECT_FALSE(FileExists(whole + L".partial"));
}

// After a repair the join does not hash the parts that the check has just matched to the list
// once more: a part changed in between is found all the same, by the whole file's digest, and
// neither the output nor a part goes.
TEST_F(RepairTest, APartChangedOnceTheCheckIsDoneFailsTheJoinAllTheSame) {
    WriteDword(L"DeleteFiles", 1);
    ASSERT_TRUE(::DeleteFileW(PartName(whole, 6).c_str()));
    StepOnStatusDisplay shown;
    shown.after = L"Repairing";
    shown.at = L"Initializing";
    shown.then = [this] { Damage(3); };
    EXPECT_EQ(Join(whole, shown), OperationState::Failed);
    EXPECT_EQ(shown.statusBar, ErrorText(L"Joined file w.bin is damaged", ERROR_CRC));
    EXPECT_FALSE(FileExists(whole));
    for (unsigned part = 1; part <= 9; ++part)
        EXPECT_EQ(SystemSha256OfFile(PartName(whole, part)) == partHashes[part - 1], part != 3)
            << part;
}

// The workers share out the hashes and the blocks, and the kernels may be any the processor has:
// one worker, two or eight, with the tables or the vector units, make the same parts, list and set,
// byte for byte, and a join with as many checks the set as it goes, finds a damaged part and
// rebuilds it.
TEST_F(RepairTest, OneWorkerOrManyMakeTheSameSetAndRepairAlike) {
    const auto made = SetFiles();
    ASSERT_EQ(made.size(), 13u); // nine parts, the list, the index and two volumes
    const Galois16::Engine field = Galois16::CurrentEngine();
    const Crc32::Engine crc = Crc32::CurrentEngine();
    const struct {
        int32_t workers;
        Galois16::Engine field;
        Crc32::Engine crc;
    } cases[] = {{1, Galois16::Engine::Portable, Crc32::Engine::Portable},
                 {2, Galois16::Engine::Avx2, Crc32::Engine::Pclmul},
                 {8, Galois16::Engine::Gfni, Crc32::Engine::Portable}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.workers << " workers, engines " << int(c.field) << ", " << int(c.crc));
        // Where the processor lacks one, the one it picked stands in.
        Galois16::UseEngine(c.field);
        Crc32::UseEngine(c.crc);
        gComputePool.Stop();
        ASSERT_TRUE(gComputePool.Start(c.workers));
        for (const auto& file : SetFiles())
            ASSERT_TRUE(::DeleteFileW((dir / file.first).c_str()));
        ASSERT_TRUE(WriteWholeFile(whole, original));
        ASSERT_EQ(Split(whole), L"");
        ASSERT_TRUE(::DeleteFileW(whole.c_str()));
        EXPECT_TRUE(SetFiles() == made);
        Damage(4);
        RecordingDisplay shown;
        ASSERT_EQ(Join(whole, shown), OperationState::Done) << Narrow(shown.statusBar);
        EXPECT_TRUE(Holds(whole, original));
        EXPECT_TRUE(Shows(shown, L"Repairing w.bin.004"));
        ASSERT_TRUE(::DeleteFileW(whole.c_str()));
        // A part lost: the others feed the repair as they are checked. With the first block
        // damaged in its body, the workers find it out only once the sums are fed from it, and
        // the parts are checked on their own, the block left out.
        const std::wstring volume = L"w.bin.vol0+1.par2";
        for (const bool blockDamaged : {false, true}) {
            std::vector<uint8_t> blocks = made.at(volume);
            for (size_t at : PacketStarts(blocks)) {
                if (blockDamaged && std::equal(par2::kRecoveryType, std::end(par2::kRecoveryType),
                                               blocks.begin() + at + par2::Header::kType.at))
                    blocks[at + par2::kHeaderBytes + par2::RecoveryBody::kDataAt + 100] ^= 1;
            }
            ASSERT_TRUE(WriteWholeFile(dir / volume, blocks));
            ASSERT_TRUE(::DeleteFileW(PartName(whole, 6).c_str()));
            RecordingDisplay lost;
            ASSERT_EQ(Join(whole, lost), OperationState::Done) << Narrow(lost.statusBar);
            EXPECT_TRUE(Holds(whole, original));
            EXPECT_TRUE(Shows(lost, L"Repairing w.bin.006"));
            EXPECT_EQ(Shows(lost, L"Checking "), blockDamaged);
            ASSERT_TRUE(::DeleteFileW(whole.c_str()));
        }
        ASSERT_TRUE(WriteWholeFile(dir / volume, made.at(volume)));
    }
    Galois16::UseEngine(field);
    Crc32::UseEngine(crc);
}

// A part rebuilt whole is proven before it takes its place, by its hash in the set and its digest
// in the list, whether one worker or two made them: a set that gives it another MD5 fails the
// join, a list that gives it another SHA-256 has the set ignored. Nothing is left under its name
// or beside it either way.
TEST_F(RepairTest, ARebuiltPartIsProvenBeforeItTakesItsPlace) {
    const auto made = SetFiles();
    const std::string list = ReadText(whole + L".sha256");
    const std::string wrongList = list.substr(0, list.find(partHashes[1])) + partHashes[0] +
                                  list.substr(list.find(partHashes[1]) + partHashes[1].size());
    ASSERT_NE(wrongList, list);
    const struct {
        bool otherHash;   // the set's MD5 of the part
        bool otherDigest; // the list's SHA-256 of it
        int32_t workers;
        std::wstring statusBar;
    } rows[] = {
        {true, false, 1, ErrorText(L"Part w.bin.002 could not be rebuilt", ERROR_CRC)},
        {true, false, 2, ErrorText(L"Part w.bin.002 could not be rebuilt", ERROR_CRC)},
        {false, true, 1, ErrorText(L"Part w.bin.002 is missing", ERROR_FILE_NOT_FOUND)},
        {false, true, 2, ErrorText(L"Part w.bin.002 is missing", ERROR_FILE_NOT_FOUND)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.otherHash << row.otherDigest << row.workers);
        gComputePool.Stop();
        ASSERT_TRUE(gComputePool.Start(row.workers));
        for (auto file : made) {
            const size_t n = file.first.size();
            if (!row.otherHash || n < 5 || file.first.compare(n - 5, 5, L".par2"))
                continue;
            for (size_t at : PacketStarts(file.second)) {
                const uint8_t* packet = file.second.data() + at;
                const char* name = reinterpret_cast<const char*>(packet + par2::kHeaderBytes +
                                                                 par2::DescriptionBody::kNameAt);
                if (std::equal(par2::kFileDescType, std::end(par2::kFileDescType),
                               packet + par2::Header::kType.at) &&
                    strncmp(name, "w.bin.002", 10) == 0) {
                    file.second[at + par2::kHeaderBytes + par2::DescriptionBody::kFileHash.at] ^= 1;
                    Rehash(file.second, at);
                }
            }
            ASSERT_TRUE(WriteWholeFile(dir / file.first, file.second));
        }
        ASSERT_TRUE(WriteText(whole + L".sha256", row.otherDigest ? wrongList : list));
        ASSERT_TRUE(::DeleteFileW(PartName(whole, 2).c_str()));
        RecordingDisplay shown;
        EXPECT_EQ(Join(whole, shown), OperationState::Failed);
        EXPECT_EQ(shown.statusBar, row.statusBar);
        EXPECT_TRUE(Shows(shown, L"Repairing w.bin.002"));
        EXPECT_EQ(FilesIn(dir.Path() + L"\\"), [&] {
            std::vector<std::wstring> names;
            for (const auto& file : made) {
                if (file.first != L"w.bin.002")
                    names.push_back(file.first);
            }
            return names;
        }());
        ::DeleteFileW(whole.c_str());
        for (const auto& file : made)
            ASSERT_TRUE(WriteWholeFile(dir / file.first, file.second));
    }
    gComputePool.Stop();
    ASSERT_TRUE(gComputePool.Start());
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
    ASSERT_EQ(Join(big, shown), OperationState::Done) << Narrow(shown.statusBar);
    EXPECT_TRUE(Holds(big, data));
    EXPECT_FALSE(Shows(shown, L"Checking "));
}

// What a join reads of the set. The list proves the parts' bytes, as they move or in a check of
// their own, and the set need only agree with them, which its slices' CRC32s tell; without the
// list their MD5s prove the parts. A set wrong in the checksum that is read sends a moving join to
// check the parts on their own (it is whole all the same); one wrong in the other is not looked
// at. Parts lost whole, the others there at their sizes: one read of the others checks them and
// feeds the repair; a part found damaged, or blocks too few, bring the check on its own.
TEST_F(RepairTest, TheSetIsReadAsLittleAsTheChecksAllow) {
    const auto made = SetFiles();
    const std::string list = ReadText(whole + L".sha256");
    const par2::Field none = {0, 0}, crc = par2::ChecksumsBody::kSliceCrc,
                      md5 = par2::ChecksumsBody::kSliceHash;
    const struct {
        par2::Field spoiled; // in the first entry of every file's slice checksums
        bool listed;
        std::vector<unsigned> lost;
        unsigned damaged; // 0: none
        bool checked;     // the parts were checked on their own
        bool done;
    } rows[] = {{crc, true, {}, 0, true, true},         {crc, false, {}, 0, false, true},
                {md5, true, {}, 0, false, true},        {md5, true, {4}, 0, false, true},
                {none, true, {1, 9}, 0, false, true},   {none, false, {6}, 0, false, true},
                {none, true, {3}, 7, true, true},       {none, false, {3}, 7, true, true},
                {none, true, {2, 5, 8}, 0, true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.spoiled.at << "+" << row.spoiled.bytes << " listed " << row.listed
                     << " lost " << row.lost.size() << " damaged " << row.damaged);
        for (auto file : made) {
            const size_t n = file.first.size();
            if (row.spoiled.bytes == 0 || n < 5 || file.first.compare(n - 5, 5, L".par2"))
                continue;
            for (size_t at : PacketStarts(file.second)) {
                if (std::equal(par2::kSliceChecksumType, std::end(par2::kSliceChecksumType),
                               file.second.begin() + at + par2::Header::kType.at)) {
                    file.second[at + par2::kHeaderBytes + par2::ChecksumsBody::kEntry.at +
                                row.spoiled.at] ^= 1;
                    Rehash(file.second, at);
                }
            }
            ASSERT_TRUE(WriteWholeFile(dir / file.first, file.second));
        }
        for (unsigned part : row.lost)
            ASSERT_TRUE(::DeleteFileW(PartName(whole, part).c_str()));
        if (row.damaged)
            Damage(row.damaged);
        ASSERT_TRUE(row.listed || ::DeleteFileW((whole + L".sha256").c_str()));
        RecordingDisplay shown;
        EXPECT_EQ(Join(whole, shown), row.done ? OperationState::Done : OperationState::Failed);
        // Only a set that disagrees with the list is ignored.
        const std::wstring note = row.spoiled.at == crc.at && row.listed
                                      ? L"w.bin.par2 ignored (it disagrees with w.bin.sha256); "
                                      : L"";
        std::vector<unsigned> rebuilt = row.lost;
        if (row.damaged)
            rebuilt.push_back(row.damaged);
        std::sort(rebuilt.begin(), rebuilt.end());
        std::wstring named;
        if (!rebuilt.empty())
            named = PartName(L"w.bin", rebuilt[0]) +
                    (rebuilt.size() > 1 ? L" and " + std::to_wstring(rebuilt.size() - 1) + L" more"
                                        : L"") +
                    L" rebuilt; ";
        EXPECT_EQ(shown.statusBar,
                  !row.done ? ErrorText(L"Part w.bin.002 cannot be rebuilt: 1 more recovery "
                                        L"blocks needed",
                                        ERROR_INVALID_DATA)
                            : note + named + (row.listed ? L"SHA-256 verified: " : L"") + whole);
        EXPECT_EQ(Shows(shown, L"Checking "), row.checked);
        EXPECT_EQ(Shows(shown, L"Repairing "), !row.lost.empty() || row.damaged);
        EXPECT_TRUE(!row.done || Holds(whole, original));
        for (unsigned part = 1; part <= 9; ++part) {
            const bool lost = std::count(row.lost.begin(), row.lost.end(), part) != 0;
            EXPECT_EQ(FileExists(PartName(whole, part)), row.done || !lost) << part;
            EXPECT_TRUE(!row.done ||
                        SystemSha256OfFile(PartName(whole, part)) == partHashes[part - 1])
                << part;
        }
        ::DeleteFileW(whole.c_str());
        for (unsigned part = 1; part <= 9; ++part) {
            ::DeleteFileW((PartName(whole, part) + L".damaged").c_str());
            const std::wstring name = PartName(whole, part).substr(dir.Path().size() + 1);
            ASSERT_TRUE(WriteWholeFile(PartName(whole, part), made.at(name)));
        }
        for (const auto& file : made)
            ASSERT_TRUE(WriteWholeFile(dir / file.first, file.second));
        ASSERT_TRUE(WriteText(whole + L".sha256", list));
    }
}

// More lost than the blocks can rebuild: nothing is made, moved or deleted.
// The join then tells a part missing where one of those it could not rebuild is not there, and
// damaged data where all are.
TEST_F(RepairTest, TooFewBlocksFailBeforeAnythingChanges) {
    WriteDword(L"DeleteFiles", 1);
    std::vector<std::vector<uint8_t>> kept(9);
    for (unsigned part = 1; part <= 9; ++part)
        ASSERT_TRUE(ReadWholeFile(PartName(whole, part), kept[part - 1]));
    const struct {
        std::vector<unsigned> lost, damaged;
        OperationOutcome outcome;
    } rows[] = {{{2, 5}, {8}, OperationOutcome::Incomplete},
                {{}, {2, 5, 8}, OperationOutcome::Damaged}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.lost.size());
        for (unsigned part : row.lost)
            ASSERT_TRUE(::DeleteFileW(PartName(whole, part).c_str()));
        for (unsigned part : row.damaged)
            Damage(part);
        RecordingDisplay shown;
        OperationOutcome outcome = OperationOutcome::Done;
        EXPECT_EQ(Join(whole, shown, 1, &outcome), OperationState::Failed);
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_EQ(shown.statusBar,
                  ErrorText(L"Part w.bin.002 cannot be rebuilt: 1 more recovery blocks needed",
                            ERROR_INVALID_DATA));
        EXPECT_FALSE(FileExists(whole) || FileExists(PartName(whole, 8) + L".damaged"));
        for (unsigned part = 1; part <= 9; ++part) {
            const bool lost = std::count(row.lost.begin(), row.lost.end(), part) != 0;
            EXPECT_EQ(FileSize(PartName(whole, part)), lost ? -1 : int64_t(kept[part - 1].size()))
                << part;
            ASSERT_TRUE(WriteWholeFile(PartName(whole, part), kept[part - 1]));
        }
    }
}

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
        ASSERT_EQ(Join(source, shown), OperationState::Done) << Narrow(shown.statusBar);
        EXPECT_TRUE(Holds(source, data));
    }
}

} // namespace
