#pragma once

#include "toolkit/BoldGroupFont.h"
#include "toolkit/KButton.h"
#include "toolkit/KComboBox.h"
#include "toolkit/KModalDialog.h"

// The seven yes/no settings that decide what happens after an operation and what a split leaves
// beside its parts, and the recovery share. Each click or choice is stored at once; "&Close" only
// closes the dialog.
class OptionsDialog : public KModalDialog {
public:
    // Runs a dialog modally over owner; returns how it ended (IDOK, IDCANCEL), or what
    // DialogBoxParamW gave when it could not be shown.
    static int Run(HWND owner);

    BOOL OnInitDialog() override;
    BOOL OnOK() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    // The recovery share's entries, with the stored one chosen.
    void FillRecoveryBox();

    KButton checkSelectFiles;
    KButton checkOpenFile;
    KButton checkDeleteFiles;
    KButton checkFlashWindow;
    KButton checkCloseWindow;
    KButton checkWriteChecksums;
    KButton checkWriteJoinScript;
    KWindow recoveryLabel;
    KComboBox recoveryBox;
    KWindow optionsGroup;
    BoldGroupFont groupFont;
};
