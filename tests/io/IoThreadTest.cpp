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
        ASSERT_TRUE(t.Start()) << ::GetLastError();
        HANDLE thread = nullptr;
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), t.Thread(), ::GetCurrentProcess(),
                                      &thread, 0, FALSE, DUPLICATE_SAME_ACCESS));
        EXPECT_TRUE(t.Stop());
        EXPECT_EQ(::WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
        DWORD code = 1234;
        EXPECT_TRUE(::GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, 0u);
        ::CloseHandle(thread);
        EXPECT_FALSE(t.IsStarted());
    }
}

using IoThreadTest = IoEngineTest;

// Leaves the I/O thread inside a read of a synchronous pipe handle, which returns only once
// the pipe is sent four bytes. Holds its own handle to the thread, to wait on after a Stop.
class BlockedRead {
public:
    explicit BlockedRead(Pipe& pipe)
        : file(::CreateFileW(pipe.Name().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                             nullptr)) {
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(gIoThread.QueueRead(file, buffer, 4, &request));
        EXPECT_TRUE(::DuplicateHandle(::GetCurrentProcess(), gIoThread.Thread(),
                                      ::GetCurrentProcess(), &thread, 0, FALSE,
                                      DUPLICATE_SAME_ACCESS));
        // Time for the thread to enter the call.
        ::Sleep(50);
    }
    ~BlockedRead() {
        if (thread)
            ::CloseHandle(thread);
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
    }
    BlockedRead(const BlockedRead&) = delete;
    BlockedRead& operator=(const BlockedRead&) = delete;

    HANDLE file;
    HANDLE thread = nullptr;
    char buffer[4] = {};
    TrackedRequest request;
};

