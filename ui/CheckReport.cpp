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
    if (!KListView::Create(WS_TABSTOP | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, parent, id))
        return FALSE;
    return InsertColumn(kName, L"Part", 0, LVCFMT_LEFT) &&
           InsertColumn(kSize, L"Size", 0, LVCFMT_RIGHT) &&
           InsertColumn(kState, L"State", 0, LVCFMT_LEFT);
}

bool CheckReport::Show(const CheckVerdict& verdict, const wchar_t* wholeName) {
    verdict.Report(wholeName, text);
    DeleteAllRows();
    WideString cell;
    for (uint32_t number = 1; number <= verdict.PartCount(); ++number) {
        PartPath(wholeName, number, cell);
        const int row = AppendRow(cell.Text());
        if (row < 0)
            return false;
        const CheckVerdict::Row& part = verdict.RowOf(number);
        if (part.state != CheckVerdict::State::Missing) {
            FormatByteSize(part.size, cell);
            SetCell(row, kSize, cell.Text());
        }
        verdict.StateText(number, cell);
        SetCell(row, kState, cell.Text());
    }
    return true;
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
    if (header->code != LVN_KEYDOWN)
        return FALSE;
    const auto* key = reinterpret_cast<const NMLVKEYDOWN*>(lParam);
    if (key->wVKey != 'C' || (::GetKeyState(VK_CONTROL) & 0x8000) == 0)
        return FALSE;
    CopyToClipboard();
    *result = 0;
    return TRUE;
}
