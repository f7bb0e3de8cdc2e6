#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "ToolkitTestIds.h"
#include "ToolkitTestSupport.h"
#include "toolkit/KButton.h"
#include "toolkit/KDialog.h"
#include "toolkit/MessageLoop.h"

using namespace toolkit_test;

namespace {

// A modeless test dialog, created hidden, destroyed at the end of the test.
struct OpenDialog {
    explicit OpenDialog(RecordingDialog& d, UINT id = IDD_TK_GENERAL) : dialog(d) {
        created = dialog.CreateModeless(id, nullptr) != FALSE;
    }
    ~OpenDialog() {
        if (dialog.Handle() != nullptr)
            dialog.Destroy();
        PumpMessages();
    }
    RecordingDialog& dialog;
    bool created;
};

LONG_PTR MsgResult(HWND dialog) {
    return ::GetWindowLongPtrW(dialog, DWLP_MSGRESULT);
}

} // namespace

TEST(KDialogCreate, BindsAtInitDialog) {
    RecordingDialog dialog;
    OpenDialog open(dialog);
    ASSERT_TRUE(open.created);
    HWND window = dialog.Handle();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(dialog.CountOf(Seen::Kind::InitDialog), 1);
    EXPECT_EQ(KWindow::FromHandle(window), &dialog);
    EXPECT_EQ(::GetWindowLongPtrW(window, DWLP_USER), reinterpret_cast<LONG_PTR>(&dialog));
    EXPECT_EQ(::GetWindowLongPtrW(window, DWLP_DLGPROC),
              reinterpret_cast<LONG_PTR>(&KDialog::StaticDialogProc));

    // Bound: a second dialog on the same object is refused.
    EXPECT_FALSE(dialog.CreateModeless(IDD_TK_GENERAL, nullptr));
    EXPECT_EQ(dialog.Handle(), window);
}

TEST(KDialogCreate, MissingTemplateLeavesTheObjectUnbound) {
    RecordingDialog dialog;
    EXPECT_FALSE(dialog.CreateModeless(IDD_TK_MISSING, nullptr));
    EXPECT_EQ(dialog.Handle(), nullptr);
    EXPECT_EQ(dialog.CountOf(Seen::Kind::InitDialog), 0);
}

TEST(KDialogCreate, DestroyedBySomeoneElseForgetsItsHandle) {
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(IDD_TK_GENERAL, nullptr));
    HWND window = dialog.Handle();
    ASSERT_TRUE(::DestroyWindow(window));
    EXPECT_EQ(dialog.Handle(), nullptr);
    EXPECT_GT(dialog.CountOf(Seen::Kind::Message), 0);
    // The object is free for another dialog.
    OpenDialog again(dialog);
    EXPECT_TRUE(again.created);
}

TEST(KDialogCreate, ObjectGoneBeforeItsWindow) {
    HWND window;
    {
        RecordingDialog dialog;
        ASSERT_TRUE(dialog.CreateModeless(IDD_TK_GENERAL, nullptr));
        window = dialog.Handle();
    }
    // The dialog procedure no longer finds an object and answers FALSE.
    EXPECT_EQ(::GetWindowLongPtrW(window, DWLP_USER), 0);
    EXPECT_EQ(KWindow::FromHandle(window), nullptr);
    ::SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(::IsWindow(window));
    ::DestroyWindow(window);
}

TEST(KDialogDispatch, CommandsReachOkCancelAndOnCommand) {
    RecordingDialog dialog;
    dialog.cancelDestroys = false;
    OpenDialog open(dialog);
    ASSERT_TRUE(open.created);
    HWND window = dialog.Handle();
    HWND okButton = dialog.GetDlgItem(IDOK);

    ::SendMessageW(window, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(okButton));
    ::SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    // Id 1 with a notification code (an accelerator's, say) is a command, not OK.
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, 1), 0);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_TK_BUTTON, BN_CLICKED), 0);
    EXPECT_EQ(dialog.CountOf(Seen::Kind::OK), 1);
    EXPECT_EQ(dialog.CountOf(Seen::Kind::Cancel), 1);
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{MAKEWPARAM(IDOK, 1), MAKEWPARAM(IDCANCEL, 1),
                                                      MAKEWPARAM(IDC_TK_BUTTON, BN_CLICKED)}));

    // A real click on a button of the dialog.
    ::SendMessageW(dialog.GetDlgItem(IDC_TK_BUTTON), BM_CLICK, 0, 0);
    EXPECT_EQ(dialog.Commands().back(), static_cast<WPARAM>(IDC_TK_BUTTON));
}

TEST(KDialogDispatch, SizeHalvesAreUnsigned) {
    RecordingDialog dialog;
    OpenDialog open(dialog);
    ASSERT_TRUE(open.created);
    dialog.seen.clear();
    ::SendMessageW(dialog.Handle(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(0xFFFF, 40000));
    ASSERT_EQ(dialog.CountOf(Seen::Kind::Size), 1);
    EXPECT_EQ(dialog.seen[0].lParam, static_cast<LPARAM>(0xFFFFu << 16 | 40000u));
}

TEST(KDialogDispatch, DefaultCancelDestroysTheDialog) {
    KDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(IDD_TK_GENERAL, nullptr));
    HWND window = dialog.Handle();
    ::SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(dialog.Handle(), nullptr);
}

