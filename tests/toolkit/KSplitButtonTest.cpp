#include <gtest/gtest.h>

#include <memory>

#include "ToolkitTestIds.h"
#include "ToolkitTestSupport.h"
#include "toolkit/Dpi.h"
#include "toolkit/KSplitButton.h"
#include "toolkit/Menu.h"

using namespace toolkit_test;

namespace {

// Counts what reaches the button's procedure, then lets the split button handle it.
class TrackedSplitButton : public KSplitButton {
public:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_INITMENUPOPUP)
            ++menuPopups;
        if (msg == WM_ERASEBKGND)
            ++erases;
        if (msg == WM_PAINT)
            ++paints;
        return KSplitButton::WindowProc(msg, wParam, lParam);
    }
    int menuPopups = 0;
    int erases = 0;
    int paints = 0;
};

COLORREF Sys(int index) {
    return ::GetSysColor(index);
}

// Where the arrow triangle was drawn: its top row, its first column and its row widths.
struct Triangle {
    int top = -1;
    int left = -1;
    std::vector<int> widths;
};

Triangle FindTriangle(const DibSurface& s, int fromX) {
    Triangle t;
    for (int y = 0; y < s.Height(); ++y) {
        int width = 0;
        for (int x = fromX; x < s.Width(); ++x) {
            if (s.Pixel(x, y) != RGB(0, 0, 0))
                continue;
            if (t.top < 0)
                t.top = y;
            if (width == 0 && (t.left < 0 || x < t.left))
                t.left = x;
            ++width;
        }
        if (width > 0)
            t.widths.push_back(width);
    }
    return t;
}

class KSplitButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog.cancelDestroys = false;
        ASSERT_TRUE(dialog.CreateModeless(IDD_TK_ACTION, nullptr));
        ASSERT_TRUE(menu.Create(true));
        menu.InsertString(0, true, L"&Split", 1000);
        menu.InsertString(1, true, L"&Pause", 1001);
        menu.InsertType(2, true, MFT_SEPARATOR);
        menu.InsertString(3, true, L"E&xit", 1005);
        ASSERT_TRUE(button.Attach(dialog.GetDlgItem(IDOK)));
        button.SetDropDownMenu(menu.Handle());
        button.SetLabel(L"&Split");
        dialog.ShowWindow(SW_SHOWNORMAL);
        dialog.SetForegroundWindow();
        PumpMessages();
        button.GetClientRect(&client);
        dialog.seen.clear();
    }
    void TearDown() override {
        button.Detach();
        dialog.Destroy();
        PumpMessages();
    }

    LPARAM At(int x) const { return MAKELPARAM(x, client.bottom / 2); }
    LRESULT Press(int x) {
        return ::SendMessageW(button.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(x));
    }
    void Release(int x) { ::SendMessageW(button.Handle(), WM_LBUTTONUP, 0, At(x)); }
    void PostKey(WPARAM key) { ::PostMessageW(button.Handle(), WM_KEYDOWN, key, 1); }
    bool Pushed() const {
        return (::SendMessageW(button.Handle(), BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
    }

    // Paints the button through its dialog's reflection into a surface of its own.
    std::unique_ptr<DibSurface> Render(UINT itemState) {
        auto surface = std::make_unique<DibSurface>(client.right, client.bottom, RGB(1, 2, 3));
        ::SelectObject(surface->Dc(), button.GetFont());
        DRAWITEMSTRUCT item = {ODT_BUTTON,    IDOK,   0, ODA_DRAWENTIRE, itemState, button.Handle(),
                               surface->Dc(), client, 0};
        drawResult =
            ::SendMessageW(dialog.Handle(), WM_DRAWITEM, IDOK, reinterpret_cast<LPARAM>(&item));
        return surface;
    }
    int ArrowLeft() const { return client.right - KSplitButton::kArrowWidth; }

public:
    bool IsMenuOpenNow() const { return button.IsMenuOpen(); }
    std::unique_ptr<DibSurface> RenderNow() { return Render(0); }
    int ArrowLeftNow() const { return ArrowLeft(); }

protected:
    RECT LabelInside() const { return {2, 2, ArrowLeft() - 2, client.bottom - 2}; }

    RecordingDialog dialog;
    TrackedSplitButton button;
    Menu menu;
    RECT client{};
    LRESULT drawResult = 0;
};

// State captured while the menu is being tracked, from a timer of the menu's own loop.
struct DuringMenu {
    KSplitButtonTest* test = nullptr;
    bool menuOpen = false;
    RECT menuRect{};
    bool found = false;
    COLORREF labelCorner = 0, arrowCorner = 0;
    int triangleTop = -1;
};
DuringMenu* gDuring = nullptr;

} // namespace

