#include "IoTestSupport.h"
#include "support/SmallVolume.h"

using namespace testing_support;
using namespace io_tests;

namespace {

// Runs on a small real volume that scripts/with-small-volume.sh offers as drive T:.
class DiskFullTest : public IoEngineTest {
protected:
    void SetUp() override {
        IoEngineTest::SetUp();
        root = SmallVolumeRoot();
        if (root.empty())
            GTEST_SKIP() << "no small volume: run through scripts/with-small-volume.sh";
    }
    std::wstring root;
};

// A write the system refuses at once because the disk is full comes back exactly once, with
// its error, whether or not the system also posts a packet for it (Wine does, Windows does not),
// and a request that comes back is free to be reused or freed at once.
TEST_F(DiskFullTest, AWriteRefusedOnAFullDiskComesBackExactlyOnce) {
    const uint32_t chunk = 1024 * 1024;
    const int count = static_cast<int>(AvailableOn(root) / chunk) + 3;
    void* data = ::VirtualAlloc(nullptr, chunk, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(data, nullptr);

    AsyncFile file;
    ASSERT_TRUE(file.Open((root + L"fill.bin").c_str(), GENERIC_WRITE, CREATE_NEW,
                          FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING));
    std::vector<TrackedRequest> requests(count);
    std::vector<TrackedRequest*> all;
    for (int i = 0; i < count; ++i) {
        requests[i].Prepare(static_cast<uint64_t>(i) * chunk);
        all.push_back(&requests[i]);
        ASSERT_TRUE(file.Write(data, chunk, &requests[i]));
    }
    ASSERT_TRUE(PumpUntilDone(all));
    PumpTicks(10); // a second delivery would show here
    int refused = 0;
    for (TrackedRequest& request : requests) {
        EXPECT_EQ(request.completed, 1);
        EXPECT_EQ(request.abandoned, 0);
        if (request.seenError != 0) {
            EXPECT_EQ(request.seenError, static_cast<uint32_t>(ERROR_DISK_FULL));
            EXPECT_EQ(request.seenTransferred, 0u);
            ++refused;
        }
    }
    EXPECT_GE(refused, 2);
    file.Close();
    ::VirtualFree(data, 0, MEM_RELEASE);
}

} // namespace
