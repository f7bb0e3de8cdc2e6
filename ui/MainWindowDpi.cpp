#include "ui/MainWindow.h"

#include "res/resource.h"
#include "toolkit/DcGuards.h"
#include "toolkit/DeviceContext.h"
#include "toolkit/Fonts.h"

// The main window at its dpi: fonts and icons made for it, and a change of dpi (the window moved
// to another monitor) followed. The layout itself (OnSize) scales each of its lengths.

void MainWindow::MakeFonts() {
    // The controls of the template: the dialog font at the window's dpi. At the dpi the
    // window was made at that is the template's own font, which stays the dialog's.
    HFONT scaledFont = nullptr;
    if (dpi != templateDpi && templateFont.lfHeight != 0) {
        const LOGFONTW scaled = Dpi::ScaleFont(templateFont, templateDpi, dpi);
        scaledFont = ::CreateFontIndirectW(&scaled);
    }
    const HFONT plain = scaledFont != nullptr ? scaledFont : GetFont();
    // The old one goes only once no control holds it.
    FontObject old(dialogFont.Release());
    dialogFont.Reset(scaledFont);
    KWindow* const templateControls[] = {&unitCombo,    &sizeEdit, &sizeGroup,
                                         &actionButton, &link,     &queueList};
    for (KWindow* control : templateControls)
        control->SetFont(plain, TRUE);
    if (report.IsBound())
        report.SetFont(plain, TRUE);

    // The status line and the progress text in a semi-bold face a quarter larger.
    HandFont(boldFont, CreateFontVariant(plain, FW_SEMIBOLD, 1),
             {statusText.Handle(), progressBar.Handle()});

    // The status bar has no font from the template; it gets the system's for its dpi.
    LOGFONTW barFont{};
    if (Dpi::StatusFont(&barFont, dpi))
        HandFont(statusBarFont, ::CreateFontIndirectW(&barFont), {statusBar.Handle()});
}

void MainWindow::OnDpiChanged(UINT newDpi, const RECT& suggested) {
    if (newDpi == 0)
        return;
    dpi = newDpi;
    actionButton.SetDpi(dpi);
    MakeFonts();
    icons.Set(Handle(), dpi);
    // The speed part is measured again in the new font.
    SetSpeedText(false);
    SetWindowPos(nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    // Laid out again even when the suggested size is the old one.
    RECT client{};
    GetClientRect(&client);
    OnSize(SIZE_RESTORED, static_cast<UINT>(client.right), static_cast<UINT>(client.bottom));
}

void MainWindow::FitUnitList() {
    WindowDC dc(unitCombo.Handle());
    if (!dc.IsSet())
        return;
    SelectObjectGuard font(dc.Get(), unitCombo.GetFont());
    int widest = 0;
    for (int i = 0; i < static_cast<int>(unitCombo.GetCount()); ++i) {
        wchar_t text[64] = {};
        const LRESULT length = unitCombo.GetLBTextLen(i);
        if (length <= 0 || length >= 64)
            continue;
        ::SendMessageW(unitCombo.Handle(), CB_GETLBTEXT, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(text));
        SIZE size{};
        if (::GetTextExtentPoint32W(dc.Get(), text, static_cast<int>(length), &size))
            widest = size.cx > widest ? size.cx : widest;
    }
    // The list's own margins and a scroll bar beside the names.
    unitCombo.SetDroppedWidth(widest + Px(8) + Dpi::SystemMetric(SM_CXVSCROLL, dpi));
}
