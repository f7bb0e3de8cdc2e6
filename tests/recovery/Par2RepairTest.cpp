#include "recovery/Md5.h"
#include "recovery/Par2Creator.h"
#include "recovery/Par2Repair.h"
#include "recovery/RecoveryFiles.h"
#include "recovery/Par2Set.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// How many calls the blocks' reading and the solving took.
struct Calls {
    int reads = 0;
    int solves = 0;
};

// The files of a loaded set as they are in folder, rebuilt where slices are absent or differ
// from their checksums. Present slices go in as pieces of `piece` bytes, last piece first; the
// blocks are read and the system solved in calls of `budget` bytes of work.
bool Repair(const Par2Set& set, const std::wstring& folder, uint32_t piece,
            std::vector<std::vector<uint8_t>>& files, int32_t& moreNeeded,
            uint32_t budget = 1u << 30, Calls* calls = nullptr) {
    Calls counted;
    calls = calls ? calls : &counted;
    const uint32_t size = set.SliceSize();
    files.assign(set.FileCount(), {});
    std::vector<std::vector<uint8_t>> slices(set.TotalSlices(), std::vector<uint8_t>(size));
    DynArray<int32_t> missing;
    for (int32_t f = 0; f < set.FileCount(); ++f) {
        if (!ReadWholeFile(folder + L"\\" + set.FileName(f), files[f]))
            files[f].clear();
        files[f].resize(set.FileSize(f));
        for (int32_t s = 0; s < set.SliceCount(f); ++s) {
            const size_t at = size_t{size} * s, n = std::min<size_t>(size, files[f].size() - at);
            std::vector<uint8_t>& slice = slices[set.FirstSlice(f) + s];
            std::copy_n(files[f].begin() + at, n, slice.begin());
            Md5 md5;
            md5.Update(slice.data(), size);
            if (md5.Finish() != set.SliceHash(set.FirstSlice(f) + s))
                missing.Append(set.FirstSlice(f) + s);
        }
    }
    Par2Repair repair;
    moreNeeded = 0;
    if (!repair.Plan(set, missing))
        return false;
    for (bool done = false; !done; ++calls->reads) {
        if (!repair.ReadBlocks(budget, done)) {
            moreNeeded = repair.MoreNeeded();
            return false;
        }
    }
    for (int32_t i = 0, next = 0; i < set.TotalSlices(); ++i) {
        if (next < missing.Count() && missing[next] == i && ++next)
            continue;
        for (uint32_t at = (size - 1) / piece * piece;; at -= piece) {
            const uint32_t n = std::min(piece, size - at);
            if (!repair.AddSlice(i, at, slices[i].data() + at, n) || at == 0)
                break;
        }
    }
    for (bool done = false; !done; ++calls->solves) {
        if (!repair.Solve(budget, done))
            return false;
    }
    for (int32_t f = 0; f < set.FileCount(); ++f) {
        for (int32_t k = 0; k < missing.Count(); ++k) {
            const size_t at = size_t{size} * (missing[k] - set.FirstSlice(f));
            if (missing[k] >= set.FirstSlice(f) && at < files[f].size())
                std::copy_n(repair.RebuiltSlice(k), std::min<size_t>(size, files[f].size() - at),
                            files[f].begin() + at);
        }
    }
    return true;
}

const wchar_t* const names[] = {L"x.001", L"x.002", L"x.003"};
const uint64_t sizes[] = {50001, 40000, 9999};

// The set "x" of the files above, beside them in dir, seed decides their bytes.
void MakeSet(const TempDir& dir, std::vector<std::vector<uint8_t>>& originals, uint32_t seed = 7) {
    Par2Creator creator;
    ASSERT_TRUE(creator.Start(names, sizes, 3, 8192, 6));
    for (int i = 0; i < 3; ++i) {
        originals.push_back(MakePattern(sizes[i], i + seed));
        ASSERT_TRUE(WriteWholeFile(dir / names[i], originals[i]));
        ASSERT_TRUE(creator.SetFileHead(i, originals[i].data(), std::min<size_t>(sizes[i], 16384)));
    }
    for (const auto& data : originals)
        ASSERT_TRUE(creator.AddData(data.data(), data.size()));
    RecoveryFiles files;
    ASSERT_TRUE(files.Create(creator, (dir / L"x").c_str()) && files.Complete(creator));
}

