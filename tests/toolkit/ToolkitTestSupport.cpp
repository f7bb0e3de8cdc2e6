#include "ToolkitTestSupport.h"

#include "support/MessageLoop.h"

namespace toolkit_test {

void PumpMessages() {
    testing_support::QuitSeen ignored;
    testing_support::DispatchQueued(nullptr, &ignored);
}

DibSurface::DibSurface(int wide, int high, COLORREF fill) : width(wide), height(high) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc.Reset(::CreateCompatibleDC(nullptr));
    bitmap.Reset(::CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ::SelectObject(dc.Get(), bitmap.Get());
    RECT all = {0, 0, width, height};
    BrushObject brush(::CreateSolidBrush(fill));
    ::FillRect(dc.Get(), &all, brush.Get());
}

DibSurface::~DibSurface() = default;

int DibSurface::Count(const RECT& area, COLORREF color) const {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (Pixel(x, y) == color)
                ++count;
    return count;
}

BOOL RecordingDialog::OnInitDialog() {
    seen.push_back({Seen::Kind::InitDialog, WM_INITDIALOG, 0, 0});
    if (focusAtInitId != 0)
        FocusControl(GetDlgItem(focusAtInitId));
    return FALSE;
}

BOOL RecordingDialog::OnOK() {
    seen.push_back({Seen::Kind::OK, WM_COMMAND, IDOK, 0});
    if (quitOnOK >= 0)
        ::PostQuitMessage(quitOnOK);
    return TRUE;
}

BOOL RecordingDialog::OnCancel() {
    seen.push_back({Seen::Kind::Cancel, WM_COMMAND, IDCANCEL, 0});
    return cancelDestroys ? KDialog::OnCancel() : TRUE;
}

BOOL RecordingDialog::OnSize(WPARAM type, UINT cx, UINT cy) {
    seen.push_back({Seen::Kind::Size, WM_SIZE, type, static_cast<LPARAM>(cx << 16 | cy)});
    return FALSE;
}

BOOL RecordingDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    seen.push_back({Seen::Kind::Command, WM_COMMAND, wParam, lParam});
    return TRUE;
}

BOOL RecordingDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    seen.push_back({Seen::Kind::Message, msg, wParam, lParam});
    return FALSE;
}

int RecordingDialog::CountOf(Seen::Kind kind) const {
    int count = 0;
    for (const Seen& s : seen)
        if (s.kind == kind)
            ++count;
    return count;
}

std::vector<WPARAM> RecordingDialog::Commands() const {
    std::vector<WPARAM> commands;
    for (const Seen& s : seen) {
        const WORD code = HIWORD(s.wParam);
        if (s.kind == Seen::Kind::Command && code != EN_SETFOCUS && code != EN_KILLFOCUS)
            commands.push_back(s.wParam);
    }
    return commands;
}

BOOL ReflectProbe::OnReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    reflected.push_back({Seen::Kind::Message, msg, wParam, lParam});
    if (handle && setAnswer)
        *result = answer;
    return handle;
}

} // namespace toolkit_test