TEST(KDialogReflection, HandledCommandStopsAtTheChild) {
    RecordingDialog dialog;
    OpenDialog open(dialog);
    ASSERT_TRUE(open.created);
    HWND okButton = dialog.GetDlgItem(IDOK);
    HWND other = dialog.GetDlgItem(IDC_TK_BUTTON);
    ReflectProbe okProbe, otherProbe;
    ASSERT_TRUE(okProbe.Attach(okButton, false));
    ASSERT_TRUE(otherProbe.Attach(other, false));

    otherProbe.handle = TRUE;
    ::SendMessageW(other, BM_CLICK, 0, 0);
    ASSERT_EQ(otherProbe.reflected.size(), 1u);
    EXPECT_EQ(otherProbe.reflected[0].wParam, static_cast<WPARAM>(IDC_TK_BUTTON));
    EXPECT_EQ(otherProbe.reflected[0].lParam, reinterpret_cast<LPARAM>(other));
    EXPECT_TRUE(dialog.Commands().empty());

    // Declined: exactly what happens without reflection.
    ::SendMessageW(okButton, BM_CLICK, 0, 0);
    EXPECT_EQ(okProbe.reflected.size(), 1u);
    EXPECT_EQ(dialog.CountOf(Seen::Kind::OK), 1);
    otherProbe.handle = FALSE;
    ::SendMessageW(other, BM_CLICK, 0, 0);
    EXPECT_EQ(otherProbe.reflected.size(), 2u);
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{IDC_TK_BUTTON}));
    okProbe.Detach();
    otherProbe.Detach();
}

TEST(KDialogReflection, HandledNotifyAnswersThroughMsgResult) {
    RecordingDialog dialog;
    OpenDialog open(dialog);
    ASSERT_TRUE(open.created);
    HWND window = dialog.Handle();
    HWND edit = dialog.GetDlgItem(IDC_TK_EDIT);
    ReflectProbe probe;
    ASSERT_TRUE(probe.Attach(edit, false));
    NMHDR header = {edit, IDC_TK_EDIT, 42};
    const LPARAM lp = reinterpret_cast<LPARAM>(&header);

    probe.handle = TRUE;
    probe.setAnswer = true;
    probe.answer = 0x5A5A;
    EXPECT_EQ(KDialog::StaticDialogProc(window, WM_NOTIFY, IDC_TK_EDIT, lp), TRUE);
    EXPECT_EQ(MsgResult(window), 0x5A5A);
    // Through the dialog manager the caller gets DWL_MSGRESULT.
    EXPECT_EQ(::SendMessageW(window, WM_NOTIFY, IDC_TK_EDIT, lp), 0x5A5A);

    // A handler that sets nothing answers 0, whatever DWL_MSGRESULT held before.
    probe.setAnswer = false;
    ::SetWindowLongPtrW(window, DWLP_MSGRESULT, 77);
    EXPECT_EQ(KDialog::StaticDialogProc(window, WM_NOTIFY, IDC_TK_EDIT, lp), TRUE);
    EXPECT_EQ(MsgResult(window), 0);

    // Declined: the dialog's OnMessage gets it.
    probe.handle = FALSE;
    dialog.seen.clear();
    EXPECT_EQ(KDialog::StaticDialogProc(window, WM_NOTIFY, IDC_TK_EDIT, lp), FALSE);
    ASSERT_EQ(dialog.CountOf(Seen::Kind::Message), 1);
    EXPECT_EQ(dialog.seen[0].msg, static_cast<UINT>(WM_NOTIFY));
    EXPECT_EQ(probe.reflected.size(), 4u);
    probe.Detach();
}

