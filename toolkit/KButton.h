#pragma once

#include "toolkit/KWindow.h"

// A push button, check box or radio button of a dialog.
class KButton : public KWindow {
public:
    // BST_CHECKED, BST_UNCHECKED or BST_INDETERMINATE.
    LRESULT GetCheck() const;
    LRESULT SetCheck(WPARAM state);
};
