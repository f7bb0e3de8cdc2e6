#include <gtest/gtest.h>

#include "ToolkitTestSupport.h"
#include "toolkit/DcGuards.h"
#include "toolkit/FillGradient.h"
#include "toolkit/GdiObject.h"
#include "toolkit/MemoryDC.h"

using namespace toolkit_test;

namespace {

constexpr COLORREF kUntouched = RGB(1, 2, 3);

} // namespace

TEST(FillGradient, TooLowRectanglesDrawNothing) {
    DibSurface s(10, 6, kUntouched);
    EXPECT_FALSE(FillGradient(s.Dc(), {1, 2, 9, 3}, RGB(255, 0, 0), RGB(0, 0, 255)));
    EXPECT_FALSE(FillGradient(s.Dc(), {1, 2, 9, 2}, RGB(255, 0, 0), RGB(0, 0, 255)));
    EXPECT_FALSE(FillGradient(s.Dc(), {1, 4, 9, 2}, RGB(255, 0, 0), RGB(0, 0, 255)));
    EXPECT_EQ(s.Count({0, 0, 10, 6}, kUntouched), 60);
}

TEST(FillGradient, TwoLinesAreTopAndHalfway) {
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

TEST(FillGradient, StepsTruncateTowardZeroAndStopShortOfTheBottom) {
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

TEST(MemoryDC, DrawsOffScreenUntilFlushed) {
    DibSurface target(20, 10, kUntouched);
    FontObject font(
        ::CreateFontW(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
    SelectObjectGuard selected(target.Dc(), font.Get());

    MemoryDC memory;
    EXPECT_EQ(memory.Target(), nullptr);
    ASSERT_TRUE(memory.Begin(target.Dc(), 20, 10));
    EXPECT_EQ(memory.Target(), target.Dc());
    EXPECT_EQ(memory.Width(), 20);
    EXPECT_EQ(memory.Height(), 10);
    ASSERT_NE(memory.Dc(), nullptr);
    EXPECT_EQ(::GetCurrentObject(memory.Dc(), OBJ_BITMAP), memory.Bitmap());
    // Text drawn off screen comes out in the target's font.
    EXPECT_EQ(::GetCurrentObject(memory.Dc(), OBJ_FONT), font.Get());

    // A second Begin is refused and changes nothing.
    HDC firstMemory = memory.Dc();
    HBITMAP firstBitmap = memory.Bitmap();
    EXPECT_FALSE(memory.Begin(target.Dc(), 5, 5));
    EXPECT_EQ(memory.Dc(), firstMemory);
    EXPECT_EQ(memory.Bitmap(), firstBitmap);
    EXPECT_EQ(memory.Width(), 20);

    RECT all = {0, 0, 20, 10};
    BrushObject red(::CreateSolidBrush(RGB(200, 0, 0)));
    ::FillRect(memory.Dc(), &all, red.Get());
    EXPECT_EQ(target.Count(all, kUntouched), 200);
    ASSERT_TRUE(memory.Flush());
    EXPECT_EQ(target.Count(all, RGB(200, 0, 0)), 200);

    EXPECT_TRUE(memory.End());
    EXPECT_EQ(memory.Target(), nullptr);
    EXPECT_EQ(memory.Dc(), nullptr);
    EXPECT_EQ(memory.Bitmap(), nullptr);
    EXPECT_EQ(memory.Width(), 0);
    EXPECT_EQ(::GetObjectType(firstMemory), 0u);
    EXPECT_EQ(::GetObjectType(firstBitmap), 0u);
    // The borrowed font survives.
    EXPECT_EQ(::GetObjectType(font.Get()), static_cast<DWORD>(OBJ_FONT));

    // Idle again, it begins again.
    EXPECT_TRUE(memory.Begin(target.Dc(), 4, 4));
}

TEST(MemoryDC, FailedSurfaceIsRefusedAndLeavesItIdle) {
    MemoryDC memory;
    // No target to be compatible with: no bitmap can be made.
    EXPECT_FALSE(memory.Begin(nullptr, 10, 10));
    EXPECT_EQ(memory.Target(), nullptr);
    EXPECT_EQ(memory.Dc(), nullptr);
    EXPECT_EQ(memory.Bitmap(), nullptr);
    DibSurface target(4, 4, kUntouched);
    EXPECT_TRUE(memory.Begin(target.Dc(), 4, 4));
}

TEST(GdiOwners, OwnersDeleteAndGuardsRestore) {
    HPEN pen;
    {
        PenObject owned(::CreatePen(PS_SOLID, 1, RGB(1, 1, 1)));
        pen = owned.Get();
        ASSERT_EQ(::GetObjectType(pen), static_cast<DWORD>(OBJ_PEN));
        DibSurface s(2, 2, kUntouched);
        HGDIOBJ before = ::GetCurrentObject(s.Dc(), OBJ_PEN);
        {
            SelectObjectGuard guard(s.Dc(), pen);
            EXPECT_TRUE(guard.Selected());
            EXPECT_EQ(::GetCurrentObject(s.Dc(), OBJ_PEN), pen);
            TextColorGuard color(s.Dc(), RGB(9, 9, 9));
            BkModeGuard mode(s.Dc(), TRANSPARENT);
            color.Set(RGB(8, 8, 8));
            EXPECT_EQ(::GetTextColor(s.Dc()), RGB(8, 8, 8));
        }
        EXPECT_EQ(::GetCurrentObject(s.Dc(), OBJ_PEN), before);
        EXPECT_EQ(::GetTextColor(s.Dc()), RGB(0, 0, 0));
        EXPECT_EQ(::GetBkMode(s.Dc()), OPAQUE);
    }
    EXPECT_EQ(::GetObjectType(pen), 0u);
}
