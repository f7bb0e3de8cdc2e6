#include <gtest/gtest.h>

#include "ToolkitTestIds.h"
#include "ToolkitTestSupport.h"
#include "support/Screenshot.h"
#include "toolkit/KHyperlink.h"
#include "toolkit/KSplitButton.h"
#include "toolkit/Menu.h"

#include <cstdio>
#include <memory>

using namespace toolkit_test;

namespace {

constexpr COLORREF kNormal = RGB(127, 127, 127);
constexpr COLORREF kHover = RGB(0, 0, 255);

COLORREF Sys(int index) {
    return ::GetSysColor(index);
}

// Lets the system paint what is invalid; Wine hands its drawing to the X server at one of the
// next message checks.
void LetItPaint(HWND window) {
    ::UpdateWindow(window);
    for (int i = 0; i < 5; ++i) {
        PumpMessages();
        ::Sleep(20);
    }
}

// What the screen shows of a control's client area.
std::unique_ptr<DibSurface> FromScreen(HWND control) {
    RECT client{};
    ::GetClientRect(control, &client);
    POINT origin{0, 0};
    ::ClientToScreen(control, &origin);
    auto surface = std::make_unique<DibSurface>(client.right, client.bottom, RGB(1, 2, 3));
    HDC screen = ::GetDC(nullptr);
    ::BitBlt(surface->Dc(), 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
    ::ReleaseDC(nullptr, screen);
    ::GdiFlush();
    return surface;
}

// A picture for a person to look at, only when somebody asked for pictures. It checks
// nothing, so a picture that cannot be saved is only mentioned.
void Picture(HWND window, const wchar_t* name) {
    wchar_t folder[MAX_PATH] = L"";
    const DWORD n = ::GetEnvironmentVariableW(L"BRINDLECOT_SCREENSHOT_DIR", folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    const std::wstring path = std::wstring(folder) + L"\\" + name;
    if (!testing_support::SaveWindowScreenshot(window, path))
        std::printf("note: no picture %ls saved (error %lu)\n", name, ::GetLastError());
}

} // namespace

// The owner-drawn controls as the screen shows them after the system's own paint: the
// dialog's procedure hands the real WM_DRAWITEM on to each control, and a change of mode is
// repainted without being asked for.
TEST(OnScreen, TheActionRowPaintsItselfAndRepaintsAChangedMode) {
    // Far from the dialog, so that the link is not hot.
    ::SetCursorPos(1000, 740);
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(IDD_TK_ACTION, nullptr));
    dialog.SetWindowTextW(L"data.bin [42 %]");
    Menu menu;
    menu.Create(true);
    menu.InsertString(0, true, L"&Split", 1000);
    KSplitButton button;
    ASSERT_TRUE(button.Attach(dialog.GetDlgItem(IDOK)));
    button.SetDropDownMenu(menu.Handle());
    button.SetLabel(L"&Split");
    KHyperlink link(kNormal, kHover);
    ASSERT_TRUE(link.Attach(dialog.GetDlgItem(IDC_TK_LINK)));
    link.SetWindowTextW(L"https://brindlecot.example/");
    dialog.ShowWindow(SW_SHOWNORMAL);
    dialog.SetForegroundWindow();
    LetItPaint(dialog.Handle());

    RECT client{};
    button.GetClientRect(&client);
    // The label part, clear of the edges and of a focus frame.
    const RECT label = {4, 4, client.right - KSplitButton::kArrowWidth - 4, client.bottom - 4};

    auto normal = FromScreen(button.Handle());
    EXPECT_GT(normal->Count(label, Sys(COLOR_BTNTEXT)), 0);
    EXPECT_EQ(normal->Count(label, Sys(COLOR_GRAYTEXT)), 0);
    RECT linkClient{};
    link.GetClientRect(&linkClient);
    auto linkShown = FromScreen(link.Handle());
    EXPECT_GT(linkShown->Count(linkClient, kNormal), 0);
    EXPECT_EQ(linkShown->Count(linkClient, kHover), 0);
    Picture(dialog.Handle(), L"split-mode1.bmp");

    button.SetMode(SplitButtonMode::LabelInert);
    LetItPaint(dialog.Handle());
    auto etched = FromScreen(button.Handle());
    EXPECT_EQ(etched->Count(label, Sys(COLOR_BTNTEXT)), 0);
    EXPECT_GT(etched->Count(label, Sys(COLOR_GRAYTEXT)), 0);
    EXPECT_GT(etched->Count(label, Sys(COLOR_BTNHIGHLIGHT)), 0);
    Picture(dialog.Handle(), L"split-mode2.bmp");

    button.Detach();
    link.Detach();
    dialog.Destroy();
    PumpMessages();
}
