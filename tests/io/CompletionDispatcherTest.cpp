#include "IoTestSupport.h"

using namespace testing_support;
using namespace io_tests;

namespace {

TEST(CompletionDispatcherLifecycle, StopWithoutStartReturnsFalseAndChangesNothing) {
    CompletionDispatcher d;
    EXPECT_FALSE(d.Stop());
    EXPECT_FALSE(d.IsStarted());
    EXPECT_EQ(d.Port(), nullptr);
    EXPECT_EQ(d.CompletionThread(), nullptr);
    EXPECT_EQ(d.TimerId(), 0u);
}

TEST(CompletionDispatcherLifecycle, StartsStopsAndStartsAgain) {
    CompletionDispatcher d;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(d.Start()) << ::GetLastError();
        EXPECT_TRUE(d.IsStarted());
        EXPECT_NE(d.TimerId(), 0u);
        HANDLE thread = nullptr;
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), d.CompletionThread(),
                                      ::GetCurrentProcess(), &thread, 0, FALSE,
                                      DUPLICATE_SAME_ACCESS));
        EXPECT_TRUE(d.Stop());
        // The thread ended on the stop packet, by itself.
        DWORD code = 1234;
        EXPECT_EQ(::WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(::GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, 0u);
        ::CloseHandle(thread);
        EXPECT_FALSE(d.IsStarted());
        EXPECT_EQ(d.CompletionThread(), nullptr);
        EXPECT_EQ(d.TimerId(), 0u);
        EXPECT_FALSE(d.Stop());
    }
}

// Runs in a process of its own: under Wine a thread suspended or terminated at the wrong moment
// can hold a lock that the other threads then wait for, and that must not spoil the other tests.
// Ends the process with the terminated thread's exit code.
TEST(CompletionDispatcherChild, DISABLED_StuckThreadIsTerminated) {
    CompletionDispatcher d;
    if (!d.Start())
        ::ExitProcess(1000);
    HANDLE thread = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), d.CompletionThread(), ::GetCurrentProcess(),
                           &thread, 0, FALSE, DUPLICATE_SAME_ACCESS))
        ::ExitProcess(1001);
    // A thread still starting up may hold the loader's lock, which the end of the process then
    // waits for: it is suspended only once it has passed a packet on.
    TrackedRequest::uiThread = ::GetCurrentThreadId();
    TrackedRequest ready;
    if (!::PostQueuedCompletionStatus(d.Port(), 0, CompletionDispatcher::kCompletionKey,
                                      &ready.overlapped) ||
        !PumpUntilDone({&ready}))
        ::ExitProcess(1006);
    // A suspended thread never takes the stop packet.
    if (::SuspendThread(thread) == static_cast<DWORD>(-1))
        ::ExitProcess(1002);
    if (!d.Stop() || d.IsStarted())
        ::ExitProcess(1003);
    DWORD code = 1004;
    if (::WaitForSingleObject(thread, 5000) != WAIT_OBJECT_0 || !::GetExitCodeThread(thread, &code))
        ::ExitProcess(1005);
    ::ExitProcess(code);
}

TEST(CompletionDispatcherLifecycle, StuckCompletionThreadIsTerminatedWith55) {
    EXPECT_EQ(RunTestInChildProcess(L"CompletionDispatcherChild.DISABLED_StuckThreadIsTerminated"),
              55u);
}

// Runs in a process of its own: before the mend its completion thread spun on a closed port.
// Ends the process with 0 when the thread had ended by the time the dispatcher was gone.
TEST(CompletionDispatcherChild, DISABLED_DestroyedWhileStarted) {
    HANDLE thread = nullptr;
    {
        // A start-up that fails after the dispatcher started leaves it to static destruction.
        CompletionDispatcher d;
        if (!d.Start())
            ::ExitProcess(1000);
        if (!::DuplicateHandle(::GetCurrentProcess(), d.CompletionThread(), ::GetCurrentProcess(),
                               &thread, 0, FALSE, DUPLICATE_SAME_ACCESS))
            ::ExitProcess(1001);
    }
    ::ExitProcess(::WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0 ? 0 : 1002);
}

TEST(CompletionDispatcherLifecycle, DestructionEndsTheCompletionThreadFirst) {
    EXPECT_EQ(RunTestInChildProcess(L"CompletionDispatcherChild.DISABLED_DestroyedWhileStarted"),
              0u);
}

// Unguarded, the system would bind the file to a new port of its own and report success.
TEST(CompletionDispatcherLifecycle, AssociateNeedsAStartedPort) {
    TempDir dir(L"io");
    HANDLE file = ::CreateFileW((dir / L"a").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CompletionDispatcher d;
    EXPECT_FALSE(d.Associate(file));
    ASSERT_TRUE(d.Start());
    EXPECT_TRUE(d.Associate(file));
    EXPECT_TRUE(d.Stop());
    ::CloseHandle(file);
}

using CompletionDispatcherTest = IoEngineTest;

TEST_F(CompletionDispatcherTest, StopPassesOnCompletionsStillOnThePort) {
    // A burst of packets right before Stop: the completion thread can't have taken them all
    // when the stop packet goes in behind them, and every one of them must still be delivered.
    constexpr int kCount = 256;
    std::vector<TrackedRequest> requests(kCount);
    HANDLE thread = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), gDispatcher.CompletionThread(),
                                  ::GetCurrentProcess(), &thread, 0, FALSE, DUPLICATE_SAME_ACCESS));
    for (int i = 0; i < kCount; ++i)
        ASSERT_TRUE(::PostQueuedCompletionStatus(gDispatcher.Port(), 1000 + i,
                                                 CompletionDispatcher::kCompletionKey,
                                                 &requests[i].overlapped));
    EXPECT_TRUE(gDispatcher.Stop());
    // It ended on the stop packet, not by force.
    DWORD code = 1234;
    EXPECT_TRUE(::GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 0u);
    ::CloseHandle(thread);

    // Stop has killed the timer: run the queued calls by hand.
    std::vector<TrackedRequest*> order;
    TrackedRequest::order = &order;
    while (::SleepEx(0, TRUE) == WAIT_IO_COMPLETION) {
    }
    ASSERT_EQ(order.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(order[i], &requests[i]);
        EXPECT_EQ(requests[i].completed, 1);
        EXPECT_EQ(requests[i].seenError, 0u);
        EXPECT_EQ(requests[i].seenTransferred, 1000u + i);
    }
}

