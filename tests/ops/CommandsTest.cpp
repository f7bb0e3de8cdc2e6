#include "ops/Commands.h"

#include <gtest/gtest.h>

// The numbers are the program's interface: the action menu built in code, the window and the
// operations all use them, and other tests name them only. Each is pinned here once.
TEST(CommandsTest, CommandIdsKeepTheirNumbers) {
    EXPECT_EQ(kCommandSplit, 1000u);
    EXPECT_EQ(kCommandPause, 1001u);
    EXPECT_EQ(kCommandResume, 1002u);
    EXPECT_EQ(kCommandOpen, 1003u);
    EXPECT_EQ(kCommandFind, 1004u);
    EXPECT_EQ(kCommandExit, 1005u);
    EXPECT_EQ(kCommandConfiguration, 1006u);
    EXPECT_EQ(WM_OPERATION_ENDED, 0x8000u);
}

TEST(CommandsTest, ActionFlagsKeepTheirBits) {
    EXPECT_EQ(kActionRunGroup, 0x01u);
    EXPECT_EQ(kActionSplitEnabled, 0x02u);
    EXPECT_EQ(kActionPauseEnabled, 0x04u);
    EXPECT_EQ(kActionResumeEnabled, 0x08u);
    EXPECT_EQ(kActionResultGroup, 0x10u);
    EXPECT_EQ(kActionOpenEnabled, 0x20u);
    EXPECT_EQ(kActionFindEnabled, 0x40u);
    EXPECT_EQ(kActionLabelRuns, 0x100u);
    EXPECT_EQ(kActionLabelInert, 0x200u);
}