TEST_F(KSplitButtonTest, AttachMakesAnOwnerDrawnButton) {
    EXPECT_EQ(button.GetStyle() & BS_TYPEMASK, static_cast<DWORD>(BS_OWNERDRAW));
    EXPECT_TRUE(button.IsSubclassed());
    EXPECT_EQ(button.Mode(), SplitButtonMode::Normal);
    // Bound already, or not a window: refused, nothing changes.
    EXPECT_FALSE(button.Attach(dialog.GetDlgItem(IDC_TK_EDIT)));
    KSplitButton other;
    HWND edit = dialog.GetDlgItem(IDC_TK_EDIT);
    const DWORD editStyle = ::GetWindowLongW(edit, GWL_STYLE);
    EXPECT_FALSE(other.Attach(reinterpret_cast<HWND>(0x4321)));
    EXPECT_EQ(::GetWindowLongW(edit, GWL_STYLE), static_cast<LONG>(editStyle));
}

TEST_F(KSplitButtonTest, ArrowClickOpensTheMenuAndNeverPressesTheButton) {
    EXPECT_EQ(Press(ArrowLeft()), 0);
    EXPECT_FALSE(Pushed());
    EXPECT_NE(::GetCapture(), button.Handle());
    // First item, chosen by keys that the menu finds queued for its owner.
    PostKey(VK_DOWN);
    PostKey(VK_RETURN);
    PumpMessages();
    EXPECT_EQ(button.menuPopups, 1);
    EXPECT_FALSE(button.IsMenuOpen());
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{1000}));
    EXPECT_EQ(dialog.CountOf(Seen::Kind::OK), 0);
    ASSERT_FALSE(dialog.seen.empty());
    EXPECT_EQ(dialog.seen.back().lParam, reinterpret_cast<LPARAM>(button.Handle()));

    // The item after the separator.
    dialog.seen.clear();
    Press(client.right - 1);
    PostKey(VK_UP);
    PostKey(VK_RETURN);
    PumpMessages();
    EXPECT_EQ(button.menuPopups, 2);
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{1005}));
}

TEST_F(KSplitButtonTest, LabelClickPressesTheButtonAndClicksIt) {
    // One pixel left of the arrow part is still the label.
    Press(ArrowLeft() - 1);
    EXPECT_TRUE(Pushed());
    Release(ArrowLeft() - 1);
    PumpMessages();
    EXPECT_FALSE(Pushed());
    EXPECT_EQ(button.menuPopups, 0);
    EXPECT_EQ(dialog.CountOf(Seen::Kind::OK), 1);
    EXPECT_TRUE(dialog.Commands().empty());
}

TEST_F(KSplitButtonTest, DismissedMenuPostsNothing) {
    Press(ArrowLeft() + 3);
    PostKey(VK_ESCAPE);
    PumpMessages();
    EXPECT_EQ(button.menuPopups, 1);
    EXPECT_TRUE(dialog.Commands().empty());
    EXPECT_EQ(dialog.CountOf(Seen::Kind::OK), 0);
}

TEST_F(KSplitButtonTest, WhileTheMenuIsOpenOnlyTheArrowLooksPressed) {
    DuringMenu during;
    during.test = this;
    gDuring = &during;
    struct Look {
        static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
            ::KillTimer(nullptr, id);
            DuringMenu& d = *gDuring;
            HWND popup = ::FindWindowW(L"#32768", nullptr);
            d.found = popup != nullptr && ::IsWindowVisible(popup);
            if (popup != nullptr)
                ::GetWindowRect(popup, &d.menuRect);
            d.menuOpen = d.test->IsMenuOpenNow();
            auto s = d.test->RenderNow();
            d.labelCorner = s->Pixel(0, 0);
            d.arrowCorner = s->Pixel(d.test->ArrowLeftNow(), 0);
            d.triangleTop = FindTriangle(*s, d.test->ArrowLeftNow()).top;
            ::EndMenu();
        }
    };
    ::SetTimer(nullptr, 0, 30, &Look::Tick);
    Press(client.right - 2);
    PumpMessages();
    gDuring = nullptr;

    ASSERT_TRUE(during.found);
    EXPECT_TRUE(during.menuOpen);
    RECT screen{};
    button.GetWindowRect(&screen);
    // Below the button, at its left edge.
    EXPECT_EQ(during.menuRect.left, screen.left);
    EXPECT_EQ(during.menuRect.top, screen.bottom);
    EXPECT_EQ(during.labelCorner, Sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(during.arrowCorner, Sys(COLOR_BTNSHADOW));
    auto after = Render(0);
    EXPECT_EQ(during.triangleTop, FindTriangle(*after, ArrowLeft()).top + 1);
    EXPECT_FALSE(button.IsMenuOpen());
    // EndMenu dismisses: no command.
    EXPECT_TRUE(dialog.Commands().empty());
}

