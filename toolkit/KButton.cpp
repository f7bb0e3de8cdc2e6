#include "toolkit/KButton.h"

LRESULT KButton::GetCheck() const {
    return ::SendMessageW(Handle(), BM_GETCHECK, 0, 0);
}

LRESULT KButton::SetCheck(WPARAM state) {
    return ::SendMessageW(Handle(), BM_SETCHECK, state, 0);
}
