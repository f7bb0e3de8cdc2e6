#pragma once

#include "app/WideString.h"

#include <cstdint>

// The texts of the status bar's speed part.

constexpr wchar_t kSpeedPausedText[] = L"paused";

// "0:07", "2:31", "1:02:31": minutes and seconds, with the hours in front from one hour on.
void AppendDuration(uint64_t seconds, WideString& out);
// The size the system would show for the bytes moved in one second, then "/s": "48.7 MB/s".
void AppendRate(double bytesPerSecond, WideString& out);
// Whole seconds until the remaining bytes are done at this speed, rounded up; false when no
// sensible time can be told (no speed, or one so slow that the answer would run to years).
bool SecondsLeft(double bytesPerSecond, uint64_t remainingBytes, uint64_t& seconds);
// While running: "48.7 MB/s, 2:31 left"; the speed alone while nothing moves.
void FormatRunningText(double bytesPerSecond, uint64_t remainingBytes, WideString& out);
// At the end: "done in 2:31, 48.7 MB/s average", the average taken over the running time;
// pauses are told apart: "done in 2:31 (+ 0:40 paused), 48.7 MB/s average".
void FormatEndedText(uint64_t runningMs, uint64_t pausedMs, uint64_t bytes, WideString& out);
