#include "ui/SetupDialog.h"

#include <shellapi.h>

#include <cwchar>

#include "app/ProgramInfo.h"
#include "res/resource.h"
#include "toolkit/DcGuards.h"
#include "ui/ShellIntegration.h"

namespace {

constexpr wchar_t kGroupTitle[] = L"Install / Repair / Uninstall";
constexpr wchar_t kCloseLabel[] = L"&Close";
constexpr wchar_t kInstallLabel[] = L"Install";
constexpr wchar_t kRepairLabel[] = L"Repair";
constexpr wchar_t kUninstallLabel[] = L"Uninstall";
constexpr wchar_t kNotInstalledText[] = L"Brindlecot is not installed.";
constexpr wchar_t kInstalledText[] = L"Brindlecot is installed.";
constexpr wchar_t kCorruptedText[] =
    L"installation is corrupted.\r\nClick Repair button to fix it.";
// The user's own verbs are gone, but those registered for everybody needed rights this user
// has not.
constexpr wchar_t kMachineWideLeftText[] =
    L"uninstalled for this user.\r\nAdmin rights are needed to\r\nremove it for all users.";
constexpr wchar_t kInstallErrorFormat[] = L"install error #%u";
constexpr wchar_t kUninstallErrorFormat[] = L"uninstall error #%u";

constexpr int kStatusTextMax = 1024;
constexpr int kErrorTextMax = 128;

constexpr UINT kMeasureFlags = DT_CALCRECT | DT_CENTER | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
constexpr UINT kDrawFlags = DT_CENTER | DT_VCENTER | DT_NOCLIP | DT_NOPREFIX | DT_END_ELLIPSIS;

} // namespace

SetupDialog::SetupDialog() : link(kLinkColor, kLinkHoverColor) {}

BOOL SetupDialog::OnInitDialog() {
    SetWindowTextW(kProgramCaption);
    dpi = Dpi::ForWindow(Handle());
    icons.Set(Handle(), dpi);

    actionButton.Attach(GetDlgItem(IDC_SETUP_ACTION), false);
    uninstallButton.Attach(GetDlgItem(IDC_SETUP_UNINSTALL), false);
    statusText.Attach(GetDlgItem(IDC_SETUP_STATUS), false);
    link.Attach(GetDlgItem(IDC_SETUP_LINK));
    link.SetWindowTextW(kProductWebPage);

    groupFont.Make(GetDlgItem(IDC_SETUP_GROUP));
    ::SendDlgItemMessageW(Handle(), IDC_SETUP_GROUP, WM_SETTEXT, 0,
                          reinterpret_cast<LPARAM>(kGroupTitle));
    ::SendDlgItemMessageW(Handle(), IDOK, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kCloseLabel));

    switch (ShellIntegration::QueryStatus()) {
    case ShellIntegration::InstallStatus::Installed:
        ShowInstalled();
        FocusControl(uninstallButton.Handle());
        break;
    case ShellIntegration::InstallStatus::Corrupted:
        ShowCorrupted();
        FocusControl(actionButton.Handle());
        break;
    default:
        ShowNotInstalled();
        FocusControl(actionButton.Handle());
        break;
    }
    return FALSE;
}

BOOL SetupDialog::OnOK() {
    ::PostQuitMessage(0);
    return TRUE;
}

BOOL SetupDialog::OnCancel() {
    ::PostQuitMessage(0);
    return TRUE;
}

