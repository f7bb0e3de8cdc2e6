#include "OpsTestSupport.h"

#include "ops/PartSwap.h"

#include <gtest/gtest.h>

#include <vector>

using namespace ops_tests;

// Three parts: the first's place holds a damaged file, with its ".rebuilding" and ".damaged"
// names taken by files of their own; the second is lost; the third is damaged, and its temporary
// is gone before the swap when the swap is to fail. Done, each place holds its new bytes, the
// damaged file is kept under the next free name, and no file is touched that is not the swap's own;
// failed, every place is as it was, and the temporaries go when removed.
TEST(PartSwapTest, TakenNamesAreNumberedAndAFailedSwapPutsEveryPartBack) {
    const std::vector<uint8_t> damaged = MakePattern(100, 1), taken = MakePattern(50, 2);
    for (const bool fails : {false, true}) {
        SCOPED_TRACE(fails);
        TempDir dir;
        const std::wstring places[] = {dir / L"p.001", dir / L"p.002", dir / L"p.003"};
        ASSERT_TRUE(WriteWholeFile(places[0], damaged) && WriteWholeFile(places[2], damaged));
        for (const wchar_t* suffix : {L".rebuilding", L".damaged"})
            ASSERT_TRUE(WriteWholeFile(places[0] + suffix, taken));
        std::vector<uint8_t> rebuilt[3];
        PartSwap swap;
        ASSERT_TRUE(swap.Begin(3));
        for (int k = 0; k < 3; ++k) {
            SyncFile file;
            rebuilt[k] = MakePattern(200, k + 10);
            ASSERT_TRUE(swap.CreateTemporary(k, Wide(places[k]), file));
            ASSERT_TRUE(file.WriteFully(rebuilt[k].data(), rebuilt[k].size()));
        }
        EXPECT_TRUE(Holds(places[0] + L".rebuilding2", rebuilt[0]));
        ASSERT_TRUE(!fails || ::DeleteFileW((places[2] + L".rebuilding").c_str()));
        ASSERT_EQ(swap.Swap(), !fails);
        if (fails) {
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
            EXPECT_EQ(swap.FailedAt(), 2);
            EXPECT_STREQ(swap.FailedStep(), L"Error renaming %s");
        }
        swap.RemoveTemporaries();
        EXPECT_TRUE(Holds(places[0], fails ? damaged : rebuilt[0]));
        EXPECT_TRUE(fails ? !FileExists(places[0] + L".damaged2")
                          : Holds(places[0] + L".damaged2", damaged));
        for (const wchar_t* suffix : {L".rebuilding", L".damaged"})
            EXPECT_TRUE(Holds(places[0] + suffix, taken)) << Narrow(suffix);
        EXPECT_FALSE(FileExists(places[0] + L".rebuilding2"));
        EXPECT_EQ(FileExists(places[1]), !fails);
        EXPECT_TRUE(Holds(places[2], fails ? damaged : rebuilt[2]));
        EXPECT_EQ(FileExists(places[2] + L".damaged"), !fails);
        for (int k = 1; k < 3; ++k)
            EXPECT_FALSE(FileExists(places[k] + L".rebuilding")) << k;
    }
}
