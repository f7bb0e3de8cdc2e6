#pragma once

#include "toolkit/Handle.h"

#include <windows.h>

#include <cstdint>

struct ComputeJob;
using ComputeRun = void (*)(ComputeJob& job, int32_t lane);
using ComputeDone = void (*)(ComputeJob& job);

// Work on data already in memory, done by the pool's workers. A job runs once on each lane
// it is given; each lane is one worker, which runs its jobs in the order they were submitted, so
// a stream (a hash over a file) stays on one lane and goes on in order, while several lanes may
// share out the rest (the recovery blocks) as long as no two touch the same bytes. When the last
// lane returns, done runs on the user-interface thread through the completion port, like the end
// of a read or write; a job comes back after every job submitted before it whose lanes it has too.
struct ComputeJob {
    OVERLAPPED overlapped; // first: the packet that brings the job back carries it
    ComputeRun run;
    ComputeDone done;
    // The first failure to queue it to a lane: that lane did not run it. 0 otherwise.
    DWORD error;
    volatile LONG lanesLeft;
};

class ComputePool {
public:
    static constexpr int32_t kMostWorkers = 8;
    static constexpr DWORD kStopWait = 1500;
    static constexpr DWORD kIdleWait = 10000;
    // Between tries of a wait for the workers that failed (no memory, no event, or time up).
    static constexpr DWORD kRetryMs = 50;
    // A job that can be stopped looks at whether it is still wanted after this many bytes.
    static constexpr uint32_t kStopLookBytes = 1024 * 1024;
    // Hands the bytes on to take(data, n) a piece at a time, looking at stop between the pieces;
    // false once it is set.
    template <typename Take>
    static bool InPieces(const uint8_t* data, uint32_t length, const volatile LONG& stop,
                         Take take) {
        for (uint32_t at = 0; at < length; at += kStopLookBytes) {
            if (stop != 0)
                return false;
            take(data + at, length - at < kStopLookBytes ? length - at : kStopLookBytes);
        }
        return true;
    }

    ComputePool() = default;
    ~ComputePool() { Stop(); }
    ComputePool(const ComputePool&) = delete;
    ComputePool& operator=(const ComputePool&) = delete;

    // Starts workers (0: one for each processor the process may run on), at least 1 and at
    // most kMostWorkers. The completion dispatcher must be started.
    bool Start(int32_t workers = 0);
    // Waits for each worker to end, never terminates one; jobs still queued are dropped, so the
    // pool is idle first. Always true.
    bool Stop();
    bool IsStarted() const { return count > 0; }
    int32_t Workers() const { return count; }
    // The processors the process may run on.
    static int32_t UsableProcessors();

    // Queues the job to each lane of the mask (bit k: worker k). Once queued the job always
    // comes back, with error set when a lane could not take it. False, with nothing queued, when
    // the pool is not started or the mask names no worker.
    bool Submit(ComputeJob& job, uint32_t lanes);
    // Returns once every worker has run every job queued to it before this call (their ends may
    // still be on the way back). False when one did not get there within kIdleWait.
    bool WaitIdle() const;
    // The same, however long that takes: for an owner that goes once the workers are past its
    // jobs, which may still be writing a step to a slow drive.
    void WaitPast() const;
    // Lets go of a job still out, one whose owner field says whom it reports to: once the
    // workers are past it, it reports to none and frees itself as it comes back.
    template <class Job> void LetGo(Job*& job) const {
        if (!job)
            return;
        WaitPast();
        job->owner = nullptr;
        job = nullptr;
    }
    // For a job its owner keeps while it is out, and whose fields `out` and `stop` say whether it
    // is and ask it to end: frees one that is back, or stops one still out and lets go of it.
    template <class Job> void Release(Job*& job) const {
        if (job && !job->out) {
            delete job;
            job = nullptr;
        } else if (job) {
            job->stop = 1;
            LetGo(job);
        }
    }
    // Hands such a job, made for the owner, to the lanes: kept then, with JobBack for its done
    // routine. False with the last error when it can't be queued, and it is freed.
    template <class Job> bool SubmitKept(Job* made, uint32_t lanes, Job*& kept) {
        made->done = JobBack<Job>;
        made->out = true;
        if (!Submit(*made, lanes)) {
            delete made;
            return false;
        }
        kept = made;
        return true;
    }
    // The done routine of such a job: it is back, and frees itself where it was let go of.
    template <class Job> static void JobBack(ComputeJob& computeJob) {
        auto* job = static_cast<Job*>(&computeJob);
        job->out = false;
        if (!job->owner)
            delete job;
    }

private:
    struct Worker {
        KernelHandle thread;
        KernelHandle stopEvent;
    };
    static DWORD WINAPI WorkerProc(void* parameter);
    template <int32_t kLane> static void CALLBACK RunApc(ULONG_PTR parameter);
    static void CALLBACK BarrierApc(ULONG_PTR parameter);
    static void LaneDone(ComputeJob& job);

    Worker workers[kMostWorkers];
    int32_t count = 0;
};
