#pragma once

#include "ui/RateSmoother.h"

#include <cstdint>

// The clock of one operation as its window sees it: the time spent running, the time spent
// paused, and the current speed. Pauses are kept out of the running time, so that the average
// over the running time tells how fast the data moved, not how long the user waited; the
// window tells the paused time apart.
class TransferMeter {
public:
    void Start(uint64_t nowMs, uint64_t doneBytes);
    void Sample(uint64_t nowMs, uint64_t doneBytes);
    void Pause(uint64_t nowMs);
    // The speed is measured afresh from here: the pause would count as a stall otherwise.
    void Resume(uint64_t nowMs, uint64_t doneBytes);
    void Finish(uint64_t nowMs);

    uint64_t RunningMs(uint64_t nowMs) const;
    uint64_t PausedMs(uint64_t nowMs) const;
    // The speed over the last few seconds; false until there is enough to tell.
    bool Rate(double& bytesPerSecond) const { return smoother.Rate(bytesPerSecond); }

private:
    enum class Phase { Idle, Running, Paused, Finished };

    // Adds the stretch since the last change of phase to its total.
    void CloseStretch(uint64_t nowMs);
    uint64_t Since(uint64_t nowMs) const { return nowMs > since ? nowMs - since : 0; }

    RateSmoother smoother;
    Phase phase = Phase::Idle;
    uint64_t since = 0;
    uint64_t runningMs = 0;
    uint64_t pausedMs = 0;
};
