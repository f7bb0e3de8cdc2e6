#include "ui/MissingPartPrompt.h"

#include "app/ProgramInfo.h"
#include "res/resource.h"
#include "toolkit/DcGuards.h"
#include "toolkit/DeviceContext.h"
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
    FitQuestion(text.Text());
    ::SetDlgItemTextW(Handle(), IDRETRY, L"&Retry");
    ::SetDlgItemTextW(Handle(), IDC_MISSING_BROWSE, L"&Browse...");
    ::SetDlgItemTextW(Handle(), IDCANCEL, L"Cancel");
    return TRUE;
}

void MissingPartPrompt::FitQuestion(const wchar_t* text) {
    // A deep folder's path takes more lines than the box holds: the box grows, the buttons move
    // down and the dialog with them, as far as the screen allows.
    HWND question = GetDlgItem(IDC_MISSING_TEXT);
    RECT box{};
    ::GetClientRect(question, &box);
    RECT need{0, 0, box.right, 0};
    {
        WindowDC dc(question);
        SelectObjectGuard font(
            dc.Get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(question, WM_GETFONT, 0, 0)));
        ::DrawTextW(dc.Get(), text, -1, &need,
                    DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    }
    RECT window{};
    GetWindowRect(&window);
    int more = need.bottom - box.bottom;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (more <= 0 ||
        !::GetMonitorInfoW(::MonitorFromWindow(Handle(), MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT& work = monitor.rcWork;
    const int room = (work.bottom - work.top) - (window.bottom - window.top);
    more = more < room ? more : (room > 0 ? room : 0);
    ::SetWindowPos(question, nullptr, 0, 0, box.right, box.bottom + more,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    static constexpr int kButtons[] = {IDRETRY, IDC_MISSING_BROWSE, IDCANCEL};
    for (int id : kButtons) {
        HWND button = GetDlgItem(id);
        RECT at{};
        ::GetWindowRect(button, &at);
        ::MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&at), 2);
        ::SetWindowPos(button, nullptr, at.left, at.top + more, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // Still centred where it was, and on the screen.
    const int height = window.bottom - window.top + more;
    int top = window.top - more / 2;
    top = top + height > work.bottom ? work.bottom - height : top;
    top = top < work.top ? work.top : top;
    SetWindowPos(nullptr, window.left, top, window.right - window.left, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
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