TEST_F(IoThreadTest, CallsAreIssuedInTheOrderQueued) {
    Pipe pipe;
    HANDLE client = ::CreateFileW(pipe.Name().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
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
    ::CloseHandle(client);
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
    BlockedRead blocked(pipe);
    EXPECT_TRUE(gIoThread.Stop());
    EXPECT_FALSE(gIoThread.IsStarted());
    // Still alive in its read; once that returns it finds its event gone and ends by itself.
    EXPECT_EQ(::WaitForSingleObject(blocked.thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(pipe.Send("go!!"));
    EXPECT_EQ(::WaitForSingleObject(blocked.thread, 10000), WAIT_OBJECT_0);
    DWORD code = 1234;
    EXPECT_TRUE(::GetExitCodeThread(blocked.thread, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(std::string(blocked.buffer, 4), "go!!");
}

TEST_F(IoThreadTest, MoreThanSixtyFourCallsInFlightComeBackOnceEach) {
    // Pending pipe reads stay under way until data comes; in between, refused calls with no
    // packet and calls finishing at once go through the same pairing.
    constexpr int kPending = 100;
    Pipe pipe;
    HANDLE client = ::CreateFileW(pipe.Name().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(gDispatcher.Associate(client));
    std::vector<TrackedRequest> reads(kPending), refused(kPending), writes(kPending);
    std::vector<char> received(kPending);
    char refusedBuffer[4], byte = 'w';
    for (int i = 0; i < kPending; ++i)
        ASSERT_TRUE(gIoThread.QueueRead(client, &received[i], 1, &reads[i]));
    for (int i = 0; i < kPending; ++i) {
        ASSERT_TRUE(gIoThread.QueueRead(nullptr, refusedBuffer, 4, &refused[i]));
        ASSERT_TRUE(gIoThread.QueueWrite(client, &byte, 1, &writes[i]));
    }
    std::vector<TrackedRequest*> early;
    for (int i = 0; i < kPending; ++i) {
        early.push_back(&refused[i]);
        early.push_back(&writes[i]);
    }
    ASSERT_TRUE(PumpUntilDone(early));
    EXPECT_EQ(pipe.Receive(kPending), std::string(kPending, 'w'));
    for (auto& r : reads)
        EXPECT_FALSE(r.Done());

    std::string data;
    for (int i = 0; i < kPending; ++i)
        data += static_cast<char>('0' + i % 64);
    ASSERT_TRUE(pipe.Send(data));
    std::vector<TrackedRequest*> all;
    for (auto& r : reads)
        all.push_back(&r);
    ASSERT_TRUE(PumpUntilDone(all));
    PumpTicks(5);
    for (int i = 0; i < kPending; ++i) {
        EXPECT_EQ(reads[i].completed, 1) << i;
        EXPECT_EQ(reads[i].seenError, 0u) << i;
        EXPECT_EQ(reads[i].seenTransferred, 1u) << i;
        EXPECT_EQ(received[i], data[i]) << i;
        EXPECT_EQ(refused[i].completed, 1) << i;
        EXPECT_EQ(refused[i].seenError, static_cast<uint32_t>(ERROR_INVALID_HANDLE)) << i;
        EXPECT_EQ(writes[i].completed, 1) << i;
        EXPECT_EQ(writes[i].seenTransferred, 1u) << i;
    }
    ::CloseHandle(client);
}

TEST_F(IoThreadTest, CallsIssuedAfterTheDispatcherStoppedTouchNoRequest) {
    // The I/O thread is held in a read on a synchronous pipe handle; behind it wait a call that
    // will be refused and a write whose arrival says that both calls before it were made. The
    // dispatcher stops meanwhile, as it does at shut-down.
    Pipe pipe, marker;
    HANDLE blockerHandle =
        ::CreateFileW(pipe.Name().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE markerHandle =
        ::CreateFileW(marker.Name().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(blockerHandle, INVALID_HANDLE_VALUE);
    ASSERT_NE(markerHandle, INVALID_HANDLE_VALUE);
    char blockerBuffer[4], buffer[4], done[] = "done";
    TrackedRequest blocker, refused, written;
    ASSERT_TRUE(gIoThread.QueueRead(blockerHandle, blockerBuffer, 4, &blocker));
    ASSERT_TRUE(gIoThread.QueueRead(nullptr, buffer, 4, &refused));
    ASSERT_TRUE(gIoThread.QueueWrite(markerHandle, done, 4, &written));
    refused.error = 0xBAD;
    refused.transferred = 0xBAD;
    ASSERT_TRUE(gDispatcher.Stop());

    ASSERT_TRUE(pipe.Send("free"));
    EXPECT_EQ(marker.Receive(4), "done");
    EXPECT_EQ(std::string(blockerBuffer, 4), "free");
    // Once a call has returned, its request may belong to another thread already: the refusal
    // is left to the completion side, which has stopped, and nothing writes to the request.
    EXPECT_EQ(refused.error, 0xBADu);
    EXPECT_EQ(refused.transferred, 0xBADu);
    EXPECT_EQ(::SleepEx(0, TRUE), 0u); // nothing was queued to this thread either
    EXPECT_FALSE(refused.Done());
    ::CloseHandle(markerHandle);
    ::CloseHandle(blockerHandle);
}

// Without a port to post the end of a call to, a refused call still comes back, with its error,
// on the thread that issued it: nothing else would ever deliver it.
TEST_F(IoThreadTest, ARefusedCallComesBackEvenWithNoPortToPostTo) {
    gIoThread.Stop();
    gDispatcher.Stop();
    ASSERT_TRUE(gIoThread.Start());
    char buffer[4];
    TrackedRequest refused;
    ASSERT_TRUE(gIoThread.QueueRead(nullptr, buffer, 4, &refused));
    for (DWORD start = ::GetTickCount(); !refused.Done() && ::GetTickCount() - start < 10000;)
        ::SleepEx(10, TRUE);
    EXPECT_EQ(refused.completed, 1);
    EXPECT_EQ(refused.seenError, static_cast<uint32_t>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(refused.otherThread);
}

TEST_F(IoThreadTest, AThreadLeftInACallEndsByItselfAfterARestart) {
    Pipe pipe;
    BlockedRead blocked(pipe);
    EXPECT_TRUE(gIoThread.Stop());
    // A new thread with new handles while the old one is still in its call: the old one must
    // keep to its own handles and end once its call returns.
    ASSERT_TRUE(gIoThread.Start());
    ASSERT_TRUE(pipe.Send("go!!"));
    EXPECT_EQ(::WaitForSingleObject(blocked.thread, 10000), WAIT_OBJECT_0);
    // The new thread still works.
    char buffer[4];
    TrackedRequest refused;
    ASSERT_TRUE(gIoThread.QueueRead(nullptr, buffer, 4, &refused));
    ASSERT_TRUE(PumpUntilDone({&refused}));
    EXPECT_EQ(refused.completed, 1);
}

} // namespace
