#include "io/ComputePool.h"

#include "app/Globals.h"
#include "io/CompletionDispatcher.h"

#include <new>

namespace {

// What the waiting thread and the workers share for one wait: the last of them to be done with
// it frees it, so a wait that gave up never leaves a worker with a dead event.
struct Barrier {
    HANDLE reached;
    LONG left;  // workers yet to reach it
    LONG users; // workers and the waiting thread
};

void LeaveBarrier(Barrier* barrier) {
    if (::InterlockedDecrement(&barrier->users) != 0)
        return;
    ::CloseHandle(barrier->reached);
    delete barrier;
}

// One routine per lane, so that a queued job needs no note of the lane it is for.
using LaneRoutine = void(CALLBACK*)(ULONG_PTR);

} // namespace

int32_t ComputePool::UsableProcessors() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) || process == 0)
        return 1;
    int32_t n = 0;
    for (; process != 0; process &= process - 1)
        ++n;
    return n;
}

bool ComputePool::Start(int32_t wanted) {
    if (IsStarted())
        return true;
    if (!gDispatcher.IsStarted()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    int32_t n = wanted > 0 ? wanted : UsableProcessors();
    n = n < 1 ? 1 : (n > kMostWorkers ? kMostWorkers : n);
    for (int32_t i = 0; i < n; ++i) {
        Worker& worker = workers[i];
        worker.stopEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (worker.stopEvent.IsSet())
            worker.thread.Reset(
                ::CreateThread(nullptr, 0, WorkerProc, worker.stopEvent.Get(), 0, nullptr));
        if (!worker.thread.IsSet()) {
            const DWORD error = ::GetLastError();
            worker.stopEvent.Close();
            count = i;
            Stop();
            ::SetLastError(error);
            return false;
        }
    }
    count = n;
    return true;
}

bool ComputePool::Stop() {
    for (int32_t i = 0; i < count; ++i)
        ::SetEvent(workers[i].stopEvent.Get());
    for (int32_t i = 0; i < count; ++i) {
        ::WaitForSingleObject(workers[i].thread.Get(), kStopWait);
        workers[i].thread.Close();
        workers[i].stopEvent.Close();
    }
    count = 0;
    return true;
}

DWORD WINAPI ComputePool::WorkerProc(void* parameter) {
    HANDLE stop = static_cast<HANDLE>(parameter);
    while (::WaitForSingleObjectEx(stop, INFINITE, TRUE) == WAIT_IO_COMPLETION) {
    }
    return 0;
}

template <int32_t kLane> void CALLBACK ComputePool::RunApc(ULONG_PTR parameter) {
    auto* job = reinterpret_cast<ComputeJob*>(parameter);
    job->run(*job, kLane);
    LaneDone(*job);
}

void ComputePool::LaneDone(ComputeJob& job) {
    if (::InterlockedDecrement(&job.lanesLeft) != 0)
        return;
    // The port outlives every job: the dispatcher stops only once the work has ended.
    ::PostQueuedCompletionStatus(gDispatcher.Port(), 0, CompletionDispatcher::kJobKey,
                                 &job.overlapped);
}

bool ComputePool::Submit(ComputeJob& job, uint32_t lanes) {
    static constexpr LaneRoutine kRoutines[kMostWorkers] = {
        RunApc<0>, RunApc<1>, RunApc<2>, RunApc<3>, RunApc<4>, RunApc<5>, RunApc<6>, RunApc<7>};
    const uint32_t mask = count >= 32 ? ~0u : (1u << count) - 1;
    lanes &= mask;
    if (lanes == 0) {
        ::SetLastError(IsStarted() ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return false;
    }
    job.error = 0;
    job.overlapped = OVERLAPPED{};
    // One count for this call, so that the job cannot come back before every lane had its turn.
    job.lanesLeft = 1;
    for (int32_t k = 0; k < count; ++k) {
        if (!(lanes & (1u << k)))
            continue;
        ::InterlockedIncrement(&job.lanesLeft);
        if (!::QueueUserAPC(kRoutines[k], workers[k].thread.Get(),
                            reinterpret_cast<ULONG_PTR>(&job))) {
            if (job.error == 0)
                job.error = ::GetLastError();
            ::InterlockedDecrement(&job.lanesLeft);
        }
    }
    LaneDone(job);
    return true;
}

bool ComputePool::WaitIdle() const {
    if (count == 0)
        return true;
    auto* barrier =
        new (std::nothrow) Barrier{::CreateEventW(nullptr, TRUE, FALSE, nullptr), count, count + 1};
    if (!barrier)
        return false;
    if (!barrier->reached) {
        delete barrier;
        return false;
    }
    // Each worker runs its jobs in the order queued: when it reaches this, it is past them all.
    for (int32_t i = 0; i < count; ++i) {
        if (!::QueueUserAPC(BarrierApc, workers[i].thread.Get(),
                            reinterpret_cast<ULONG_PTR>(barrier))) {
            if (::InterlockedDecrement(&barrier->left) == 0)
                ::SetEvent(barrier->reached);
            LeaveBarrier(barrier);
        }
    }
    const bool reached = ::WaitForSingleObject(barrier->reached, kIdleWait) == WAIT_OBJECT_0;
    LeaveBarrier(barrier);
    return reached;
}

void ComputePool::WaitPast() const {
    while (!WaitIdle())
        ::Sleep(kRetryMs);
}

void CALLBACK ComputePool::BarrierApc(ULONG_PTR parameter) {
    auto* barrier = reinterpret_cast<Barrier*>(parameter);
    if (::InterlockedDecrement(&barrier->left) == 0)
        ::SetEvent(barrier->reached);
    LeaveBarrier(barrier);
}