TEST_F(CompletionDispatcherTest, CompletionsWaitForTheFirstTickOfTheLoop) {
    std::vector<uint8_t> data = MakePattern(8192, 5);
    ASSERT_TRUE(WriteWholeFile(dir / L"src", data));
    AsyncFile file;
    ASSERT_TRUE(
        file.Open((dir / L"src").c_str(), GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OVERLAPPED));
    TrackedRequest requests[3];
    std::vector<uint8_t> buffer(3 * 1024);
    for (int i = 0; i < 3; ++i) {
        requests[i].Prepare(1000u * i);
        ASSERT_TRUE(file.Read(&buffer[1024 * i], 1024, &requests[i]));
    }
    for (auto& r : requests)
        ASSERT_TRUE(WaitSystemDone(r));
    LetCompletionThreadRun();
    for (auto& r : requests)
        EXPECT_FALSE(r.Done());

    int ticksBefore = TimerTicksDispatched();
    ASSERT_TRUE(PumpUntilDone({&requests[0], &requests[1], &requests[2]}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(requests[i].completed, 1);
        EXPECT_FALSE(requests[i].outsideTick);
        EXPECT_FALSE(requests[i].otherThread);
        // All waiting completions run as one batch, in the first tick.
        EXPECT_EQ(requests[i].tick, ticksBefore + 1);
        EXPECT_EQ(0, memcmp(&buffer[1024 * i], data.data() + 1000 * i, 1024)) << i;
    }
}

// A routine that takes a while, as every delivery may when all cores are busy.
struct SlowRequest : TrackedRequest {
    static constexpr DWORD kTakesMs = 6;
    SlowRequest() { Init(Slow, nullptr); }
    static void Slow(IoRequest* request) {
        ::Sleep(kTakesMs);
        auto* self = static_cast<SlowRequest*>(request);
        self->tick = TimerTicksDispatched();
        ++self->completed;
        TrackedRequest::order->push_back(self);
    }
};

TEST_F(CompletionDispatcherTest, ATickDeliversForItsBudgetAndTheRestFollowInOrder) {
    constexpr int kCount = 12;
    std::vector<SlowRequest> requests(kCount);
    std::vector<TrackedRequest*> order;
    TrackedRequest::order = &order;
    for (int i = 0; i < kCount; ++i)
        ASSERT_TRUE(::PostQueuedCompletionStatus(
            gDispatcher.Port(), 0, CompletionDispatcher::kCompletionKey, &requests[i].overlapped));
    LetCompletionThreadRun();
    std::vector<TrackedRequest*> all;
    for (auto& r : requests)
        all.push_back(&r);
    ASSERT_TRUE(PumpUntilDone(all));

    ASSERT_EQ(order.size(), static_cast<size_t>(kCount));
    // A tick ends after the delivery that passes its budget.
    constexpr int kMostInATick =
        CompletionDispatcher::kTickBudgetUs / 1000 / SlowRequest::kTakesMs + 1;
    int inTick = 0;
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(order[i], &requests[i]) << i;
        EXPECT_EQ(requests[i].completed, 1) << i;
        inTick = i > 0 && requests[i].tick == requests[i - 1].tick ? inTick + 1 : 1;
        EXPECT_LE(inTick, kMostInATick) << i;
    }
}

// Posts itself a message whose handler lingers until a completion is surely waiting.
struct BusyWindow {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_APP) {
            auto* request = reinterpret_cast<TrackedRequest*>(lp);
            WaitSystemDone(*request);
            LetCompletionThreadRun();
            handled = true;
            doneInHandler = request->Done();
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    static bool handled;
    static bool doneInHandler;
};
bool BusyWindow::handled = false;
bool BusyWindow::doneInHandler = false;

TEST_F(CompletionDispatcherTest, CompletionsNeverRunInsideAnotherHandler) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = BusyWindow::Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BcBusyWindow";
    ::RegisterClassW(&wc);
    HWND hwnd = ::CreateWindowExW(0, L"BcBusyWindow", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr);

    ASSERT_TRUE(WriteWholeFile(dir / L"src", MakePattern(4096)));
    AsyncFile file;
    ASSERT_TRUE(
        file.Open((dir / L"src").c_str(), GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OVERLAPPED));
    std::vector<uint8_t> buffer(4096);
    TrackedRequest request;
    ASSERT_TRUE(file.Read(buffer.data(), 4096, &request));
    ::PostMessageW(hwnd, WM_APP, 0, reinterpret_cast<LPARAM>(&request));
    ASSERT_TRUE(PumpUntil([&] { return request.Done(); }));
    EXPECT_TRUE(BusyWindow::handled);
    EXPECT_FALSE(BusyWindow::doneInHandler);
    EXPECT_EQ(request.completed, 1);
    EXPECT_FALSE(request.outsideTick);
    ::DestroyWindow(hwnd);
}

} // namespace
