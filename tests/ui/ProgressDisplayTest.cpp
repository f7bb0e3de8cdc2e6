#include "MainWindowFixture.h"

#include "support/DibSurface.h"

using namespace ui_tests;
using testing_support::DibSurface;

namespace {

constexpr int kWidth = 200, kHeight = 30;

// The progress display painted through the window's WM_DRAWITEM onto a black surface of its size.
std::unique_ptr<DibSurface> Paint() {
    auto surface = std::make_unique<DibSurface>(kWidth, kHeight, RGB(0, 0, 0));
    HWND bar = ::GetDlgItem(gMainWindow.Handle(), IDC_MAIN_PROGRESS);
    ::SelectObject(surface->Dc(), reinterpret_cast<HFONT>(::SendMessageW(bar, WM_GETFONT, 0, 0)));
    DRAWITEMSTRUCT item = {ODT_STATIC,    IDC_MAIN_PROGRESS,       0, ODA_DRAWENTIRE, 0, bar,
                           surface->Dc(), {0, 0, kWidth, kHeight}, 0};
    EXPECT_EQ(::SendMessageW(gMainWindow.Handle(), WM_DRAWITEM, IDC_MAIN_PROGRESS,
                             reinterpret_cast<LPARAM>(&item)),
              TRUE);
    return surface;
}

COLORREF Shade(COLORREF top, COLORREF bottom, int line, int lines) {
    auto mix = [&](int a, int b) { return a + line * (b - a) / lines; };
    return RGB(mix(GetRValue(top), GetRValue(bottom)), mix(GetGValue(top), GetGValue(bottom)),
               mix(GetBValue(top), GetBValue(bottom)));
}

class ProgressDisplayTest : public MainWindowTest {};

} // namespace

TEST_F(ProgressDisplayTest, ProgressDisplayFillsItsShareAndShowsThePercentage) {
    RecordingOperation& operation = Open(RunMode::Split);
    const ProgressColors colors = gMainWindow.Colors();
    const COLORREF highlight = ::GetSysColor(COLOR_HIGHLIGHT);
    EXPECT_EQ(GetRValue(colors.light), (2 * GetRValue(highlight) + 255) / 3);
    EXPECT_EQ(GetBValue(colors.dark), 2 * GetBValue(highlight) / 3);
    const COLORREF textColor = ::GetSysColor(COLOR_HIGHLIGHTTEXT);

    // Nothing known: all grey, and the text "0.00 %".
    auto zero = Paint();
    EXPECT_EQ(zero->Pixel(0, 0), RGB(250, 250, 250));
    EXPECT_EQ(zero->Pixel(kWidth - 1, kHeight - 1),
              Shade(RGB(250, 250, 250), RGB(150, 150, 150), kHeight - 1, kHeight));
    EXPECT_GT(zero->Count(textColor), 20);

    // A quarter: the first 50 columns in the highlight's gradient, the rest grey.
    operation.SetProgress(25, 100);
    auto quarter = Paint();
    EXPECT_EQ(quarter->Pixel(0, 0), colors.light);
    EXPECT_EQ(quarter->Pixel(49, 0), colors.light);
    EXPECT_EQ(quarter->Pixel(50, 0), RGB(250, 250, 250));
    EXPECT_EQ(quarter->Pixel(0, kHeight - 1),
              Shade(colors.light, colors.dark, kHeight - 1, kHeight));

    operation.SetProgress(100, 100);
    auto full = Paint();
    EXPECT_EQ(full->Pixel(kWidth - 1, 0), colors.light);
    EXPECT_EQ(full->Count(RGB(250, 250, 250)), 0);

    // The text is centred: "100.00 %" is wider than "0.00 %".
    auto textColumns = [&](const DibSurface& s) {
        int first = kWidth, last = -1;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (s.Pixel(x, y) == textColor) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        return std::make_pair(first, last);
    };
    auto narrow = textColumns(*zero), wide = textColumns(*full);
    EXPECT_LT(wide.first, narrow.first);
    EXPECT_GT(wide.second, narrow.second);
    EXPECT_NEAR(narrow.first + narrow.second, kWidth - 1, 4);
}

TEST_F(ProgressDisplayTest, RepaintDrawsTheCurrentProgressOnScreen) {
    RecordingOperation& operation = Open(RunMode::Join);
    operation.SetProgress(1, 2);
    gMainWindow.Repaint();
    ::UpdateWindow(::GetDlgItem(Window(), IDC_MAIN_PROGRESS));
    Pump();
    HWND bar = ::GetDlgItem(Window(), IDC_MAIN_PROGRESS);
    RECT client{};
    ::GetClientRect(bar, &client);
    HDC dc = ::GetDC(bar);
    const COLORREF left = ::GetPixel(dc, 1, 0), right = ::GetPixel(dc, client.right - 2, 0);
    ::ReleaseDC(bar, dc);
    EXPECT_EQ(left, gMainWindow.Colors().light);
    EXPECT_EQ(right, RGB(250, 250, 250));
}
