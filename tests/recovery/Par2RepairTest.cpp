#include "support/Par2TestSets.h"

#include "recovery/Par2Set.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testing_support;

namespace {

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
        ASSERT_TRUE(!c.deleted || ::DeleteFileW((dir / c.deleted).c_str()));
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
            const int32_t f = set.FindFile(std::wstring(kSetNames[i]).replace(0, 1, L"X").c_str());
            ASSERT_GE(f, 0);
            EXPECT_EQ(set.FileSize(f), kSetSizes[i]);
            EXPECT_EQ(set.SliceCount(f), static_cast<int32_t>((kSetSizes[i] + 8191) / 8192));
        }
        std::vector<std::vector<uint8_t>> repaired;
        int32_t moreNeeded = -1;
        RepairCalls calls;
        const bool ok = RepairFolder(set, dir.Path(), 777, repaired, moreNeeded, budget, &calls);
        EXPECT_EQ(moreNeeded, c.moreNeeded);
        if (c.moreNeeded > 0) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
            continue;
        }
        ASSERT_TRUE(ok) << ::GetLastError();
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(repaired[set.FindFile(kSetNames[i])] == originals[i]) << kSetNames[i];
        EXPECT_EQ(calls.reads > 1 && calls.solves > 1, budget < 8192) << budget;
    }
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
        ASSERT_TRUE(RepairFolder(set, dir, 10001, files, moreNeeded, 50000)) << ::GetLastError();
        for (int32_t f = 0; f < set.FileCount(); ++f) {
            EXPECT_TRUE(Md5Of(files[f]) == set.FileHash(f)) << set.FileName(f);
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
    EXPECT_FALSE(RepairFolder(set, folder + std::wstring(L"\\y"), 10001, files, moreNeeded));
    EXPECT_EQ(moreNeeded, 1);
}

} // namespace
