#pragma once

#include "toolkit/Microseconds.h"
#include "toolkit/TickTimer.h"

#include <windows.h>

#include <cstdint>

// Work that the user-interface thread does between its messages, in slices: at each tick of a
// thread timer its owner's slice routine takes steps of the work for a slice's time, so that the
// window answers between slices. No slice runs while the guard given holds: that is while the
// window asks a question, and work run from that loop would act under a handler that has not
// returned yet. User-interface thread only.
class SlicedWork {
public:
    // What a step came to: more of the same to do; a new phase begun, or the work done, which the
    // owner looks at before anything else happens; or a failure, reported by the step.
    enum class Result { More, Changed, Failed };
    // The work in one slice, and the period of the ticks.
    static constexpr DWORD kSliceMs = 25;
    static constexpr UINT kTickMs = 10;

    using Guard = bool (*)();

    explicit SlicedWork(Guard held) : guard(held) {}
    SlicedWork(const SlicedWork&) = delete;
    SlicedWork& operator=(const SlicedWork&) = delete;

    // Calls (owner->*Slice)() at every tick the guard lets through, until stopped; starts over
    // when it runs already. False with SetTimer's error.
    template <typename Owner, void (Owner::*Slice)()> bool Start(Owner* owner) {
        context = owner;
        slice = [](void* to) { (static_cast<Owner*>(to)->*Slice)(); };
        return timer.Start(kTickMs, Tick, this);
    }
    void Stop() { timer.Stop(); }
    bool IsRunning() const { return timer.IsRunning(); }

    // Takes step() again while it gives More and another step as long as the longest so far
    // still ends within `milliseconds`; once at least. So the window waits for about a slice,
    // not a slice and then a step. What the last step gave.
    template <typename Step> static Result Run(Step step, DWORD milliseconds = kSliceMs) {
        const uint64_t budget = static_cast<uint64_t>(milliseconds) * 1000;
        const uint64_t start = MicrosecondsNow();
        uint64_t stepStart = start;
        uint64_t longest = 0;
        for (;;) {
            const Result result = step();
            if (result != Result::More)
                return result;
            const uint64_t now = MicrosecondsNow();
            longest = now - stepStart > longest ? now - stepStart : longest;
            stepStart = now;
            if (now - start + longest >= budget)
                return result;
        }
    }

private:
    static void Tick(void* work);

    TickTimer timer;
    Guard guard;
    void (*slice)(void* context) = nullptr;
    void* context = nullptr;
};