// A set the creator makes for three files of 7, 5 and 2 slices (the last ones short) with six
// recovery blocks in the volumes vol0+1, vol1+2 and vol3+3; then files are deleted and bytes
// changed, in a file or a volume; the set is read and repaired. A block damaged in its body is
// found, then left out when read.
TEST(Par2RepairTest, RebuildsWhatTheBlocksAllow) {
    const struct {
        const wchar_t* deleted;
        const wchar_t* damaged;
        uint32_t damageAt;
        int32_t blocks;
        int32_t moreNeeded;
    } cases[] = {
        {nullptr, L"x.002", 40000 - 1, 6, 0},            // the last byte of a file
        {L"x.003", L"x.001", 9000, 6, 0},                // 3 slices: more blocks than needed
        {L"x.001", nullptr, 0, 6, 1},                    // 7 slices, 6 blocks
        {L"x.002", L"x.vol1+2.par2", 64 + 4 + 99, 6, 0}, // 5 slices, 5 intact blocks
        {L"x.001", L"x.vol3+3.par2", 64 + 4 + 2, 6, 2},
    };
    // Each case twice: in one call of each step, and in calls of 3000 bytes of work.
    for (size_t run = 0; run < 2 * std::size(cases); ++run) {
        const auto& c = cases[run / 2];
        const uint32_t budget = run % 2 ? 3000 : 1u << 30;
        TempDir dir;
        std::vector<std::vector<uint8_t>> originals;
        ASSERT_NO_FATAL_FAILURE(MakeSet(dir, originals));
        if (c.deleted) {
            ASSERT_TRUE(::DeleteFileW((dir / c.deleted).c_str()));
        }
        std::vector<uint8_t> bytes;
        if (c.damaged) {
            ASSERT_TRUE(ReadWholeFile(dir / c.damaged, bytes));
            bytes[c.damageAt] ^= 0x5A;
            ASSERT_TRUE(WriteWholeFile(dir / c.damaged, bytes));
        }

        Par2Set set;
        ASSERT_TRUE(set.Load((dir / L"x").c_str())) << ::GetLastError();
        EXPECT_EQ(set.RecoveryBlockCount(), c.blocks);
        ASSERT_EQ(set.TotalSlices(), 14);
        for (int i = 0; i < 3; ++i) {
            const int32_t f = set.FindFile(std::wstring(names[i]).replace(0, 1, L"X").c_str());
            ASSERT_GE(f, 0);
            EXPECT_EQ(set.FileSize(f), sizes[i]);
            EXPECT_EQ(set.SliceCount(f), static_cast<int32_t>((sizes[i] + 8191) / 8192));
        }
        std::vector<std::vector<uint8_t>> repaired;
        int32_t moreNeeded = -1;
        Calls calls;
        const bool ok = Repair(set, dir.Path(), 777, repaired, moreNeeded, budget, &calls);
        EXPECT_EQ(moreNeeded, c.moreNeeded);
        if (c.moreNeeded > 0) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
            continue;
        }
        ASSERT_TRUE(ok) << ::GetLastError();
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(repaired[set.FindFile(names[i])] == originals[i]) << names[i];
        EXPECT_EQ(calls.reads > 1 && calls.solves > 1, budget < 8192) << budget;
    }
}

