#include "toolkit/LastError.h"

#include <gtest/gtest.h>

TEST(LastErrorKeeper, PutsBackTheValueThatACleanUpCallChanged) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    {
        LastErrorKeeper keep;
        EXPECT_EQ(keep.Error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        // A clean-up call that fails leaves its own reason behind.
        EXPECT_FALSE(::CloseHandle(nullptr));
        EXPECT_NE(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
