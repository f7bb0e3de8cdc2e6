#pragma once

#include "toolkit/KWindow.h"

// The wParam of a WM_COMMAND: the notification code in the high word, the control's or
// command's id in the low one.
constexpr WPARAM CommandWord(UINT code, UINT id) {
    return (static_cast<WPARAM>(code) << 16) | id;
}

// A dialog made from a template of the program's resources, its messages routed to the
// virtual handlers below. Used as is for modeless dialogs, each run by its own loop.
class KDialog : public KWindow {
public:
    KDialog() = default;
    ~KDialog() override;

    // Each returns what the dialog procedure returns.
    virtual BOOL OnInitDialog();
    virtual BOOL OnOK();
    // Destroys the dialog.
    virtual BOOL OnCancel();
    virtual BOOL OnSize(WPARAM type, UINT cx, UINT cy);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    // Creates the dialog hidden (the templates have no WS_VISIBLE); the caller shows it.
    BOOL CreateModeless(UINT templateId, HWND parent);
    // Runs the thread's messages, with keyboard navigation for this dialog, until WM_QUIT;
    // returns the code given to PostQuitMessage.
    int RunDialogLoop();

    // Focus moves are posted so that they happen after the current message (WM_INITDIALOG
    // in particular) has returned.
    void FocusControl(HWND control);
    void FocusNext(bool previous);
    void FocusPrevious();
    BOOL MapDialogRect(RECT* rect) const { return ::MapDialogRect(Handle(), rect); }

    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

private:
    INT_PTR DispatchDialogMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};
