#pragma once

#include "app/Globals.h"
#include "io/AsyncFile.h"
#include "io/CompletionDispatcher.h"
#include "io/IoRequest.h"
#include "io/IoThread.h"
#include "support/AlignmentChecker.h"
#include "support/MessageLoop.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace io_tests {

// A request that remembers how it came back: which routine ran, how often, and whether it ran
// on this thread inside a tick of the dispatcher's timer.
struct TrackedRequest : IoRequest {
    int completed = 0;
    int abandoned = 0;
    bool outsideTick = false;
    bool otherThread = false;
    int tick = -1; // TimerTicksDispatched() when a routine ran
    uint32_t seenError = 0;
    uint32_t seenTransferred = 0;
    bool seenLinked = false;

    explicit TrackedRequest(uint64_t position = 0) { Prepare(position); }
    // Ready to be issued (again) at the position.
    void Prepare(uint64_t position) {
        Init(OnComplete, OnAbandon);
        SetPosition(position);
        // Marks the system's part as not yet done, so HasOverlappedIoCompleted can be polled.
        overlapped.Internal = STATUS_PENDING;
        completed = abandoned = 0;
        outsideTick = otherThread = false;
        tick = -1;
    }
    bool Done() const { return completed + abandoned > 0; }

    static DWORD uiThread;
    static std::vector<TrackedRequest*>* order; // when set, routines append themselves

private:
    void Note() {
        outsideTick = !testing_support::InsideTimerTick();
        otherThread = ::GetCurrentThreadId() != uiThread;
        tick = testing_support::TimerTicksDispatched();
        seenError = error;
        seenTransferred = transferred;
        seenLinked = IsLinked();
        if (order)
            order->push_back(this);
    }
    static void OnComplete(IoRequest* request) {
        auto* self = static_cast<TrackedRequest*>(request);
        ++self->completed;
        self->Note();
    }
    static void OnAbandon(IoRequest* request) {
        auto* self = static_cast<TrackedRequest*>(request);
        ++self->abandoned;
        self->Note();
    }
};

// Starts the dispatcher and the I/O thread on this thread for each test, and checks every
// unbuffered transfer for alignment.
class IoEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        TrackedRequest::uiThread = ::GetCurrentThreadId();
        TrackedRequest::order = nullptr;
        ASSERT_TRUE(gDispatcher.Start()) << ::GetLastError();
        ASSERT_TRUE(gIoThread.Start()) << ::GetLastError();
    }
    void TearDown() override {
        gDispatcher.Stop();
        gIoThread.Stop();
        TrackedRequest::order = nullptr;
    }

    testing_support::AlignmentChecker checker;
    testing_support::TempDir dir{L"io"};
};

// Waits, without running any APC, until the system has finished the request's call.
bool WaitSystemDone(const IoRequest& request, DWORD timeoutMs = 10000);
// Lets the completion thread pass finished packets on (a plain, non-alertable sleep).
void LetCompletionThreadRun();
// Runs the message loop until every request has come back.
bool PumpUntilDone(const std::vector<TrackedRequest*>& requests, DWORD timeoutMs = 10000);
// Runs the message loop for a few more dispatcher ticks.
void PumpTicks(int count);

// Runs one (disabled) test of this program in a process of its own and returns that process's
// exit code; 2000 + error when it can't be started, 3000 when it does not end within a minute.
DWORD RunTestInChildProcess(const wchar_t* testName);

// A named pipe of our own: its server end here, the client end opened by the test.
class Pipe {
public:
    Pipe();
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    const std::wstring& Name() const { return name; }
    bool IsCreated() const { return server != INVALID_HANDLE_VALUE; }
    // Writes from the server end; the client's reads receive it.
    bool Send(const std::string& text);
    // Reads exactly n bytes at the server end (what the client wrote).
    std::string Receive(size_t n);

private:
    std::wstring name;
    HANDLE server = INVALID_HANDLE_VALUE;
};

} // namespace io_tests
