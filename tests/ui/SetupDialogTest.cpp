#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "app/ProgramInfo.h"
#include "res/resource.h"
#include "res/version.h"
#include "support/DibSurface.h"
#include "support/MessageLoop.h"
#include "support/Screenshot.h"
#include "support/TestFiles.h"
#include "support/WindowText.h"
#include "toolkit/DcGuards.h"
#include "toolkit/DeviceContext.h"
#include "ui/SetupDialog.h"
#include "ui/SetupTestSupport.h"
#include "ui/ShellIntegration.h"

using namespace shell_test;
using ShellIntegration::InstallStatus;
using testing_support::DibSurface;
using testing_support::TextOf;

namespace {

constexpr wchar_t kCorruptedText[] =
    L"installation is corrupted.\r\nClick Repair button to fix it.";
constexpr wchar_t kMachineWideLeftText[] =
    L"uninstalled for this user.\r\nAdmin rights are needed to\r\nremove it for all users.";

// Runs what is queued, with the dialog's keyboard handling, as its own loop would; a WM_QUIT
// found on the way is reported.
struct Pumped {
    bool quit = false;
    int exitCode = -1;
};
Pumped Pump(HWND dialog) {
    testing_support::QuitSeen quits;
    for (int round = 0; round < 3; ++round) {
        testing_support::DispatchQueued(dialog, &quits);
        ::Sleep(1);
    }
    return {quits.Seen(), quits.exitCode};
}

// Where a person who wants to look at the pictures asks for copies (a Windows path).
std::wstring ScreenshotFolder() {
    wchar_t folder[MAX_PATH] = L"";
    const DWORD n = ::GetEnvironmentVariableW(L"BRINDLECOT_SCREENSHOT_DIR", folder, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(folder) : std::wstring();
}

// The rows and columns of a control where something other than the face colour was painted,
// as the screen shows it.
class ScreenPixels {
public:
    explicit ScreenPixels(HWND control) : surface(ClientWidth(control), ClientHeight(control), 0) {
        POINT origin{0, 0};
        ::ClientToScreen(control, &origin);
        WindowDC screen(nullptr);
        ::BitBlt(surface.Dc(), 0, 0, surface.Width(), surface.Height(), screen.Get(), origin.x,
                 origin.y, SRCCOPY);
        ::GdiFlush();
    }
    int Width() const { return surface.Width(); }
    int Height() const { return surface.Height(); }
    bool Ink(int x, int y) const { return surface.Pixel(x, y) != ::GetSysColor(COLOR_BTNFACE); }
    // Runs of rows [first, last] that hold ink.
    std::vector<std::pair<int, int>> InkBands() const {
        std::vector<std::pair<int, int>> bands;
        for (int y = 0; y < Height(); ++y) {
            bool ink = false;
            for (int x = 0; x < Width() && !ink; ++x)
                ink = Ink(x, y);
            if (!ink)
                continue;
            if (!bands.empty() && bands.back().second == y - 1)
                bands.back().second = y;
            else
                bands.emplace_back(y, y);
        }
        return bands;
    }
    // The leftmost and rightmost inked columns of a band of rows.
    std::pair<int, int> InkColumns(std::pair<int, int> band) const {
        int left = Width(), right = -1;
        for (int y = band.first; y <= band.second; ++y)
            for (int x = 0; x < Width(); ++x)
                if (Ink(x, y)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return {left, right};
    }

private:
    static int ClientWidth(HWND control) {
        RECT client{};
        ::GetClientRect(control, &client);
        return client.right;
    }
    static int ClientHeight(HWND control) {
        RECT client{};
        ::GetClientRect(control, &client);
        return client.bottom;
    }

    DibSurface surface;
};

// The setup dialog on a registry prepared by each test.
class SetupDialogTest : public ShellRegistryTest {
protected:
    void TearDown() override {
        if (dialog.IsBound())
            dialog.Destroy();
        Pump(nullptr);
        ShellRegistryTest::TearDown();
    }

    void Open() {
        // Far from the dialog, so that the link is never hot.
        ::SetCursorPos(1000, 740);
        ASSERT_TRUE(dialog.CreateModeless(IDD_SETUP, nullptr));
        EXPECT_FALSE(::IsWindowVisible(dialog.Handle())); // start-up shows it
        dialog.ShowWindow(SW_SHOWNORMAL);
        dialog.SetForegroundWindow();
        dialog.UpdateWindow();
        Pump(dialog.Handle());
    }
    HWND Item(int id) const { return dialog.GetDlgItem(id); }
    HWND Action() const { return Item(IDC_SETUP_ACTION); }
    HWND Remove() const { return Item(IDC_SETUP_UNINSTALL); }
    HWND CloseButton() const { return Item(IDOK); }
    std::wstring Status() const { return TextOf(Item(IDC_SETUP_STATUS)); }
    Pumped Click(HWND button) {
        ::SendMessageW(button, BM_CLICK, 0, 0);
        return Pump(dialog.Handle());
    }
    // The buttons as a person sees them: label and whether it can be pressed.
    void ExpectButtons(const wchar_t* action, bool actionEnabled, bool uninstallEnabled) {
        EXPECT_EQ(TextOf(Action()), action);
        EXPECT_EQ(::IsWindowEnabled(Action()) != FALSE, actionEnabled);
        EXPECT_EQ(TextOf(Remove()), L"Uninstall");
        EXPECT_EQ(::IsWindowEnabled(Remove()) != FALSE, uninstallEnabled);
        EXPECT_TRUE(::IsWindowEnabled(CloseButton()));
    }
    // A picture of the dialog for a person to look at, only when somebody asked for pictures.
    // It is no check of the dialog, so a picture that cannot be saved is only mentioned.
    void Shot(const wchar_t* name) {
        const std::wstring copies = ScreenshotFolder();
        if (copies.empty())
            return;
        if (!testing_support::SaveWindowScreenshot(dialog.Handle(), copies + L"\\" + name))
            std::printf("note: no picture %ls saved (error %lu)\n", name, ::GetLastError());
    }

    SetupDialog dialog;
};

} // namespace

TEST_F(SetupDialogTest, NotInstalledOffersInstallOnly) {
    Open();
    EXPECT_EQ(TextOf(dialog.Handle()), L"Brindlecot v" BRINDLECOT_VERSION_TEXT);
    EXPECT_EQ(TextOf(Item(IDC_SETUP_GROUP)), L"Install / Repair / Uninstall");
    EXPECT_EQ(TextOf(CloseButton()), L"&Close");
    EXPECT_EQ(TextOf(Item(IDC_SETUP_LINK)), kProductWebPage);
    ExpectButtons(L"Install", true, false);
    EXPECT_EQ(Status(), L"Brindlecot is not installed.");
    EXPECT_EQ(::GetFocus(), Action());
    // Looking changes nothing in the registry.
    EXPECT_FALSE(KeyExists(L".001"));
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split"));
    Shot(L"setup-not-installed.bmp");
}

TEST_F(SetupDialogTest, GroupTitleIsTheDialogFontInBold) {
    Open();
    LOGFONTW dialogFont{}, title{};
    ASSERT_NE(::GetObjectW(dialog.GetFont(), sizeof dialogFont, &dialogFont), 0);
    const HFONT titleFont =
        reinterpret_cast<HFONT>(::SendMessageW(Item(IDC_SETUP_GROUP), WM_GETFONT, 0, 0));
    EXPECT_EQ(titleFont, dialog.BoldFont());
    ASSERT_NE(::GetObjectW(titleFont, sizeof title, &title), 0);
    EXPECT_EQ(title.lfWeight, FW_BOLD);
    EXPECT_EQ(title.lfHeight, dialogFont.lfHeight);
    EXPECT_STREQ(title.lfFaceName, dialogFont.lfFaceName);
    // The rest of the dialog keeps the normal weight.
    EXPECT_EQ(::SendMessageW(CloseButton(), WM_GETFONT, 0, 0),
              reinterpret_cast<LRESULT>(dialog.GetFont()));
    // The program's icon in the caption and the task bar.
    EXPECT_NE(dialog.GetIcon(ICON_SMALL), nullptr);
    EXPECT_NE(dialog.GetIcon(ICON_BIG), nullptr);
}

TEST_F(SetupDialogTest, InstalledOffersUninstallOnly) {
    ASSERT_TRUE(ShellIntegration::Install());
    Open();
    ExpectButtons(L"Install", false, true);
    EXPECT_EQ(Status(), L"Brindlecot is installed.");
    EXPECT_EQ(::GetFocus(), Remove());
    Shot(L"setup-installed.bmp");
}

TEST_F(SetupDialogTest, AnotherCopysVerbsOfferRepair) {
    ASSERT_TRUE(ShellIntegration::Install());
    WriteDefault(L".001\\Shell\\join\\command", L"\"C:\\Elsewhere\\brindlecot.exe\" /j \"%1\"");
    Open();
    ExpectButtons(L"Repair", true, true);
    EXPECT_EQ(Status(), kCorruptedText);
    EXPECT_EQ(::GetFocus(), Action());
    Shot(L"setup-corrupted.bmp");

    // Repair is an install: the verbs are ours again.
    Click(Action());
    EXPECT_EQ(ShellIntegration::QueryStatus(), InstallStatus::Installed);
    ExpectButtons(L"Install", false, true);
    EXPECT_EQ(Status(), L"Brindlecot is installed.");
    EXPECT_EQ(::GetFocus(), CloseButton());
}

TEST_F(SetupDialogTest, InstallThenUninstall) {
    Open();
    Click(Action());
    EXPECT_EQ(ShellIntegration::QueryStatus(), InstallStatus::Installed);
    EXPECT_EQ(ReadDefault(L".001\\Shell\\join\\command").text, OurCommand(false));
    EXPECT_EQ(Status(), L"Brindlecot is installed.");
    // Uninstall is the only action left, and the focus waits on Close.
    ExpectButtons(L"Install", false, true);
    EXPECT_EQ(::GetFocus(), CloseButton());
    Shot(L"setup-after-install.bmp");

    Click(Remove());
    EXPECT_EQ(ShellIntegration::QueryStatus(), InstallStatus::NotInstalled);
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split"));
    EXPECT_EQ(Status(), L"Brindlecot is not installed.");
    ExpectButtons(L"Install", true, false);
    EXPECT_EQ(::GetFocus(), CloseButton());
}

TEST_F(SetupDialogTest, TabGoesThroughTheEnabledButtonsInOrder) {
    ASSERT_TRUE(ShellIntegration::Install());
    WriteDefault(L"*\\Shell\\split\\command", L"other.exe /s \"%1\"");
    Open();
    ASSERT_EQ(::GetFocus(), Action());
    const HWND order[] = {Remove(), CloseButton(), Action()};
    for (HWND next : order) {
        ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_TAB, 0);
        Pump(dialog.Handle());
        EXPECT_EQ(::GetFocus(), next);
    }
    // Enter on the focused Repair button repairs.
    ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
    Pump(dialog.Handle());
    EXPECT_EQ(ShellIntegration::QueryStatus(), InstallStatus::Installed);
    EXPECT_EQ(Status(), L"Brindlecot is installed.");
}

// Wine ignores key security, so the failure is made with a volatile .001 key that refuses the
// lasting verb keys under it.
TEST_F(SetupDialogTest, FailedInstallShowsTheCodeAndKeepsTheButtons) {
    Open();
    ASSERT_TRUE(CreateVolatileKey(L".001"));
    Click(Action());
    EXPECT_EQ(Status(), L"install error #" + std::to_wstring(ERROR_CHILD_MUST_BE_VOLATILE));
    ExpectButtons(L"Install", true, false);
    EXPECT_EQ(::GetFocus(), Action());
    Shot(L"setup-install-error.bmp");
}

TEST_F(SetupDialogTest, FailedUninstallShowsTheCodeAndKeepsTheButtons) {
    ASSERT_TRUE(ShellIntegration::Install());
    Open();
    // Someone took the split verb away meanwhile.
    ASSERT_EQ(DeleteTree(L"*\\Shell\\split"), ERROR_SUCCESS);
    Click(Remove());
    EXPECT_EQ(Status(), L"uninstall error #2");
    ExpectButtons(L"Install", false, true);
    // The join verb went all the same.
    EXPECT_FALSE(KeyExists(L".001\\Shell\\join"));
    Shot(L"setup-uninstall-error.bmp");
}

// Verbs for everybody that this user may not change (Windows lets a user only read the
// machine's classes): the user's own verbs go, and the status says what stayed.
TEST_F(SetupDialogTest, UninstallThatMustLeaveTheVerbsForEverybodySaysSo) {
    WriteMachineVerbs(L"C:\\Program Files\\Brindlecot\\brindlecot.exe");
    ASSERT_TRUE(ShellIntegration::Install());
    ReadOnlyForEverybody readOnly(L"*\\Shell\\split", kMachine);
    ASSERT_TRUE(readOnly.Applied());
    Open();
    ExpectButtons(L"Install", false, true);
    Click(Remove());
    EXPECT_EQ(Status(), kMachineWideLeftText);
    // Nothing more this user can do about it here.
    ExpectButtons(L"Install", true, false);
    EXPECT_EQ(::GetFocus(), CloseButton());
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split"));
    EXPECT_TRUE(KeyExists(L"*\\Shell\\split\\command", kMachine));
    EXPECT_TRUE(KeyExists(L".001\\Shell\\join\\command", kMachine));

    // Every line fits across the status area, and all three fit from top to bottom.
    const HWND status = Item(IDC_SETUP_STATUS);
    RECT client{};
    ::GetClientRect(status, &client);
    WindowDC dc(status);
    SelectObjectGuard font(dc.Get(),
                           reinterpret_cast<HGDIOBJ>(::SendMessageW(status, WM_GETFONT, 0, 0)));
    const wchar_t* lines[] = {L"uninstalled for this user.", L"Admin rights are needed to",
                              L"remove it for all users."};
    for (const wchar_t* line : lines) {
        SIZE extent{};
        ::GetTextExtentPoint32W(dc.Get(), line, ::lstrlenW(line), &extent);
        EXPECT_LT(extent.cx, client.right) << testing_support::Narrow(line);
    }
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc.Get(), &metrics);
    EXPECT_LE(3 * metrics.tmHeight, client.bottom);
    Shot(L"setup-machine-wide-left.bmp");
}

