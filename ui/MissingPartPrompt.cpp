#include "ui/MissingPartPrompt.h"

#include "app/ProgramInfo.h"
#include "res/resource.h"
#include "ui/FolderPicker.h"

PartAnswer MissingPartPrompt::Ask(HWND owner, const wchar_t* partName, WideString& folder) {
    for (;;) {
        MissingPartPrompt prompt(partName, folder.Text());
        prompt.DoModal(IDD_MISSING_PART, owner);
        if (prompt.Result() == IDRETRY)
            return PartAnswer::Retry;
        if (prompt.Result() != IDC_MISSING_BROWSE)
            return PartAnswer::Cancel;
        WideString title;
        WideString chosen;
        title.Format(L"Find %s", partName);
        if (PickFolder(owner, title.Text(), folder.Text(), chosen)) {
            folder.Assign(chosen.Text(), chosen.Length());
            return PartAnswer::Browse;
        }
    }
}

BOOL MissingPartPrompt::OnInitDialog() {
    SetWindowTextW(kProgramCaption);
    WideString text;
    text.Format(L"%s is not in %s. Insert the disc or stick that holds it, or find it.", part,
                place);
    ::SetDlgItemTextW(Handle(), IDC_MISSING_TEXT, text.Text());
    ::SetDlgItemTextW(Handle(), IDRETRY, L"&Retry");
    ::SetDlgItemTextW(Handle(), IDC_MISSING_BROWSE, L"&Browse...");
    ::SetDlgItemTextW(Handle(), IDCANCEL, L"Cancel");
    return TRUE;
}

BOOL MissingPartPrompt::OnCommand(WPARAM wParam, LPARAM) {
    switch (wParam) {
    case CommandWord(BN_CLICKED, IDRETRY):
    case CommandWord(BN_CLICKED, IDC_MISSING_BROWSE):
        EndModal(LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}
