#include "ToolkitTestSupport.h"
#include "toolkit/FillGradient.h"

#include <gtest/gtest.h>

using namespace toolkit_test;

TEST(FillGradientTest, TooLowRectanglesDrawNothing) {
    DibSurface s(10, 6, kUntouched);
    EXPECT_FALSE(FillGradient(s.Dc(), {1, 2, 9, 3}, RGB(255, 0, 0), RGB(0, 0, 255)));
    EXPECT_FALSE(FillGradient(s.Dc(), {1, 2, 9, 2}, RGB(255, 0, 0), RGB(0, 0, 255)));
    EXPECT_FALSE(FillGradient(s.Dc(), {1, 4, 9, 2}, RGB(255, 0, 0), RGB(0, 0, 255)));
    EXPECT_EQ(s.Count({0, 0, 10, 6}, kUntouched), 60);
}

TEST(FillGradientTest, TwoLinesAreTopAndHalfway) {
    DibSurface s(10, 6, kUntouched);
    HGDIOBJ penBefore = ::GetCurrentObject(s.Dc(), OBJ_PEN);
    // Blue 250 -> 51: 250 + (-199) / 2 = 151, truncated toward zero.
    ASSERT_TRUE(FillGradient(s.Dc(), {2, 1, 8, 3}, RGB(250, 250, 250), RGB(150, 100, 51)));
    EXPECT_EQ(::GetCurrentObject(s.Dc(), OBJ_PEN), penBefore);
    // Columns left to right - 1, nothing around.
    EXPECT_EQ(s.Count({2, 1, 8, 2}, RGB(250, 250, 250)), 6);
    EXPECT_EQ(s.Count({2, 2, 8, 3}, RGB(200, 175, 151)), 6);
    EXPECT_EQ(s.Count({0, 0, 10, 6}, kUntouched), 60 - 12);
    EXPECT_EQ(s.Pixel(8, 1), kUntouched);
    EXPECT_EQ(s.Pixel(1, 2), kUntouched);
}

TEST(FillGradientTest, StepsTruncateTowardZeroAndStopShortOfTheBottom) {
    DibSurface s(4, 5, kUntouched);
    // Falling red 10 -> 0 over 3 lines: 10, 10 - 10/3 = 7, 10 - 20/3 = 4; rising blue 0 -> 100:
    // 0, 33, 66. Green stays.
    ASSERT_TRUE(FillGradient(s.Dc(), {0, 0, 4, 3}, RGB(10, 40, 0), RGB(0, 40, 100)));
    EXPECT_EQ(s.Pixel(0, 0), RGB(10, 40, 0));
    EXPECT_EQ(s.Pixel(3, 1), RGB(7, 40, 33));
    EXPECT_EQ(s.Pixel(0, 2), RGB(4, 40, 66));
    EXPECT_EQ(s.Pixel(0, 3), kUntouched);

    // Zero width: nothing visible, but still a gradient drawn.
    DibSurface t(4, 4, kUntouched);
    EXPECT_TRUE(FillGradient(t.Dc(), {2, 0, 2, 4}, RGB(0, 0, 0), RGB(255, 255, 255)));
    EXPECT_EQ(t.Count({0, 0, 4, 4}, kUntouched), 16);
}
