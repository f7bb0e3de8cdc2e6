#include "ui/CheckReport.h"

#include "app/ByteSize.h"
#include "ops/CheckVerdict.h"
#include "ops/PartNaming.h"
#include "toolkit/Dpi.h"

#include <commctrl.h>

#include <cstring>

namespace {

enum Column { kName, kSize, kState };

} // namespace

BOOL CheckReport::Create(HWND parent, UINT id) {
    // The rows are asked for as they show: a set of many parts costs no more than a screenful.
    if (!KListView::Create(WS_TABSTOP | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | LVS_OWNERDATA,
                           parent, id))
        return FALSE;
    return InsertColumn(kName, L"Part", 0, LVCFMT_LEFT) &&
           InsertColumn(kSize, L"Size", 0, LVCFMT_RIGHT) &&
           InsertColumn(kState, L"State", 0, LVCFMT_LEFT);
}

bool CheckReport::Show(const CheckVerdict& verdict, const wchar_t* whole) {
    shown = &verdict;
    wholeName.Format(L"%s", whole);
    return SetRowCount(static_cast<int>(verdict.PartCount()));
}

void CheckReport::Forget() {
    shown = nullptr;
    SetRowCount(0);
}

void CheckReport::CellText(int row, int column, WideString& cell) const {
    const uint32_t number = static_cast<uint32_t>(row) + 1;
    cell.Format(L"%s", L"");
    if (column == kName)
        PartPath(wholeName.Text(), number, cell);
    else if (column == kState)
        shown->StateText(number, cell);
    else if (shown->RowOf(number).state != CheckVerdict::State::Missing)
        FormatByteSize(shown->RowOf(number).size, cell);
}

void CheckReport::FitColumns(int width, UINT dpi) {
    // The scroll bar's room is kept whether it shows or not, so the columns never jump.
    const int usable = width - Dpi::SystemMetric(SM_CXVSCROLL, dpi) - ScaleForDpi(4, dpi);
    const int name = usable * 2 / 5;
    const int size = usable / 5;
    SetColumnWidth(kName, name);
    SetColumnWidth(kSize, size);
    SetColumnWidth(kState, usable - name - size);
}

int CheckReport::HeightFor(int rows) const {
    RECT frame{0, 0, 0, 0};
    ::AdjustWindowRectEx(&frame, GetStyle(), FALSE, GetExStyle());
    return HeaderHeight() + rows * RowHeight() + (frame.bottom - frame.top);
}

bool CheckReport::CopyToClipboard() {
    if (!shown)
        return false;
    WideString text;
    shown->Report(wholeName.Text(), text);
    const size_t bytes = (static_cast<size_t>(text.Length()) + 1) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory)
        return false;
    void* into = ::GlobalLock(memory);
    if (into) {
        memcpy(into, text.Text(), bytes);
        ::GlobalUnlock(memory);
    }
    // The clipboard owns the memory once it has taken it.
    if (into && ::OpenClipboard(Handle())) {
        const bool taken = ::EmptyClipboard() && ::SetClipboardData(CF_UNICODETEXT, memory);
        ::CloseClipboard();
        if (taken)
            return true;
    }
    ::GlobalFree(memory);
    return false;
}

BOOL CheckReport::OnReflect(UINT msg, WPARAM, LPARAM lParam, LRESULT* result) {
    if (msg != WM_NOTIFY)
        return FALSE;
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->code == LVN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
        if (shown && (info->item.mask & LVIF_TEXT) && info->item.cchTextMax > 0 &&
            info->item.iItem >= 0 && static_cast<uint32_t>(info->item.iItem) < shown->PartCount()) {
            WideString cell;
            CellText(info->item.iItem, info->item.iSubItem, cell);
            ::lstrcpynW(info->item.pszText, cell.Text(), info->item.cchTextMax);
        }
        return TRUE;
    }
    if (header->code != LVN_KEYDOWN)
        return FALSE;
    const auto* key = reinterpret_cast<const NMLVKEYDOWN*>(lParam);
    if (key->wVKey != 'C' || (::GetKeyState(VK_CONTROL) & 0x8000) == 0)
        return FALSE;
    CopyToClipboard();
    *result = 0;
    return TRUE;
}
