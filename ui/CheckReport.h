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
    // Fills the rows, and keeps the report's text for the clipboard. False when memory ran out.
    bool Show(const CheckVerdict& verdict, const wchar_t* wholeName);
    // The columns shared out over the view's width: the state takes what the others leave.
    void FitColumns(int width, UINT dpi);
    // The view's height for its header and at most `rows` rows.
    int HeightFor(int rows) const;
    bool CopyToClipboard();
    const WideString& Text() const { return text; }

    BOOL OnReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    WideString text;
};