BOOL SetupDialog::OnCommand(WPARAM wParam, LPARAM) {
    wchar_t text[kErrorTextMax];
    switch (wParam) {
    case CommandWord(BN_CLICKED, IDC_SETUP_ACTION): // Install and Repair are the same rewrite
        if (ShellIntegration::Install()) {
            FocusControl(GetDlgItem(IDOK));
            ShowInstalled();
        } else {
            std::swprintf(text, kErrorTextMax, kInstallErrorFormat,
                          static_cast<unsigned>(::GetLastError()));
            SetStatus(text);
        }
        return TRUE;
    case CommandWord(BN_CLICKED, IDC_SETUP_UNINSTALL):
        if (ShellIntegration::Uninstall()) {
            const bool machineWideLeft = ::GetLastError() == ERROR_ACCESS_DENIED;
            FocusControl(GetDlgItem(IDOK));
            ShowNotInstalled();
            if (machineWideLeft)
                SetStatus(kMachineWideLeftText);
        } else {
            std::swprintf(text, kErrorTextMax, kUninstallErrorFormat,
                          static_cast<unsigned>(::GetLastError()));
            SetStatus(text);
        }
        return TRUE;
    case CommandWord(BN_CLICKED, IDC_SETUP_LINK):
        // Nothing to tell the user when no browser comes up.
        ::ShellExecuteW(Handle(), nullptr, kProductWebPage, nullptr, nullptr, SW_SHOWNORMAL);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL SetupDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_DRAWITEM: {
        // Reached only by controls without an object of their own: the status text.
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item == nullptr || item->hwndItem != statusText.Handle())
            return FALSE;
        DrawStatus(*item);
        // A dialog procedure answers through DWLP_MSGRESULT, as the main window does.
        ::SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    case WM_DPICHANGED:
        OnDpiChanged(Dpi::FromDpiChanged(wParam));
        // Not handled as far as the dialog manager goes: it resizes the dialog.
        return FALSE;
    case WM_DESTROY:
        actionButton.Detach();
        uninstallButton.Detach();
        statusText.Detach();
        link.Detach();
        return TRUE;
    default:
        return FALSE;
    }
}

void SetupDialog::ShowNotInstalled() {
    actionButton.SetWindowTextW(kInstallLabel);
    actionButton.EnableWindow(TRUE);
    uninstallButton.SetWindowTextW(kUninstallLabel);
    uninstallButton.EnableWindow(FALSE);
    SetStatus(kNotInstalledText);
}

void SetupDialog::ShowInstalled() {
    actionButton.SetWindowTextW(kInstallLabel);
    actionButton.EnableWindow(FALSE);
    uninstallButton.SetWindowTextW(kUninstallLabel);
    uninstallButton.EnableWindow(TRUE);
    SetStatus(kInstalledText);
}

void SetupDialog::ShowCorrupted() {
    actionButton.SetWindowTextW(kRepairLabel);
    actionButton.EnableWindow(TRUE);
    uninstallButton.SetWindowTextW(kUninstallLabel);
    uninstallButton.EnableWindow(TRUE);
    SetStatus(kCorruptedText);
}

void SetupDialog::SetStatus(const wchar_t* text) {
    statusText.SetWindowTextW(text);
    // The owner-drawn static paints over its whole area, so nothing needs erasing.
    statusText.InvalidateRect(nullptr, FALSE);
}

void SetupDialog::OnDpiChanged(UINT newDpi) {
    if (newDpi == 0 || newDpi == dpi)
        return;
    groupFont.FollowDpi(newDpi);
    dpi = newDpi;
    icons.Set(Handle(), dpi);
}

void SetupDialog::DrawStatus(const DRAWITEMSTRUCT& item) {
    const HDC dc = item.hDC;
    ::FillRect(dc, &item.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));

    wchar_t text[kStatusTextMax] = L"";
    ::GetWindowTextW(item.hwndItem, text, kStatusTextMax);

    // The control's own font, whatever the DC was handed over with.
    SelectObjectGuard font(
        dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));

    // DT_VCENTER only works for one line: centre the block of lines by hand.
    RECT measure = item.rcItem;
    ::DrawTextW(dc, text, -1, &measure, kMeasureFlags);
    const int height = measure.bottom - measure.top;
    RECT block = item.rcItem;
    block.top = item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - height) / 2;
    block.bottom = block.top + height;
    ::DrawTextW(dc, text, -1, &block, kDrawFlags);
}
