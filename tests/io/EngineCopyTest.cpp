#include "IoTestSupport.h"

#include "app/Settings.h"
#include "io/IoPair.h"
#include "support/SettingsValues.h"

using namespace testing_support;
using namespace io_tests;

namespace {

// A whole file copied through the engine as the operations use it: IoPairs cycling read, write,
// next chunk, unbuffered on both sides, the copy cut to its exact size at the end.
struct EngineCopy {
    AsyncFile source;
    AsyncFile destination;
    uint64_t size = 0;
    uint64_t next = 0;
    uint64_t written = 0;
    uint32_t sector = 0;
    int inFlight = 0;
    int cycles = 0;
    uint32_t firstError = 0;
    bool wrongThread = false;

    static EngineCopy* current;

    static uint32_t RoundUp(uint32_t n, uint32_t sector) {
        return (n + sector - 1) / sector * sector;
    }

    void End(IoPair* pair, uint32_t error) {
        if (error && !firstError)
            firstError = error;
        ReleaseIoPair(pair);
        --inFlight;
    }
    void Issue(IoPair* pair) {
        if (firstError || next >= size)
            return End(pair, 0);
        uint64_t left = size - next;
        pair->chunk = left < pair->size ? static_cast<uint32_t>(left) : pair->size;
        pair->writeOffset = next;
        pair->SetPosition(next);
        pair->onComplete = OnRead;
        next += pair->chunk;
        if (!source.Read(pair->data, RoundUp(pair->chunk, sector), pair))
            End(pair, ::GetLastError());
    }
    static void OnRead(IoRequest* request) {
        auto* pair = static_cast<IoPair*>(request);
        EngineCopy& self = *current;
        self.wrongThread |= !InsideTimerTick();
        if (pair->error)
            return self.End(pair, pair->error);
        if (pair->transferred < pair->chunk)
            return self.End(pair, ERROR_HANDLE_EOF);
        pair->SetPosition(pair->writeOffset);
        pair->onComplete = OnWrite;
        if (!self.destination.Write(pair->data, RoundUp(pair->transferred, self.sector), pair))
            self.End(pair, ::GetLastError());
    }
    static void OnWrite(IoRequest* request) {
        auto* pair = static_cast<IoPair*>(request);
        EngineCopy& self = *current;
        self.wrongThread |= !InsideTimerTick();
        if (pair->error)
            return self.End(pair, pair->error);
        self.written += pair->chunk;
        ++self.cycles;
        self.Issue(pair);
    }
};
EngineCopy* EngineCopy::current = nullptr;

class EngineCopyTest : public IoEngineTest {
protected:
    void SetUp() override {
        IoEngineTest::SetUp();
        ASSERT_TRUE(gSettings.Open());
    }
    void TearDown() override {
        DeleteSetting(L"BufferSize");
        gSettings.Close();
        EngineCopy::current = nullptr;
        IoEngineTest::TearDown();
    }

    void SetBufferSize(DWORD value) { WriteDword(L"BufferSize", value); }

    // Copies a file of the given size with the given number of IoPairs in flight.
    void CopyThrough(uint64_t size, int pairs) {
        std::wstring from = dir / L"from", to = dir / L"to";
        ASSERT_TRUE(WritePatternFile(from, size, 21));
        EngineCopy copy;
        EngineCopy::current = &copy;
        copy.sector = SectorSizeOf(from);
        ASSERT_NE(copy.sector, 0u);
        const DWORD unbuffered = FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING;
        ASSERT_TRUE(copy.source.Open(from.c_str(), GENERIC_READ, OPEN_EXISTING, unbuffered));
        ASSERT_TRUE(copy.destination.Open(to.c_str(), GENERIC_WRITE, CREATE_NEW, unbuffered));
        copy.size = copy.source.GetSize();
        ASSERT_EQ(copy.size, size);
        for (int i = 0; i < pairs; ++i) {
            IoPair* pair = CreateIoPair();
            ASSERT_NE(pair, nullptr);
            ++copy.inFlight;
            copy.Issue(pair);
        }
        ASSERT_TRUE(PumpUntil([&] { return copy.inFlight == 0; }, 60000));
        EXPECT_EQ(copy.firstError, 0u);
        EXPECT_FALSE(copy.wrongThread);
        EXPECT_EQ(copy.written, size);
        EXPECT_EQ(copy.source.Pending(), nullptr);
        EXPECT_EQ(copy.destination.Pending(), nullptr);
        ASSERT_TRUE(copy.source.Close());
        ASSERT_TRUE(copy.destination.Close());
        // The last write went out in whole sectors.
        ASSERT_TRUE(copy.destination.Open(to.c_str(), GENERIC_WRITE, OPEN_EXISTING, 0));
        EXPECT_EQ(copy.destination.GetSize() % copy.sector, 0u);
        ASSERT_TRUE(copy.destination.SetSize(size));
        ASSERT_TRUE(copy.destination.Close());

        std::vector<uint8_t> original;
        ASSERT_TRUE(ReadWholeFile(from, original));
        EXPECT_TRUE(Holds(to, original));
        // Every read and write was checked for alignment.
        EXPECT_EQ(checker.CheckedCount(), 2 * copy.cycles);
    }
};

TEST_F(EngineCopyTest, ManyPairsCopyAnOddSizedFileExactly) {
    SetBufferSize(131072);
    CopyThrough(5 * 1048576 + 777, 16);
}

TEST_F(EngineCopyTest, OnePairCopiesChunkAfterChunk) {
    SetBufferSize(131072);
    CopyThrough(3 * 131072 + 512, 1);
}

TEST_F(EngineCopyTest, FileSmallerThanASector) {
    CopyThrough(100, 4);
}

} // namespace
