#include "toolkit/KListView.h"

#include <commctrl.h>

BOOL KListView::Create(DWORD style, HWND parent, UINT id) {
    if (!KWindow::Create(WC_LISTVIEWW, WS_EX_CLIENTEDGE, WS_CHILD | LVS_REPORT | style, 0, 0, 0, 0,
                         parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id))))
        return FALSE;
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;
    SendMessageW(LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    return TRUE;
}

BOOL KListView::InsertColumn(int index, const wchar_t* title, int width, int format) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(title);
    return SendMessageW(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(&column)) == index;
}

BOOL KListView::SetColumnWidth(int index, int width) {
    return static_cast<BOOL>(SendMessageW(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index), width));
}

int KListView::AppendRow(const wchar_t* text) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = RowCount();
    item.pszText = const_cast<wchar_t*>(text);
    return static_cast<int>(SendMessageW(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL KListView::SetCell(int row, int column, const wchar_t* text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text);
    return static_cast<BOOL>(
        SendMessageW(LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
}

BOOL KListView::DeleteAllRows() {
    return static_cast<BOOL>(SendMessageW(LVM_DELETEALLITEMS, 0, 0));
}

BOOL KListView::SetRowCount(int count) {
    return static_cast<BOOL>(SendMessageW(LVM_SETITEMCOUNT, static_cast<WPARAM>(count), 0));
}

int KListView::RowCount() const {
    return static_cast<int>(::SendMessageW(Handle(), LVM_GETITEMCOUNT, 0, 0));
}

int KListView::RowHeight() const {
    RECT row{};
    row.left = LVIR_BOUNDS;
    return RowCount() > 0 &&
                   ::SendMessageW(Handle(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row))
               ? row.bottom - row.top
               : 0;
}

int KListView::HeaderHeight() const {
    RECT header{};
    HWND control = reinterpret_cast<HWND>(::SendMessageW(Handle(), LVM_GETHEADER, 0, 0));
    return control && ::GetWindowRect(control, &header) ? header.bottom - header.top : 0;
}
