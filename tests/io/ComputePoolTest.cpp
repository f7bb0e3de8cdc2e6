#include "IoTestSupport.h"
#include "support/MessageLoop.h"

#include "app/Globals.h"
#include "io/ComputePool.h"

#include <gtest/gtest.h>

#include <vector>

namespace io_tests {
namespace {

using testing_support::InsideTimerTick;
using testing_support::PumpUntil;

// A job that notes, on each lane it runs on, its place in that lane's order and the thread, and
// on its return its place among the returns.
struct NotedJob : ComputeJob {
    DWORD sleepMs = 0;
    int seenOn[ComputePool::kMostWorkers] = {};
    DWORD threads[ComputePool::kMostWorkers] = {};
    int returnedAs = 0;
    bool returnedInTick = false;

    static inline volatile LONG laneCounts[ComputePool::kMostWorkers] = {};
    static inline int returns = 0;

    NotedJob() : ComputeJob{} {
        run = [](ComputeJob& job, int32_t lane) {
            auto& self = static_cast<NotedJob&>(job);
            ::Sleep(self.sleepMs);
            self.seenOn[lane] = ::InterlockedIncrement(&laneCounts[lane]);
            self.threads[lane] = ::GetCurrentThreadId();
        };
        done = [](ComputeJob& job) {
            auto& self = static_cast<NotedJob&>(job);
            self.returnedAs = ++returns;
            self.returnedInTick = InsideTimerTick();
        };
    }
};

class ComputePoolTest : public IoEngineTest {};

// Each job runs once on each lane of its mask, on that lane's own thread, in the order submitted
// there; WaitIdle returns once every lane is past them; each comes back on this thread within a
// dispatcher tick (not before), after every earlier job whose lanes it has too.
TEST_F(ComputePoolTest, JobsRunOnTheirLanesInOrderAndComeBackInOrder) {
    const struct {
        int32_t workers;
        uint32_t masks[4];
    } cases[] = {{1, {1, 1, 1, 1}}, {3, {7, 2, 5, 4}}, {8, {0xFF, 0x81, 0x7E, 1}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.workers);
        ComputePool pool;
        ASSERT_TRUE(pool.Start(c.workers)) << ::GetLastError();
        ASSERT_EQ(pool.Workers(), c.workers);
        for (auto& count : NotedJob::laneCounts)
            count = 0;
        NotedJob::returns = 0;
        std::vector<NotedJob> jobs(12);
        for (size_t i = 0; i < jobs.size(); ++i) {
            jobs[i].sleepMs = i % 5 == 0 ? 20 : 0; // a slow one now and then
            ASSERT_TRUE(pool.Submit(jobs[i], c.masks[i % 4]));
        }
        ASSERT_TRUE(pool.WaitIdle());
        for (int32_t lane = 0; lane < c.workers; ++lane) {
            int named = 0;
            for (size_t i = 0; i < jobs.size(); ++i)
                named += (c.masks[i % 4] >> lane) & 1;
            EXPECT_EQ(NotedJob::laneCounts[lane], named) << lane;
        }
        EXPECT_EQ(NotedJob::returns, 0);
        ASSERT_TRUE(PumpUntil([&] { return NotedJob::returns == int(jobs.size()); }));
        DWORD laneThread[ComputePool::kMostWorkers] = {};
        for (size_t i = 0; i < jobs.size(); ++i) {
            const NotedJob& job = jobs[i];
            EXPECT_TRUE(job.error == 0 && job.returnedInTick) << i;
            for (size_t j = 0; j < i; ++j) {
                if ((c.masks[j % 4] & ~c.masks[i % 4]) == 0) {
                    EXPECT_LT(jobs[j].returnedAs, job.returnedAs) << j << " " << i;
                }
            }
            for (int32_t lane = 0; lane < ComputePool::kMostWorkers; ++lane) {
                const bool named = (c.masks[i % 4] >> lane) & 1;
                EXPECT_EQ(job.seenOn[lane] != 0, named) << i << " " << lane;
                if (!named)
                    continue;
                for (size_t j = 0; j < i; ++j)
                    EXPECT_TRUE(!jobs[j].seenOn[lane] || jobs[j].seenOn[lane] < job.seenOn[lane]);
                if (laneThread[lane] == 0)
                    laneThread[lane] = job.threads[lane];
                EXPECT_TRUE(job.threads[lane] == laneThread[lane] &&
                            job.threads[lane] != ::GetCurrentThreadId());
            }
        }
    }
}

// A pool not started, or a mask of no worker, takes nothing; the worker count is bounded; no
// pool starts without the dispatcher.
TEST_F(ComputePoolTest, StartsWithinBoundsAndRefusesWhatItCannotRun) {
    ComputePool pool;
    NotedJob job;
    EXPECT_FALSE(pool.Submit(job, 1));
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    ASSERT_TRUE(pool.Start(20));
    EXPECT_EQ(pool.Workers(), ComputePool::kMostWorkers);
    pool.Stop();
    ASSERT_TRUE(pool.Start());
    const int32_t usable = ComputePool::UsableProcessors();
    EXPECT_EQ(pool.Workers(),
              usable < ComputePool::kMostWorkers ? usable : ComputePool::kMostWorkers);
    EXPECT_FALSE(pool.Submit(job, 1u << pool.Workers()));
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    pool.Stop();
    gDispatcher.Stop();
    EXPECT_FALSE(pool.Start(2));
}

// A job let go while a worker runs it is past the workers when LetGo returns, however long its
// step takes: its owner may go at once.
TEST_F(ComputePoolTest, LettingGoWaitsForAStepLongerThanTheIdleWait) {
    struct OwnedJob : NotedJob {
        void* owner = this;
    } job;
    job.sleepMs = ComputePool::kIdleWait + 500;
    ComputePool pool;
    ASSERT_TRUE(pool.Start(1) && pool.Submit(job, 1));
    OwnedJob* out = &job;
    pool.LetGo(out);
    EXPECT_NE(job.seenOn[0], 0);
    EXPECT_EQ(job.owner, nullptr);
    pool.WaitIdle();
    EXPECT_TRUE(PumpUntil([&] { return job.returnedAs != 0; }));
}

} // namespace
} // namespace io_tests
