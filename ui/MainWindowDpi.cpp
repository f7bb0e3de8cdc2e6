#include "ui/MainWindow.h"

#include "res/resource.h"

// The main window at its dpi: fonts and icons made for it, and a change of dpi (the window moved
// to another monitor) followed. The layout itself (OnSize) scales each of its lengths.

void MainWindow::LoadIcons() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const int big = Dpi::SystemMetric(SM_CXICON, dpi);
    const int small = Dpi::SystemMetric(SM_CXSMICON, dpi);
    bigIcon.Reset(static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, big, big, 0)));
    SetIcon(ICON_BIG, bigIcon.Get());
    smallIcon.Reset(static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, small, small, 0)));
    SetIcon(ICON_SMALL, smallIcon.Get());
}

void MainWindow::MakeFonts() {
    // The controls of the template: the dialog font at the window's dpi. At the dpi the
    // window was made at that is the template's own font, which stays the dialog's.
    HFONT plain = GetFont();
    dialogFont.Reset();
    if (dpi != templateDpi && templateFont.lfHeight != 0) {
        const LOGFONTW scaled = Dpi::ScaleFont(templateFont, templateDpi, dpi);
        dialogFont.Reset(::CreateFontIndirectW(&scaled));
        if (dialogFont.IsSet())
            plain = dialogFont.Get();
    }
    KWindow* const templateControls[] = {&unitCombo, &sizeEdit, &sizeGroup, &actionButton, &link};
    for (KWindow* control : templateControls)
        control->SetFont(plain, TRUE);

    // The status line and the progress text in a larger semi-bold face.
    LOGFONTW logFont{};
    if (::GetObjectW(plain, sizeof logFont, &logFont) == sizeof logFont) {
        logFont.lfHeight += logFont.lfHeight / 4;
        logFont.lfWidth = 0;
        logFont.lfWeight = FW_SEMIBOLD;
        // Given before the old one goes, so no control holds a deleted font.
        FontObject old(boldFont.Release());
        boldFont.Reset(::CreateFontIndirectW(&logFont));
        const HFONT bold = boldFont.IsSet() ? boldFont.Get() : plain;
        statusText.SetFont(bold, TRUE);
        progressBar.SetFont(bold, TRUE);
    }

    // The status bar has no font from the template; it gets the system's for its dpi.
    LOGFONTW barFont{};
    if (Dpi::StatusFont(&barFont, dpi)) {
        FontObject old(statusBarFont.Release());
        statusBarFont.Reset(::CreateFontIndirectW(&barFont));
        if (statusBarFont.IsSet())
            statusBar.SetFont(statusBarFont.Get(), TRUE);
    }
}

void MainWindow::OnDpiChanged(UINT newDpi, const RECT& suggested) {
    if (newDpi == 0)
        return;
    dpi = newDpi;
    actionButton.SetDpi(dpi);
    MakeFonts();
    LoadIcons();
    // The speed part is measured again in the new font.
    SetSpeedText(false);
    SetWindowPos(nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    // Laid out again even when the suggested size is the old one.
    RECT client{};
    GetClientRect(&client);
    OnSize(SIZE_RESTORED, static_cast<UINT>(client.right), static_cast<UINT>(client.bottom));
}
