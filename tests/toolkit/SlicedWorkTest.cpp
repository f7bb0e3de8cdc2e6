#include "toolkit/SlicedWork.h"

#include "support/MessageLoop.h"

#include <gtest/gtest.h>

#include <vector>

using namespace testing_support;
using Result = SlicedWork::Result;

namespace {

// A slice takes steps until one is not More, or the time given has passed (none: one step), or
// a step as long as the longest so far would pass it: steps of 15 ms in 25 ms make one.
TEST(SlicedWorkTest, ASliceEndsAtTheFirstStepThatIsNotMoreOrWhenItsTimeIsUp) {
    const struct {
        std::vector<Result> steps;
        DWORD milliseconds;
        size_t taken;
        DWORD stepMs = 0;
    } cases[] = {
        {{Result::More, Result::More, Result::Changed, Result::More}, INFINITE, 3},
        {{Result::More, Result::Failed, Result::More}, INFINITE, 2},
        {{Result::Changed, Result::More}, INFINITE, 1},
        {{Result::More, Result::More}, 0, 1},
        {{Result::More, Result::More, Result::More}, 25, 1, 15},
    };
    for (const auto& c : cases) {
        size_t taken = 0;
        const Result last = SlicedWork::Run(
            [&] {
                ::Sleep(c.stepMs);
                return c.steps[taken++];
            },
            c.milliseconds);
        EXPECT_EQ(taken, c.taken);
        EXPECT_EQ(last, c.steps[c.taken - 1]);
    }
}

bool gHeld = true;
void CALLBACK Witness(HWND, UINT, UINT_PTR, DWORD) {}

struct Owner {
    SlicedWork work{[] { return gHeld; }};
    int slices = 0;
    void Slice() { ++slices; }
};

// No slice runs while the guard holds, though the ticks go on; they come once it lets go, and
// stop with the work.
TEST(SlicedWorkTest, NoSliceRunsWhileTheGuardHolds) {
    const UINT_PTR witness = ::SetTimer(nullptr, 0, SlicedWork::kTickMs, Witness);
    const auto ticksPass = [](int count) {
        const int until = TimerTicksDispatched() + count;
        return PumpUntil([until] { return TimerTicksDispatched() >= until; });
    };
    Owner owner;
    gHeld = true;
    ASSERT_TRUE((owner.work.Start<Owner, &Owner::Slice>(&owner)));
    EXPECT_TRUE(ticksPass(10));
    EXPECT_EQ(owner.slices, 0);
    gHeld = false;
    EXPECT_TRUE(PumpUntil([&] { return owner.slices >= 2; }));
    owner.work.Stop();
    EXPECT_FALSE(owner.work.IsRunning());
    const int stopped = owner.slices;
    EXPECT_TRUE(ticksPass(5));
    EXPECT_EQ(owner.slices, stopped);
    ::KillTimer(nullptr, witness);
}

} // namespace
