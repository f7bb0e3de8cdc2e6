#include <gtest/gtest.h>

#include <memory>

#include "ToolkitTestIds.h"
#include "ToolkitTestSupport.h"
#include "toolkit/DcGuards.h"
#include "toolkit/DeviceContext.h"
#include "toolkit/KHyperlink.h"

using namespace toolkit_test;

namespace {

constexpr COLORREF kNormal = RGB(127, 127, 127);
constexpr COLORREF kHover = RGB(0, 0, 255);
constexpr wchar_t kAddress[] = L"https://brindlecot.example/";

class KHyperlinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dialog.CreateModeless(IDD_TK_ACTION, nullptr));
        ASSERT_TRUE(link.Attach(dialog.GetDlgItem(IDC_TK_LINK)));
        link.SetWindowTextW(kAddress);
        // Far from the dialog, so that no real mouse message reaches the link unasked.
        CursorAtScreen({1000, 740});
        dialog.ShowWindow(SW_SHOWNORMAL);
        dialog.SetForegroundWindow();
        dialog.UpdateWindow();
        PumpMessages();
        link.GetClientRect(&client);
        dialog.seen.clear();
    }
    void TearDown() override {
        link.Detach();
        dialog.Destroy();
        PumpMessages();
    }

    SIZE TextExtent(const wchar_t* text) {
        WindowDC dc(link.Handle());
        SelectObjectGuard font(dc.Get(), link.GetFont());
        SIZE size{};
        ::GetTextExtentPoint32W(dc.Get(), text, ::lstrlenW(text), &size);
        return size;
    }
    // Paints through the dialog's reflection into a surface that starts with the control's font.
    std::unique_ptr<DibSurface> Render() {
        auto surface = std::make_unique<DibSurface>(client.right, client.bottom, RGB(1, 2, 3));
        ::SelectObject(surface->Dc(), link.GetFont());
        DRAWITEMSTRUCT item = {ODT_STATIC,    IDC_TK_LINK, 0, ODA_DRAWENTIRE, 0, link.Handle(),
                               surface->Dc(), client,      0};
        drawResult = ::SendMessageW(dialog.Handle(), WM_DRAWITEM, IDC_TK_LINK,
                                    reinterpret_cast<LPARAM>(&item));
        return surface;
    }
    // Puts the cursor on a point of the link and waits until Wine agrees on where it is: the
    // position it reports comes from its server for a while after a move and from X after
    // that, and the two can briefly disagree.
    void CursorAt(POINT clientPoint) {
        link.ClientToScreen(&clientPoint);
        CursorAtScreen(clientPoint);
    }
    static void CursorAtScreen(POINT screen) {
        int stable = 0;
        for (int i = 0; i < 100 && stable < 15; ++i) {
            POINT now{};
            ::GetCursorPos(&now);
            if (now.x == screen.x && now.y == screen.y) {
                ++stable;
            } else {
                stable = 0;
                ::SetCursorPos(screen.x, screen.y);
            }
            PumpMessages();
            ::Sleep(10);
        }
        ASSERT_GE(stable, 15) << "the cursor does not stay at " << screen.x << "," << screen.y;
    }
    POINT TextCentre() const {
        const RECT& r = link.HitRect();
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    LRESULT SetCursorMessage() {
        return ::SendMessageW(link.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(link.Handle()),
                              MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    }
    LRESULT Click(POINT p) {
        return ::SendMessageW(link.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    }

    RecordingDialog dialog;
    KHyperlink link{kNormal, kHover};
    RECT client{};
    LRESULT drawResult = 0;
};

} // namespace

TEST_F(KHyperlinkTest, AttachMakesAnOwnerDrawnStaticWithAnUnderlinedFont) {
    EXPECT_EQ(link.GetStyle() & SS_TYPEMASK, static_cast<DWORD>(SS_OWNERDRAW));
    EXPECT_TRUE(link.IsSubclassed());
    LOGFONTW control{}, underlined{};
    ASSERT_NE(::GetObjectW(link.GetFont(), sizeof control, &control), 0);
    ASSERT_NE(::GetObjectW(link.LinkFont(), sizeof underlined, &underlined), 0);
    EXPECT_EQ(control.lfUnderline, 0);
    EXPECT_EQ(underlined.lfUnderline, 1);
    EXPECT_EQ(underlined.lfHeight, control.lfHeight);
    EXPECT_STREQ(underlined.lfFaceName, control.lfFaceName);
    EXPECT_FALSE(link.Attach(dialog.GetDlgItem(IDC_TK_EDIT)));
}

TEST_F(KHyperlinkTest, ANewFontGetsAnUnderlinedCopyAndIsMeasuredAgain) {
    // What a dialog gets at a change of dpi: its font at the new size.
    LOGFONTW bigger{};
    ASSERT_NE(::GetObjectW(link.GetFont(), sizeof bigger, &bigger), 0);
    bigger.lfHeight *= 2;
    HFONT font = ::CreateFontIndirectW(&bigger);
    ASSERT_NE(font, nullptr);
    link.SetFont(font, TRUE);
    LOGFONTW underlined{};
    ASSERT_NE(::GetObjectW(link.LinkFont(), sizeof underlined, &underlined), 0);
    EXPECT_EQ(underlined.lfHeight, bigger.lfHeight);
    EXPECT_EQ(underlined.lfUnderline, 1);
    link.UpdateWindow();
    EXPECT_EQ(link.HitRect().right - link.HitRect().left, TextExtent(kAddress).cx);
    EXPECT_EQ(link.HitRect().bottom - link.HitRect().top, TextExtent(kAddress).cy);
    // The test's own font goes only after the link has let go of it.
    link.SetFont(static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    ::DeleteObject(font);
}

TEST_F(KHyperlinkTest, FirstPaintMeasuresTheTextCentred) {
    // SetUp's paint went through the dialog's reflection.
    const RECT& hit = link.HitRect();
    ASSERT_FALSE(::IsRectEmpty(&hit));
    SIZE text = TextExtent(kAddress);
    EXPECT_EQ(hit.right - hit.left, text.cx);
    EXPECT_EQ(hit.bottom - hit.top, text.cy);
    EXPECT_EQ(hit.left, (client.right - text.cx) / 2);
    EXPECT_EQ(hit.top, (client.bottom - text.cy) / 2);
}

TEST_F(KHyperlinkTest, NewTextOrSizeIsMeasuredAgain) {
    // (Wine's static paints at once on a new text, so the measuring may be done already.)
    link.SetWindowTextW(L"short");
    link.UpdateWindow();
    EXPECT_EQ(link.HitRect().right - link.HitRect().left, TextExtent(L"short").cx);

    link.SetWindowPos(nullptr, 0, 0, client.right + 40, client.bottom,
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(::IsRectEmpty(&link.HitRect()));
    link.UpdateWindow();
    EXPECT_EQ(link.HitRect().left, (client.right + 40 - TextExtent(L"short").cx) / 2);
}

TEST_F(KHyperlinkTest, ClickOnTheTextIsPostedToTheParent) {
    EXPECT_EQ(::SendMessageW(link.Handle(), WM_NCHITTEST, 0, 0), HTCLIENT);
    EXPECT_EQ(Click(TextCentre()), TRUE);
    // Posted, not sent.
    EXPECT_TRUE(dialog.Commands().empty());
    PumpMessages();
    ASSERT_EQ(dialog.Commands(), (std::vector<WPARAM>{IDC_TK_LINK}));
    EXPECT_EQ(dialog.seen.back().lParam, reinterpret_cast<LPARAM>(link.Handle()));

    // Inside the control but beside the text: nothing.
    dialog.seen.clear();
    ASSERT_GT(link.HitRect().left, 2);
    EXPECT_EQ(Click({1, TextCentre().y}), TRUE);
    EXPECT_EQ(Click({link.HitRect().right, TextCentre().y}), TRUE);
    PumpMessages();
    EXPECT_TRUE(dialog.Commands().empty());
}

TEST_F(KHyperlinkTest, HandCursorOnlyOverTheText) {
    // Real mouse messages pass a disabled control by, so only ours reach it.
    link.EnableWindow(FALSE);
    HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND);
    HCURSOR arrow = ::LoadCursorW(nullptr, IDC_ARROW);
    CursorAt(TextCentre());
    link.ValidateRect(nullptr);
    EXPECT_EQ(SetCursorMessage(), TRUE);
    EXPECT_EQ(::GetCursor(), hand);
    EXPECT_TRUE(link.IsHot());
    RECT update{};
    EXPECT_TRUE(link.GetUpdateRect(&update, FALSE));

    // Still over the text: nothing to change, nothing to repaint.
    link.ValidateRect(nullptr);
    SetCursorMessage();
    EXPECT_FALSE(link.GetUpdateRect(&update, FALSE));

    CursorAt({1, 1});
    SetCursorMessage();
    EXPECT_EQ(::GetCursor(), arrow);
    EXPECT_FALSE(link.IsHot());
    EXPECT_TRUE(link.GetUpdateRect(&update, FALSE));
}

TEST_F(KHyperlinkTest, MouseLeaveRepaintsAndRenewsTracking) {
    link.EnableWindow(FALSE);
    CursorAt(TextCentre());
    SetCursorMessage();
    ASSERT_TRUE(link.IsHot());
    EXPECT_TRUE(link.IsTracking());
    link.ValidateRect(nullptr);
    ::SendMessageW(link.Handle(), WM_MOUSELEAVE, 0, 0);
    RECT update{};
    EXPECT_TRUE(link.GetUpdateRect(&update, FALSE));
    EXPECT_FALSE(link.IsTracking());
    // The cursor is gone, so nothing is hot any more.
    EXPECT_FALSE(link.IsHot());
    SetCursorMessage();
    EXPECT_TRUE(link.IsTracking());
}

TEST_F(KHyperlinkTest, ALinkLeftOverItsTextComesAliveAgainOnReturn) {
    link.EnableWindow(FALSE);
    HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND);
    HCURSOR arrow = ::LoadCursorW(nullptr, IDC_ARROW);
    CursorAt(TextCentre());
    SetCursorMessage();
    ASSERT_TRUE(link.IsHot());
    // The cursor leaves the control from over the text; the window under it sets its arrow.
    ::SendMessageW(link.Handle(), WM_MOUSELEAVE, 0, 0);
    ::SetCursor(arrow);
    link.ValidateRect(nullptr);

    // It comes straight back onto the text: a hand again, and a repaint in the hover look.
    SetCursorMessage();
    EXPECT_EQ(::GetCursor(), hand);
    EXPECT_TRUE(link.IsHot());
    RECT update{};
    EXPECT_TRUE(link.GetUpdateRect(&update, FALSE));
}

TEST_F(KHyperlinkTest, ColourAndUnderlineFollowTheCursorAtPaintTime) {
    link.EnableWindow(FALSE);
    const RECT all = {0, 0, client.right, client.bottom};
    CursorAt({1, 1});
    auto away = Render();
    EXPECT_EQ(drawResult, 1);
    EXPECT_GT(away->Count(all, kNormal), 0);
    EXPECT_EQ(away->Count(all, kHover), 0);

    CursorAt(TextCentre());
    auto over = Render();
    EXPECT_EQ(over->Count(all, kNormal), 0);
    // The underline is a full row of the hover colour under the text.
    const RECT& hit = link.HitRect();
    int longestRow = 0;
    for (int y = hit.top; y < hit.bottom + 2 && y < client.bottom; ++y)
        longestRow = std::max(longestRow, over->Count({hit.left, y, hit.right, y + 1}, kHover));
    EXPECT_GE(longestRow, hit.right - hit.left - 2);
    for (int y = hit.top; y < hit.bottom + 2 && y < client.bottom; ++y)
        EXPECT_LT(away->Count({hit.left, y, hit.right, y + 1}, kNormal), hit.right - hit.left - 2);
}

TEST_F(KHyperlinkTest, DetachAndDestructionDeleteTheFont) {
    HFONT font = link.LinkFont();
    ASSERT_NE(::GetObjectType(font), 0u);
    ASSERT_TRUE(link.Detach());
    EXPECT_EQ(link.LinkFont(), nullptr);
    EXPECT_EQ(::GetObjectType(font), 0u);

    {
        KHyperlink local(kNormal, kHover);
        ASSERT_TRUE(local.Attach(dialog.GetDlgItem(IDC_TK_LINK)));
        font = local.LinkFont();
        ASSERT_NE(::GetObjectType(font), 0u);
    }
    EXPECT_EQ(::GetObjectType(font), 0u);
    // The static lives on with its own procedure.
    EXPECT_EQ(KWindow::FromHandle(dialog.GetDlgItem(IDC_TK_LINK)), nullptr);
    EXPECT_EQ(::GetWindowLongPtrW(dialog.GetDlgItem(IDC_TK_LINK), GWLP_USERDATA), 0);
}
