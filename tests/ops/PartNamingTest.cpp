#include <gtest/gtest.h>

#include "ops/PartNaming.h"

#include "support/TestFiles.h"

#include <string>
#include <vector>

using namespace testing_support;

namespace {

std::wstring FileName(const wchar_t* path) {
    WideString name;
    EXPECT_TRUE(FileNameOf(path, name));
    return name.Text();
}

std::wstring JoinOutput(const wchar_t* path) {
    WideString whole;
    EXPECT_TRUE(JoinOutputPath(path, whole));
    EXPECT_EQ(wcslen(whole.Text()), whole.Length());
    return whole.Text();
}

struct Visit {
    std::wstring path;
    uint64_t offset;
    uint64_t size;
};

struct Recorder {
    std::vector<Visit> visits;
    size_t failAt = SIZE_MAX; // refuse this visit (0-based)

    static bool Record(void* context, const WideString& path, uint64_t offset, uint64_t size) {
        auto* self = static_cast<Recorder*>(context);
        self->visits.push_back({path.Text(), offset, size});
        if (self->visits.size() - 1 == self->failAt) {
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        return true;
    }
};

void MakeFile(const std::wstring& path, uint64_t size) {
    ASSERT_TRUE(WritePatternFile(path, size, static_cast<uint32_t>(size))) << Narrow(path);
}

} // namespace

TEST(PartNamingTest, FileNameOf) {
    EXPECT_EQ(FileName(L"D:\\films\\trip.avi"), L"trip.avi");
    EXPECT_EQ(FileName(L"trip.avi"), L"");
    EXPECT_EQ(FileName(L"\\trip.avi"), L"");
    EXPECT_EQ(FileName(L"D:\\films\\"), L"");
    EXPECT_EQ(FileName(L"D:\\a"), L"a");
    EXPECT_EQ(FileName(L"\\\\server\\share\\file"), L"file");
    EXPECT_EQ(FileName(L""), L"");
}

TEST(PartNamingTest, PartPath) {
    WideString part;
    ASSERT_TRUE(PartPath(L"D:\\films\\trip.avi", 1, part));
    EXPECT_STREQ(part.Text(), L"D:\\films\\trip.avi.001");
    ASSERT_TRUE(PartPath(L"D:\\films\\trip.avi", 7, part));
    EXPECT_STREQ(part.Text(), L"D:\\films\\trip.avi.007");
    ASSERT_TRUE(PartPath(L"D:\\films\\trip.avi", 999, part));
    EXPECT_STREQ(part.Text(), L"D:\\films\\trip.avi.999");
    ASSERT_TRUE(PartPath(L"D:\\films\\trip.avi", 1000, part));
    EXPECT_STREQ(part.Text(), L"D:\\films\\trip.avi.1000");
    ASSERT_TRUE(PartPath(L"x", 4294967295u, part));
    EXPECT_STREQ(part.Text(), L"x.4294967295");
    EXPECT_EQ(part.Length(), 12u);
}

// Sizes for a number of parts: whole sectors where the last part keeps some bytes, else exact;
// none where no size gives that many parts with none empty or larger than the first.
TEST(PartNamingTest, SizesForANumberOfParts) {
    const struct {
        uint64_t total;
        uint32_t count, sector;
        uint64_t size;
    } cases[] = {
        {2621540, 3, 512, 873984},
        {4096, 4, 512, 1024},
        {1025, 2, 512, 1024},
        {1000, 4, 512, 250},
        {10, 4, 512, 3},
        {9, 4, 512, 0},
        {3, 4, 512, 0},
        {7, 1, 512, 512},
        {5, 0, 512, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PartSizeForCount(c.total, c.count, c.sector), c.size)
            << c.total << "/" << c.count;
}

TEST(PartNamingTest, SplitLayout) {
    const uint64_t MiB = 1048576;
    EXPECT_EQ(SplitPartCount(10 * MiB, 3 * MiB), 4u);
    EXPECT_EQ(SplitPartCount(9 * MiB, 3 * MiB), 3u);
    EXPECT_EQ(SplitPartCount(9 * MiB + 1, 3 * MiB), 4u);
    EXPECT_EQ(SplitPartCount(100, 3 * MiB), 1u);
    EXPECT_EQ(SplitPartCount(0, 3 * MiB), 0u);

    uint64_t expected[] = {3 * MiB, 3 * MiB, 3 * MiB, MiB};
    for (uint64_t i = 1; i <= 4; ++i) {
        PartExtent part = SplitPart(i, 10 * MiB, 3 * MiB);
        EXPECT_EQ(part.offset, (i - 1) * 3 * MiB);
        EXPECT_EQ(part.size, expected[i - 1]);
    }
    // A total that is a multiple of the part size ends with a full part.
    PartExtent last = SplitPart(3, 9 * MiB, 3 * MiB);
    EXPECT_EQ(last.offset, 6 * MiB);
    EXPECT_EQ(last.size, 3 * MiB);
    PartExtent only = SplitPart(1, 100, 3 * MiB);
    EXPECT_EQ(only.offset, 0u);
    EXPECT_EQ(only.size, 100u);
}

TEST(PartNamingTest, SplitLayoutNearTheTopOfSixtyFourBits) {
    const uint64_t top = 0xFFFFFFFFFFFFFFFFull;
    EXPECT_EQ(SplitPartCount(top, 1), top);
    EXPECT_EQ(SplitPartCount(top, top), 1u);
    EXPECT_EQ(SplitPartCount(top, 2), 0x8000000000000000ull);
    EXPECT_EQ(SplitPartCount(top, 0x100000000ull), 0x100000000ull);
    PartExtent last = SplitPart(0x100000000ull, top, 0x100000000ull);
    EXPECT_EQ(last.offset, 0xFFFFFFFF00000000ull);
    EXPECT_EQ(last.size, 0xFFFFFFFFull);
    PartExtent first = SplitPart(1, top, top);
    EXPECT_EQ(first.offset, 0u);
    EXPECT_EQ(first.size, top);
    // Sizes of several GiB are 64-bit all through.
    const uint64_t GiB = 1073741824;
    EXPECT_EQ(SplitPartCount(10 * GiB, 4 * GiB), 3u);
    PartExtent third = SplitPart(3, 10 * GiB, 4 * GiB);
    EXPECT_EQ(third.offset, 8 * GiB);
    EXPECT_EQ(third.size, 2 * GiB);
}

TEST(PartNamingTest, JoinOutputPath) {
    EXPECT_EQ(JoinOutput(L"D:\\films\\trip.avi.001"), L"D:\\films\\trip.avi");
    EXPECT_EQ(JoinOutput(L"D:\\films\\trip.avi.003"), L"D:\\films\\trip.avi");
    EXPECT_EQ(JoinOutput(L"D:\\films\\trip.avi.1000"), L"D:\\films\\trip.avi");
    EXPECT_EQ(JoinOutput(L"a.b.c"), L"a.b");
    EXPECT_EQ(JoinOutput(L"readme"), L"readme");
    // The first character is not looked at.
    EXPECT_EQ(JoinOutput(L".001"), L".001");
    // A dot in a folder name is not an extension of the file.
    EXPECT_EQ(JoinOutput(L"D:\\data.old\\readme"), L"D:\\data.old\\readme");
    EXPECT_EQ(JoinOutput(L"D:\\data.old\\readme.001"), L"D:\\data.old\\readme");
}

// The parts found up to the first gap, each visited with its place in the whole file, and
// whether every one starts on a sector (only the starts count; with no sector size known, none
// does). The whole file itself beside them is not a part.
TEST(PartNamingTest, ListsUpToTheFirstGap) {
    const uint64_t MiB = 1048576;
    const struct {
        const wchar_t* name;
        std::vector<int64_t> sizes; // -1: no part of that number
        uint32_t sector, count;
        uint64_t total;
        bool aligned;
    } rows[] = {
        {L"trip.avi", {1000, 2000, -1, 4000}, 512, 2, 3000, false},
        {L"trip.avi", {-1, 10}, 512, 0, 0, true},
        {L"a b.bin", {512, 0, 100}, 512, 3, 612, true},
        {L"a", {3 * MiB, 3 * MiB, 1000001}, 512, 3, 7291457, true},
        {L"a", {3 * MiB, 3 * MiB, 1000001}, 0, 3, 7291457, false},
        {L"b", {1000000, 1000000, 1000000}, 512, 3, 3000000, false},
        {L"c", {100, 412, 512}, 512, 3, 1024, false},
        {L"c", {100, 412, 512}, 4, 3, 1024, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << Narrow(row.name) << ", sector " << row.sector);
        TempDir dir;
        const std::wstring whole = dir / row.name;
        MakeFile(whole, 7);
        for (size_t i = 0; i < row.sizes.size(); ++i) {
            if (row.sizes[i] >= 0)
                MakeFile(PartName(whole, static_cast<unsigned>(i + 1)), row.sizes[i]);
        }
        Recorder recorder;
        FoundParts found;
        found.count = 9;
        ASSERT_TRUE(FindParts(whole.c_str(), row.sector, Recorder::Record, &recorder, found));
        EXPECT_EQ(found.count, row.count);
        EXPECT_EQ(found.totalSize, row.total);
        EXPECT_EQ(found.aligned, row.aligned);
        ASSERT_EQ(recorder.visits.size(), row.count);
        uint64_t offset = 0;
        for (uint32_t i = 0; i < row.count; ++i) {
            EXPECT_EQ(recorder.visits[i].path, PartName(whole, i + 1)) << i;
            EXPECT_EQ(recorder.visits[i].offset, offset) << i;
            EXPECT_EQ(recorder.visits[i].size, uint64_t(row.sizes[i])) << i;
            offset += row.sizes[i];
        }
    }
}

TEST(PartNamingTest, AVisitorFailureStopsAtOnce) {
    TempDir dir;
    std::wstring whole = dir / L"x";
    for (const wchar_t* ext : {L".001", L".002", L".003", L".004"})
        MakeFile(whole + ext, 10);
    Recorder recorder;
    recorder.failAt = 1;
    FoundParts found;
    ::SetLastError(0);
    EXPECT_FALSE(FindParts(whole.c_str(), 512, Recorder::Record, &recorder, found));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(recorder.visits.size(), 2u);
    EXPECT_EQ(found.count, 1u);
    EXPECT_EQ(found.totalSize, 10u);
}

// A folder of a part's name takes the name, but is no part: a join never looks for it.
TEST(PartNamingTest, AFolderAfterTheLastPartIsNoPart) {
    TempDir dir;
    for (unsigned i = 1; i <= 3; ++i)
        ASSERT_TRUE(WriteWholeFile(PartName(dir / L"x", i), MakePattern(10, i)));
    ASSERT_TRUE(::CreateDirectoryW(PartName(dir / L"x", 4).c_str(), nullptr));
    PartNames names;
    ASSERT_TRUE(ScanPartNames((dir / L"x").c_str(), names));
    EXPECT_EQ(names.lowest, 1u);
    EXPECT_EQ(names.highestFile, 3u);
}

TEST(PartNamingTest, NumbersGoPastNineHundredNinetyNine) {
    TempDir dir;
    std::wstring whole = dir / L"many";
    WideString part;
    for (uint32_t i = 1; i <= 1001; ++i) {
        ASSERT_TRUE(PartPath(whole.c_str(), i, part));
        HANDLE h = ::CreateFileW(part.Text(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        ::CloseHandle(h);
    }
    Recorder recorder;
    FoundParts found;
    ASSERT_TRUE(FindParts(whole.c_str(), 512, Recorder::Record, &recorder, found));
    EXPECT_EQ(found.count, 1001u);
    ASSERT_EQ(recorder.visits.size(), 1001u);
    EXPECT_EQ(recorder.visits[998].path, whole + L".999");
    EXPECT_EQ(recorder.visits[999].path, whole + L".1000");
    EXPECT_EQ(recorder.visits[1000].path, whole + L".1001");
}
