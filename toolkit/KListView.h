#pragma once

#include "toolkit/KWindow.h"

// A common-controls list view ("SysListView32") in report mode, and the few of its messages the
// program uses. Like the status bar, its class comes with the common controls the manifest names.
class KListView : public KWindow {
public:
    // A report view with full-row selection; the style adds to WS_CHILD | LVS_REPORT.
    BOOL Create(DWORD style, HWND parent, UINT id);

    BOOL InsertColumn(int index, const wchar_t* title, int width, int format);
    BOOL SetColumnWidth(int index, int width);
    // A row at the end, its first cell's text given; -1 when it can't be added.
    int AppendRow(const wchar_t* text);
    BOOL SetCell(int row, int column, const wchar_t* text);
    BOOL DeleteAllRows();
    // The number of rows of a view whose rows its owner tells (LVS_OWNERDATA).
    BOOL SetRowCount(int count);
    int RowCount() const;
    // The height of one row (0 while there is none) and of the header, at the view's font.
    int RowHeight() const;
    int HeaderHeight() const;
};
