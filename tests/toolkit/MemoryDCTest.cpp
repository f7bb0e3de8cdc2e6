#include "ToolkitTestSupport.h"
#include "toolkit/DcGuards.h"
#include "toolkit/GdiObject.h"
#include "toolkit/MemoryDC.h"

#include <gtest/gtest.h>

using namespace toolkit_test;

TEST(MemoryDCTest, DrawsOffScreenUntilFlushed) {
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

TEST(MemoryDCTest, FailedSurfaceIsRefusedAndLeavesItIdle) {
    MemoryDC memory;
    // No target to be compatible with: no bitmap can be made.
    EXPECT_FALSE(memory.Begin(nullptr, 10, 10));
    EXPECT_EQ(memory.Target(), nullptr);
    EXPECT_EQ(memory.Dc(), nullptr);
    EXPECT_EQ(memory.Bitmap(), nullptr);
    DibSurface target(4, 4, kUntouched);
    EXPECT_TRUE(memory.Begin(target.Dc(), 4, 4));
}
