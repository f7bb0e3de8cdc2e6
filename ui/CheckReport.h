#pragma once

#include "app/WideString.h"
#include "toolkit/KListView.h"

class CheckVerdict;

// A check's verdict part by part in a report view: the part's name, its size and its state. The
// view takes the keyboard like any control; Ctrl+C copies the whole report as text, the summary
// first.
class CheckReport : public KListView {
public:
    // Created hidden, below the window's other controls in the tab order.
    BOOL Create(HWND parent, UINT id);
    // Shows the verdict's rows, asked for as they come into view. The verdict must outlive the
    // view, or be taken back with Forget first. False when the view can't take the count.
    bool Show(const CheckVerdict& verdict, const wchar_t* wholeName);
    void Forget();
    // The columns shared out over the view's width: the state takes what the others leave.
    void FitColumns(int width, UINT dpi);
    // The view's height for its header and at most `rows` rows.
    int HeightFor(int rows) const;
    // The whole report as text, the summary first.
    bool CopyToClipboard();

    BOOL OnReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void CellText(int row, int column, WideString& cell) const;

    const CheckVerdict* shown = nullptr;
    WideString wholeName; // which names the parts
};
