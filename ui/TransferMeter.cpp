#include "ui/TransferMeter.h"

void TransferMeter::CloseStretch(uint64_t nowMs) {
    if (phase == Phase::Running)
        runningMs += Since(nowMs);
    else if (phase == Phase::Paused)
        pausedMs += Since(nowMs);
    since = nowMs;
}

void TransferMeter::Start(uint64_t nowMs, uint64_t doneBytes) {
    phase = Phase::Running;
    since = nowMs;
    runningMs = pausedMs = 0;
    smoother.Reset();
    smoother.Add(nowMs, doneBytes);
}

void TransferMeter::Sample(uint64_t nowMs, uint64_t doneBytes) {
    if (phase == Phase::Running)
        smoother.Add(nowMs, doneBytes);
}

void TransferMeter::Pause(uint64_t nowMs) {
    if (phase != Phase::Running)
        return;
    CloseStretch(nowMs);
    phase = Phase::Paused;
}

void TransferMeter::Resume(uint64_t nowMs, uint64_t doneBytes) {
    if (phase != Phase::Paused)
        return;
    CloseStretch(nowMs);
    phase = Phase::Running;
    smoother.Reset();
    smoother.Add(nowMs, doneBytes);
}

void TransferMeter::Finish(uint64_t nowMs) {
    CloseStretch(nowMs);
    phase = Phase::Finished;
}

uint64_t TransferMeter::RunningMs(uint64_t nowMs) const {
    return runningMs + (phase == Phase::Running ? Since(nowMs) : 0);
}

uint64_t TransferMeter::PausedMs(uint64_t nowMs) const {
    return pausedMs + (phase == Phase::Paused ? Since(nowMs) : 0);
}
