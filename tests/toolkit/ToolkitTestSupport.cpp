#include "ToolkitTestSupport.h"

#include "support/MessageLoop.h"

namespace toolkit_test {

void PumpMessages() {
    testing_support::QuitSeen ignored;
    testing_support::DispatchQueued(nullptr, &ignored);
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
