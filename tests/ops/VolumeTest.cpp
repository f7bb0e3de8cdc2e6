#include <gtest/gtest.h>

#include "app/ByteSize.h"
#include "ops/Volume.h"

#include "support/TestFiles.h"

#include <string>

using namespace testing_support;

namespace {

std::wstring Size(uint64_t bytes) {
    WideString text;
    FormatByteSize(bytes, text);
    return text.Text();
}

TEST(VolumeTest, SizesReadInThePanelsUnitsWithThreeFiguresNeverRoundedUp) {
    EXPECT_EQ(Size(0), L"0 Byte");
    EXPECT_EQ(Size(1023), L"1023 Byte");
    EXPECT_EQ(Size(1024), L"1.00 KB");
    EXPECT_EQ(Size(2047), L"1.99 KB");
    EXPECT_EQ(Size(1000 * 1000), L"976 KB");
    EXPECT_EQ(Size(1024 * 1000), L"1000 KB");
    EXPECT_EQ(Size(MiB - 1), L"1023 KB");
    EXPECT_EQ(Size(MiB), L"1.00 MB");
    EXPECT_EQ(Size(48 * MiB + 716 * KiB), L"48.6 MB"); // 48.699...
    EXPECT_EQ(Size(20 * 1024 * MiB), L"20.0 GB");
    EXPECT_EQ(Size(5000ull * 1024 * MiB), L"5000 GB");
    EXPECT_EQ(Size(UINT64_MAX), L"17179869183 GB");
}

TEST(VolumeTest, AShortfallThatWouldReadAsEnoughIsGivenInBytes) {
    WideString needed, available;
    FormatShortfall(20 * 1024 * MiB, 5 * 1024 * MiB, needed, available);
    EXPECT_STREQ(needed.Text(), L"20.0 GB");
    EXPECT_STREQ(available.Text(), L"5.00 GB");
    FormatShortfall(MiB + 4096, MiB, needed, available); // both "1.00 MB"
    EXPECT_STREQ(needed.Text(), L"1052672 Byte");
    EXPECT_STREQ(available.Text(), L"1048576 Byte");
}

TEST(VolumeTest, EveryFileTakesWholeAllocationUnits) {
    EXPECT_EQ(SpaceTaken(0, 4096), 0u);
    EXPECT_EQ(SpaceTaken(1, 4096), 4096u);
    EXPECT_EQ(SpaceTaken(8192, 4096), 8192u);
    EXPECT_EQ(SpaceTaken(8193, 0), 8193u);
    // Ten parts of 100,000 bytes take 25 clusters each, not the source's 245.
    EXPECT_EQ(SplitSpaceNeeded(1000000, 100000, 4096), 10u * 102400);
    // 10 MiB in 3 MiB parts: three whole parts and one of 1 MiB, all cluster multiples.
    EXPECT_EQ(SplitSpaceNeeded(10 * MiB, 3 * MiB, 4096), 10 * MiB);
    // The last, short part is rounded on its own.
    EXPECT_EQ(SplitSpaceNeeded(2 * MiB + 1, MiB, 512), 2 * MiB + 512);
    EXPECT_EQ(SplitSpaceNeeded(100, MiB, 4096), 4096u);
}

// FAT and FAT32 keep a file's size in 32 bits; the others hold what a split makes.
TEST(VolumeTest, FatHoldsNoFileOfFourGibibytes) {
    EXPECT_EQ(LargestFileFor(L"FAT32"), 4294967295u);
    EXPECT_EQ(LargestFileFor(L"fat"), 4294967295u);
    for (const wchar_t* other : {L"NTFS", L"exFAT", L"FAT64", L""})
        EXPECT_EQ(LargestFileFor(other), UINT64_MAX) << Narrow(other);
    // Wine's own drives and a folder that does not exist: no limit.
    WideString fileSystem;
    TempDir dir(L"largest");
    EXPECT_EQ(LargestFileOn((dir.Path() + L"\\a.bin").c_str(), fileSystem), UINT64_MAX);
    EXPECT_FALSE(fileSystem.Length() == 0) << "the file system was not told";
    EXPECT_EQ(LargestFileOn(L"Q:\\nowhere\\a.bin", fileSystem), UINT64_MAX);
}

TEST(VolumeTest, TheVolumeOfAFilesFolderIsAsked) {
    TempDir dir(L"space");
    const std::wstring file = dir.Path() + L"\\not-yet-there.bin";
    VolumeRoom room;
    ASSERT_TRUE(QueryVolumeRoom(file.c_str(), room));
    ULARGE_INTEGER available;
    ASSERT_TRUE(::GetDiskFreeSpaceExW(dir.Path().c_str(), &available, nullptr, nullptr));
    // Other programs write too: the figures agree to within a few megabytes.
    EXPECT_LT(room.available > available.QuadPart ? room.available - available.QuadPart
                                                  : available.QuadPart - room.available,
              64 * MiB);
    EXPECT_NE(room.allocationUnit, 0u);
    EXPECT_EQ(room.allocationUnit % 512, 0u);
    // A folder that does not exist can't be asked: the caller then goes ahead without a check.
    EXPECT_FALSE(QueryVolumeRoom((dir.Path() + L"\\missing\\file.bin").c_str(), room));
}

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

} // namespace
