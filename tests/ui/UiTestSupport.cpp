#include "UiTestSupport.h"

#include <commctrl.h>

namespace ui_tests {

namespace {
testing_support::QuitSeen quits;
} // namespace

bool PumpDialog(HWND dialog, const std::function<bool()>& done, DWORD timeoutMs) {
    return testing_support::PumpUntil(done, timeoutMs, dialog, &quits);
}

void PumpFor(DWORD ms, HWND dialog) {
    testing_support::PumpFor(ms, dialog, &quits);
}

int TakeQuitCount() {
    const int count = quits.count;
    quits = {};
    return count;
}

RECT ChildRect(HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

} // namespace ui_tests