TEST(KDialogReflection, OwnerDrawnButtonPaintsThroughItsObject) {
    RecordingDialog dialog;
    OpenDialog open(dialog);
    ASSERT_TRUE(open.created);
    ReflectProbe probe;
    probe.handle = TRUE;
    ASSERT_TRUE(probe.Attach(dialog.GetDlgItem(IDC_TK_OWNERDRAW), false));
    dialog.ShowWindow(SW_SHOWNOACTIVATE);
    dialog.UpdateWindow();
    PumpMessages();
    int draws = 0;
    for (const Seen& s : probe.reflected)
        draws += s.msg == WM_DRAWITEM;
    EXPECT_GE(draws, 1);
    // None of them reached the dialog's own handler.
    for (const Seen& s : dialog.seen)
        EXPECT_NE(s.msg, static_cast<UINT>(WM_DRAWITEM));

    // Without an object the draw request is the dialog's.
    probe.Detach();
    dialog.InvalidateRect(nullptr, FALSE);
    ::RedrawWindow(dialog.Handle(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    int dialogDraws = 0;
    for (const Seen& s : dialog.seen)
        dialogDraws += s.msg == WM_DRAWITEM;
    EXPECT_GE(dialogDraws, 1);
}

TEST(KDialogFocus, FocusMovesAfterTheCurrentMessage) {
    RecordingDialog dialog;
    dialog.focusAtInitId = IDC_TK_BUTTON;
    OpenDialog open(dialog);
    ASSERT_TRUE(open.created);
    HWND target = dialog.GetDlgItem(IDC_TK_BUTTON);
    // Posted, not sent: nothing has moved yet.
    EXPECT_NE(::GetFocus(), target);
    dialog.ShowWindow(SW_SHOWNORMAL);
    dialog.SetForegroundWindow();
    PumpMessages();
    EXPECT_EQ(::GetFocus(), target);

    dialog.FocusNext(false);
    PumpMessages();
    EXPECT_EQ(::GetFocus(), dialog.GetDlgItem(IDC_TK_OWNERDRAW));
    dialog.FocusPrevious();
    PumpMessages();
    EXPECT_EQ(::GetFocus(), target);
}

TEST(KDialogLoop, EnterRunsTheDefaultButtonAndQuitCodeComesBack) {
    RecordingDialog dialog;
    dialog.quitOnOK = 42;
    dialog.focusAtInitId = IDC_TK_EDIT;
    OpenDialog open(dialog);
    ASSERT_TRUE(open.created);
    dialog.ShowWindow(SW_SHOWNORMAL);
    dialog.SetForegroundWindow();
    PumpMessages();
    HWND edit = dialog.GetDlgItem(IDC_TK_EDIT);
    ASSERT_EQ(::GetFocus(), edit);

    // Enter in the edit: the dialog manager turns it into the default button's IDOK.
    ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
    ::PostMessageW(edit, WM_KEYUP, VK_RETURN, 0xC0000001);
    EXPECT_EQ(dialog.RunDialogLoop(), 42);
    EXPECT_EQ(dialog.CountOf(Seen::Kind::OK), 1);

    // Another default button takes Enter over; Escape is IDCANCEL.
    dialog.seen.clear();
    dialog.cancelDestroys = false;
    ::SendMessageW(dialog.Handle(), DM_SETDEFID, IDC_TK_BUTTON, 0);
    ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
    ::PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 1);
    ::PostQuitMessage(3);
    EXPECT_EQ(dialog.RunDialogLoop(), 3);
    EXPECT_EQ(dialog.CountOf(Seen::Kind::OK), 0);
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{IDC_TK_BUTTON}));
    EXPECT_EQ(dialog.CountOf(Seen::Kind::Cancel), 1);
}

TEST(KDialogLoop, PlainLoopDispatchesWithoutDialogKeys) {
    RecordingDialog dialog;
    dialog.focusAtInitId = IDC_TK_EDIT;
    OpenDialog open(dialog);
    ASSERT_TRUE(open.created);
    dialog.ShowWindow(SW_SHOWNORMAL);
    dialog.SetForegroundWindow();
    PumpMessages();
    HWND edit = dialog.GetDlgItem(IDC_TK_EDIT);
    ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
    ::PostMessageW(dialog.Handle(), WM_COMMAND, IDC_TK_BUTTON, 0);
    ::PostQuitMessage(9);
    EXPECT_EQ(RunMessageLoop(), 9);
    // The posted command was dispatched; Enter went to the edit, not to the dialog manager.
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{IDC_TK_BUTTON}));
    EXPECT_EQ(dialog.CountOf(Seen::Kind::OK), 0);
}

namespace {

// Handlers that throw: the procedures must catch it before it reaches the system's code.
class ThrowingDialog : public KDialog {
public:
    BOOL OnCommand(WPARAM wParam, LPARAM) override {
        if (wParam == 7)
            throw std::runtime_error("handler failed");
        return TRUE;
    }
};

class ThrowingWindow : public KWindow {
public:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_APP)
            throw std::bad_alloc();
        return KWindow::WindowProc(msg, wParam, lParam);
    }
};

} // namespace

TEST(KDialogExceptions, NoExceptionLeavesAProcedure) {
    ThrowingDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(IDD_TK_GENERAL, nullptr));
    EXPECT_EQ(KDialog::StaticDialogProc(dialog.Handle(), WM_COMMAND, 7, 0), FALSE);
    EXPECT_EQ(::SendMessageW(dialog.Handle(), WM_COMMAND, 7, 0), 0);
    EXPECT_EQ(KDialog::StaticDialogProc(dialog.Handle(), WM_COMMAND, 8, 0), TRUE);
    dialog.Destroy();

    HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr,
                                  nullptr, nullptr);
    ThrowingWindow window;
    ASSERT_TRUE(window.Attach(edit, true));
    EXPECT_EQ(::SendMessageW(edit, WM_APP, 0, 0), 0);
    // Still subclassed and working.
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"ok"));
    EXPECT_EQ(::GetWindowTextLengthW(edit), 2);
    window.Destroy();
}
