#pragma once

#include "toolkit/KDialog.h"

// A dialog run by DialogBoxParamW: DoModal returns when EndModal (or Escape, through OnCancel)
// has ended it.
class KModalDialog : public KDialog {
public:
    KModalDialog() = default;

    // Ends the dialog with IDCANCEL.
    BOOL OnCancel() override;

    // TRUE for any positive result (IDOK, IDCANCEL, ...); Result() tells which.
    BOOL DoModal(UINT templateId, HWND parent);
    BOOL EndModal(int code);
    bool IsCreated() const { return IsBound(); }
    // What DialogBoxParamW returned; -1 until a dialog has run.
    int Result() const { return result; }

private:
    int result = -1;
};
