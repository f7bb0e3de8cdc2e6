#pragma once

#include <windows.h>

// Keeps the calling thread's last-error value across clean-up: takes it when made and puts it
// back when it goes, so that closing or freeing on a failure path leaves the caller the reason
// of the failure, not whatever the clean-up's own calls set.
class LastErrorKeeper {
public:
    LastErrorKeeper() : error(::GetLastError()) {}
    ~LastErrorKeeper() { ::SetLastError(error); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

    DWORD Error() const { return error; }

private:
    DWORD error;
};
