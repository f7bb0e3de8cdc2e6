#include "ui/OptionsDialog.h"

#include "app/Globals.h"
#include "app/ProgramInfo.h"
#include "app/Settings.h"
#include "res/resource.h"

#include <cstdio>
#include <iterator>

namespace {

uint32_t IsChecked(const KButton& box) {
    return box.GetCheck() == BST_CHECKED ? 1 : 0;
}

WPARAM CheckState(uint32_t setting) {
    return setting != 0 ? BST_CHECKED : BST_UNCHECKED;
}

// The shares of the recovery box, in percent; 0 is "Off".
constexpr uint32_t kRecoveryShares[] = {0, 5, 10, 20, 30};

} // namespace

int OptionsDialog::Run(HWND owner) {
    OptionsDialog dialog;
    dialog.DoModal(IDD_OPTIONS, owner);
    return dialog.Result();
}

BOOL OptionsDialog::OnInitDialog() {
    SetWindowTextW(kProgramCaption);

    optionsGroup.Attach(GetDlgItem(IDC_OPT_GROUP), false);
    checkSelectFiles.Attach(GetDlgItem(IDC_OPT_SELECT_FILES), false);
    checkOpenFile.Attach(GetDlgItem(IDC_OPT_OPEN_FILE), false);
    checkDeleteFiles.Attach(GetDlgItem(IDC_OPT_DELETE_FILES), false);
    checkFlashWindow.Attach(GetDlgItem(IDC_OPT_FLASH_WINDOW), false);
    checkCloseWindow.Attach(GetDlgItem(IDC_OPT_CLOSE_WINDOW), false);
    checkWriteChecksums.Attach(GetDlgItem(IDC_OPT_WRITE_CHECKSUMS), false);
    checkWriteJoinScript.Attach(GetDlgItem(IDC_OPT_WRITE_JOIN_SCRIPT), false);
    recoveryLabel.Attach(GetDlgItem(IDC_OPT_RECOVERY_LABEL), false);
    recoveryBox.Attach(GetDlgItem(IDC_OPT_RECOVERY), false);

    checkSelectFiles.SetCheck(CheckState(gSettings.ReadSelectFiles()));
    checkOpenFile.SetCheck(CheckState(gSettings.ReadOpenFile()));
    checkDeleteFiles.SetCheck(CheckState(gSettings.ReadDeleteFiles()));
    checkFlashWindow.SetCheck(CheckState(gSettings.ReadFlashWindow()));
    checkCloseWindow.SetCheck(CheckState(gSettings.ReadCloseWindow()));
    checkWriteChecksums.SetCheck(CheckState(gSettings.ReadWriteChecksums()));
    checkWriteJoinScript.SetCheck(CheckState(gSettings.ReadWriteJoinScript()));

    checkSelectFiles.SetWindowTextW(L"Select files in Explorer after spliting.");
    checkOpenFile.SetWindowTextW(L"Open file after joining.");
    checkDeleteFiles.SetWindowTextW(L"Delete sources files after joining.");
    checkFlashWindow.SetWindowTextW(L"Flash window after operation.");
    checkCloseWindow.SetWindowTextW(L"Close window after operation.");
    checkWriteChecksums.SetWindowTextW(L"Write checksums (.sha256) after splitting");
    checkWriteJoinScript.SetWindowTextW(L"Write a join script for receivers");
    recoveryLabel.SetWindowTextW(L"Add recovery data:");
    FillRecoveryBox();
    optionsGroup.SetWindowTextW(L"Options");
    ::SetDlgItemTextW(Handle(), IDOK, L"&Close");

    groupFont.Make(optionsGroup.Handle());

    FocusControl(GetDlgItem(IDOK));
    return FALSE;
}

void OptionsDialog::FillRecoveryBox() {
    const uint32_t stored = gSettings.ReadRecoveryPercent();
    int chosen = -1;
    for (size_t i = 0; i < std::size(kRecoveryShares); ++i) {
        wchar_t text[16] = L"Off";
        if (kRecoveryShares[i] != 0)
            swprintf(text, 16, L"%u %%", kRecoveryShares[i]);
        recoveryBox.InsertString(-1, text);
        if (kRecoveryShares[i] == stored)
            chosen = static_cast<int>(i);
    }
    // A share set by hand elsewhere is shown as it is, and kept until another is chosen.
    if (chosen < 0) {
        wchar_t text[16];
        swprintf(text, 16, L"%u %%", stored);
        chosen = static_cast<int>(recoveryBox.InsertString(-1, text));
    }
    recoveryBox.SetCurSel(chosen);
}

BOOL OptionsDialog::OnOK() {
    return EndModal(IDOK);
}

BOOL OptionsDialog::OnCommand(WPARAM wParam, LPARAM) {
    // An auto check box has toggled itself before telling us, so the state read is the new one.
    switch (wParam) {
    case CommandWord(BN_CLICKED, IDC_OPT_DELETE_FILES):
        gSettings.WriteDeleteFiles(IsChecked(checkDeleteFiles));
        return TRUE;
    case CommandWord(BN_CLICKED, IDC_OPT_OPEN_FILE):
        gSettings.WriteOpenFile(IsChecked(checkOpenFile));
        return TRUE;
    case CommandWord(BN_CLICKED, IDC_OPT_SELECT_FILES):
        gSettings.WriteSelectFiles(IsChecked(checkSelectFiles));
        return TRUE;
    case CommandWord(BN_CLICKED, IDC_OPT_FLASH_WINDOW):
        gSettings.WriteFlashWindow(IsChecked(checkFlashWindow));
        return TRUE;
    case CommandWord(BN_CLICKED, IDC_OPT_CLOSE_WINDOW):
        gSettings.WriteCloseWindow(IsChecked(checkCloseWindow));
        return TRUE;
    case CommandWord(BN_CLICKED, IDC_OPT_WRITE_CHECKSUMS):
        gSettings.WriteWriteChecksums(IsChecked(checkWriteChecksums));
        return TRUE;
    case CommandWord(BN_CLICKED, IDC_OPT_WRITE_JOIN_SCRIPT):
        gSettings.WriteWriteJoinScript(IsChecked(checkWriteJoinScript));
        return TRUE;
    case CommandWord(CBN_SELCHANGE, IDC_OPT_RECOVERY): {
        const LRESULT chosen = recoveryBox.GetCurSel();
        if (chosen >= 0 && chosen < static_cast<LRESULT>(std::size(kRecoveryShares)))
            gSettings.WriteRecoveryPercent(kRecoveryShares[chosen]);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

BOOL OptionsDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_DPICHANGED) {
        groupFont.FollowDpi(Dpi::FromDpiChanged(wParam));
        // Not handled as far as the dialog manager goes: it resizes the dialog.
        return FALSE;
    }
    if (msg != WM_DESTROY)
        return FALSE;
    optionsGroup.Detach();
    checkSelectFiles.Detach();
    checkOpenFile.Detach();
    checkDeleteFiles.Detach();
    checkFlashWindow.Detach();
    checkCloseWindow.Detach();
    checkWriteChecksums.Detach();
    checkWriteJoinScript.Detach();
    recoveryLabel.Detach();
    recoveryBox.Detach();
    return TRUE;
}
