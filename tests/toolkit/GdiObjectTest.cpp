#include "ToolkitTestSupport.h"
#include "toolkit/DcGuards.h"
#include "toolkit/GdiObject.h"

#include <gtest/gtest.h>

using namespace toolkit_test;

TEST(GdiObjectTest, OwnersDeleteAndGuardsRestore) {
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
