#include "toolkit/MessageLoop.h"

#include <windows.h>

int RunMessageLoop() {
    MSG msg{};
    // -1 (failure) ends the loop rather than spinning it.
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
