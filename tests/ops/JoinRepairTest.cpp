#include "OpsTestSupport.h"
#include "support/Par2TestSets.h"
#include "support/SmallVolume.h"
#include "support/SettingsValues.h"

#include "ops/JoinOperation.h"
#include "app/ByteSize.h"
#include "ops/JoinRepair.h"
#include "recovery/Par2Format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>

using namespace ops_tests;
using namespace testing_support;

namespace {

// Reads the set through and starts the check of the parts; false when the set is not used.
bool LoadAndCheck(JoinRepair& repair) {
    JoinRepair::Step step;
    while ((step = repair.Work(0)) == JoinRepair::Step::Working) {
    }
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
        const size_t body = name - index.begin() - 56;
        index[body + 56] = 'y';
        PutLittle(index, body + 48, 0, 8);
        std::copy_n(Md5Of({}).bytes, 16, index.begin() + body + 16);
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
        const uint64_t length = par2::kHeaderBytes + 4 + kSlice;
        HANDLE volume = ::CreateFileW((dir / L"m.vol0+3.par2").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, 0, nullptr);
        for (int b = 0; b < blocks; ++b) {
            std::vector<uint8_t> header = MakePacket(par2::kRecoveryType, setId, {0, 0, 0, 0});
            PutLittle(header, 8, length, 8);
            PutLittle(header, par2::kHeaderBytes, static_cast<uint64_t>(b), 4);
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

} // namespace
