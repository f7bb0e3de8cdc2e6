#pragma once

#include <windows.h>

#include <cstdint>

// How an operation ended, as the program's exit code tells it: each value is its code. The
// worse the result, the larger the number, so that of several results the largest tells.
enum class OperationOutcome : int32_t {
    Done = 0,           // all the work done, a repair that succeeded included
    BadCommandLine = 1, // nothing started: the command line names no work
    Incomplete = 2,     // a part, or the set, is missing or incomplete
    Damaged = 3,        // damaged data that nothing could repair
    Refused = 4,        // refused before any work: output exists, no room, too large, stale set
    IoError = 5,        // a read or write failed while the work was under way
    Cancelled = 6,      // ended from outside before its end: Abort, or the window closed
};

// The outcome of a failure with this system error code. underWay tells whether the work had
// begun (data moving, a repair going on) when the failure came: before it, a failure that says
// nothing of the set refuses the work; during it, it is an I/O error.
OperationOutcome ClassifyFailure(DWORD code, bool underWay);

constexpr int ExitCodeOf(OperationOutcome outcome) {
    return static_cast<int>(outcome);
}

// Of two results, the one that tells, for a queue or a command line of several files: the worse.
constexpr OperationOutcome WorseOf(OperationOutcome a, OperationOutcome b) {
    return ExitCodeOf(a) >= ExitCodeOf(b) ? a : b;
}