// Packets that lie are passed over, never trusted: the set reads as it was made, from the intact
// packets around them, and a block that can't be checked does not count.
TEST(Par2SetTest, HostilePacketsArePassedOver) {
    const auto hugeLength = [](std::vector<uint8_t>& bytes) {
        std::vector<uint8_t> header(64);
        std::copy_n("PAR2\0PKT", 8, header.begin());
        std::fill_n(header.begin() + 8, 7, 0xFF); // a length of 2^56 - 1
        bytes.insert(bytes.begin(), header.begin(), header.end());
    };
    const struct {
        const wchar_t* file;
        std::function<void(std::vector<uint8_t>&)> lie;
        int32_t blocks;
    } cases[] = {
        {L"x.par2", [](std::vector<uint8_t>& b) { b[64] ^= 0x10; }, 6}, // main's slice size
        {L"x.vol0+1.par2", hugeLength, 6},                              // before a block
        {L"x.vol1+2.par2", [](std::vector<uint8_t>& b) { b.resize(64 + 4000); }, 4}, // truncated
        {L"x.vol3+3.par2", [](std::vector<uint8_t>& b) { b[8] ^= 0x40; }, 5},        // wrong length
        // A length that leads over the next block to the one after: that next one is found.
        {L"x.vol3+3.par2", [](std::vector<uint8_t>& b) { b[8] = 0x88, b[9] = 0x40; }, 5},
        {L"x.vol6+1.par2", nullptr, 6}, // a volume of another set with the same names
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.file));
        TempDir dir, other;
        std::vector<std::vector<uint8_t>> originals, others;
        ASSERT_NO_FATAL_FAILURE(MakeSet(dir, originals));
        std::vector<uint8_t> bytes;
        if (c.lie) {
            ASSERT_TRUE(ReadWholeFile(dir / c.file, bytes));
            c.lie(bytes);
        } else {
            ASSERT_NO_FATAL_FAILURE(MakeSet(other, others, 70));
            ASSERT_TRUE(ReadWholeFile(other / L"x.vol0+1.par2", bytes));
        }
        ASSERT_TRUE(WriteWholeFile(dir / c.file, bytes));
        Par2Set set;
        ASSERT_TRUE(set.Load((dir / L"x").c_str())) << ::GetLastError();
        EXPECT_EQ(set.RecoveryBlockCount(), c.blocks);
        ASSERT_EQ(set.FileCount(), 3);
        EXPECT_EQ(set.SliceSize(), 8192u);
        for (int i = 0; i < 3; ++i) {
            const int32_t f = set.FindFile(names[i]);
            ASSERT_GE(f, 0);
            Md5 md5;
            md5.Update(originals[i].data(), originals[i].size());
            EXPECT_TRUE(md5.Finish() == set.FileHash(f)) << i;
        }
    }
}

TEST(Par2SetTest, LoadFailures) {
    TempDir dir;
    Par2Set set;
    EXPECT_FALSE(set.Load((dir / L"x").c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ASSERT_TRUE(WriteWholeFile(dir / L"x.vol0+1.par2", MakePattern(5000)));
    EXPECT_FALSE(set.Load((dir / L"x").c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

// Sets that scripts/par2-test.sh made (ours and two of par2's, each with a part deleted, one
// damaged and a recovery block damaged, which counts as found; one with blocks that depend on
// each other): the repaired parts go beside them as "<part>.rebuilt".
TEST(InteropPar2Repair, RebuildsParts) {
    wchar_t folder[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"BRINDLECOT_PAR2_REPAIR_DIR", folder, MAX_PATH))
        GTEST_SKIP() << "run through scripts/par2-test.sh";
    const struct {
        const wchar_t* sub;
        const wchar_t* whole;
        int32_t files;
        int32_t blocks;
    } sets[] = {{L"ours", L"tr\u00efp.avi", 4, 10},
                {L"peer", L"tr\u00efp.avi", 4, 10},
                {L"x", L"x.bin", 4, 5},
                {L"y", L"y.bin", 1, 3}};
    for (const auto& c : sets) {
        const std::wstring dir = folder + std::wstring(L"\\") + c.sub;
        Par2Set set;
        ASSERT_TRUE(set.Load((dir + L"\\" + c.whole).c_str())) << ::GetLastError();
        EXPECT_EQ(set.FileCount(), c.files);
        EXPECT_EQ(set.RecoveryBlockCount(), c.blocks) << c.sub;
        std::vector<std::vector<uint8_t>> files;
        int32_t moreNeeded = 0;
        ASSERT_TRUE(Repair(set, dir, 10001, files, moreNeeded, 50000)) << ::GetLastError();
        for (int32_t f = 0; f < set.FileCount(); ++f) {
            Md5 md5;
            md5.Update(files[f].data(), files[f].size());
            EXPECT_TRUE(md5.Finish() == set.FileHash(f)) << set.FileName(f);
            EXPECT_TRUE(WriteWholeFile(dir + L"\\" + set.FileName(f) + L".rebuilt", files[f]));
        }
    }
    // Without the third block of y, two are there but they count as one.
    const std::wstring y = folder + std::wstring(L"\\y\\y.bin");
    ASSERT_TRUE(::DeleteFileW((y + L".vol30000+1.par2").c_str()));
    Par2Set set;
    ASSERT_TRUE(set.Load(y.c_str()));
    std::vector<std::vector<uint8_t>> files;
    int32_t moreNeeded = 0;
    EXPECT_FALSE(Repair(set, folder + std::wstring(L"\\y"), 10001, files, moreNeeded));
    EXPECT_EQ(moreNeeded, 1);
}

} // namespace
