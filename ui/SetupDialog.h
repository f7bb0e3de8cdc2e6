#pragma once

#include <windows.h>

#include "toolkit/BoldGroupFont.h"
#include "toolkit/Dpi.h"
#include "toolkit/KButton.h"
#include "toolkit/KDialog.h"
#include "toolkit/KHyperlink.h"
#include "toolkit/KWindow.h"
#include "ui/WindowIcons.h"

// What the program shows when started without a command: whether the Explorer verbs are
// installed, with Install (or Repair) and Uninstall, and a link to the product's web page.
// A modeless dialog from template IDD_SETUP; Close, Escape and the close box end the message
// loop, and start-up destroys the window afterwards.
class SetupDialog : public KDialog {
public:
    SetupDialog();

    BOOL OnInitDialog() override;
    BOOL OnOK() override;
    BOOL OnCancel() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    HFONT BoldFont() const { return groupFont.Get(); }

private:
    // The three states the dialog can show, with the buttons that go with them.
    void ShowNotInstalled();
    void ShowInstalled();
    void ShowCorrupted();
    void SetStatus(const wchar_t* text);
    void DrawStatus(const DRAWITEMSTRUCT& item);
    // The group font and the icons made again for a new dpi.
    void OnDpiChanged(UINT newDpi);

    KButton actionButton;
    KButton uninstallButton;
    KWindow statusText;
    KHyperlink link;
    // The group box title's font; kept for the life of the process, as the box may still
    // paint with it.
    BoldGroupFont groupFont;
    WindowIcons icons;
    // The dpi the icons were made for.
    UINT dpi = kBaseDpi;
};