TEST_F(KSplitButtonTest, ModeTwoSwallowsTheLabelButNotTheArrow) {
    button.SetMode(SplitButtonMode::LabelInert);
    Press(10);
    Release(10);
    PumpMessages();
    EXPECT_EQ(dialog.CountOf(Seen::Kind::OK), 0);
    EXPECT_TRUE(dialog.Commands().empty());

    Press(ArrowLeft());
    PostKey(VK_DOWN);
    PostKey(VK_DOWN);
    PostKey(VK_RETURN);
    PumpMessages();
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{1001}));

    // Back to SplitButtonMode::Normal, the label clicks again.
    button.SetMode(SplitButtonMode::Normal);
    Press(10);
    Release(10);
    PumpMessages();
    EXPECT_EQ(dialog.CountOf(Seen::Kind::OK), 1);
}

TEST_F(KSplitButtonTest, ChangesRepaintWithoutErasing) {
    RECT update{};
    button.ValidateRect(nullptr);
    button.SetMode(SplitButtonMode::Normal); // unchanged: nothing to repaint
    EXPECT_FALSE(button.GetUpdateRect(&update, FALSE));
    button.SetMode(SplitButtonMode::LabelInert);
    EXPECT_TRUE(button.GetUpdateRect(&update, FALSE));
    button.erases = button.paints = 0;
    button.UpdateWindow();
    EXPECT_GE(button.paints, 1);
    EXPECT_EQ(button.erases, 0);

    EXPECT_TRUE(button.SetLabel(L"&Pause"));
    wchar_t text[16] = L"";
    button.GetWindowTextW(text, 16);
    EXPECT_STREQ(text, L"&Pause");
    EXPECT_TRUE(button.GetUpdateRect(&update, FALSE));
    button.erases = 0;
    button.UpdateWindow();
    EXPECT_EQ(button.erases, 0);
}

TEST_F(KSplitButtonTest, FocusRepaintsTheButton) {
    RECT update{};
    ::SetFocus(dialog.GetDlgItem(IDC_TK_EDIT));
    PumpMessages();
    button.ValidateRect(nullptr);
    ::SetFocus(button.Handle());
    EXPECT_EQ(::GetFocus(), button.Handle());
    EXPECT_TRUE(button.GetUpdateRect(&update, FALSE));
}

