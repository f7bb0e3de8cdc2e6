#include "IoTestSupport.h"

#include "app/Settings.h"
#include "io/IoPair.h"
#include "support/SettingsValues.h"

using namespace testing_support;
using namespace io_tests;

namespace {

// BufferSize set by hand in the program's key, as a user would.
void SetBufferSize(DWORD value) {
    WriteDword(L"BufferSize", value);
}

void ClearBufferSize() {
    DeleteSetting(L"BufferSize");
}

// Whole reserved region at the address, committed and writable.
SIZE_T CommittedSize(void* address) {
    MEMORY_BASIC_INFORMATION info = {};
    if (!::VirtualQuery(address, &info, sizeof info) || info.State != MEM_COMMIT ||
        info.Protect != PAGE_READWRITE || info.AllocationBase != address)
        return 0;
    return info.RegionSize;
}

bool IsFree(void* address) {
    MEMORY_BASIC_INFORMATION info = {};
    return ::VirtualQuery(address, &info, sizeof info) && info.State == MEM_FREE;
}

class IoPairTest : public IoEngineTest {
protected:
    void SetUp() override {
        IoEngineTest::SetUp();
        ASSERT_TRUE(gSettings.Open());
    }
    void TearDown() override {
        ClearBufferSize();
        gSettings.Close();
        IoEngineTest::TearDown();
    }
};

TEST_F(IoPairTest, NewPairHasAPageAlignedBufferOfBufferSize) {
    SetBufferSize(4194304);
    IoPair* pair = CreateIoPair();
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->size, 4194304u);
    EXPECT_EQ(CommittedSize(pair->data), 4194304u);
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pair->data) % system.dwPageSize, 0u);
    EXPECT_EQ(pair->onComplete, nullptr);
    EXPECT_EQ(pair->onAbandon, &ReleaseIoPair);
    EXPECT_EQ(pair->error, 0u);
    EXPECT_EQ(pair->transferred, 0u);
    EXPECT_EQ(pair->list, nullptr);
    EXPECT_EQ(pair->part, nullptr);
    EXPECT_EQ(pair->operation, nullptr);
    EXPECT_EQ(pair->chunk, 0u);
    EXPECT_EQ(pair->writeOffset, 0u);
    EXPECT_EQ(pair->source, nullptr);
    EXPECT_EQ(pair->destination, nullptr);
    // The whole buffer is usable.
    static_cast<uint8_t*>(pair->data)[pair->size - 1] = 1;
    void* data = pair->data;
    ReleaseIoPair(pair);
    EXPECT_TRUE(IsFree(data));
}

TEST_F(IoPairTest, InvalidOrMissingBufferSizeGivesOneMebibyte) {
    const DWORD invalid[] = {0, 65536, 3000000, 33554432, 1048577};
    for (DWORD value : invalid) {
        SetBufferSize(value);
        IoPair* pair = CreateIoPair();
        ASSERT_NE(pair, nullptr);
        EXPECT_EQ(pair->size, 1048576u) << value;
        EXPECT_EQ(CommittedSize(pair->data), 1048576u) << value;
        ReleaseIoPair(pair);
    }
    ClearBufferSize();
    IoPair* pair = CreateIoPair();
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->size, 1048576u);
    ReleaseIoPair(pair);
}

TEST_F(IoPairTest, BufferSizeIsReadAtEachCreation) {
    SetBufferSize(131072);
    IoPair* small = CreateIoPair();
    SetBufferSize(16777216);
    IoPair* large = CreateIoPair();
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(small->size, 131072u);
    EXPECT_EQ(large->size, 16777216u);
    EXPECT_EQ(CommittedSize(large->data), 16777216u);
    ReleaseIoPair(small);
    ReleaseIoPair(large);
}

TEST_F(IoPairTest, ReleaseDataFreesOnlyTheBuffer) {
    IoPair* pair = CreateIoPair();
    ASSERT_NE(pair, nullptr);
    void* data = pair->data;
    pair->ReleaseData();
    EXPECT_TRUE(IsFree(data));
    EXPECT_EQ(pair->data, nullptr);
    delete pair;
}

bool gPairCompleted = false;
void MustNotComplete(IoRequest*) {
    gPairCompleted = true;
}

TEST_F(IoPairTest, AbandonedPairFreesItsBuffer) {
    ASSERT_TRUE(WritePatternFile(dir / L"src", 2 * 1048576));
    AsyncFile file;
    ASSERT_TRUE(file.Open((dir / L"src").c_str(), GENERIC_READ, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING));
    void* buffers[2];
    IoPair* pairs[2];
    for (int i = 0; i < 2; ++i) {
        IoPair* pair = CreateIoPair();
        ASSERT_NE(pair, nullptr);
        pair->onComplete = MustNotComplete;
        pair->SetPosition(uint64_t(i) * pair->size);
        pair->overlapped.Internal = STATUS_PENDING;
        buffers[i] = pair->data;
        pairs[i] = pair;
        ASSERT_TRUE(file.Read(pair->data, pair->size, pair));
    }
    // Closed once the completions are on their way (see the abandon tests of AsyncFile).
    for (IoPair* pair : pairs)
        ASSERT_TRUE(WaitSystemDone(*pair));
    LetCompletionThreadRun();
    gPairCompleted = false;
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(PumpUntil([&] { return IsFree(buffers[0]) && IsFree(buffers[1]); }));
    EXPECT_FALSE(gPairCompleted);
    EXPECT_EQ(checker.CheckedCount(), 2);
}

} // namespace
