#include "IoTestSupport.h"

using namespace testing_support;
using namespace io_tests;

namespace {

TEST(IoThreadLifecycle, StopWithoutStartIsHarmless) {
    IoThread t;
    EXPECT_TRUE(t.Stop());
    EXPECT_FALSE(t.IsStarted());
}

TEST(IoThreadLifecycle, StartsStopsAndStartsAgain) {
    IoThread t;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(t.Start()) << GetLastError();
        HANDLE thread = nullptr;
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), t.Thread(), GetCurrentProcess(), &thread,
                                    0, FALSE, DUPLICATE_SAME_ACCESS));
        EXPECT_TRUE(t.Stop());
        EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
        DWORD code = 1234;
        EXPECT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, 0u);
        CloseHandle(thread);
        EXPECT_FALSE(t.IsStarted());
    }
}

using IoThreadTest = IoEngineTest;

TEST_F(IoThreadTest, CallsAreIssuedInTheOrderQueued) {
    Pipe pipe;
    HANDLE client = CreateFileW(pipe.Name().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(gDispatcher.Associate(client));
    char first[8] = {}, second[8] = {};
    char a[] = "A", b[] = "B", c[] = "C";
    TrackedRequest r1, r2, wa, wb, wc;
    ASSERT_TRUE(gIoThread.QueueRead(client, first, 8, &r1));
    ASSERT_TRUE(gIoThread.QueueRead(client, second, 8, &r2));
    ASSERT_TRUE(gIoThread.QueueWrite(client, a, 1, &wa));
    ASSERT_TRUE(gIoThread.QueueWrite(client, b, 1, &wb));
    ASSERT_TRUE(gIoThread.QueueWrite(client, c, 1, &wc));
    EXPECT_EQ(pipe.Receive(3), "ABC");
    // Pending pipe reads are served in the order they were issued.
    ASSERT_TRUE(pipe.Send("one"));
    ASSERT_TRUE(PumpUntilDone({&r1, &wa, &wb, &wc}));
    EXPECT_FALSE(r2.Done());
    ASSERT_TRUE(pipe.Send("two"));
    ASSERT_TRUE(PumpUntilDone({&r2}));
    EXPECT_EQ(std::string(first), "one");
    EXPECT_EQ(std::string(second), "two");
    for (auto* w : {&wa, &wb, &wc}) {
        EXPECT_EQ(w->completed, 1);
        EXPECT_EQ(w->seenError, 0u);
        EXPECT_EQ(w->seenTransferred, 1u);
    }
    CloseHandle(client);
}

TEST_F(IoThreadTest, RefusedCallComesBackWithoutAPacket) {
    char buffer[4];
    TrackedRequest r;
    r.SetPosition(0);
    ASSERT_TRUE(gIoThread.QueueRead(nullptr, buffer, 4, &r));
    ASSERT_TRUE(PumpUntilDone({&r}));
    EXPECT_EQ(r.completed, 1);
    EXPECT_EQ(r.seenError, static_cast<uint32_t>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(r.seenTransferred, 0u);
    EXPECT_FALSE(r.outsideTick);
    EXPECT_FALSE(r.otherThread);
    PumpTicks(3);
    EXPECT_EQ(r.completed, 1);
}

TEST_F(IoThreadTest, StopDoesNotWaitForeverNorKillAStuckThread) {
    Pipe pipe;
    HANDLE blockerHandle =
        CreateFileW(pipe.Name().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(blockerHandle, INVALID_HANDLE_VALUE);
    char buffer[4];
    TrackedRequest blocker;
    ASSERT_TRUE(gIoThread.QueueRead(blockerHandle, buffer, 4, &blocker));
    HANDLE thread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), gIoThread.Thread(), GetCurrentProcess(),
                                &thread, 0, FALSE, DUPLICATE_SAME_ACCESS));
    Sleep(50);
    EXPECT_TRUE(gIoThread.Stop());
    EXPECT_FALSE(gIoThread.IsStarted());
    // Still alive in its read; once that returns it finds its event gone and ends by itself.
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(pipe.Send("go!!"));
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 1234;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(std::string(buffer, 4), "go!!");
    CloseHandle(thread);
    CloseHandle(blockerHandle);
}

} // namespace