TEST_F(KSplitButtonTest, PaintsRaisedPartsAndACentredArrow) {
    auto s = Render(0);
    EXPECT_EQ(drawResult, 1);
    const int w = client.right, h = client.bottom, a = ArrowLeft();
    // Label edge: light top-left, shadow bottom-right; the arrow part the same, on its own.
    EXPECT_EQ(s->Pixel(0, 0), Sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(s->Pixel(a - 1, h / 2), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(s->Pixel(a, h / 2), Sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(s->Pixel(w - 1, h / 2), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(s->Pixel(a / 2, h - 1), Sys(COLOR_BTNSHADOW));
    // Text in the label's colour, none of it grey.
    EXPECT_GT(s->Count(LabelInside(), Sys(COLOR_BTNTEXT)), 0);
    EXPECT_EQ(s->Count(LabelInside(), Sys(COLOR_GRAYTEXT)), 0);

    // The arrow: 8 x 4, centred in what the edge leaves of the arrow part.
    Triangle t = FindTriangle(*s, a);
    const int innerLeft = a + 1, innerWidth = KSplitButton::kArrowWidth - 2, innerTop = 1;
    EXPECT_EQ(t.left, innerLeft + (innerWidth - 8) / 2);
    EXPECT_EQ(t.top, innerTop + (h - 2 - 4) / 2 + 1);
    EXPECT_EQ(t.widths, (std::vector<int>{8, 6, 4, 2}));
}

TEST_F(KSplitButtonTest, FocusFrameAndEdgesOnePixelInside) {
    auto s = Render(ODS_FOCUS);
    const int w = client.right, h = client.bottom, a = ArrowLeft();
    for (POINT p : {POINT{0, 0}, POINT{w - 1, 0}, POINT{0, h - 1}, POINT{w - 1, h - 1}, POINT{a, 0},
                    POINT{a, h - 1}})
        EXPECT_EQ(s->Pixel(p.x, p.y), Sys(COLOR_3DDKSHADOW)) << p.x << "," << p.y;
    EXPECT_EQ(s->Pixel(1, 1), Sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(s->Pixel(w - 2, h / 2), Sys(COLOR_BTNSHADOW));
    // The arrow keeps its place: the inset is undone before it is placed.
    auto plain = Render(0);
    EXPECT_EQ(FindTriangle(*s, a).top, FindTriangle(*plain, a).top);
    EXPECT_EQ(FindTriangle(*s, a).left, FindTriangle(*plain, a).left);
}

TEST_F(KSplitButtonTest, PressedLabelSinksBothParts) {
    auto up = Render(0);
    ::SendMessageW(button.Handle(), BM_SETSTATE, TRUE, 0);
    auto down = Render(0);
    ::SendMessageW(button.Handle(), BM_SETSTATE, FALSE, 0);
    const int a = ArrowLeft();
    EXPECT_EQ(down->Pixel(0, 0), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(down->Pixel(a, 0), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(down->Pixel(client.right - 1, client.bottom - 1), Sys(COLOR_BTNHIGHLIGHT));
    Triangle before = FindTriangle(*up, a), after = FindTriangle(*down, a);
    EXPECT_EQ(after.top, before.top + 1);
    EXPECT_EQ(after.left, before.left);
    // The label's text moves one pixel right and down.
    auto firstText = [&](const DibSurface& s) {
        for (int y = 0; y < s.Height(); ++y)
            for (int x = 0; x < a; ++x)
                if (s.Pixel(x, y) == RGB(0, 0, 0))
                    return POINT{x, y};
        return POINT{-1, -1};
    };
    POINT p = firstText(*up), q = firstText(*down);
    EXPECT_EQ(q.x, p.x + 1);
    EXPECT_EQ(q.y, p.y + 1);
}

TEST_F(KSplitButtonTest, ModeTwoAndDisabledDrawAnEtchedGreyLabel) {
    auto disabled = Render(ODS_DISABLED);
    button.SetMode(SplitButtonMode::LabelInert);
    auto modeTwo = Render(0);
    for (const auto* s : {disabled.get(), modeTwo.get()}) {
        EXPECT_GT(s->Count(LabelInside(), Sys(COLOR_GRAYTEXT)), 0);
        EXPECT_GT(s->Count(LabelInside(), Sys(COLOR_BTNHIGHLIGHT)), 0);
        EXPECT_EQ(s->Count(LabelInside(), Sys(COLOR_BTNTEXT)), 0);
        // The arrow stays black.
        EXPECT_EQ(FindTriangle(*s, ArrowLeft()).widths, (std::vector<int>{8, 6, 4, 2}));
    }
}

TEST_F(KSplitButtonTest, ArrowPartAndTriangleScaleWithTheDpi) {
    EXPECT_EQ(button.GetDpi(), Dpi::ForWindow(button.Handle()));
    button.SetDpi(192);
    EXPECT_EQ(button.ArrowPartWidth(), 2 * KSplitButton::kArrowWidth);
    auto s = Render(0);
    const int h = client.bottom, a = client.right - 2 * KSplitButton::kArrowWidth;
    EXPECT_EQ(s->Pixel(a - 1, h / 2), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(s->Pixel(a, h / 2), Sys(COLOR_BTNHIGHLIGHT));
    // Twice the size: 16 x 8, still centred in what the edge leaves.
    Triangle t = FindTriangle(*s, a);
    EXPECT_EQ(t.left, a + 1 + (2 * KSplitButton::kArrowWidth - 2 - 16) / 2);
    ASSERT_EQ(t.widths.size(), 8u);
    EXPECT_EQ(t.widths.front(), 16);

    // A press where the arrow part now is (it was the label at 96 dpi) opens the menu.
    const int x = client.right - KSplitButton::kArrowWidth - 4;
    ::SendMessageW(button.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, h / 2));
    EXPECT_EQ(::SendMessageW(button.Handle(), BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
    MSG msg{};
    // Taken out again, so that no menu is tracked here.
    EXPECT_TRUE(::PeekMessageW(&msg, button.Handle(), KSplitButton::kTrackMenuMessage,
                               KSplitButton::kTrackMenuMessage, PM_REMOVE));
    ::SendMessageW(button.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(x, h / 2));
}
