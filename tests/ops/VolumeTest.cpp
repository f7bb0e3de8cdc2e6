#include "ops/Volume.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(VolumeTest, SectorSizeOfTheDrive) {
    EXPECT_EQ(QuerySectorSize(L"C:\\"), 512u);
    EXPECT_EQ(QuerySectorSize(L"Z:\\"), 512u);
    TempDir dir;
    EXPECT_EQ(QuerySectorSize((dir / L"trip.avi").c_str()), 512u);
    EXPECT_EQ(QuerySectorSize(L"z:\\no\\such\\file"), 512u);
    // Paths that do not begin with a drive letter, and drives that are not there.
    EXPECT_EQ(QuerySectorSize(L"\\\\server\\share\\file"), 0u);
    EXPECT_NE(::GetLastError(), 0u);
    // A path that starts with two backslashes is asked at its share root.
    EXPECT_EQ(QuerySectorSize((L"\\\\?\\" + (dir / L"trip.avi")).c_str()), 512u);
    EXPECT_EQ(QuerySectorSize(L"\\\\?\\C:\\"), 512u);
    EXPECT_EQ(QuerySectorSize(L"\\\\server"), 0u);
    EXPECT_EQ(QuerySectorSize(L"Q:\\trip.avi"), 0u);
    EXPECT_EQ(QuerySectorSize(L""), 0u);
}
