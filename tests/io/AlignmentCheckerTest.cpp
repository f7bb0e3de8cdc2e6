#include "IoTestSupport.h"

#include <gtest/gtest-spi.h>

using namespace testing_support;
using namespace io_tests;

namespace {

using AlignmentCheckerTest = IoEngineTest;

// Opens an unbuffered file of four sectors and issues one read with the given shape, under a
// checker of its own.
void ReadUnbuffered(const std::wstring& path, uint64_t position, uint32_t length,
                    size_t bufferOffset, int* checked) {
    AlignmentChecker inner;
    const uint32_t sector = SectorSizeOf(path);
    uint8_t* memory = static_cast<uint8_t*>(
        ::VirtualAlloc(nullptr, 8 * sector, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    AsyncFile file;
    if (file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING,
                  FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING)) {
        TrackedRequest r(position);
        if (file.Read(memory + bufferOffset, length, &r))
            PumpUntilDone({&r});
    }
    file.Close();
    ::VirtualFree(memory, 0, MEM_RELEASE);
    *checked = inner.CheckedCount();
}

TEST_F(AlignmentCheckerTest, MisalignedUnbufferedTransfersAreCaught) {
    std::wstring path = dir / L"four";
    ASSERT_TRUE(WritePatternFile(path, 4 * 4096));
    const uint32_t sector = SectorSizeOf(path);
    ASSERT_GE(sector, 512u);
    int checked = 0;
    EXPECT_NONFATAL_FAILURE(ReadUnbuffered(path, 100, sector, 0, &checked),
                            "misaligned unbuffered read");
    EXPECT_EQ(checked, 1);
    EXPECT_NONFATAL_FAILURE(ReadUnbuffered(path, 0, sector + 1, 0, &checked), "length");
    EXPECT_NONFATAL_FAILURE(ReadUnbuffered(path, sector, sector, 8, &checked), "buffer");
    // Aligned, nothing is reported, and the read was still checked.
    checked = 0;
    ReadUnbuffered(path, sector, 2 * sector, sector, &checked);
    EXPECT_EQ(checked, 1);
}

TEST_F(AlignmentCheckerTest, MisalignedUnbufferedWriteIsCaught) {
    std::wstring path = dir / L"w";
    auto write = [&] {
        AlignmentChecker inner;
        AsyncFile file;
        char data[100] = {};
        TrackedRequest r(7);
        if (file.Open(path.c_str(), GENERIC_WRITE, CREATE_ALWAYS,
                      FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING) &&
            file.Write(data, sizeof data, &r))
            PumpUntilDone({&r});
        EXPECT_EQ(inner.UnbufferedOpenCount(), 1);
    };
    EXPECT_NONFATAL_FAILURE(write(), "misaligned unbuffered write");
}

TEST_F(AlignmentCheckerTest, BufferedFilesAreNotChecked) {
    std::wstring path = dir / L"b";
    ASSERT_TRUE(WriteWholeFile(path, MakePattern(1000)));
    AsyncFile file;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OVERLAPPED));
    char buffer[100];
    TrackedRequest r(3);
    ASSERT_TRUE(file.Read(buffer + 1, 37, &r));
    ASSERT_TRUE(PumpUntilDone({&r}));
    EXPECT_EQ(checker.TransferCount(), 1);
    EXPECT_EQ(checker.CheckedCount(), 0);
    EXPECT_EQ(checker.UnbufferedOpenCount(), 0);
}

TEST_F(AlignmentCheckerTest, ReopenedBufferedHandleIsNoLongerChecked) {
    std::wstring path = dir / L"r";
    ASSERT_TRUE(WritePatternFile(path, 4096));
    AsyncFile file;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING));
    ASSERT_TRUE(file.Close());
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OVERLAPPED));
    char buffer[100];
    TrackedRequest r(3);
    ASSERT_TRUE(file.Read(buffer, 10, &r));
    ASSERT_TRUE(PumpUntilDone({&r}));
    EXPECT_EQ(checker.CheckedCount(), 0);
    EXPECT_EQ(checker.UnbufferedOpenCount(), 1);
}

} // namespace

namespace {

// Operations open files on either drive, in any of these spellings; the checker must find the
// sector size of each.
TEST(SectorSize, IsFoundForEveryKindOfPath) {
    TempDir dir(L"ss");
    ASSERT_TRUE(WriteWholeFile(dir / L"f", MakePattern(10)));
    wchar_t exe[MAX_PATH];
    ASSERT_NE(::GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
    EXPECT_NE(SectorSizeOf(dir / L"f"), 0u);
    EXPECT_NE(SectorSizeOf(dir / L"not yet there"), 0u);
    EXPECT_NE(SectorSizeOf(L"\\\\?\\" + (dir / L"f")), 0u);
    EXPECT_NE(SectorSizeOf(L"Z:\\tmp"), 0u);
    EXPECT_NE(SectorSizeOf(exe), 0u);
}

} // namespace
