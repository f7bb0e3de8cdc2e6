#include <gtest/gtest.h>

#include "ToolkitTestIds.h"
#include "ToolkitTestSupport.h"
#include "toolkit/KModalDialog.h"

using namespace toolkit_test;

namespace {

// A modal dialog that feeds itself keys or commands once it is up, so that no person is
// needed to end it.
class ScriptedModal : public KModalDialog {
public:
    BOOL OnInitDialog() override {
        ++inits;
        createdInside = IsCreated();
        // A bound object refuses a second dialog, even from inside the first.
        nestedRefused = !DoModal(IDD_TK_GENERAL, Handle());
        HWND edit = GetDlgItem(IDC_TK_EDIT);
        FocusControl(edit);
        if (key != 0)
            ::PostMessageW(edit, WM_KEYDOWN, key, 1);
        if (command != 0)
            ::PostMessageW(Handle(), WM_COMMAND, command, 0);
        return FALSE;
    }
    BOOL OnOK() override {
        ++oks;
        return EndModal(okResult);
    }
    BOOL OnCommand(WPARAM wParam, LPARAM) override {
        if (wParam == IDC_TK_BUTTON)
            return EndModal(commandResult);
        return FALSE;
    }

    WPARAM key = 0;
    WPARAM command = 0;
    int okResult = IDOK;
    int commandResult = 0;
    int inits = 0;
    int oks = 0;
    bool createdInside = false;
    bool nestedRefused = false;
};

} // namespace

TEST(KModalDialog, EnterEndsWithOk) {
    ScriptedModal dialog;
    EXPECT_EQ(dialog.Result(), -1);
    dialog.key = VK_RETURN;
    EXPECT_TRUE(dialog.DoModal(IDD_TK_GENERAL, nullptr));
    EXPECT_EQ(dialog.Result(), IDOK);
    EXPECT_EQ(dialog.oks, 1);
    EXPECT_TRUE(dialog.createdInside);
    EXPECT_TRUE(dialog.nestedRefused);
    EXPECT_FALSE(dialog.IsCreated());
    EXPECT_EQ(dialog.Handle(), nullptr);
}

TEST(KModalDialog, EscapeEndsWithCancelThroughTheInheritedOnCancel) {
    ScriptedModal dialog;
    dialog.key = VK_ESCAPE;
    EXPECT_TRUE(dialog.DoModal(IDD_TK_GENERAL, nullptr));
    EXPECT_EQ(dialog.Result(), IDCANCEL);
    EXPECT_EQ(dialog.oks, 0);
    EXPECT_FALSE(dialog.IsCreated());
}

TEST(KModalDialog, ResultsOfZeroAndAboveTwo) {
    ScriptedModal zero;
    zero.command = IDC_TK_BUTTON;
    zero.commandResult = 0;
    EXPECT_FALSE(zero.DoModal(IDD_TK_GENERAL, nullptr));
    EXPECT_EQ(zero.Result(), 0);

    ScriptedModal seven;
    seven.command = IDC_TK_BUTTON;
    seven.commandResult = 7;
    EXPECT_TRUE(seven.DoModal(IDD_TK_GENERAL, nullptr));
    EXPECT_EQ(seven.Result(), 7);

    // The same object runs a second dialog once the first is over.
    seven.command = 0;
    seven.key = VK_RETURN;
    EXPECT_TRUE(seven.DoModal(IDD_TK_GENERAL, nullptr));
    EXPECT_EQ(seven.Result(), IDOK);
    EXPECT_EQ(seven.inits, 2);
}

TEST(KModalDialog, MissingTemplateFails) {
    ScriptedModal dialog;
    EXPECT_FALSE(dialog.DoModal(IDD_TK_MISSING, nullptr));
    EXPECT_EQ(dialog.Result(), -1);
    EXPECT_EQ(dialog.inits, 0);
    EXPECT_FALSE(dialog.IsCreated());
}

TEST(KModalDialog, OwnerIsDisabledWhileItRuns) {
    RecordingDialog owner;
    ASSERT_TRUE(owner.CreateModeless(IDD_TK_GENERAL, nullptr));
    owner.ShowWindow(SW_SHOWNORMAL);
    struct Probe : ScriptedModal {
        BOOL OnInitDialog() override {
            ownerEnabled = ::IsWindowEnabled(::GetWindow(Handle(), GW_OWNER)) != FALSE;
            ownerSeen = ::GetWindow(Handle(), GW_OWNER);
            return ScriptedModal::OnInitDialog();
        }
        bool ownerEnabled = true;
        HWND ownerSeen = nullptr;
    } dialog;
    dialog.key = VK_ESCAPE;
    EXPECT_TRUE(dialog.DoModal(IDD_TK_GENERAL, owner.Handle()));
    EXPECT_EQ(dialog.ownerSeen, owner.Handle());
    EXPECT_FALSE(dialog.ownerEnabled);
    EXPECT_TRUE(owner.IsWindowEnabled());
    owner.Destroy();
    PumpMessages();
}
