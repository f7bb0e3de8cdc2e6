#pragma once

#include <windows.h>

#include <vector>

#include "support/DibSurface.h"
#include "toolkit/KDialog.h"
#include "toolkit/KWindow.h"

namespace toolkit_test {

// Dispatches everything queued for this thread, without waiting for more; a WM_QUIT found on
// the way is dropped.
void PumpMessages();

using testing_support::DibSurface;
constexpr COLORREF kUntouched = RGB(1, 2, 3);

// One dialog message as the dialog's handlers saw it.
struct Seen {
    enum class Kind { InitDialog, OK, Cancel, Size, Command, Message } kind;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// A modeless dialog that writes down every handler call; each handler returns the default's
// answer unless told otherwise.
class RecordingDialog : public KDialog {
public:
    BOOL OnInitDialog() override;
    BOOL OnOK() override;
    BOOL OnCancel() override;
    BOOL OnSize(WPARAM type, UINT cx, UINT cy) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    int CountOf(Seen::Kind kind) const;
    // The commands seen, in order, without the edit's focus notifications (focus moves with
    // every click and is not what the tests look at).
    std::vector<WPARAM> Commands() const;

    std::vector<Seen> seen;
    int quitOnOK = -1; // >= 0: OnOK posts WM_QUIT with this code
    bool cancelDestroys = true;
    HWND focusAtInit = nullptr;
    int focusAtInitId = 0;
};

// A child object that writes down what was reflected to it and answers as told.
class ReflectProbe : public KWindow {
public:
    BOOL OnReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    std::vector<Seen> reflected;
    BOOL handle = FALSE;
    LRESULT answer = 0;
    bool setAnswer = false;
};

} // namespace toolkit_test