TEST_F(SetupDialogTest, CloseEscapeAndCloseBoxEndTheLoopOnly) {
    Open();
    Pumped byButton = Click(CloseButton());
    EXPECT_TRUE(byButton.quit);
    EXPECT_EQ(byButton.exitCode, 0);

    ::SetFocus(Action());
    ::PostMessageW(Action(), WM_KEYDOWN, VK_ESCAPE, 0);
    Pumped byEscape = Pump(dialog.Handle());
    EXPECT_TRUE(byEscape.quit);
    EXPECT_EQ(byEscape.exitCode, 0);

    ::SendMessageW(dialog.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    Pumped byCloseBox = Pump(dialog.Handle());
    EXPECT_TRUE(byCloseBox.quit);
    EXPECT_EQ(byCloseBox.exitCode, 0);

    // Alt+C, the Close button's mnemonic.
    ::PostMessageW(Action(), WM_SYSCHAR, L'c', 1 << 29);
    Pumped byMnemonic = Pump(dialog.Handle());
    EXPECT_TRUE(byMnemonic.quit);

    // The window stays for start-up to destroy.
    EXPECT_TRUE(::IsWindow(dialog.Handle()));
    EXPECT_TRUE(::IsWindowVisible(dialog.Handle()));
}

// What the owner-drawn status shows on the screen: each line centred across the control and
// the block of lines centred from top to bottom.
TEST_F(SetupDialogTest, StatusLinesAreCentredBothWays) {
    ASSERT_TRUE(ShellIntegration::Install());
    WriteDefault(L"*\\Shell\\split\\command", L"other.exe /s \"%1\"");
    Open();
    ASSERT_EQ(Status(), kCorruptedText);
    const HWND status = Item(IDC_SETUP_STATUS);
    ::RedrawWindow(dialog.Handle(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // Wine hands its drawing to the X server at one of the next message checks.
    for (int i = 0; i < 5; ++i) {
        Pump(dialog.Handle());
        ::Sleep(20);
    }
    const ScreenPixels screen(status);
    const auto bands = screen.InkBands();
    ASSERT_EQ(bands.size(), 2u) << "two lines, one under the other";

    // Each line as wide as its text in the control's font, centred across.
    WindowDC dc(status);
    SelectObjectGuard font(dc.Get(),
                           reinterpret_cast<HGDIOBJ>(::SendMessageW(status, WM_GETFONT, 0, 0)));
    const wchar_t* lines[] = {L"installation is corrupted.", L"Click Repair button to fix it."};
    for (int i = 0; i < 2; ++i) {
        SIZE extent{};
        ::GetTextExtentPoint32W(dc.Get(), lines[i], ::lstrlenW(lines[i]), &extent);
        const auto columns = screen.InkColumns(bands[i]);
        SCOPED_TRACE(i);
        EXPECT_NEAR(columns.second - columns.first + 1, extent.cx, 3);
        EXPECT_NEAR(columns.first, screen.Width() - 1 - columns.second, 2);
    }
    // The two lines a line's height apart, the block centred vertically.
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc.Get(), &metrics);
    EXPECT_NEAR(bands[1].first - bands[0].first, metrics.tmHeight, 1);
    const int inkTop = bands[0].first, inkBottom = bands[1].second;
    EXPECT_NEAR(inkTop, screen.Height() - 1 - inkBottom, 4);

    // One line alone is centred the same way.
    Click(Action());
    ASSERT_EQ(Status(), L"Brindlecot is installed.");
    dialog.UpdateWindow();
    for (int i = 0; i < 5; ++i) {
        Pump(dialog.Handle());
        ::Sleep(20);
    }
    const ScreenPixels after(status);
    const auto single = after.InkBands();
    ASSERT_EQ(single.size(), 1u);
    EXPECT_NEAR(single[0].first, after.Height() - 1 - single[0].second, 4);
    const auto columns = after.InkColumns(single[0]);
    EXPECT_NEAR(columns.first, after.Width() - 1 - columns.second, 2);
}

TEST_F(SetupDialogTest, DrawingTheStatusAnswersTrue) {
    Open();
    const HWND status = Item(IDC_SETUP_STATUS);
    RECT client{};
    ::GetClientRect(status, &client);
    DibSurface surface(client.right, client.bottom, 0);
    DRAWITEMSTRUCT item = {ODT_STATIC,   IDC_SETUP_STATUS, 0, ODA_DRAWENTIRE, 0, status,
                           surface.Dc(), client,           0};
    // Whatever an earlier message left as the dialog's answer must not be what this one says.
    ::SetWindowLongPtrW(dialog.Handle(), DWLP_MSGRESULT, 77);
    EXPECT_EQ(::SendMessageW(dialog.Handle(), WM_DRAWITEM, IDC_SETUP_STATUS,
                             reinterpret_cast<LPARAM>(&item)),
              TRUE);
}

// The process-wide dialog, made, destroyed and made again as start-up would: its control
// objects are let go with the window and bound afresh.
TEST_F(SetupDialogTest, ProcessWideDialogCanBeMadeAgain) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(gSetupDialog.CreateModeless(IDD_SETUP, nullptr));
        gSetupDialog.ShowWindow(SW_SHOWNORMAL);
        gSetupDialog.UpdateWindow();
        Pump(gSetupDialog.Handle());
        EXPECT_EQ(TextOf(gSetupDialog.GetDlgItem(IDC_SETUP_STATUS)),
                  L"Brindlecot is not installed.");
        ::SendMessageW(gSetupDialog.GetDlgItem(IDC_SETUP_ACTION), BM_CLICK, 0, 0);
        Pump(gSetupDialog.Handle());
        EXPECT_EQ(TextOf(gSetupDialog.GetDlgItem(IDC_SETUP_STATUS)), L"Brindlecot is installed.");
        ASSERT_TRUE(ShellIntegration::Uninstall());
        EXPECT_TRUE(gSetupDialog.Destroy());
        Pump(nullptr);
    }
}
