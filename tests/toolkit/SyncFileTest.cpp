#include <gtest/gtest.h>

#include "support/TestFiles.h"
#include "toolkit/SyncFile.h"

#include <vector>

using namespace testing_support;

namespace {

constexpr size_t kFileBytes = 1000;

// A file of kFileBytes patterned bytes in a fresh folder.
class SyncFileTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(WriteWholeFile(taken, data)); }

    TempDir dir;
    const std::wstring taken = dir / L"taken";
    const std::vector<uint8_t> data = MakePattern(kFileBytes);
};

using Open = bool (*)(SyncFile&, const wchar_t*);

} // namespace

TEST_F(SyncFileTest, OpensOnlyWhatEachWayAllows) {
    const Open read = [](SyncFile& f, const wchar_t* p) { return f.OpenForReading(p); };
    const Open create = [](SyncFile& f, const wchar_t* p) { return f.CreateNew(p); };
    const Open write = [](SyncFile& f, const wchar_t* p) { return f.OpenForWriting(p); };
    const struct {
        Open open;
        bool onTaken;
        DWORD error;     // 0: opens
        bool othersRead; // meanwhile
    } cases[] = {
        {read, true, 0, true},
        {read, false, ERROR_FILE_NOT_FOUND, false},
        {create, true, ERROR_FILE_EXISTS, true},
        {create, false, 0, false},
        {write, true, 0, false},
        {write, false, ERROR_FILE_NOT_FOUND, false},
    };
    for (const auto& c : cases) {
        const std::wstring path = c.onTaken ? taken : dir / L"free";
        SyncFile file;
        ::SetLastError(0);
        ASSERT_EQ(c.open(file, path.c_str()), c.error == 0) << (&c - cases);
        EXPECT_EQ(::GetLastError(), c.error) << (&c - cases);
        SyncFile other;
        EXPECT_EQ(other.OpenForReading(path.c_str()), c.othersRead) << (&c - cases);
        file.Close();
        ::DeleteFileW((dir / L"free").c_str());
        std::vector<uint8_t> now;
        ASSERT_TRUE(ReadWholeFile(taken, now));
        EXPECT_EQ(now, data) << (&c - cases); // nothing overwrote it
    }
}

TEST_F(SyncFileTest, ReadsAtAnOffsetAllOrFailsAtTheEnd) {
    const struct {
        uint64_t offset;
        uint32_t size;
    } cases[] = {{0, kFileBytes}, {400, 100}, {999, 1},     {0, 0},
                 {990, 20},       {1000, 1},  {1u << 20, 1}};
    SyncFile file;
    ASSERT_TRUE(file.OpenForReading(taken.c_str()));
    for (const auto& c : cases) {
        const bool whole = c.offset + c.size <= kFileBytes;
        std::vector<uint8_t> got(c.size + 1);
        ::SetLastError(0);
        ASSERT_EQ(file.ReadAt(c.offset, got.data(), c.size), whole) << c.offset << "+" << c.size;
        if (!whole) {
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
            continue;
        }
        got.pop_back();
        EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin() + c.offset));
    }
}

// What is left, short of what was asked, and then nothing.
TEST_F(SyncFileTest, ReadsOnFromThePosition) {
    SyncFile file;
    ASSERT_TRUE(file.OpenForReading(taken.c_str()));
    std::vector<uint8_t> got(kFileBytes);
    uint32_t some = 0;
    ASSERT_TRUE(file.ReadFully(got.data(), 300));
    ASSERT_TRUE(file.ReadSome(got.data() + 300, kFileBytes, some));
    EXPECT_EQ(some, kFileBytes - 300);
    EXPECT_EQ(got, data);
    EXPECT_TRUE(file.ReadSome(got.data(), 1, some) && some == 0);
}
